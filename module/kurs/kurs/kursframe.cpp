// What the operations on courses, runs and rights share: the connection and the reading of rows,
// the transaction rule, the user-log entry, the change events, the course dialog's closing
// question and the module's strings of these operations.
#include "kursint.h"

#include "kursdlg.h"

#include "kursapiresource.h"
#include "qvdbretry.h"
#include "qveventsource.h"
#include "qvsec.h"
#include "qvinteract.h"
#include "userlog.h"

#include <clocale>
#include <map>
#include <string>
#include <utility>
#include <vector>
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
            {IDS_BOOKING_LOG_FAILED,
             L"Die Anmeldung ist gespeichert, ihr Eintrag im Benutzerprotokoll konnte jedoch nicht geschrieben "
             L"werden:\n%s"},
            {IDS_REGISTRATION_GONE,
             L"Diese Anmeldung besteht nicht mehr, sie wurde inzwischen entfernt. Es wurde nichts geändert."},
            {IDS_REGISTRATION_CHANGED,
             L"Diese Anmeldung wurde inzwischen geändert oder entfernt. Es wurde nichts geändert."},
            {IDS_ONLINE_MAY_DIFFER,
             L"Was hier gespeichert ist, konnte nicht gelesen werden: die zentrale Installation kann von dieser "
             L"Anmeldung abweichen."},
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

long Execute(CQvADOConnection& conn, const CString& strSQL, long* plAffected) {
    const long hr = conn.Execute(strSQL, FALSE, plAffected);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        NoteFailure(conn);
    }
    return hr;
}

namespace {
thread_local long t_lGone = 0;
}  // namespace

long RegistrationGone() {
    ++t_lGone;
    Tell(Text(IDS_REGISTRATION_GONE), MB_OK | MB_ICONINFORMATION);
    return KURS_TRACEHR(E_ABORT);
}

long RegistrationChanged() {
    ++t_lGone;
    Tell(Text(IDS_REGISTRATION_CHANGED), MB_OK | MB_ICONINFORMATION);
    return KURS_TRACEHR(E_ABORT);
}

long GoneCount() { return t_lGone; }

CString ShownCondition(const ShownRegistration& shown, LPCWSTR lpszAlias) {
    CString p;
    if (lpszAlias && *lpszAlias) p.Format(L"%s.", lpszAlias);
    const LPCWSTR a = p;
    CString strWhere;
    strWhere.Format(L"%slPersonKursID = %d", a, shown.lPersonKursID);
    if (shown.lPersonID != 0) strWhere.AppendFormat(L" AND %slPersonID = %d", a, shown.lPersonID);
    if (shown.lKursinstanzID != ShownRegistration::kNotShown)
        strWhere.AppendFormat(L" AND %slKursinstanzID = %d", a, shown.lKursinstanzID);
    if (shown.lStatus >= 0) strWhere.AppendFormat(L" AND %slStatus = %d", a, shown.lStatus);
    if (shown.lTeilnehmer >= 0) strWhere.AppendFormat(L" AND %sfTeilnehmer = %d", a, shown.lTeilnehmer ? 1 : 0);
    if (shown.lLeiter >= 0) strWhere.AppendFormat(L" AND %sfLeiter = %d", a, shown.lLeiter ? 1 : 0);
    if (shown.lGruppeID != ShownRegistration::kNotShown) {
        strWhere.AppendFormat(L" AND %slKursinstanzGruppeID = %d", a, shown.lGruppeID);
        // Group names are kept and matched without blanks at their end.
        CString strLabel = shown.strGruppe;
        strLabel.TrimRight();
        if (shown.lGruppeID != -1)
            strWhere.AppendFormat(L" AND EXISTS (SELECT 1 FROM KursinstanzGruppe WHERE "
                                  L"KursinstanzGruppe.lKursinstanzGruppeID = %d AND "
                                  L"rtrim(KursinstanzGruppe.strBezeichnung) = '%s')",
                                  shown.lGruppeID, static_cast<LPCWSTR>(QvSQLString(strLabel, 0)));
    }
    return strWhere;
}

