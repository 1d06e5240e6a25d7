#include "secstandin.h"
#include "extensions.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "suitedb.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cwctype>
#include <string>

IMPLEMENT_DYNCREATE(CQvSecServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvSecServer, CQvStandInServer)
    INTERFACE_PART(CQvSecServer, IID_IQvSecServer, SecServer)
    INTERFACE_PART(CQvSecServer, IID_IQvSecUser, SecUser)
    INTERFACE_PART(CQvSecServer, IID_IQvSecAdmin, SecAdmin)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvSecServer, SecServer)
IMPLEMENT_IUNKNOWN(CQvSecServer, SecUser)
IMPLEMENT_IUNKNOWN(CQvSecServer, SecAdmin)

namespace {

constexpr const wchar_t* kSource = L"qvsecserver";
constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr const wchar_t* kNullGUID = L"00000000-0000-0000-0000-000000000000";

bool HasTable(sqlite3* db, const char* table, const char* schema = "main") {
    return sqlite3_table_column_metadata(db, schema, table, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
           SQLITE_OK;
}

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "security tables";
        sqlite3_free(error);
        throw qv::sql::ProcedureError(text);
    }
}

// The server's own tables (the suite's schema does not know them) and the demo users' roles,
// made on the caller's database connection, inside his transaction if one is open.
void CreateTables(sqlite3* db, std::vector<qv::sql::Value>&) {
    const std::string kCreateTables(qv::suite::SecurityTablesSql());
    const char* const kSeedRoles = qv::suite::SecurityRolesSql().data();
    if (!HasTable(db, "QvSecRight") && sqlite3_db_readonly(db, "main") == 1) {
        // A file that may not be written and has never had the tables: the connection gets them
        // as its own temporary tables, filled as a first start would fill them, so its users
        // hold the rights they would hold there; the file is left as it is.
        if (HasTable(db, "QvSecRight", "temp")) return;
        std::string sql = kCreateTables;
        for (std::string::size_type at = 0; (at = sql.find("CREATE TABLE", at)) != std::string::npos; at += 17)
            sql.replace(at, 12, "CREATE TEMP TABLE");
        Exec(db, sql.c_str());
        if (HasTable(db, "QvSecUser")) Exec(db, kSeedRoles);
        return;
    }
    if (!HasTable(db, "QvSecRight")) Exec(db, kCreateTables.c_str());
    if (!HasTable(db, "QvSecUser")) return;
    sqlite3_stmt* stmt = nullptr;
    bool anyRole = true;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM QvSecRole LIMIT 1", -1, &stmt, nullptr) == SQLITE_OK) {
        anyRole = sqlite3_step(stmt) == SQLITE_ROW;
    }
    sqlite3_finalize(stmt);
    if (!anyRole) Exec(db, kSeedRoles);
}

CString Text(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b))) : CString(); }

HRESULT Out(BSTR* p, const CString& text) {
    *p = text.AllocSysString();
    return *p ? S_OK : E_OUTOFMEMORY;
}

HRESULT Prepare(CQvADOConnection& conn) {
    HRESULT hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) hr = conn.Execute(L"EXEC qv_CreateSecurityTables");
    return hr;
}

// The first row's value of a column; *pbFound tells whether there was a row.
template <class T>
HRESULT QueryValue(CQvADOConnection& conn, const CString& sql, LPCWSTR column, T* pValue, bool* pbFound) {
    *pbFound = false;
    CQvADORecordset rs(&conn);
    HRESULT hr = rs.OpenSQL(sql, 0, 1);
    BOOL eof = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
    if (SUCCEEDED(hr) && !eof) {
        *pbFound = true;
        hr = rs.GetFieldValue(column, pValue);
    }
    rs.Close();
    return hr;
}

// The user's own row for a GUID and key.
HRESULT RightRow(CQvADOConnection& conn, long lUserID, const CString& strGUID, const CString& strKey, long* plRight,
                 bool* pbFound) {
    CString sql;
    sql.Format(L"SELECT TOP 1 lRight FROM QvSecRight WHERE lQvSecUserID = %d AND guid = '%s' AND strKey = '%s'",
               lUserID, strGUID, QvSQLString(strKey, 0));
    return QueryValue(conn, sql, L"lRight", plRight, pbFound);
}

