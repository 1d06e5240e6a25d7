#include "kursdlg.h"

#include "kursbelegungdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "kursselectdlg.h"
#include "kursview.h"
#include "createeinsatzdlg.h"
#include "maxteilnehmerdlg.h"
#include "nqplanungcalls.h"
#include "qvdblookup.h"
#include "notificationdlg.h"
#include "nqcommon.h"
#include "nqframeworkres.h"
#include "optionserver.h"
#include "qvregvalue.h"
#include "qvreport.h"
#include "qvscheduler.h"
#include "qvsec.h"
#include "statuslinereports.h"
#include "userlog.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr const wchar_t* kViewKey = L"Software\\Qovaro\\NQ2\\KursView";
constexpr const wchar_t* kCommonKey = L"Software\\Qovaro\\NQ2\\Common";
// Rights of the course module: read, edit.
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;
constexpr DWORD kRightKursleiter = 0x10000;
// The function of the run's data page.
constexpr const wchar_t* kSecKursinstanzDaten = L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}";
// Height of the header above the pages, in pixels.
constexpr int kHeaderHeight = 64;

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSDLG;
        dlg.cx = 460;
        dlg.cy = 300;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        dlg.items = {
            Control(L"", IDC_NQ_ICON_EDIT, L"Static", SS_BITMAP | SS_CENTERIMAGE | WS_VISIBLE, 4, 4, 12, 12),
            Control(L"", IDC_NQ_ICON_DOCMNGMT, L"Static", SS_BITMAP | SS_CENTERIMAGE | SS_NOTIFY | WS_VISIBLE, 20, 4,
                    12, 12),
            LText(L"", IDC_KURSDLG_TITLE, 38, 6, 300, 10),
            PushButton(L"Kurs wählen...", IDC_KURSDLG_SELECT, 4, 22, 70, 14, WS_TABSTOP),
            PushButton(L"Aktionen", IDC_KURSDLG_ACTION, 78, 22, 60, 14, WS_TABSTOP),
            PushButton(L"Speichern", IDC_KURSDLG_SAVE, 142, 22, 55, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDC_KURSDLG_CANCEL, 201, 22, 55, 14, WS_TABSTOP),
            PushButton(L"Berichte", IDC_KURSDLG_REPORT, 260, 22, 66, 14, WS_TABSTOP),
            Control(L"", IDC_NQ_LOGO, QVIMAGEVIEW_CLASSNAME, 0, 400, 2, 56, 24),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);

        // What a user without the module's right sees in the window's middle: the course sheet
        // behind a red no-entry sign.
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(QColor(0xF0, 0xF0, 0xF0));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QColor(120, 120, 120));
        painter.setBrush(QColor(240, 244, 255));
        painter.drawRect(10, 6, 36, 46);
        painter.setPen(QColor(40, 60, 140));
        for (int y = 14; y < 44; y += 6) painter.drawLine(16, y, 40, y);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 30, 30));
        painter.drawEllipse(30, 30, 30, 30);
        painter.setBrush(Qt::white);
        painter.drawRect(36, 42, 18, 6);
        painter.end();
        RegisterBitmap(KursModuleHandle(), IDB_KURSDLG_NOACCESS, image);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

// The rights refresh and the fill-level refresh the scheduler raises for the course window.
const GUID CKursDlg::GUID_UpdateSecKurs = qv::MakeGuid("47DCD639-0AF3-40B1-83D4-A43678E6ADCE");
const GUID CKursDlg::GUID_FillLevel = qv::MakeGuid("C6D6859B-3B17-4051-9E82-47C97B16AA94");
const GUID CKursDlg::GUID_ReportProfile = qv::MakeGuid("9226ADE4-9631-4108-A7D0-EC5FB3DE9D36");

namespace {
const GUID GUID_KursChanged = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
const GUID GUID_KursinstanzChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
// Whether notifications wait to be sent.
BOOL HasOpenNotifications() {
    CString strSQL;
    strSQL.Format(L"SELECT 1 FROM Kursnotification WHERE dtSent = %s", (LPCWSTR)CQvDateTime(1899, 12, 30, 0, 0, 0, 0).SQLConvert());
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    BOOL bEOF = TRUE;
    if (FAILED(kurs::OpenConnection(conn)) || FAILED(kurs::OpenRows(rs, strSQL, bEOF))) return FALSE;
    rs.Close();
    return !bEOF;
}

}  // namespace

IMPLEMENT_DYNAMIC(CKursDlg, CParentDlg)