long CheckRegistrationShown(CQvADOConnection& conn, const ShownRegistration& shown, ShownRegistration* pStored) {
    CQvADORecordset rs(&conn);
    CString strSQL;
    // Compared by the same condition that holds the row in the statements that write it.
    strSQL.Format(L"SELECT pk.lPersonID, pk.lKursinstanzID, pk.lStatus, pk.fTeilnehmer, pk.fLeiter, "
                  L"pk.lKursinstanzGruppeID, isnull(g.strBezeichnung, '') AS strGruppe, CASE WHEN %s THEN 1 ELSE 0 "
                  L"END AS fAsShown FROM PersonKurs pk LEFT OUTER JOIN KursinstanzGruppe g ON "
                  L"g.lKursinstanzGruppeID = pk.lKursinstanzGruppeID WHERE pk.lPersonKursID = %d",
                  static_cast<LPCWSTR>(ShownCondition(shown, L"pk")), shown.lPersonKursID);
    BOOL bEOF = TRUE;
    ShownRegistration stored;
    stored.lPersonKursID = shown.lPersonKursID;
    long lAsShown = 0;
    long hr = OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"lPersonID", &stored.lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzID", &stored.lKursinstanzID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &stored.lStatus);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &stored.lTeilnehmer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fLeiter", &stored.lLeiter);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzGruppeID", &stored.lGruppeID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strGruppe", &stored.strGruppe);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fAsShown", &lAsShown);
    }
    rs.Close();
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    if (bEOF) return RegistrationGone();
    stored.lTeilnehmer = stored.lTeilnehmer ? 1 : 0;
    stored.lLeiter = stored.lLeiter ? 1 : 0;
    if (stored.lGruppeID == -1) stored.strGruppe.Empty();
    if (!lAsShown) return RegistrationChanged();
    if (pStored) *pStored = stored;
    return S_OK;
}

