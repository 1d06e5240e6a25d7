#include "lockdbrecord.h"

#include "nqcommon.h"
#include "optionserver.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvdbsettings.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsysinfo.h"
#include "utf.h"

#include <pwd.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr const wchar_t* kSource = L"lockdbrecord";
#define LOCK_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// The signed-in user's name: the session's (USER), else the account's.
CString CurrentUserName() {
    if (const char* user = std::getenv("USER"); user && *user) return CString(qv::FromUtf8(user));
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return CString(qv::FromUtf8(pw->pw_name));
    return CString();
}

// The database the module works on, as the database server finds it: the profile's connection
// ("sqlite:" and the file, or the server's address without its password), else the demo file.
CString DatabaseName() {
    CString strConnection =
        QvDBReadSetting(CString(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2"), L"DBConnection", CString());
    if (strConnection.IsEmpty()) {
        const char* home = std::getenv("XDG_DATA_HOME");
        const char* user = std::getenv("HOME");
        const std::string data = home && *home ? std::string(home) : std::string(user ? user : ".") + "/.local/share";
        return CString(qv::FromUtf8(data + "/qovaro/nq2.sqlite"));
    }
    if (strConnection.Left(7).CompareNoCase(L"sqlite:") == 0) return strConnection.Mid(7);
    const int nAt = strConnection.Find(L'@'), nScheme = strConnection.Find(L"://");
    if (nAt > 0 && nScheme > 0 && nScheme < nAt) return strConnection.Left(nScheme + 3) + strConnection.Mid(nAt + 1);
    return strConnection;
}

int Digits(const CString& s, int first, int count) {
    int value = 0;
    for (int i = first; i < first + count; ++i) {
        const wchar_t c = s[i];
        if (c < L'0' || c > L'9') return -1;
        value = value * 10 + (c - L'0');
    }
    return value;
}

}  // namespace

namespace qv::nq {

CString OwnerCondition(const CString& strOwnerTag) {
    // The owner part of a lock text runs from its first bar to its end. It is compared exactly and
    // case-sensitively on every database: neither another user's name that differs only in case
    // nor one that a LIKE pattern's wildcards would match is taken for this owner.
    CString strCondition;
    strCondition.Format(L"(substring(strLock, charindex('|', strLock), 4000) = '%s' COLLATE Latin1_General_CS_AS)",
                        QvSQLString(strOwnerTag, 0));
    return strCondition;
}

bool IsOwnLock(const CString& strLock, const CString& strOwnerTag) {
    const int nBar = strLock.Find(L'|');
    if (nBar < 0) return false;
    CString strOwner = strLock.Mid(nBar), strTag = strOwnerTag;
    strOwner.TrimRight(L' ');
    strTag.TrimRight(L' ');
    return strOwner == strTag;
}

bool ParseLockTime(const CString& strTime, COleDateTime& dt) {
    // Style 20 of the server: exactly "yyyy-mm-dd hh:mi:ss".
    if (strTime.GetLength() != 19) return false;
    static constexpr int kSeparators[] = {4, 7, 10, 13, 16};
    static constexpr wchar_t kChars[] = {L'-', L'-', L' ', L':', L':'};
    for (int i = 0; i < 5; ++i)
        if (strTime[kSeparators[i]] != kChars[i]) return false;
    const int year = Digits(strTime, 0, 4), month = Digits(strTime, 5, 2), day = Digits(strTime, 8, 2);
    const int hour = Digits(strTime, 11, 2), minute = Digits(strTime, 14, 2), second = Digits(strTime, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return false;
    COleDateTime parsed;
    if (parsed.SetDateTime(year, month, day, hour, minute, second) != 0) return false;
    // SetDateTime accepts 31 February by rolling over; a lock text never holds such a date.
    if (parsed.GetMonth() != month || parsed.GetDay() != day) return false;
    dt = parsed;
    return true;
}

long long LockAgeMinutes(const COleDateTime& dtLock, const COleDateTime& dtNow) {
    double days = double(dtNow.m_dt) - double(dtLock.m_dt);
    days += days >= 0 ? 1.0 / 172800.0 : -1.0 / 172800.0;
    return static_cast<long long>(std::trunc(days * 1440.0));
}

bool IsReadOnlyFailure(CQvADOConnection& connection) {
    long lNumber = 0;
    long lNativeError = 0;
    CString strSQLState;
    if (FAILED(connection.GetLastErrorInfo(&lNumber, &lNativeError, strSQLState))) return false;
    constexpr long kSqliteReadOnly = 8;
    return (lNativeError & 0xFF) == kSqliteReadOnly;
}

}  // namespace qv::nq

CLockDbRecord::CLockDbRecord() {
    if (NQ_IsWebEdition()) m_nStaleMinutes = 120;
    // The tag every client of the shared database writes and reads (the suite's document store
    // among them): the computer and the login, nothing else.
    CString strTag;
    strTag.Format(L"|%s|%s", QvGetComputerName(0, 0), CurrentUserName());
    strTag.Remove(L'\'');
    m_strOwnerTag = strTag;
}

long CLockDbRecord::LockDbRecord(CString strTable, CString strIDColumn, long lID, CString* pstrOwner) {
    if (FAILED(m_hrReadOnly)) return m_hrReadOnly;
    CQvADOConnection connection;
    long hr = connection.Open(L"Qovaro.NQ2", 0);
    if (FAILED(hr)) LOCK_TRACEHR(hr);
    if (m_nRetries == -1) {
        m_nRetries = 3;
        if (SUCCEEDED(hr)) {
            COptionServer options;
            hr = options.GetOption(-3010, L"LockRecordRetries", &m_nRetries, 1, 0);
            if (SUCCEEDED(hr)) hr = options.GetOption(-3010, L"LockRecordTimeout", &m_nRetryPause, 1, 0);
            if (FAILED(hr)) LOCK_TRACEHR(hr);
        }
    }
    for (long nTry = 0; SUCCEEDED(hr) && nTry < m_nRetries; ++nTry) {
        CString strSQL;
        strSQL.Format(L"UPDATE %s SET strLock = convert(char(19),getdate(),20) + '%s' "
                      L"WHERE (%s = %d) AND (strLock = '' OR %s)",
                      strTable, m_strOwnerTag, strIDColumn, lID, qv::nq::OwnerCondition(m_strOwnerTag));
        hr = connection.Execute(strSQL);
        if (FAILED(hr)) {
            LOCK_TRACEHR(hr);
            if (qv::nq::IsReadOnlyFailure(connection)) {
                m_hrReadOnly = hr;
                AfxMessageBox(L"Die Datenbank ist schreibgeschützt: es kann nichts geändert werden.\n(" +
                                  DatabaseName() + L")",
                              MB_OK | MB_ICONINFORMATION);
                return hr;
            }
            break;
        }
        hr = CheckDbRecordLock(strTable, strIDColumn, lID, pstrOwner);
        if (FAILED(hr) || hr == eRecordEditing) break;
        if (hr == eRecordLockedByOther && m_nRetryPause > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_nRetryPause));
    }
    if (FAILED(hr)) QvReportDBError(connection, hr, __FILE__, __LINE__);
    return hr;
}

long CLockDbRecord::UnlockDbRecord(CString strTable, CString strIDColumn, long lID) {
    CQvADOConnection connection;
    long hr = connection.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE %s SET strLock = '' WHERE (%s = %d) AND %s", strTable, strIDColumn, lID,
                      qv::nq::OwnerCondition(m_strOwnerTag));
        hr = connection.Execute(strSQL);
    }
    if (FAILED(hr)) {
        LOCK_TRACEHR(hr);
        return QvReportDBError(connection, hr, __FILE__, __LINE__);
    }
    hr = CheckDbRecordLock(strTable, strIDColumn, lID, nullptr);
    if (FAILED(hr)) return hr;  // reported by the check
    return hr == eRecordUnchanged ? eRecordUnchanged : eRecordLockedByOther;
}