// The user's rights on a function: its own row, else the row for every function, else none.
HRESULT FunctionRights(CQvADOConnection& conn, long lUserID, const CString& strGUID, long* plRight) {
    bool found = false;
    HRESULT hr = RightRow(conn, lUserID, strGUID, CString(), plRight, &found);
    if (SUCCEEDED(hr) && !found) hr = RightRow(conn, lUserID, kNullGUID, CString(), plRight, &found);
    if (SUCCEEDED(hr) && !found) *plRight = 0;
    return hr;
}

bool IsNumber(const CString& text) {
    if (text.IsEmpty()) return false;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (!std::iswdigit(text[i])) return false;
    }
    return true;
}

}  // namespace

CQvSecServer::CQvSecServer() {
    qv::sql::RegisterProcedure("qv_CreateSecurityTables", CreateTables);
}

HRESULT CQvSecServer::OnInit(BOOL) {
    // The tables are there from the start for whoever reads them; a database that cannot be
    // reached yet gets them with the first call that reaches it.
    CQvADOConnection conn;
    Prepare(conn);
    CurrentUser();
    return S_OK;
}

HRESULT CQvSecServer::DoLogon(const CString& strUser) {
    long lUserID = 0;
    HRESULT hr = S_OK;
    const CString user = CString(strUser).Trim();
    if (!user.IsEmpty()) {
        CQvADOConnection conn;
        hr = Prepare(conn);
        bool found = false;
        if (SUCCEEDED(hr)) {
            CString sql;
            sql.Format(L"SELECT TOP 1 lQvSecUserID FROM QvSecUser WHERE strName = '%s' OR strUserID = '%s'",
                       QvSQLString(user, 0), QvSQLString(user, 0));
            if (IsNumber(user)) sql.AppendFormat(L" OR lQvSecUserID = %s", user);
            sql += L" ORDER BY lQvSecUserID";
            hr = QueryValue(conn, sql, L"lQvSecUserID", &lUserID, &found);
        }
        if (FAILED(hr)) return QV_TRACEHR(kSource, hr);
        if (!found) {
            lUserID = 0;
            hr = E_ACCESSDENIED;
        }
    }
    {
        std::lock_guard g(m_lock);
        m_lUserID = lUserID;
        m_bSignedIn = true;
    }
    qv::suite::SetSystemID(lUserID);
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

long CQvSecServer::CurrentUser() {
    {
        std::lock_guard g(m_lock);
        if (m_bSignedIn) return m_lUserID;
    }
    const char* env = std::getenv("QV_USER");
    if (!env || !*env) return 0;
    // A database that cannot be reached leaves the user for the next call to find.
    const HRESULT hr = DoLogon(CString(env));
    if (FAILED(hr) && hr != E_ACCESSDENIED) {
        std::lock_guard g(m_lock);
        m_bSignedIn = false;
    }
    std::lock_guard g(m_lock);
    return m_lUserID;
}

HRESULT CQvSecServer::ReadRights(const GUID& guid, const CString& strKey, long* plRights) {
    *plRights = 0;
    const long lUserID = CurrentUser();
    if (lUserID == 0) return S_OK;

    CQvADOConnection conn;
    HRESULT hr = Prepare(conn);
    bool found = false;
    long lAdmin = 0;
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT TOP 1 fAdmin FROM QvSecRole WHERE lQvSecUserID = %d", lUserID);
        hr = QueryValue(conn, sql, L"fAdmin", &lAdmin, &found);
    }
    if (FAILED(hr)) return hr;
    if (found && lAdmin != 0) {
        *plRights = kAllRights;
        return S_OK;
    }

    const CString strGUID = CQvGUID(guid).GetGUID(TRUE);
    long lRight = 0;
    if (strKey.IsEmpty()) {
        hr = FunctionRights(conn, lUserID, strGUID, &lRight);
    } else {
        hr = RightRow(conn, lUserID, strGUID, strKey, &lRight, &found);
        if (SUCCEEDED(hr) && !found) {
            if (guid == GUID_NULL) {
                // A record by its key alone: the rights of the function it was registered under.
                CString strFunction;
                CString sql;
                sql.Format(L"SELECT TOP 1 guidFunction FROM QvSecObject WHERE strKey = '%s'", QvSQLString(strKey, 0));
                hr = QueryValue(conn, sql, L"guidFunction", &strFunction, &found);
                if (SUCCEEDED(hr) && found) {
                    hr = RightRow(conn, lUserID, strFunction, strKey, &lRight, &found);
                    if (SUCCEEDED(hr) && !found) hr = FunctionRights(conn, lUserID, strFunction, &lRight);
                } else if (SUCCEEDED(hr)) {
                    lRight = 0;
                }
            } else {
                hr = FunctionRights(conn, lUserID, strGUID, &lRight);
            }
        }
    }
    if (SUCCEEDED(hr)) *plRights = static_cast<LONG>(lRight);
    return hr;
}