BEGIN_MESSAGE_MAP(CKursDlg, CParentDlg)
    ON_WM_SIZE()
    ON_BN_CLICKED(IDC_KURSDLG_SELECT, &CKursDlg::OnSelectKurs)
    ON_BN_CLICKED(IDC_KURSDLG_ACTION, &CKursDlg::OnAction)
    ON_BN_CLICKED(IDC_KURSDLG_SAVE, &CKursDlg::OnSave)
    ON_BN_CLICKED(IDC_KURSDLG_CANCEL, &CKursDlg::OnCancelEdit)
    ON_COMMAND(ID_KURSINSTANZ_CHECKOPEN, &CKursDlg::OnCheckKursinstanz)
    ON_COMMAND_RANGE(ID_KURS_NEW, ID_KURSINSTANZ_USERLOG, &CKursDlg::OnActionRange)
    ON_COMMAND_RANGE(QVREPORT_FIRST_COMMAND, 199, &CKursDlg::OnReportCommand)
    ON_COMMAND_RANGE(ID_KURS_NOTIFICATION, ID_KURS_CREATEEINSATZ, &CKursDlg::OnActionRange)
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CKursDlg)
    ON_QVEVENT(CKursDlg::GUID_UpdateSecKurs, OnUpdateSecKurs)
    ON_QVEVENT(CKursDlg::GUID_FillLevel, OnFillLevelEvent)
    ON_QVEVENT(GUID_KursChanged, OnKursChanged)
    ON_QVEVENT(GUID_KursinstanzChanged, OnKursChanged)
END_QVEVENT_MAP()

BEGIN_INTERFACE_MAP(CKursDlg, CParentDlg)
    INTERFACE_PART(CKursDlg, IID_IKursinstanz, Kursinstanz)
END_INTERFACE_MAP()

CKursDlg::CKursDlg(CKursView* pView) : CParentDlg(pView, L"Kurs", L"Kursinstanz") {
    m_nTemplateID = IDD_KURSDLG;
    m_nIDTemplate = IDD_KURSDLG;
}

CKursDlg::~CKursDlg() = default;

void CKursDlg::DoDataExchange(CDataExchange* pDX) { CParentDlg::DoDataExchange(pDX); }

BOOL CKursDlg::OnInitDialog() {
    CKursResourceScope scope;
    CParentDlg::OnInitDialog();
    m_tabCtrl.CreateTabCtrl(this, kViewKey);
    if (m_btnReport.Init(IDC_KURSDLG_REPORT, this, CQvGUID(GUID_ReportProfile), QVBB_IMAGE_LEFT))
        m_btnReport.SetStandardImage(43);
    LayoutControls();
    EnableHeader();
    return TRUE;
}

void CKursDlg::OnSize(UINT, int, int) {
    Default();
    LayoutControls();
}

void CKursDlg::LayoutControls() {
    if (!GetSafeHwnd() || !m_tabCtrl.GetSafeHwnd()) return;
    CRect rc;
    GetClientRect(&rc);
    m_tabCtrl.MoveWindow(4, kHeaderHeight, std::max(0L, rc.Width() - 8L), std::max(0L, rc.Height() - kHeaderHeight - 4L),
                         TRUE);
    if (CWnd* pLogo = GetDlgItem(IDC_NQ_LOGO)) pLogo->MoveWindow(std::max(0L, rc.Width() - 100L), 2, 96, 24, TRUE);
}