long CLockDbRecord::CheckDbRecordLock(CString strTable, CString strIDColumn, long lID, CString* pstrOwner) {
    CString strLockRead, strLock;
    CQvADOConnection connection;
    long hr = connection.Open(L"Qovaro.NQ2", 0);
    COleDateTime dtNow;
    BOOL bRow = FALSE;
    if (SUCCEEDED(hr)) {
        CQvADORecordset rs(&connection);
        CString strSQL;
        strSQL.Format(L"SELECT strLock, getdate() as now FROM %s WHERE %s = %d", strTable, strIDColumn, lID);
        hr = rs.Open(strSQL);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            bRow = TRUE;
            hr = rs.GetFieldValue(L"strLock", &strLockRead);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"now", &dtNow);
        }
        rs.Close();
    }
    if (SUCCEEDED(hr)) {
        if (!bRow) {
            hr = eRecordDeleted;
        } else {
            strLock = strLockRead;
            strLock.Trim();
            COleDateTime dtLock(2000, 1, 1, 0, 0, 0);
            CString strOwner = strLock;
            bool bTimeRead = true;
            const int nBar = strLock.Find(L'|');
            if (!strLock.IsEmpty() && nBar >= 0) {
                bTimeRead = qv::nq::ParseLockTime(strLock.Left(nBar), dtLock);
                strOwner = strLock.Mid(nBar);
            }
            if (strOwner.IsEmpty()) {
                hr = eRecordUnchanged;
            } else if (qv::nq::IsOwnLock(strLockRead, m_strOwnerTag)) {
                hr = eRecordEditing;
            } else if (!bTimeRead || qv::nq::LockAgeMinutes(dtLock, dtNow) > m_nStaleMinutes) {
                // Clear exactly the text that was read: a lock another user took since stays.
                CString strSQL;
                strSQL.Format(L"UPDATE %s SET strLock = '' WHERE (%s = %d) AND (strLock = '%s')", strTable,
                              strIDColumn, lID, QvSQLString(strLockRead, 0));
                connection.Execute(strSQL);
                // Whether the clear won is told by the next take and check, not assumed here.
                hr = eRecordUnchanged;
            } else {
                hr = eRecordLockedByOther;
            }
        }
    }
    if (pstrOwner) *pstrOwner = strLock;
    if (FAILED(hr)) {
        LOCK_TRACEHR(hr);
        QvReportDBError(connection, hr, __FILE__, __LINE__);
    }
    return hr;
}