HRESULT CQvSecServer::ShowRights(const GUID& guid, const CString& strKey) {
    CQvADOConnection conn;
    HRESULT hr = Prepare(conn);
    const CString strGUID = CQvGUID(guid).GetGUID(TRUE);
    CString strCaption = strKey.IsEmpty() ? strGUID : strKey;
    CString strLines;
    if (SUCCEEDED(hr)) {
        bool found = false;
        CString strName;
        CString sql;
        sql.Format(L"SELECT TOP 1 strName FROM QvSecFunction WHERE guid = '%s'", strGUID);
        hr = QueryValue(conn, sql, L"strName", &strName, &found);
        if (SUCCEEDED(hr) && strKey.IsEmpty() && !strName.IsEmpty()) strCaption = strName;
        if (SUCCEEDED(hr) && !strKey.IsEmpty()) {
            sql.Format(L"SELECT TOP 1 strName FROM QvSecObject WHERE strKey = '%s'", QvSQLString(strKey, 0));
            hr = QueryValue(conn, sql, L"strName", &strName, &found);
            if (SUCCEEDED(hr) && found && !strName.IsEmpty()) strCaption = strName;
        }
    }
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT u.strName, r.lRight FROM QvSecRight r JOIN QvSecUser u ON u.lQvSecUserID = r.lQvSecUserID "
                   L"WHERE r.guid = '%s' AND r.strKey = '%s' ORDER BY u.strName",
                   strGUID, QvSQLString(strKey, 0));
        CQvADORecordset rs(&conn);
        hr = rs.OpenSQL(sql, 0, 1);
        BOOL eof = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
        while (SUCCEEDED(hr) && !eof) {
            CString strUser;
            long lRight = 0;
            hr = rs.GetFieldValue(L"strName", &strUser);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRight", &lRight);
            if (SUCCEEDED(hr)) {
                strLines.AppendFormat(L"%s: 0x%08X\n", strUser, static_cast<DWORD>(lRight));
                hr = rs.MoveNext(&eof);
            }
        }
        rs.Close();
    }
    if (FAILED(hr)) return hr;
    if (strLines.IsEmpty()) strLines = L"Keine Rechte vergeben.";
    QvReportMsg(0, strLines, strCaption, L"Default", L"secstandin.cpp", __LINE__, 0);
    return S_OK;
}

HRESULT CQvSecServer::XSecServer::GetRights(GUID guid, BSTR bstrKey, long* plRights) {
    METHOD_PROLOGUE(CQvSecServer, SecServer)
    if (!plRights) return E_POINTER;
    const HRESULT hr = pThis->ReadRights(guid, Text(bstrKey), plRights);
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : hr;
}

HRESULT CQvSecServer::XSecServer::Reserved4() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecServer::Reserved5() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecServer::Reserved6() { return E_NOTIMPL; }

// The flag is not looked at: both dialogs list who holds which rights.
HRESULT CQvSecServer::XSecServer::ShowRightDlg(GUID guidObject, long) {
    METHOD_PROLOGUE(CQvSecServer, SecServer)
    const HRESULT hr = pThis->ShowRights(guidObject, CString());
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : hr;
}

HRESULT CQvSecServer::XSecServer::ShowSetRightDlg(GUID guidObject, BSTR bstrKey, long) {
    METHOD_PROLOGUE(CQvSecServer, SecServer)
    const HRESULT hr = pThis->ShowRights(guidObject, Text(bstrKey));
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : hr;
}