HRESULT CKursDlg::OnUpAndRunning() {
    CKursResourceScope scope;
    HRESULT hr = CParentDlg::OnUpAndRunning();
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    // Named before the sink listens, so that the scheduler's events carry their names.
    m_eventSource.FireEventString(GUID_FillLevel, L"FillLevelInterval");
    if (FAILED(m_asyncSink.Create(this, GetQvEventMap()))) KURS_TRACEHR(E_FAIL);

    CQvScheduler scheduler;
    hr = scheduler.AddJob(0, GUID_UpdateSecKurs, 0);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    long lInterval = 0;
    COptionServer options;
    options.GetOption(-1060, CString(L"FillLevelInterval"), &lInterval, 1, 0);
    long lEnabled = 1;
    CQvRegistry::GetValue(kViewKey, L"FillupStateEnabled", lEnabled);
    if (lInterval > 0 && lEnabled == 1) {
        hr = scheduler.SetJob(static_cast<DWORD>(lInterval) * 60000, GUID_FillLevel, 15000, 0);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    UpdateKursinstanzFillLevel();
    RestoreLastRecord();
    if (GetRecordID() == 0) NavigateToFirstRun();
    // A missing scheduler costs only the periodic refreshes.
    return S_OK;
}

void CKursDlg::RestoreLastRecord() {
    // The course and run remembered are those last shown, in whatever database that was: a run
    // this database does not hold under that course is passed over, and the first start's choice
    // applies. A lookup that fails is left to the restore, which reports it.
    long lLastKurs = 0, lLastRun = 0;
    CQvRegistry::GetValue(kCommonKey, L"LastID_Kurs", lLastKurs);
    CQvRegistry::GetValue(kCommonKey, L"LastID_Kursinstanz", lLastRun);
    if (lLastRun != 0) {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        CString strSQL;
        strSQL.Format(L"SELECT 1 FROM Kursinstanz WHERE lKursinstanzID = %d AND lKursID = %d", lLastRun, lLastKurs);
        BOOL bEOF = FALSE;
        long hr = kurs::OpenConnection(conn);
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        if (SUCCEEDED(hr) && bEOF) return;
    }
    CParentDlg::RestoreLastRecord();
}

void CKursDlg::NavigateToFirstRun() {
    // Nothing remembered (a first start): the nearest run one may register for now, that is open,
    // not cancelled, still ahead, with its registration window running, and of a course this
    // installation may book into (a local one only its own courses); without such a run the
    // latest run, so that the window shows a course.
    const CString strZero = kurs::ZeroDateSQL();
    CString strLocal;
    if (!NQ_IsEnterpriseEdition()) strLocal.Format(L"AND k.lTyp = %d", eAuthorityTypLokal);
    CString strOpen;
    strOpen.Format(L"SELECT TOP 1 ki.lKursID, ki.lKursinstanzID FROM Kursinstanz ki JOIN Kurs k ON k.lKursID = "
                   L"ki.lKursID WHERE k.fActive = 1 AND ki.fGeschlossen = 0 AND ki.dtAbgesagt = %s AND ki.dtDatum > "
                   L"getdate() AND ki.dtAnmeldenVon <> %s AND ki.dtAnmeldenVon <= getdate() AND (ki.dtAnmeldenBis = %s "
                   L"OR ki.dtAnmeldenBis > getdate()) %s ORDER BY ki.dtDatum, ki.lKursinstanzID",
                   strZero, strZero, strZero, strLocal);
    const CString strLatest = L"SELECT TOP 1 ki.lKursID, ki.lKursinstanzID FROM Kursinstanz ki JOIN Kurs k ON k.lKursID = "
                              L"ki.lKursID WHERE k.fActive = 1 ORDER BY ki.dtDatum DESC, ki.lKursinstanzID";
    long lKursID = 0, lKursinstanzID = 0;
    long hr = S_OK;
    for (const CString& strSQL : {strOpen, strLatest}) {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        hr = kurs::OpenConnection(conn);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lKursID", &lKursID);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
        rs.Close();
        if (FAILED(hr) || lKursID != 0) break;
    }
    if (FAILED(hr)) KURS_TRACEHR(hr);
    if (SUCCEEDED(hr) && lKursID != 0) Navigate(lKursID, lKursinstanzID);
}

HRESULT CKursDlg::CloseView() {
    // A close the user stopped leaves the window as it was, still told of the work it waits for.
    const HRESULT hr = AskBeforeClose();
    if (FAILED(hr)) return hr;
    m_asyncSink.Unadvise();
    return CloseAsked();
}

BOOL CKursDlg::IsClosing() { return CParentDlg::IsClosing() || IsClosingFlag(); }

CString CKursDlg::GetRecordQuery() {
    // Courses belong to no Mandant: the header shows no logo and the rights are the module's.
    return CString();
}

HRESULT CKursDlg::ReadKurs() {
    // Read aside: a read that fails keeps the header as it was (the course and run shown stay
    // the ones the pages show).
    CString strKurs, strKursinstanz, strKursinstanzName;
    CQvGUID guidKurs, guidKursinstanz;
    long lTyp = 0;
    BOOL bGeschlossen = FALSE;
    HRESULT hr = S_OK;
    if (GetRecordID() != 0) {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        hr = kurs::OpenConnection(conn);
        BOOL bEOF = TRUE;
        CString strSQL;
        strSQL.Format(L"SELECT lTyp, guid, dbo.fn_GetKursBezeichnung(lKursID) AS strKurs FROM Kurs WHERE lKursID = %d",
                      GetRecordID());
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lTyp", &lTyp);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"guid", &guidKurs);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"strKurs", &strKurs);
        rs.Close();
        if (SUCCEEDED(hr) && GetSubRecordID() != 0) {
            strSQL.Format(L"SELECT strBezeichnung, dtDatum, fGeschlossen, guid, dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID) "
                          L"AS strName FROM Kursinstanz WHERE lKursinstanzID = %d",
                          GetSubRecordID());
            hr = kurs::OpenRows(rs, strSQL, bEOF);
            COleDateTime dtDatum;
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"strBezeichnung", &strKursinstanz);
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"dtDatum", &dtDatum);
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"fGeschlossen", &bGeschlossen);
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"guid", &guidKursinstanz);
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"strName", &strKursinstanzName);
            if (SUCCEEDED(hr) && !bEOF && dtDatum.GetStatus() == COleDateTime::valid) {
                const CString strDate = dtDatum.Format(L"%d.%m.%Y");
                strKursinstanz = strKursinstanz.IsEmpty() ? strDate : strKursinstanz + L" (" + strDate + L")";
            }
            rs.Close();
        }
        if (FAILED(hr)) return KURS_REPORTDBERROR(conn, hr);
    }
    m_strKurs = strKurs;
    m_strKursinstanz = strKursinstanz;
    m_strKursinstanzName = strKursinstanzName;
    m_guidKurs = guidKurs;
    m_guidKursinstanz = guidKursinstanz;
    m_lTyp = lTyp;
    m_bGeschlossen = bGeschlossen;
    return hr;
}