long RegistrationNotAsShown(long lPersonKursID) {
    long lCount = 0;
    CString strWhere;
    strWhere.Format(L"lPersonKursID = %d", lPersonKursID);
    const long hr = QvDBLookupLong(L"count(*)", L"PersonKurs", strWhere, &lCount, kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return hr == S_OK && lCount == 0 ? RegistrationGone() : RegistrationChanged();
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

namespace {

// What is stored could not be read after a change was sent to the central installation: the next
// message says so.
thread_local bool t_bCentralMayDiffer = false;

CString WithCentralNote(const CString& strText) {
    if (!std::exchange(t_bCentralMayDiffer, false)) return strText;
    return strText + L"\n\n" + Text(IDS_ONLINE_MAY_DIFFER);
}

struct UnitMessage {
    std::function<void()> tell;
    bool bCommitted;
    bool bReport = false;
};
// Whether a unit of ours owns the open transaction of this thread, and what waits for its end.
thread_local bool t_bUnitOpen = false;
thread_local std::vector<UnitMessage> t_unitMessages;
// Reports taken in the open unit, and those of tries that were given up and written again.
thread_local long t_lUnitReports = 0;
thread_local long t_lForgottenReports = 0;

// A unit that failed is reported once: what fails after its first failure follows from it.
void KeepReport(const CString& strText, long hr, const std::wstring& strFile, long lLine) {
    ++t_lUnitReports;
    for (const auto& message : t_unitMessages) {
        if (message.bReport) return;
    }
    const std::string file = qv::ToUtf8(strFile);
    t_unitMessages.push_back(
        {[strText, hr, file, lLine] { QvReportDBErrorText(WithCentralNote(strText), hr, file.c_str(), lLine); },
         false, true});
}

}  // namespace

namespace {
thread_local bool t_bRehearsing = false;
thread_local long t_lQuestionScopes = 0;
// The answers of a rehearsal by question, in the order they were given (the same question may come
// for two persons of the same name), and how many of each the steps running now have taken: each
// run of the steps (a rehearsal, the unit) takes them from the first.
thread_local std::map<std::wstring, std::vector<int>> t_answers;
thread_local std::map<std::wstring, std::size_t> t_taken;

int Answer(const std::wstring& strKey, const std::function<int()>& ask) {
    const std::size_t nIndex = t_taken[strKey]++;
    const auto it = t_answers.find(strKey);
    if (it != t_answers.end() && nIndex < it->second.size()) return it->second[nIndex];
    const int nAnswer = ask();
    if (t_bRehearsing) t_answers[strKey].push_back(nAnswer);
    return nAnswer;
}
}  // namespace

CQuestionsFirst::CQuestionsFirst() {
    ++t_lQuestionScopes;
    if (!t_bRehearsing) {
        t_bRehearsing = m_bRehearsing = true;
        t_taken.clear();
    }
}

CQuestionsFirst::~CQuestionsFirst() {
    if (m_bRehearsing) t_bRehearsing = false;
    if (--t_lQuestionScopes == 0) {
        t_answers.clear();
        t_taken.clear();
    }
}

bool CQuestionsFirst::Done() {
    if (!m_bRehearsing) return !t_bRehearsing;
    m_bRehearsing = t_bRehearsing = false;
    t_taken.clear();
    return true;
}

bool Rehearsing() { return t_bRehearsing; }

int Ask(const CString& strText, UINT nType) {
    std::wstring strKey = L"box:";
    strKey += static_cast<LPCWSTR>(strText);
    return Answer(strKey, [&] { return AfxMessageBox(strText, nType); });
}

int AskSelection(UINT nTitle, UINT nStatement, UINT nFirst, UINT nSecond, UINT nNote) {
    const std::wstring strKey = L"selection:" + std::to_wstring(nTitle) + L":" + std::to_wstring(nStatement);
    return Answer(strKey, [&] { return QvSelectionBox(nTitle, nStatement, nFirst, nSecond, nNote, 0); });
}

void Tell(const CString& strText, UINT nType) {
    TellAfterUnit([strText, nType] { AfxMessageBox(WithCentralNote(strText), nType); }, false);
}

void NoteCentralMayDiffer() { t_bCentralMayDiffer = true; }

void TellCentralMayDiffer() {
    if (std::exchange(t_bCentralMayDiffer, false)) AfxMessageBox(Text(IDS_ONLINE_MAY_DIFFER), MB_OK | MB_ICONEXCLAMATION);
}

void TellAfterUnit(std::function<void()> tell, bool bCommitted) {
    // A rehearsal's steps run again in the unit, which tells.
    if (t_bRehearsing) return;
    if (!t_bUnitOpen) {
        tell();
        return;
    }
    t_unitMessages.push_back({std::move(tell), bCommitted});
}

namespace {
// The failure of this thread's last unit that could not begin, reported there, until the caller
// reports it.
thread_local long t_hrBeginReported = S_OK;
thread_local QvDBErrorReportHook t_callersHook;
// The cause of this thread's last refused log entry, until it is reported or another entry is
// written.
thread_local CString t_strLogRefusal;
thread_local long t_hrLogRefusal = S_OK;
}  // namespace

CString TakeLogRefusal(long hr) {
    CString strCause;
    if (hr == t_hrLogRefusal) strCause = t_strLogRefusal;
    t_strLogRefusal.Empty();
    t_hrLogRefusal = S_OK;
    return strCause;
}

long ReportDBError(CQvADOConnection& conn, long hr, LPCSTR lpszFile, long lLine) {
    // A failure the connection does not know may be a refused log entry: its report gives the
    // log server's cause. Inside a unit the hook keeps it for the unit's end.
    const CString strRefusal = TakeLogRefusal(hr);
    const long hrBegin = std::exchange(t_hrBeginReported, S_OK);
    CString strText;
    conn.GetErrorText(strText);
    if (strText.IsEmpty() && !strRefusal.IsEmpty())
        return QvReportDBErrorText(WithCentralNote(strRefusal), hr, lpszFile, lLine);
    // A unit that could not begin was told by its own look at the transaction count.
    if (strText.IsEmpty() && hr == hrBegin) return hr;
    if (t_bCentralMayDiffer) {
        if (strText.IsEmpty()) strText = qv::db::LostConnectionText();
        return QvReportDBErrorText(WithCentralNote(strText), hr, lpszFile, lLine);
    }
    return QvReportDBError(conn, hr, lpszFile, lLine);
}

long ReportCount() { return QvDBErrorReportCount() - t_lForgottenReports; }

void ForgetUnitMessages() {
    t_lForgottenReports += std::exchange(t_lUnitReports, 0);
    t_unitMessages.clear();
}

CKursTransaction::~CKursTransaction() {
    if (!m_bOwn) return;
    m_conn.RollbackTrans();
    Ended(false);
}

long CKursTransaction::Begin() {
    t_hrBeginReported = S_OK;
    long lCount = -1;
    long hr = QvDBLookupLong(L"@@TRANCOUNT", L"System", L"", &lCount, kProfile);
    if (FAILED(hr)) return KURS_TRACEHR(t_hrBeginReported = hr);
    if (hr != S_OK || lCount < 0) return KURS_TRACEHR(E_FAIL);
    if (lCount == 0) {
        hr = m_conn.BeginTrans();
        if (FAILED(hr)) return KURS_TRACEHR(hr);
        m_bOwn = true;
        t_bUnitOpen = true;
        // A scope of the caller's that took the reports has them back when the unit has ended.
        t_callersHook = QvSetDBErrorReportHook(&KeepReport);
    }
    return S_OK;
}

long CKursTransaction::End(long hr, const std::function<void(long)>& beforeTelling) {
    if (!m_bOwn) {
        if (beforeTelling) beforeTelling(hr);
        return hr;
    }
    m_bOwn = false;
    if (SUCCEEDED(hr)) {
        const long hrCommit = m_conn.CommitTrans();
        if (FAILED(hrCommit)) {
            KURS_TRACEHR(hrCommit);
            m_conn.RollbackTrans();
            if (beforeTelling) beforeTelling(hrCommit);
            Ended(false);
            return hrCommit;
        }
        if (beforeTelling) beforeTelling(hr);
        Ended(true);
        return hr;
    }
    const long hrRollback = m_conn.RollbackTrans();
    if (FAILED(hrRollback)) KURS_TRACEHR(hrRollback);
    if (beforeTelling) beforeTelling(hr);
    Ended(false);
    return hr;
}

void CKursTransaction::Ended(bool bCommitted) {
    m_bOwn = false;
    t_bUnitOpen = false;
    QvSetDBErrorReportHook(std::exchange(t_callersHook, {}));
    t_lUnitReports = 0;
    std::vector<UnitMessage> messages;
    messages.swap(t_unitMessages);
    for (auto& message : messages) {
        if (bCommitted || !message.bCommitted) message.tell();
    }
}

long WriteUserLog(long lKind, UINT nCode, const CString& strDetail, const CString& strModul, long lValue,
                  long lTableID, const CQvGUID& guidObject, const CQvGUID& guidParent) {
    CString strText = Text(nCode);
    CString strDetailCopy = strDetail;
    CString strModulCopy = strModul;
    CQvGUID guidObjectCopy = guidObject;
    CQvGUID guidParentCopy = guidParent;
    CUserLog log;
    t_strLogRefusal.Empty();
    t_hrLogRefusal = S_OK;
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
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        t_strLogRefusal = log.GetLastErrorText();
        t_hrLogRefusal = hr;
    }
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
