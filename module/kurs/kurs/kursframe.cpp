// What the operations on courses, runs and rights share: the connection and the reading of rows,
// the transaction rule, the user-log entry, the change events, the course dialog's closing
// question and the module's strings of these operations.
#include "kursint.h"

#include "kursdlg.h"

#include "kursapiresource.h"
#include "qveventsource.h"
#include "qvsec.h"
#include "userlog.h"

#include <clocale>
#include <locale.h>

namespace {

struct StringRegistrar {
    StringRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_REMOVE_STATEMENT, L"Die Person wird nicht mehr an der Austragung teilnehmen."},
            {IDS_REMOVE_DEREGISTER, L"Die Person von der Austragung abmelden."},
            {IDS_REMOVE_DELETE, L"Die Anmeldung löschen."},
            {IDS_REMOVE_TITLE, L"Person entfernen"},
            {IDS_REMOVE_NOTE, L"Notieren Sie anschliessend in den Bemerkungen den Grund für die Abmeldung."},
            {IDS_COPY_PREFIX, L"Kopie von "},
        });
    }
};

StringRegistrar g_stringRegistrar;

}  // namespace

CString DoubleToSqlText(double dblValue) {
    CString strFormat;
    strFormat.Format(L"%%.%df", 6);
    // The SQL literal needs the decimal point whatever number format the user chose.
    locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    locale_t previous = c ? uselocale(c) : static_cast<locale_t>(nullptr);
    CString strText;
    strText.Format(strFormat, dblValue);
    if (c) {
        uselocale(previous);
        freelocale(c);
    }
    return strText;
}

namespace kurs {

long OpenConnection(CQvADOConnection& conn) {
    const long hr = conn.Open(kProfile, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr;
}

namespace {

// Whether a write of this thread's unit of work was chosen as a deadlock's victim.
thread_local bool t_bDeadlock = false;

void NoteFailure(CQvADOConnection& conn) {
    long lNumber = 0;
    long lNative = 0;
    CString strState;
    if (SUCCEEDED(conn.GetLastErrorInfo(&lNumber, &lNative, strState)) && lNative == 1205) t_bDeadlock = true;
}

}  // namespace

void ForgetDeadlock() { t_bDeadlock = false; }

bool TakeDeadlock() {
    const bool bDeadlock = t_bDeadlock;
    t_bDeadlock = false;
    return bDeadlock;
}

long Execute(CQvADOConnection& conn, const CString& strSQL) {
    const long hr = conn.Execute(strSQL);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        NoteFailure(conn);
    }
    return hr;
}

long GetUniqueID(CQvADOConnection& conn, LPCWSTR lpszTable, LPCWSTR lpszColumn, long& lID) {
    const long hr = conn.GetUniqueID(lpszTable, lpszColumn, &lID);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        NoteFailure(conn);
    }
    return hr;
}

long OpenRows(CQvADORecordset& rs, const CString& strSQL, BOOL& bEOF) {
    bEOF = TRUE;
    long hr = rs.Open(strSQL);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    if (SUCCEEDED(hr)) {
        hr = rs.IsEOF(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    return hr;
}

long ReadRecord(CQvADORecordset& rs, const CString& strSQL, LPCWSTR lpszTextColumn, CQvGUID& guid,
                CString& strText) {
    BOOL bEOF = TRUE;
    long hr = OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"guid", &guid);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(lpszTextColumn, &strText);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    return hr;
}

long CheckKursinstanzWritten(long lKursinstanzID) {
    long lCount = 0;
    CString strWhere;
    strWhere.Format(L"lKursinstanzID = %d", lKursinstanzID);
    long hr = QvDBLookupLong(L"count(*)", L"Kursinstanz", strWhere, &lCount, kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    if (SUCCEEDED(hr)) hr = lCount == 1 ? S_OK : KURS_TRACEHR(E_INVALIDARG);
    return hr;
}

long CurrentSecUserID() {
    long lQvSecUserID = 0;
    CQvSec sec;
    sec.GetUser(nullptr, nullptr, &lQvSecUserID);
    return lQvSecUserID;
}

CKursTransaction::~CKursTransaction() {
    if (m_bOwn) m_conn.RollbackTrans();
}

long CKursTransaction::Begin() {
    long lCount = -1;
    long hr = QvDBLookupLong(L"@@TRANCOUNT", L"System", L"", &lCount, kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (hr != S_OK || lCount < 0) return KURS_TRACEHR(E_FAIL);
    if (lCount == 0) {
        hr = m_conn.BeginTrans();
        if (FAILED(hr)) return KURS_TRACEHR(hr);
        m_bOwn = true;
    }
    return S_OK;
}

long CKursTransaction::End(long hr) {
    if (!m_bOwn) return hr;
    m_bOwn = false;
    if (SUCCEEDED(hr)) {
        const long hrCommit = m_conn.CommitTrans();
        if (FAILED(hrCommit)) {
            KURS_TRACEHR(hrCommit);
            m_conn.RollbackTrans();
            return hrCommit;
        }
        return hr;
    }
    const long hrRollback = m_conn.RollbackTrans();
    if (FAILED(hrRollback)) KURS_TRACEHR(hrRollback);
    return hr;
}

long WriteUserLog(long lKind, UINT nCode, const CString& strDetail, const CString& strModul, long lValue,
                  long lTableID, const CQvGUID& guidObject, const CQvGUID& guidParent) {
    CString strText = Text(nCode);
    CString strDetailCopy = strDetail;
    CString strModulCopy = strModul;
    CQvGUID guidObjectCopy = guidObject;
    CQvGUID guidParentCopy = guidParent;
    CUserLog log;
    long hr;
    switch (lKind) {
    case 0:
        hr = log.WriteInsert(&strText, &strDetailCopy, &strModulCopy, lValue, lTableID, &guidObjectCopy,
                             &guidParentCopy, 0, 0);
        break;
    case 1:
        hr = log.WriteUpdate(&strText, &strDetailCopy, &strModulCopy, lValue, lTableID, &guidObjectCopy,
                             &guidParentCopy, 0, 0);
        break;
    default:
        hr = log.WriteDelete(&strText, &strDetailCopy, &strModulCopy, lValue, lTableID, &guidObjectCopy,
                             &guidParentCopy, 0, 0);
        break;
    }
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr;
}

void FireKursEvent(LPCWSTR lpszEvent, long lID) {
    CQvEventSource events;
    const long hr = events.FireEvent(CQvGUID(lpszEvent).GetValue(), lID, FALSE);
    if (FAILED(hr)) KURS_TRACEHR(hr);
}

BOOL IsKursDlgClosing(CKursDlg* pDlg) { return pDlg ? pDlg->IsClosing() : FALSE; }

CQvDateTime DayStart(const CQvDateTime& dt) {
    if (dt.GetStatus() != COleDateTime::valid) return dt;
    return CQvDateTime(dt.GetYear(), dt.GetMonth(), dt.GetDay(), 0, 0, 0);
}

}  // namespace kurs