HRESULT CKursDlg::UpdateHeader() {
    CKursResourceScope scope;
    const HRESULT hr = CParentDlg::UpdateHeader();
    // A failed read has been reported; the title stays the one shown.
    if (FAILED(ReadKurs())) {
        EnableHeader();
        return hr;
    }
    if (GetRecordID() == 0)
        m_strTitle = kurs::Text(IDS_KURSDLG_NONE);
    else if (GetSubRecordID() == 0)
        m_strTitle.Format(IDS_KURSDLG_TITLE, static_cast<LPCWSTR>(m_strKurs));
    else
        m_strTitle.Format(IDS_KURSDLG_TITLE_RUN, static_cast<LPCWSTR>(m_strKurs), static_cast<LPCWSTR>(m_strKursinstanz));
    if (GetSafeHwnd()) SetDlgItemText(IDC_KURSDLG_TITLE, m_strTitle);
    EnableHeader();
    return hr;
}

void CKursDlg::EnableHeader() {
    if (!GetSafeHwnd()) return;
    GetDlgItem(IDC_KURSDLG_SAVE)->EnableWindow(IsEditing());
    GetDlgItem(IDC_KURSDLG_CANCEL)->EnableWindow(IsEditing());
    GetDlgItem(IDC_KURSDLG_SELECT)->EnableWindow(!IsEditing());
}

HRESULT CKursDlg::ApplyDefaultSecurity() {
    HRESULT hr = S_OK;
    {
        // The module's own hint and picture in place of the base's.
        CKursResourceScope scope;
        hr = OnApplySecurity(IDS_KURSDLG_NOACCESS, IDB_KURSDLG_NOACCESS, 0);
    }
    // The pages the user's rights admit, shown once the view's rights are known.
    m_tabCtrl.ReloadTabWindows();
    return hr;
}

void CKursDlg::MoveView(const RECT* pRect, BOOL bRepaint) {
    CParentDlg::MoveView(pRect, bRepaint);
    LayoutControls();
}

HRESULT CKursDlg::ApplyRights() {
    const HRESULT hr = CParentDlg::ApplyRights();
    EnableHeader();
    return hr;
}

// ---- the edit lock of the course row

HRESULT CKursDlg::AcquireEditLock() {
    CString strOwner;
    return LockRecord(L"Kurs", L"lKursID", &strOwner, 0);
}

HRESULT CKursDlg::BeginEdit() {
    const HRESULT hr = CParentDlg::BeginEdit();
    EnableHeader();
    return hr;
}

HRESULT CKursDlg::EndEdit() {
    const HRESULT hr = CParentDlg::EndEdit();
    EnableHeader();
    return hr;
}