HRESULT CQvSecServer::XSecUser::Logon(BSTR bstrUser) {
    METHOD_PROLOGUE(CQvSecServer, SecUser)
    return pThis->DoLogon(Text(bstrUser));
}

HRESULT CQvSecServer::XSecUser::Reserved4() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecUser::Reserved5() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecUser::Reserved6() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecUser::Reserved7() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecUser::Reserved8() { return E_NOTIMPL; }
HRESULT CQvSecServer::XSecUser::Reserved9() { return E_NOTIMPL; }

HRESULT CQvSecServer::XSecUser::GetUser(BSTR* pbstrName, BSTR* pbstrUserID, long* plUserID) {
    METHOD_PROLOGUE(CQvSecServer, SecUser)
    if (!pbstrName || !pbstrUserID || !plUserID) return E_POINTER;
    *pbstrName = nullptr;
    *pbstrUserID = nullptr;
    *plUserID = 0;
    const long lUserID = pThis->CurrentUser();
    CString strName, strUserID;
    HRESULT hr = S_OK;
    if (lUserID != 0) {
        CQvADOConnection conn;
        hr = Prepare(conn);
        bool found = false;
        CString sql;
        sql.Format(L"SELECT TOP 1 strName, strUserID FROM QvSecUser WHERE lQvSecUserID = %d", lUserID);
        if (SUCCEEDED(hr)) hr = QueryValue(conn, sql, L"strName", &strName, &found);
        if (SUCCEEDED(hr) && found) hr = QueryValue(conn, sql, L"strUserID", &strUserID, &found);
        if (FAILED(hr)) return QV_TRACEHR(kSource, hr);
    }
    Out(pbstrName, strName);
    Out(pbstrUserID, strUserID);
    *plUserID = lUserID;
    // Nobody signed in: an answer without a user.
    return lUserID == 0 ? S_FALSE : S_OK;
}

HRESULT CQvSecServer::XSecAdmin::SetRights(BSTR bstrObjectKey, BSTR bstrKey2, GUID guidFunction, BSTR bstrName,
                                          long lMask) {
    METHOD_PROLOGUE(CQvSecServer, SecAdmin)
    const CString strKey = Text(bstrObjectKey);
    if (strKey.IsEmpty()) return QV_TRACEHR(kSource, E_INVALIDARG);
    const long lUserID = pThis->CurrentUser();
    const CString key = QvSQLString(strKey, 0);
    const CString function = CQvGUID(guidFunction).GetGUID(TRUE);

    CQvADOConnection conn;
    HRESULT hr = Prepare(conn);
    if (SUCCEEDED(hr)) {
        const CString key2 = QvSQLString(Text(bstrKey2), 0);
        const CString name = QvSQLString(Text(bstrName), 0);
        CString sql;
        sql.Format(L"IF EXISTS (SELECT 1 FROM QvSecObject WHERE strKey = '%s') "
                   L"UPDATE QvSecObject SET strKey2 = '%s', guidFunction = '%s', strName = '%s' WHERE strKey = '%s' "
                   L"ELSE INSERT INTO QvSecObject (strKey, strKey2, guidFunction, strName) VALUES ('%s', '%s', '%s', '%s')",
                   key, key2, function, name, key, key, key2, function, name);
        hr = conn.Execute(sql);
    }
    // The mask is kept as the signed 32-bit value it is.
    const LONG lRight = static_cast<LONG>(lMask);
    if (SUCCEEDED(hr) && lUserID != 0) {
        CString sql;
        sql.Format(L"IF EXISTS (SELECT 1 FROM QvSecRight WHERE lQvSecUserID = %d AND guid = '%s' AND strKey = '%s') "
                   L"UPDATE QvSecRight SET lRight = %d WHERE lQvSecUserID = %d AND guid = '%s' AND strKey = '%s' "
                   L"ELSE INSERT INTO QvSecRight (lQvSecUserID, guid, strKey, lRight) VALUES (%d, '%s', '%s', %d)",
                   lUserID, function, key, lRight, lUserID, function, key, lUserID, function, key, lRight);
        hr = conn.Execute(sql);
    }
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

// Never: the database engine keeps calling the procedure that creates the server's tables.
QV_STANDIN_SERVER_EXPORTS(CLSID_QvSecServer, CQvSecServer, QVSECSERVER_PROGID, S_FALSE)
