#include "kursbelegungdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSBELEGUNG;
        dlg.caption = L"Belegung der Austragungen";
        dlg.cx = 400;
        dlg.cy = 200;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dlg.items = {
            Control(L"", IDC_BELEGUNG_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 7, 386, 164),
            PushButton(L"", IDC_BELEGUNG_HELP, 7, 179, 16, 14, WS_TABSTOP),
            PushButton(L"Aus Warteliste auffüllen", IDC_BELEGUNG_FILL, 27, 179, 100, 14, WS_TABSTOP),
            DefPushButton(L"Schliessen", IDCANCEL, 343, 179, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// The colours of the fill states, as the participants page shows them.
COLORREF StateColor(EFillLevelState eState) {
    switch (eState) {
    case eFillLevelNormal: return 0x32FF64;
    case eFillLevelWarning: return 0x00FFFF;
    case eFillLevelFull: return 0x3232FF;
    default: return CLR_DEFAULT;
    }
}

UINT StateText(EFillLevelState eState) {
    switch (eState) {
    case eFillLevelWarning: return IDS_BELEGUNG_STATE_WARNING;
    case eFillLevelFull: return IDS_BELEGUNG_STATE_VOLL;
    default: return IDS_BELEGUNG_STATE_FREI;
    }
}

// The bookings of a run changed; record id: the course.
constexpr const wchar_t* kEventBookingsChanged = L"4EF7DB46-118D-4C0B-9338-BE2434638F5B";

}  // namespace

BEGIN_MESSAGE_MAP(CKursBelegungDlg, CNQPopupDialog)
    ON_BN_CLICKED(IDC_BELEGUNG_FILL, &CKursBelegungDlg::OnFill)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_BELEGUNG_LIST, &CKursBelegungDlg::OnItemChangedList)
END_MESSAGE_MAP()

CKursBelegungDlg::CKursBelegungDlg(long lKursID, const CKursFillLevel* pFillLevel, CWnd* pParent)
    : CNQPopupDialog(IDD_KURSBELEGUNG, pParent), m_lKursID(lKursID), m_pFillLevel(pFillLevel) {}

void CKursBelegungDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BELEGUNG_LIST, m_list);
}

BOOL CKursBelegungDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_BELEGUNG_HELP, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_BELEGUNG");
    AddToolTipText(IDC_BELEGUNG_HELP, m_btnHelp.GetToolTipText());
    const int types[] = {CQvListCtrl::eColText, CQvListCtrl::eColDate, CQvListCtrl::eColLong, CQvListCtrl::eColLong,
                         CQvListCtrl::eColLong, CQvListCtrl::eColText, CQvListCtrl::eColBool};
    const int widths[] = {190, 80, 75, 65, 70, 80, 75};
    m_list.QvSetSingleSelection();
    m_list.QvInsertColumn(7, IDS_BELEGUNG_COL_AUSTRAGUNG, types, widths);
    if (SUCCEEDED(LoadRuns(m_lKursID, m_pFillLevel, m_runs))) FillList(0);
    GetDlgItem(IDC_BELEGUNG_FILL)->EnableWindow(FALSE);
    return TRUE;
}

long CKursBelegungDlg::LoadRuns(long lKursID, const CKursFillLevel* pFillLevel, std::vector<Run>& runs) {
    runs.clear();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT ki.lKursinstanzID, ki.guid, ki.strBezeichnung, ki.dtDatum, ki.lMaxTeilnehmer, "
                      L"ki.fGeschlossen, (SELECT count(*) FROM PersonKurs pk WHERE pk.lKursinstanzID = ki.lKursinstanzID "
                      L"AND pk.fTeilnehmer = 1 AND pk.lStatus NOT IN (3, 4, 5)) AS lAnzahl, (SELECT count(*) FROM "
                      L"PersonKurs pk WHERE pk.lKursinstanzID = ki.lKursinstanzID AND pk.fTeilnehmer = 1 AND "
                      L"pk.lStatus IN (3, 4)) AS lWarteliste FROM Kursinstanz ki WHERE ki.lKursID = %d "
                      L"ORDER BY ki.dtDatum, ki.lKursinstanzID",
                      lKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    const long lPercent = SUCCEEDED(hr) && !bEOF ? CKursFillLevel::PercentWarning() : 90;
    while (SUCCEEDED(hr) && !bEOF) {
        Run run;
        hr = rs.GetFieldValue(L"lKursinstanzID", &run.lKursinstanzID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &run.guid);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &run.strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtDatum", &run.dtDatum);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmer", &run.lMax);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fGeschlossen", &run.bClosed);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnzahl", &run.lCount);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lWarteliste", &run.lWaiting);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        long lState = 0, lCount = 0, lMax = 0;
        if (pFillLevel && pFillLevel->Lookup(run.guid, &lState, &lCount, &lMax)) {
            // The central installation keeps the registrations of its courses.
            run.lCount = lCount;
            run.lMax = lMax;
            run.eState = static_cast<EFillLevelState>(lState);
        } else {
            run.eState = CKursFillLevel::State(run.lCount, run.lMax, lPercent);
        }
        runs.push_back(run);
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