HRESULT CKursDlg::ReleaseEditLock() {
    const HRESULT hr = UnlockRecord(L"Kurs", L"lKursID", 0);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CKursDlg::GetRecordState(CString* pstrOwner) {
    if (GetRecordID() == 0) return eRecordUnchanged;
    const HRESULT hr = CheckRecordLock(L"Kurs", L"lKursID", pstrOwner, 0);
    // A failed check leaves the state as it was known.
    if (FAILED(hr)) return eRecordUnchanged;
    return hr;
}

void CKursDlg::OnSave() {
    // Not inside the message loop of a box of a page's load or of a save.
    if (IsPageBusy()) return;
    // The save a close waited for: made, the program ends; not made, the one report of its
    // failure says that the program stays open.
    const BOOL bQuit = TakeQuitWhenSaved();
    const CString strQuitLine = bQuit ? NQLoadString(IDS_NQ_QUIT_NOT_SAVED) : CString();
    const long lReports = kurs::ReportCount();
    HRESULT hr = S_OK;
    {
        const QvDBErrorHeadline headline(strQuitLine);
        m_bQuitSaveRunning = bQuit;
        hr = SaveData();
        m_bQuitSaveRunning = FALSE;
    }
    if (FAILED(hr)) {
        // A page that refused its input (E_ABORT) has told the user why.
        if (hr != E_ABORT) ReportFailure(hr, L"CKursDlg::OnSave", lReports, strQuitLine);
        return;
    }
    hr = RefreshAll();
    EnableHeader();
    if (bQuit) QuitAfterSave();
}

void CKursDlg::OnCancelEdit() {
    const long lReports = kurs::ReportCount();
    const HRESULT hr = CancelEdit();
    if (FAILED(hr)) ReportFailure(hr, L"CKursDlg::OnCancelEdit", lReports);
    EnableHeader();
}

// ---- the course and run selector

void CKursDlg::OnSelectKurs() { OnSearchCommand(); }

HRESULT CKursDlg::OnSearchCommand() {
    long lKursID = GetRecordID(), lKursinstanzID = GetSubRecordID();
    if (!KursSelect(this, lKursID, lKursinstanzID)) return S_FALSE;
    return Navigate(lKursID, lKursinstanzID);
}

// ---- the registration window of the run shown

HRESULT CKursDlg::NavigateToRecord(long lID, long lID2) {
    // F5 (lID -1) shows the current run again; a navigation to the record shown shows nothing new.
    const bool bShows = lID == -1 || lID != GetRecordID() || lID2 != GetSubRecordID();
    m_lRunToCheck = !bShows ? 0 : lID == -1 ? GetSubRecordID() : lID2;
    const HRESULT hr = CParentDlg::NavigateToRecord(lID, lID2);
    m_lRunToCheck = 0;
    return hr;
}

HRESULT CKursDlg::RefreshAll() {
    // Once the run to be shown is current and no edit is open, before the pages read it.
    if (m_lRunToCheck != 0 && m_lRunToCheck == GetSubRecordID() && !IsEditing()) {
        m_lRunToCheck = 0;
        if (GetSafeHwnd()) SendMessage(WM_COMMAND, ID_KURSINSTANZ_CHECKOPEN, 0);
        else OnCheckKursinstanz();
    }
    return CParentDlg::RefreshAll();
}

void CKursDlg::OnCheckKursinstanz() {
    CKursResourceScope scope;
    const long lKursinstanzID = GetSubRecordID();
    if (lKursinstanzID <= 0 || IsEditing() || !MayChangeKursinstanz(lKursinstanzID)) return;
    // Its failure has been reported; the pages show the run as it is stored.
    const long hr = kurs::CheckShownKursinstanz(lKursinstanzID);
    if (FAILED(hr)) KURS_TRACEHR(hr);
}

BOOL CKursDlg::MayChangeKursinstanz(long lKursinstanzID) {
    // The rights of the run's data page: its function's, a course leader's in the central
    // installation, limited by the user's rights row of the run (without one the run is read).
    CQvSec sec;
    if (FAILED(sec.LoadRights(CQvGUID(kSecKursinstanzDaten)))) return FALSE;
    DWORD dwRights = sec.GetRights();
    if (NQ_IsEnterpriseEdition() && (dwRights & kRightKursleiter) && !(dwRights & kRightEdit)) dwRights |= kRightEdit;
    long lRight = 0;
    CString strWhere;
    strWhere.Format(L"lKursinstanzID = %d AND lKursID = -1 AND lQvSecUserID = %d", lKursinstanzID,
                    kurs::CurrentSecUserID());
    if (FAILED(QvDBLookupLong(L"lRight", L"SecKurs", strWhere, &lRight, kurs::kProfile))) return FALSE;
    dwRights &= static_cast<DWORD>(lRight == 0 ? 1 : lRight);
    return (dwRights & kRightEdit) != 0;
}

// ---- the action menu

BOOL CKursDlg::IsCommandEnabled(UINT nID) {
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    // Cantonal and federal courses are kept by the central installation.
    const BOOL bOwn = m_lTyp == eAuthorityTypLokal || bCentral;
    const BOOL bEdit = m_sec.HasAllRights(kRightEdit) && !IsEditing() && !IsLockedByOther();
    switch (nID) {
    case ID_KURS_NEW: return bEdit;
    case ID_KURSINSTANZ_NEW: return bEdit && GetRecordID() != 0 && bOwn;
    case ID_KURSINSTANZ_COPY: return bEdit && GetSubRecordID() != 0 && bOwn;
    case ID_KURS_DELETE: return bEdit && GetRecordID() != 0 && bOwn;
    case ID_KURSINSTANZ_FILL: return bEdit && GetSubRecordID() != 0 && bOwn && (!m_bGeschlossen || bCentral);
    case ID_KURS_BELEGUNG: return m_sec.HasAnyRight(kRightRead) && GetRecordID() != 0;
    case ID_KURS_USERLOG: return m_sec.HasAnyRight(kRightRead) && !m_guidKurs.IsNULL();
    case ID_KURSINSTANZ_USERLOG: return m_sec.HasAnyRight(kRightRead) && !m_guidKursinstanz.IsNULL();
    // The dialogs check their own rights.
    case ID_KURS_NOTIFICATION: return bCentral;
    case ID_KURS_MAXTEILNEHMER: return bCentral && GetRecordID() != 0;
    case ID_KURS_CREATEEINSATZ: return GetSubRecordID() != 0;
    default: return FALSE;
    }
}

void CKursDlg::OnAction() {
    CKursResourceScope scope;
    CMenu menu;
    if (!menu.CreatePopupMenu()) return;
    const std::pair<UINT, UINT> items[] = {
        {ID_KURS_NEW, IDS_MENU_KURS_NEW},
        {ID_KURSINSTANZ_NEW, IDS_MENU_KURSINSTANZ_NEW},
        {ID_KURSINSTANZ_COPY, IDS_MENU_KURSINSTANZ_COPY},
        {ID_KURS_DELETE, GetSubRecordID() != 0 ? IDS_MENU_KURSINSTANZ_DELETE : IDS_MENU_KURS_DELETE},
        {0, 0},
        {ID_KURSINSTANZ_FILL, IDS_MENU_KURSINSTANZ_FILL},
        {ID_KURS_BELEGUNG, IDS_MENU_KURS_BELEGUNG},
        {ID_KURS_CREATEEINSATZ, IDS_MENU_KURS_CREATEEINSATZ},
        {0, 0},
        {ID_KURS_USERLOG, IDS_MENU_KURS_USERLOG},
        {ID_KURSINSTANZ_USERLOG, IDS_MENU_KURSINSTANZ_USERLOG},
    };
    for (const auto& [nID, nText] : items) {
        if (nID == 0) {
            menu.AppendMenu(MF_SEPARATOR);
            continue;
        }
        menu.AppendMenu(MF_STRING | (IsCommandEnabled(nID) ? 0u : MF_GRAYED), nID, kurs::Text(nText));
    }
    if (NQ_IsEnterpriseEdition()) {
        // The notification entry is checked while unsent notifications wait.
        menu.AppendMenu(MF_SEPARATOR);
        menu.AppendMenu(MF_STRING | (HasOpenNotifications() ? MF_CHECKED : 0u), ID_KURS_NOTIFICATION,
                        kurs::Text(IDS_MENU_KURS_NOTIFICATION));
        menu.AppendMenu(MF_STRING | (IsCommandEnabled(ID_KURS_MAXTEILNEHMER) ? 0u : MF_GRAYED), ID_KURS_MAXTEILNEHMER,
                        kurs::Text(IDS_MENU_KURS_MAXTEILNEHMER));
    }
    CRect rc;
    GetDlgItem(IDC_KURSDLG_ACTION)->GetWindowRect(&rc);
    const UINT nCmd = static_cast<UINT>(menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RETURNCMD, rc.left, rc.bottom, this));
    menu.DestroyMenu();
    if (nCmd != 0) OnActionCommand(nCmd);
}