long CLockDbRecord::ReadStoredState(const std::vector<std::pair<CString, long>>& statements, CString& strState) {
    strState.Empty();
    CQvADOConnection connection;
    long hr = connection.Open(L"Qovaro.NQ2", 0);
    for (const auto& [strSQL, nColumns] : statements) {
        if (FAILED(hr)) break;
        CQvADORecordset rs(&connection);
        hr = rs.Open(strSQL);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            for (long nColumn = 0; SUCCEEDED(hr) && nColumn < nColumns; ++nColumn) {
                CString strValue;
                hr = rs.GetFieldValue(nColumn, &strValue);
                // A separator no stored text holds keeps "a|b" and "ab|" two states.
                strState += strValue;
                strState += L'\x1F';
            }
            strState += L'\x1E';
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
        strState += L'\x1D';
    }
    // Not reported: the page's own reading and writing meet the same failure and report it.
    if (FAILED(hr)) LOCK_TRACEHR(hr);
    return hr;
}

long CLockDbRecord::CheckStoredState(const std::vector<CHeldRow>& rows, const std::function<long(CString&)>& read,
                                     const CString& strLoaded, CString* pstrStored) {
    if (pstrStored) pstrStored->Empty();
    if (strLoaded.IsEmpty()) return S_OK;
    CQvADOConnection connection;
    long hr = rows.empty() ? S_OK : connection.Open(L"Qovaro.NQ2", 0);
    for (const CHeldRow& row : rows) {
        if (FAILED(hr)) break;
        CString strSQL;
        strSQL.Format(L"UPDATE %s SET strLock = strLock WHERE %s = %d", row.strTable, row.strIDColumn, row.lID);
        hr = connection.Execute(strSQL);
    }
    CString strStored;
    if (SUCCEEDED(hr)) hr = read(strStored);
    if (FAILED(hr)) return LOCK_TRACEHR(hr);
    if (pstrStored) *pstrStored = strStored;
    return strStored == strLoaded ? S_OK : eRecordChangedMeanwhile;
}