void CKursBelegungDlg::FillList(long lSelectID) {
    CKursResourceScope scope;
    m_list.DeleteAllItems();
    for (const Run& run : m_runs) {
        CQvListItem* pItem = nullptr;
        if (!m_list.QvAddItem(pItem)) continue;
        pItem->SetParam(0, run.lKursinstanzID);
        pItem->SetColumnText(0, run.strBezeichnung);
        pItem->SetColumnDate(1, run.dtDatum);
        pItem->SetColumnLong(2, run.lCount);
        pItem->SetColumnLong(3, run.lMax);
        pItem->SetColumnLong(4, run.lWaiting);
        pItem->SetColumnText(5, kurs::Text(StateText(run.eState)));
        pItem->SetColumnBkColor(5, StateColor(run.eState));
        pItem->SetColumnBool(6, run.bClosed);
        pItem->Unlock();
    }
    if (lSelectID > 0) m_list.QvSetSelectionByParam(0, lSelectID);
}

void CKursBelegungDlg::OnItemChangedList(NMHDR*, LRESULT* pResult) {
    long lID = 0;
    BOOL bCanFill = FALSE;
    if (m_list.QvGetSelParamValue(0, lID)) {
        for (const Run& run : m_runs)
            if (run.lKursinstanzID == lID) bCanFill = run.lWaiting > 0 && (run.lMax <= 0 || run.lCount < run.lMax);
    }
    GetDlgItem(IDC_BELEGUNG_FILL)->EnableWindow(bCanFill);
    *pResult = 0;
}

void CKursBelegungDlg::OnFill() {
    CKursResourceScope scope;
    long lID = 0;
    if (!m_list.QvGetSelParamValue(0, lID)) return;
    int nMoved = 0;
    const long hr = FillFromWarteliste(lID, nMoved);
    if (hr == S_OK) {
        CString strText;
        strText.Format(nMoved > 0 ? IDS_WARTELISTE_FILLED : IDS_WARTELISTE_NOTHING, nMoved);
        AfxMessageBox(strText, MB_OK | MB_ICONINFORMATION);
    }
    if (SUCCEEDED(LoadRuns(m_lKursID, m_pFillLevel, m_runs))) FillList(lID);
}

long CKursBelegungDlg::FillFromWarteliste(long lKursinstanzID, int& nMoved) {
    CKursResourceScope scope;
    nMoved = 0;
    long lKursID = 0, lMax = 0, lCount = 0;
    BOOL bClosed = TRUE;
    struct Waiting {
        long lPersonKursID = 0;
        long lPersonID = 0;
        long lStatus = 0;
    };
    std::vector<Waiting> waiting;
    {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        long hr = kurs::OpenConnection(conn);
        BOOL bEOF = TRUE;
        CString strSQL;
        strSQL.Format(L"SELECT lKursID, lMaxTeilnehmer, fGeschlossen, (SELECT count(*) FROM PersonKurs pk WHERE "
                      L"pk.lKursinstanzID = Kursinstanz.lKursinstanzID AND pk.fTeilnehmer = 1 AND pk.lStatus NOT IN "
                      L"(3, 4, 5)) AS lAnzahl FROM Kursinstanz WHERE lKursinstanzID = %d",
                      lKursinstanzID);
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && bEOF) hr = KURS_TRACEHR(E_INVALIDARG);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursID", &lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmer", &lMax);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fGeschlossen", &bClosed);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnzahl", &lCount);
        rs.Close();
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"SELECT lPersonKursID, lPersonID, lStatus FROM PersonKurs WHERE lKursinstanzID = %d AND "
                          L"fTeilnehmer = 1 AND lStatus IN (3, 4) ORDER BY lStatus, dtAnmeldung, lPersonKursID",
                          lKursinstanzID);
            hr = kurs::OpenRows(rs, strSQL, bEOF);
        }
        while (SUCCEEDED(hr) && !bEOF) {
            Waiting row;
            hr = rs.GetFieldValue(L"lPersonKursID", &row.lPersonKursID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lPersonID", &row.lPersonID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &row.lStatus);
            if (SUCCEEDED(hr)) {
                waiting.push_back(row);
                hr = rs.MoveNext(&bEOF);
            }
        }
        rs.Close();
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            KURS_REPORTDBERROR(conn, hr);
            return hr;
        }
    }
    // A local installation changes only the registrations of its own courses, and only in open runs.
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    if (!bCentral && VRQ_GetKursAuthority(lKursinstanzID, TRUE) != eAuthorityTypLokal) {
        AfxMessageBox(IDS_WARTELISTE_NOT_ALLOWED, MB_OK | MB_ICONINFORMATION);
        return S_FALSE;
    }
    if (!bCentral && bClosed) {
        AfxMessageBox(IDS_KURSINSTANZ_CLOSED, MB_OK | MB_ICONINFORMATION);
        return S_FALSE;
    }
    long lFree = lMax > 0 ? lMax - lCount : static_cast<long>(waiting.size());
    long hr = S_OK;
    for (const Waiting& row : waiting) {
        if (lFree <= 0) break;
        CVRQKurs booking;
        // Only one still waiting in this run as read: one moved or changed meanwhile keeps its state,
        // the user is told so, and the place goes to the next.
        hr = booking.UpdatePersonKursStatus(TRUE, row.lPersonKursID, row.lPersonID, lKursinstanzID,
                                            ePersonKursStatusAngemeldet, row.lStatus);
        if (hr == E_ABORT) {
            hr = S_OK;
            continue;
        }
        if (FAILED(hr)) break;
        if (hr == S_OK) {
            ++nMoved;
            --lFree;
        }
    }
    if (nMoved > 0) kurs::FireKursEvent(kEventBookingsChanged, lKursID);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    return S_OK;
}