void CKursDlg::OnActionRange(UINT nID) { OnActionCommand(nID); }

void CKursDlg::OnActionCommand(UINT nID) {
    // A command offered disabled is refused here as well: the frame may send it by its id.
    if (!IsCommandEnabled(nID)) return;
    switch (nID) {
    case ID_KURS_NEW: NewKurs(); break;
    case ID_KURSINSTANZ_NEW: NewKursinstanz(); break;
    case ID_KURSINSTANZ_COPY: CopyKursinstanz(); break;
    case ID_KURS_DELETE: DeleteRecord(); break;
    case ID_KURSINSTANZ_FILL: FillKursinstanz(); break;
    case ID_KURS_BELEGUNG: ShowBelegung(); break;
    case ID_KURS_USERLOG: ShowUserLog(FALSE); break;
    case ID_KURSINSTANZ_USERLOG: ShowUserLog(TRUE); break;
    case ID_KURS_NOTIFICATION: {
        CNotificationDlg dlg;
        dlg.DoModal();
        break;
    }
    case ID_KURS_MAXTEILNEHMER: {
        CMaxTeilnehmerDlg dlg;
        dlg.m_lMandantID = NQ_GetActMandantID();
        dlg.m_lKursID = GetRecordID();
        dlg.m_lAreaID = 0;
        dlg.m_nMode = 0;
        dlg.m_bModified = FALSE;
        dlg.DoModal();
        break;
    }
    case ID_KURS_CREATEEINSATZ: {
        // The activity made from the run keeps its Mandant; a new one asks for it.
        long lMandantID = 0;
        CString strCondition;
        strCondition.Format(L"KursinstanzEinsatz.lKursinstanzID = %d", GetSubRecordID());
        if (QvDBLookupLong(L"lMandantID", L"KursinstanzEinsatz JOIN Einsatz ON KursinstanzEinsatz.lEinsatzID = "
                                          L"Einsatz.lEinsatzID", strCondition, &lMandantID, L"Qovaro.NQ2") != S_OK &&
            !NQ_GetMandantID4New(lMandantID, 6))
            break;
        CCreateEinsatzDlg dlg(lMandantID, GetRecordID(), GetSubRecordID());
        dlg.DoModal();
        break;
    }
    default: break;
    }
}

void CKursDlg::ReportFailure(HRESULT hr, LPCWSTR lpszCaption, long lReports, const CString& strFirstLine) {
    // A step that failed has shown its cause: one report for one failure.
    if (kurs::ReportCount() != lReports) return;
    const CString strText = strFirstLine.IsEmpty() ? CrackHR(hr) : strFirstLine + L"\n\n" + CrackHR(hr);
    QvReportMsg(hr, strText, lpszCaption, L"Default", __FILE__, __LINE__, 1);
}

void CKursDlg::NewKurs() {
    long lKursID = 0;
    const long lReports = kurs::ReportCount();
    const long hr = VRQ_CreateKurs(lKursID);
    if (FAILED(hr)) {
        ReportFailure(hr, L"CKursDlg::NewKurs", lReports);
        return;
    }
    Navigate(lKursID, 0);
}

void CKursDlg::NewKursinstanz() {
    long lKursinstanzID = 0;
    const long lReports = kurs::ReportCount();
    const long hr = VRQ_CreateKursinstanz(GetRecordID(), lKursinstanzID);
    if (FAILED(hr)) {
        ReportFailure(hr, L"CKursDlg::NewKursinstanz", lReports);
        return;
    }
    Navigate(GetRecordID(), lKursinstanzID);
}

void CKursDlg::CopyKursinstanz() {
    long lNewID = 0;
    const long lReports = kurs::ReportCount();
    const long hr = VRQ_CopyKursinstanz(GetRecordID(), GetSubRecordID(), lNewID);
    if (FAILED(hr)) {
        ReportFailure(hr, L"CKursDlg::CopyKursinstanz", lReports);
        return;
    }
    Navigate(GetRecordID(), lNewID);
}

void CKursDlg::DeleteRecord() {
    CKursResourceScope scope;
    const BOOL bRun = GetSubRecordID() != 0;
    CString strQuestion;
    if (bRun)
        strQuestion.Format(IDS_KURSINSTANZ_DELETE_QUESTION, static_cast<LPCWSTR>(m_strKursinstanz));
    else
        strQuestion.Format(IDS_KURS_DELETE_QUESTION, static_cast<LPCWSTR>(m_strKurs));
    if (AfxMessageBox(strQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    const long lReports = kurs::ReportCount();
    const long hr = bRun ? VRQ_DeleteKursinstanz(GetSubRecordID()) : VRQ_DeleteKurs(GetRecordID());
    if (FAILED(hr)) {
        ReportFailure(hr, L"CKursDlg::DeleteRecord", lReports);
        return;
    }
    if (hr != S_OK) return;
    Navigate(bRun ? GetRecordID() : 0, 0);
}

void CKursDlg::FillKursinstanz() {
    CKursResourceScope scope;
    int nMoved = 0;
    const long hr = CKursBelegungDlg::FillFromWarteliste(GetSubRecordID(), nMoved);
    if (hr == S_OK) {
        CString strText;
        strText.Format(nMoved > 0 ? IDS_WARTELISTE_FILLED : IDS_WARTELISTE_NOTHING, nMoved);
        AfxMessageBox(strText, MB_OK | MB_ICONINFORMATION);
    }
    InvalidateTabs();
    RefreshAll();
}

void CKursDlg::ShowBelegung() {
    CKursBelegungDlg dlg(GetRecordID(), &m_fillLevel, this);
    dlg.DoModal();
    // Runs may have been filled from their waiting lists.
    InvalidateTabs();
    RefreshAll();
}

void CKursDlg::ShowUserLog(BOOL bKursinstanz) {
    const long lReports = kurs::ReportCount();
    CUserLog log;
    const long hr = bKursinstanz ? log.ShowSpecificUserLog(1, m_strKursinstanzName, CString(), CString(), m_guidKursinstanz)
                                 : log.ShowSpecificUserLog(1, m_strKurs, CString(), CString(), m_guidKurs);
    if (FAILED(hr)) ReportFailure(hr, L"CKursDlg::ShowUserLog", lReports);
}

// ---- reports

void CKursDlg::OnReportCommand(UINT nID) {
    if (GetKeyState(VK_SHIFT) < 0) {
        m_btnReport.ShowQvSecSetRightDlg(nID);
        return;
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        m_btnReport.ShowHelp(nID);
        return;
    }
    const long lReports = kurs::ReportCount();
    CQvGUID guidReport;
    CString strLabel;
    if (!m_btnReport.GetReportByCommand(nID, &guidReport, &strLabel)) return;
    CQvReport report(guidReport);
    // A report the server could not give has been reported by the client.
    if (!report.m_pReport) return;
    HRESULT hr = report.SetParameter(L"lKursID", GetRecordID());
    if (SUCCEEDED(hr)) hr = report.SetParameter(L"lKursinstanzID", GetSubRecordID());
    if (SUCCEEDED(hr)) hr = report.Run(TRUE);
    if (FAILED(hr)) ReportFailure(hr, L"CKursDlg::OnReportCommand", lReports);
}

// ---- fill level

BOOL CKursDlg::GetKursinstanzFillLevel(CQvGUID guidKursinstanz, long* plState, long* plCount, long* plMax) {
    return m_fillLevel.Lookup(guidKursinstanz, plState, plCount, plMax);
}

HRESULT CKursDlg::UpdateKursinstanzFillLevel() {
    // Only the runs a local installation books online have counts elsewhere.
    if (NQ_IsEnterpriseEdition() || !VRQ_IsOnlineKursActive()) return S_FALSE;
    return m_fillLevel.Refresh();
}

// ---- events

void CKursDlg::OnUpdateSecKurs(COleVariant) {
    if (IsClosing()) return;
    long lUserID = 0;
    CQvSec sec;
    sec.GetUser(nullptr, nullptr, &lUserID);
    const long hr = VRQ_DoUpdateSecKurs(lUserID, -1, -1, this);
    if (FAILED(hr) || IsClosing()) return;
    InvalidateTabs();
    RefreshAll();
}

void CKursDlg::OnFillLevelEvent(COleVariant) {
    if (IsClosing()) return;
    // Nobody asked for this refresh: its failure goes to the status line.
    const CStatusLineReports quiet(NQLoadString(IDS_NQ_REFRESH_FAILED));
    if (UpdateKursinstanzFillLevel() == S_OK) {
        InvalidateTabs();
        RefreshAll();
    }
}

void CKursDlg::OnKursChanged(COleVariant) {
    // Names and runs of the header may have changed elsewhere.
    if (IsClosing() || !IsViewReady()) return;
    CKursResourceScope scope;
    const CStatusLineReports quiet(NQLoadString(IDS_NQ_REFRESH_FAILED));
    UpdateHeader();
}

// ---- IKursinstanz

IMPLEMENT_IUNKNOWN(CKursDlg, Kursinstanz)

HRESULT CKursDlg::XKursinstanz::Reserved3() {
    METHOD_PROLOGUE(CKursDlg, Kursinstanz)
    return pThis->UpdateKursinstanzFillLevel();
}

HRESULT CKursDlg::XKursinstanz::Reserved4() { return E_NOTIMPL; }

HRESULT CKursDlg::XKursinstanz::GetFillLevel(GUID guidKursinstanz, long* plState, long* plCount, long* plMaximum) {
    METHOD_PROLOGUE(CKursDlg, Kursinstanz)
    CQvGUID guid;
    guid.SetGUID(guidKursinstanz);
    long lState = 0, lCount = 0, lMax = 0;
    // From the search's worker thread: the cache guards itself, the window is not touched.
    if (!pThis->m_fillLevel.Lookup(guid, &lState, &lCount, &lMax)) return S_FALSE;
    if (plState) *plState = lState;
    if (plCount) *plCount = lCount;
    if (plMaximum) *plMaximum = lMax;
    return S_OK;
}
