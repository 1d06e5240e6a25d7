#include "maxteilnehmerdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqplanungcalls.h"
#include "qvdblookup.h"
#include "qvsec.h"
#include "searchpopupdlg.h"
#include "userlog.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_MAXTEILNEHMER;
        dlg.caption = L"Maximale Anzahl Kurs Teilnehmer bearbeiten";
        dlg.cx = 420;
        dlg.cy = 260;
        dlg.style = DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        dlg.items = {
            AutoRadioButton(L"Mandanten je Kurs bearbeiten", IDC_MAXTEILNEHMER_MODE_KURS, 7, 7, 140, 10,
                            WS_GROUP | WS_TABSTOP),
            AutoRadioButton(L"Kurse je Mandant bearbeiten", IDC_MAXTEILNEHMER_MODE_MANDANT, 7, 19, 140, 10),
            AutoRadioButton(L"Gebiete je Kurs bearbeiten", IDC_MAXTEILNEHMER_MODE_AREA, 150, 7, 140, 10),
            AutoRadioButton(L"Kurse je Gebiet bearbeiten", IDC_MAXTEILNEHMER_MODE_AREAKURS, 150, 19, 140, 10),
            PushButton(L"", IDC_MAXTEILNEHMER_CHANGE, 313, 7, 100, 16, WS_TABSTOP),
            LText(L"", IDC_MAXTEILNEHMER_HEADING, 7, 34, 406, 12),
            LText(L"", IDC_MAXTEILNEHMER_TEXT, 7, 48, 406, 28),
            Control(L"", IDC_MAXTEILNEHMER_GRID, QVGRID_CLASSNAME, LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP,
                    7, 80, 406, 153),
            PushButton(L"", IDC_HELPBUTTON, 7, 239, 18, 16, WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 269, 239, 70, 16, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 343, 239, 70, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

const CQvGUID kSecQuota(L"{DBC49068-BD2A-4DB3-9FC0-F46585DD46E3}");
constexpr DWORD kRightEdit = 0x100;
constexpr const wchar_t* kViewKey = L"Software\\Qovaro\\NQ2\\KursView";
constexpr long kNoAmount = -9;
constexpr long kMixed = -99;
constexpr int kColumns = 6;
constexpr const wchar_t* kAllPlaceholder = L"---";
constexpr const wchar_t* kMixedPlaceholder = L"<>";

// The leading decimal integer of a text.
long LeadingNumber(const CString& strText) { return wcstol(strText, nullptr, 10); }

long ParamLong(CQvGridItem* pItem, int nIndex) {
    long lValue = 0;
    pItem->GetParam(nIndex, &lValue);
    return lValue;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMaxTeilnehmerDlg, CNQPopupDialog)
    ON_NOTIFY(QVGN_CELLCHANGING, IDC_MAXTEILNEHMER_GRID, &CMaxTeilnehmerDlg::OnGridChanging)
    ON_BN_CLICKED(IDC_MAXTEILNEHMER_MODE_KURS, &CMaxTeilnehmerDlg::OnModeKurs)
    ON_BN_CLICKED(IDC_MAXTEILNEHMER_MODE_MANDANT, &CMaxTeilnehmerDlg::OnModeMandant)
    ON_BN_CLICKED(IDC_MAXTEILNEHMER_MODE_AREA, &CMaxTeilnehmerDlg::OnModeArea)
    ON_BN_CLICKED(IDC_MAXTEILNEHMER_MODE_AREAKURS, &CMaxTeilnehmerDlg::OnModeAreaKurs)
    ON_BN_CLICKED(IDC_MAXTEILNEHMER_CHANGE, &CMaxTeilnehmerDlg::OnChangeSelection)
END_MESSAGE_MAP()

CMaxTeilnehmerDlg::CMaxTeilnehmerDlg(CWnd* pParent) : CNQPopupDialog(IDD_MAXTEILNEHMER, pParent) {}

CMaxTeilnehmerDlg::~CMaxTeilnehmerDlg() = default;

void CMaxTeilnehmerDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MAXTEILNEHMER_HEADING, m_stHeading);
    DDX_Control(pDX, IDC_MAXTEILNEHMER_GRID, m_grid);
    DDX_Text(pDX, IDC_MAXTEILNEHMER_TEXT, m_strText);
    DDX_Text(pDX, IDC_MAXTEILNEHMER_HEADING, m_strHeading);
    // The radios stand in the order 1114, 1116, 1115, 1117 of the modes.
    static const UINT radios[4] = {IDC_MAXTEILNEHMER_MODE_KURS, IDC_MAXTEILNEHMER_MODE_MANDANT,
                                   IDC_MAXTEILNEHMER_MODE_AREA, IDC_MAXTEILNEHMER_MODE_AREAKURS};
    for (int i = 0; i < 4; ++i) {
        CButton* pRadio = static_cast<CButton*>(GetDlgItem(radios[i]));
        if (!pRadio) continue;
        if (pDX->m_bSaveAndValidate) {
            if (pRadio->GetCheck() == BST_CHECKED) m_nMode = i;
        } else {
            pRadio->SetCheck(m_nMode == i ? BST_CHECKED : BST_UNCHECKED);
        }
    }
}

BOOL CMaxTeilnehmerDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_nYear = COleDateTime::GetCurrentTime().GetYear();
    m_btnChange.AttachButton(IDC_MAXTEILNEHMER_CHANGE, this, 1, 46);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_MAXTEILNEHMER");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());

    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    for (UINT nID : {UINT(IDOK), UINT(IDCANCEL)})
        m_Layout.CreateWindowNode(root, nID)
            ->KeepSize(TRUE, TRUE)
            ->Attach(eQvRight, root, eQvRight, nID == IDOK ? -112 : -10)
            ->Attach(eQvBottom, root, eQvBottom, -7);
    m_Layout.CreateWindowNode(root, IDC_HELPBUTTON)->KeepSize(TRUE, TRUE)->Attach(eQvBottom, root, eQvBottom, -7);
    m_Layout.CreateWindowNode(root, IDC_MAXTEILNEHMER_CHANGE)->KeepSize(TRUE, TRUE)->Attach(eQvRight, root, eQvRight, -10);
    for (UINT nID : {IDC_MAXTEILNEHMER_HEADING, IDC_MAXTEILNEHMER_TEXT})
        m_Layout.CreateWindowNode(root, nID)->Attach(eQvRight, root, eQvRight, -10);
    m_Layout.CreateWindowNode(root, &m_grid)
        ->Attach(eQvRight, root, eQvRight, -10)
        ->Attach(eQvBottom, root, eQvBottom, -40);
    root->SetMinSize(this);
    m_Layout.CreateLayoutListener(this, root, CString(kViewKey) + L"\\CMaxTeilnehmerDlg");

    m_grid.QvSetRegistryKey(CString(kViewKey) + L"\\MaxTeilnehmer");
    const int kinds[7] = {3, 1, 1, 1, 1, 1, 1};
    const int widths[7] = {200, 130, 70, 70, 70, 70, 70};
    {
        CKursNotifResourceScope texts;
        m_grid.QvInsertColumn(7, IDS_MAXTN_COL, kinds, widths);
    }
    for (int c = 2; c <= kColumns; ++c) {
        CString strYear;
        strYear.Format(L"%d", m_nYear + c - 2);
        LVCOLUMN col;
        col.mask = LVCF_TEXT;
        col.pszText = const_cast<LPWSTR>(static_cast<LPCWSTR>(strYear));
        m_grid.SetColumn(c, &col);
    }
    ApplyMode();
    if (!NQ_IsModulRunning(L"Qovaro.NQ2.AreaMngmtView")) {
        GetDlgItem(IDC_MAXTEILNEHMER_MODE_AREA)->ShowWindow(SW_HIDE);
        GetDlgItem(IDC_MAXTEILNEHMER_MODE_AREAKURS)->ShowWindow(SW_HIDE);
    }
    LOGFONT lf = {};
    lf.lfHeight = -13;
    lf.lfWeight = 700;
    m_fontHeading.CreateFontIndirect(&lf);
    m_stHeading.SetFont(&m_fontHeading);

    CQvSec sec;
    const long hr = sec.LoadRights(kSecQuota);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    const DWORD dwRights = sec.GetRights();
    const BOOL bAny = dwRights != 0 && dwRights != 0x80000000;
    m_grid.ShowWindow(bAny ? SW_SHOW : SW_HIDE);
    GetDlgItem(IDOK)->ShowWindow(bAny ? SW_SHOW : SW_HIDE);
    const BOOL bEdit = bAny && sec.HasAllRights(kRightEdit);
    m_grid.SetReadOnly(!bEdit);
    GetDlgItem(IDOK)->EnableWindow(bEdit);
    return TRUE;
}

void CMaxTeilnehmerDlg::ApplyMode() {
    CKursResourceScope scope;
    static const UINT headers[4] = {IDS_MAXTN_COL_MANDANT, IDS_MAXTN_COL_KURS, IDS_MAXTN_COL_AREA, IDS_MAXTN_COL_KURS};
    static const UINT buttons[4] = {IDS_MAXTN_CHANGE_KURS, IDS_MAXTN_CHANGE_MANDANT, IDS_MAXTN_CHANGE_AREA_KURS,
                                    IDS_MAXTN_CHANGE_AREA};
    CString strName;
    switch (m_nMode) {
    case 1: strName = NQ_GetMandantBezeichnung(m_lMandantID); break;
    case 3: strName = NQ_GetAreaBezeichnung(m_lAreaID); break;
    default: strName = NQ_GetKursBezeichnung(m_lKursID, CString()); break;
    }
    m_strText.Format(KursNotifString(IDS_MAXTN_TEXT + UINT(m_nMode)), (LPCWSTR)strName);
    m_strHeading.Format(KursNotifString(IDS_MAXTN_HEADING + UINT(m_nMode)), (LPCWSTR)strName);
    m_btnChange.SetWindowText(KursNotifString(buttons[m_nMode]));
    const CString strHeader = KursNotifString(headers[m_nMode]);
    LVCOLUMN col;
    col.mask = LVCF_TEXT;
    col.pszText = const_cast<LPWSTR>(static_cast<LPCWSTR>(strHeader));
    m_grid.SetColumn(0, &col);
    UpdateData(FALSE);
    const long hr = LoadData();
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        QvReportMsg(hr, CrackHR(hr), L"CMaxTeilnehmerDlg::ApplyMode", L"Default", __FILE__, __LINE__, 1);
    }
}

long CMaxTeilnehmerDlg::ReadAreaMandantCount(CQvADOConnection& conn, long lAreaID, long& lCount) const {
    CQvADORecordset rs(&conn);
    CString strSQL;
    strSQL.Format(L"SELECT count(*) AS lMaxMandantCount FROM AreaMandant WHERE fDeleted = 0 AND lAreaID = %d", lAreaID);
    BOOL bEOF = TRUE;
    long hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lMaxMandantCount", &lCount);
    rs.Close();
    return hr;
}

long CMaxTeilnehmerDlg::LoadData() {
    m_nYear = COleDateTime::GetCurrentTime().GetYear();
    m_grid.SetRedraw(FALSE, L"default");
    m_grid.DeleteAllItems();
    CQvGridItem* pAll = nullptr;
    if (m_grid.QvAddItem(pAll)) {
        pAll->SetParam(0, -1L);
        pAll->SetColumnText(0, KursNotifString(IDS_MAXTN_ALLE));
        for (int c = 1; c <= kColumns; ++c) {
            pAll->SetColumnText(c, kAllPlaceholder);
            pAll->SetColumnEditMode(c, CQvGridCtrl::eEditText);
        }
        pAll->Unlock();
    }
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    long lAreaCount = 1;
    if (SUCCEEDED(hr) && m_nMode == 3) hr = ReadAreaMandantCount(conn, m_lAreaID, lAreaCount);
    CString strSQL;
    switch (m_nMode) {
    case 0:
        strSQL.Format(L"SELECT isnull(lMaxTeilnehmerID, 0) AS lMaxTeilnehmerID, Mandant.lMandantID AS lID, "
                      L"cbm.strBezeichnung, isnull(lYear,-1) AS lYear, lAnzahl, 1 AS lMandantCount FROM Mandant JOIN "
                      L"view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 LEFT OUTER "
                      L"JOIN MaxTeilnehmer On Mandant.lMandantID = MaxTeilnehmer.lMandantID AND lKursID = %d WHERE "
                      L"Mandant.fActive = 1 ORDER BY Mandant.strMandantName, Mandant.lMandantID, lYear",
                      m_lKursID);
        break;
    case 1:
        strSQL.Format(L"SELECT isnull(lMaxTeilnehmerID, 0) AS lMaxTeilnehmerID, Kurs.lKursID AS lID, "
                      L"cbk.strBezeichnung, isnull(lYear,-1) AS lYear, lAnzahl, 1 AS lMandantCount, Kurs.guid AS "
                      L"guidKurs FROM Kurs JOIN view_CacheBezeichnung cbk ON Kurs.lKursID = cbk.lID AND cbk.lTableID "
                      L"= 39 LEFT OUTER JOIN MaxTeilnehmer On Kurs.lKursID = MaxTeilnehmer.lKursID AND lMandantID = "
                      L"%d WHERE Kurs.fActive = 1 AND Kurs.lTyp IN (%d, %d) ORDER BY Kurs.strKurzbezeichnung, "
                      L"Kurs.lKursID, lYear",
                      m_lMandantID, 1, 2);
        break;
    case 2:
        strSQL.Format(L"SELECT -1 AS lMaxTeilnehmerID, Area.lAreaID AS lID, dbo.fn_GetAreaBezeichnung(Area.lAreaID) "
                      L"AS strBezeichnung, isnull(lYear,-1) AS lYear, lAnzahl, isnull(x.lCount,0) AS lMandantCount "
                      L"FROM Area LEFT OUTER JOIN (SELECT lAreaID, lYear, lAnzahl, count(*) AS lCount FROM AreaMandant "
                      L"JOIN MaxTeilnehmer On AreaMandant.lMandantID = MaxTeilnehmer.lMandantID AND "
                      L"AreaMandant.fDeleted = 0 WHERE lKursID = %d GROUP BY lAreaID, lYear, lAnzahl) x ON "
                      L"Area.lAreaID = x.lAreaID ORDER BY strBezeichnung, Area.lAreaID, lYear",
                      m_lKursID);
        break;
    default:
        strSQL.Format(L"SELECT -1 AS lMaxTeilnehmerID, Kurs.lKursID AS lID, cbk.strBezeichnung, "
                      L"isnull(x.lYear,-1) AS lYear, x.lAnzahl, Kurs.guid AS guidKurs, isnull(x.lCount,0) AS "
                      L"lMandantCount FROM Kurs JOIN view_CacheBezeichnung cbk ON Kurs.lKursID = cbk.lID AND "
                      L"cbk.lTableID = 39 LEFT OUTER JOIN (SELECT lKursID, lYear, lAnzahl, count(*) AS lCount FROM "
                      L"AreaMandant JOIN MaxTeilnehmer On AreaMandant.lMandantID = MaxTeilnehmer.lMandantID AND "
                      L"AreaMandant.fDeleted = 0 WHERE lAreaID = %d GROUP BY lKursID, lYear, lAnzahl) x ON "
                      L"Kurs.lKursID = x.lKursID WHERE Kurs.fActive = 1 AND Kurs.lTyp IN (%d,%d) ORDER BY "
                      L"Kurs.strKurzbezeichnung, Kurs.lKursID, lYear",
                      m_lAreaID, 1, 2);
        break;
    }
    CString strFixedGuid;
    if (SUCCEEDED(hr) && (m_nMode == 0 || m_nMode == 2)) {
        CQvGUID guid;
        CString strCondition;
        strCondition.Format(L"lKursID = %d", m_lKursID);
        QvDBLookupGUID(L"guid", L"Kurs", strCondition, &guid, L"Qovaro.NQ2");
        strFixedGuid = guid.GetGUID(TRUE);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    long lPrevious = -1;
    CQvGridItem* pItem = nullptr;
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0, lYear = -1, lMaxID = 0, lCount = 0;
        hr = rs.GetFieldValue(L"lID", &lID);
        if (FAILED(hr)) break;
        if (lID != lPrevious || !pItem) {
            CString strName, strGuid = strFixedGuid;
            hr = rs.GetFieldValue(L"strBezeichnung", &strName);
            if (SUCCEEDED(hr) && (m_nMode == 1 || m_nMode == 3)) {
                CQvGUID guid;
                hr = rs.GetFieldValue(L"guidKurs", &guid);
                strGuid = guid.GetGUID(TRUE);
            }
            if (FAILED(hr) || !m_grid.QvAddItem(pItem)) break;
            pItem->SetParam(0, lID);
            for (int c = 1; c <= kColumns; ++c) {
                pItem->SetParam(c, m_nMode < 2 ? 0L : -1L);
                pItem->SetParam(c + kColumns, kNoAmount);
                pItem->SetColumnText(c, L"");
                pItem->SetColumnEditMode(c, CQvGridCtrl::eEditText);
            }
            pItem->SetParam(13, static_cast<LPCWSTR>(strGuid));
            pItem->SetColumnText(0, strName);
            pItem->SetColumnEditMode(0, CQvGridCtrl::eEditNone);
            pItem->Unlock();
            lPrevious = lID;
            if (m_nMode == 2) hr = ReadAreaMandantCount(conn, lID, lAreaCount);
            if (FAILED(hr)) break;
        }
        hr = rs.GetFieldValue(L"lYear", &lYear);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmerID", &lMaxID);
        if (FAILED(hr)) break;
        const BOOL bSkip = (lYear != 0 && m_nYear > lYear) || lMaxID == 0;
        CString strAnzahl;
        if (!bSkip) {
            hr = rs.GetFieldValue(L"lMandantCount", &lCount);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnzahl", &strAnzahl);
            if (FAILED(hr)) break;
            const int c = lYear <= 0 ? 1 : int(lYear - m_nYear + 2);
            if (c >= 1 && c <= kColumns) {
                pItem->SetParam(c, lMaxID);
                pItem->SetParam(c + kColumns, LeadingNumber(strAnzahl));
                pItem->SetColumnText(c, strAnzahl);
                if (lCount != lAreaCount) {
                    pItem->SetParam(c + kColumns, kMixed);
                    pItem->SetColumnText(c, kMixedPlaceholder);
                    pItem->SetColumnBkColor(c, RGB(255, 255, 200));
                }
            }
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    m_grid.QvSort(-1, TRUE);
    m_grid.SetRedraw(TRUE, L"default");
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

long CMaxTeilnehmerDlg::SaveData() {
    if (!m_bModified) return S_OK;
    CWaitCursor wait;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    // One save is one unit: a failure half way leaves the table as the last load showed it, so
    // that the ids the grid holds still name the rows (a second OK inserts no second row).
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    long overrides[kColumns + 1] = {-1, -1, -1, -1, -1, -1, -1};
    for (int i = 0; SUCCEEDED(hr) && i < m_grid.GetInsertedItemCount(); ++i) {
        CQvGridItem* pItem = m_grid.QvGetInsertedGridItem(i);
        if (!pItem) continue;
        const long lKey = ParamLong(pItem, 0);
        if (i == 0 && lKey == -1) {
            for (int c = 1; c <= kColumns; ++c) {
                CString strText = pItem->GetColumnText(c);
                strText.Trim();
                overrides[c] = strText == kAllPlaceholder ? -1 : strText.IsEmpty() ? kNoAmount : LeadingNumber(strText);
            }
            continue;
        }
        const CString strGuid = pItem->GetParamText(13);
        for (int c = 1; SUCCEEDED(hr) && c <= kColumns; ++c) {
            const long lKurs = (m_nMode == 0 || m_nMode == 2) ? m_lKursID : lKey;
            const long lMandant = m_nMode == 0 ? lKey : m_lMandantID;
            const long lArea = m_nMode == 2 ? lKey : m_lAreaID;
            const long lYear = c == 1 ? 0 : m_nYear + c - 2;
            const long lOldID = ParamLong(pItem, c);
            const long lOldAmount = ParamLong(pItem, c + kColumns);
            CString strText = pItem->GetColumnText(c);
            strText.Trim();
            long lNew = strText.IsEmpty() ? kNoAmount : strText == kMixedPlaceholder ? kMixed : LeadingNumber(strText);
            if (overrides[c] != -1) {
                lNew = overrides[c];
                CString strShown;
                if (lNew >= 0) strShown.Format(L"%d", lNew);
                pItem->SetColumnText(c, strShown);
                strText = strShown;
            }
            // Each statement with the Mandant it concerns, logged once it ran.
            std::vector<std::pair<CString, long>> statements;
            CString strSQL;
            auto insert = [&](long lForMandant) {
                long lNewID = 0;
                hr = kurs::GetUniqueID(conn, L"MaxTeilnehmer", L"lMaxTeilnehmerID", lNewID);
                if (FAILED(hr)) return;
                strSQL.Format(L"INSERT INTO MaxTeilnehmer (lMaxTeilnehmerID, lKursID, lMandantID, lYear, lAnzahl, "
                              L"strBemerkung) VALUES (%d, %d, %d, %d, %d, '%s')",
                              lNewID, lKurs, lForMandant, lYear, lNew, (LPCWSTR)QvSQLString(CString(), 4000));
                statements.emplace_back(strSQL, lForMandant);
            };
            auto update = [&](long lID, long lForMandant) {
                strSQL.Format(L"UPDATE MaxTeilnehmer SET lAnzahl = %d WHERE lMaxTeilnehmerID = %d", lNew, lID);
                statements.emplace_back(strSQL, lForMandant);
            };
            if (lOldID == 0) {
                if (lNew >= 0) insert(lMandant);
            } else if (lOldID > 0) {
                if (lNew >= 0 && lNew != lOldAmount) {
                    update(lOldID, lMandant);
                } else if (lNew == kNoAmount && lOldAmount != kNoAmount) {
                    strSQL.Format(L"DELETE MaxTeilnehmer WHERE lMaxTeilnehmerID = %d", lOldID);
                    statements.emplace_back(strSQL, lMandant);
                }
            } else if (lNew >= 0 && lNew != lOldAmount) {
                CQvADORecordset rs(&conn);
                strSQL.Format(L"SELECT AreaMandant.lMandantID, isnull(lMaxTeilnehmerID,0) AS lMaxTeilnehmerID FROM "
                              L"AreaMandant LEFT OUTER JOIN MaxTeilnehmer ON AreaMandant.lMandantID = "
                              L"MaxTeilnehmer.lMandantID AND lYear=%d AND lKursID=%d WHERE lAreaID=%d AND "
                              L"AreaMandant.fDeleted=0",
                              lYear, lKurs, lArea);
                BOOL bEOF = TRUE;
                hr = kurs::OpenRows(rs, strSQL, bEOF);
                std::vector<std::pair<long, long>> rows;
                while (SUCCEEDED(hr) && !bEOF) {
                    long lM = 0, lID = 0;
                    hr = rs.GetFieldValue(L"lMandantID", &lM);
                    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmerID", &lID);
                    if (SUCCEEDED(hr)) rows.emplace_back(lM, lID);
                    if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
                }
                rs.Close();
                for (const auto& [lM, lID] : rows) {
                    if (FAILED(hr)) break;
                    if (lID == 0) insert(lM);
                    else update(lID, lM);
                }
            } else if (lNew == kNoAmount && lOldAmount != kNoAmount) {
                // Only the Mandanten still in the area: a Mandant that left keeps its own quotas.
                strSQL.Format(L"DELETE MaxTeilnehmer FROM MaxTeilnehmer JOIN AreaMandant ON MaxTeilnehmer.lMandantID "
                              L"= AreaMandant.lMandantID WHERE lAreaID = %d AND lKursID = %d AND lYear = %d AND "
                              L"AreaMandant.fDeleted = 0",
                              lArea, lKurs, lYear);
                statements.emplace_back(strSQL, 0L);
            }
            for (const auto& [strStatement, lForMandant] : statements) {
                if (FAILED(hr)) break;
                hr = kurs::Execute(conn, strStatement);
                if (FAILED(hr)) break;
                CString strLog = KursNotifString(IDS_MAXTN_LOG), strDetail, strModule = L"Ausbildung.Kurs";
                strDetail.Format(L"Mandant:%s | Jahr:%d | Anzahl:%s", (LPCWSTR)NQ_GetMandantBezeichnung(lForMandant),
                                 lYear, (LPCWSTR)(lNew >= 0 ? strText : CString()));
                CQvGUID guidKurs(strGuid), guidNull;
                CUserLog log;
                hr = log.WriteUpdate(&strLog, &strDetail, &strModule, 0, 39, &guidKurs, &guidNull, 0, 0);
            }
        }
    }
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    hr = trans.End(hr);
    if (FAILED(hr)) {
        // Another user may have written the quotas meanwhile: the cells take the ids the table
        // holds now and keep what the user typed.
        RefreshIDs();
        return hr;
    }
    m_bModified = FALSE;
    return hr;
}

void CMaxTeilnehmerDlg::RefreshIDs() {
    if (m_nMode >= 2) return;  // an area cell stands for the rows of its Mandanten, read at each save
    CQvADOConnection conn;
    if (FAILED(kurs::OpenConnection(conn))) return;
    for (int i = 0; i < m_grid.GetInsertedItemCount(); ++i) {
        CQvGridItem* pItem = m_grid.QvGetInsertedGridItem(i);
        if (!pItem) continue;
        const long lKey = ParamLong(pItem, 0);
        if (lKey == -1) continue;
        const long lKurs = m_nMode == 0 ? m_lKursID : lKey;
        const long lMandant = m_nMode == 0 ? lKey : m_lMandantID;
        CQvADORecordset rs(&conn);
        CString strSQL;
        strSQL.Format(L"SELECT lMaxTeilnehmerID, lYear FROM MaxTeilnehmer WHERE lKursID = %d AND lMandantID = "
                      L"%d ORDER BY lMaxTeilnehmerID",
                      lKurs, lMandant);
        long ids[kColumns + 1] = {};
        BOOL bEOF = TRUE;
        long hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lID = 0, lYear = 0;
            hr = rs.GetFieldValue(L"lMaxTeilnehmerID", &lID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lYear", &lYear);
            if (FAILED(hr)) break;
            // A year gone by has no column (the year before this one would fall on the general one).
            const int c = lYear <= 0 ? 1 : lYear < m_nYear ? 0 : int(lYear - m_nYear + 2);
            if (c >= 1 && c <= kColumns && ids[c] == 0) ids[c] = lID;
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
        if (FAILED(hr)) return;
        // The amounts stay those the cells were loaded with: a cell the user did not touch writes
        // nothing, and what another user wrote there meanwhile stays.
        for (int c = 1; c <= kColumns; ++c) pItem->SetParam(c, ids[c]);
    }
}

BOOL CMaxTeilnehmerDlg::IsValidAmount(const CString& strText, LPCWSTR lpszPlaceholder) {
    CString s = strText;
    s.Trim();
    if (s.IsEmpty() || (lpszPlaceholder && *lpszPlaceholder && s == lpszPlaceholder)) return TRUE;
    if (s.GetLength() > 9) return FALSE;
    for (int i = 0; i < s.GetLength(); ++i)
        if (s[i] < L'0' || s[i] > L'9') return FALSE;
    return TRUE;
}

void CMaxTeilnehmerDlg::OnGridChanging(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNM = reinterpret_cast<NMQVGRID*>(pNMHDR);
    // The placeholder the cell may keep: the all-row's, or the one of an area cell whose
    // Mandanten differ.
    LPCWSTR lpszPlaceholder = nullptr;
    if (pNM->pItem && ParamLong(pNM->pItem, 0) == -1) lpszPlaceholder = kAllPlaceholder;
    else if (pNM->pItem && pNM->nSubItem >= 1 && ParamLong(pNM->pItem, pNM->nSubItem + kColumns) == kMixed)
        lpszPlaceholder = kMixedPlaceholder;
    if (pNM->nSubItem >= 1 && !IsValidAmount(pNM->pszText ? pNM->pszText : L"", lpszPlaceholder)) {
        AfxMessageBox(KursNotifString(IDS_MAXTN_BAD_AMOUNT), MB_OK | MB_ICONEXCLAMATION);
        *pResult = 1;
        return;
    }
    m_bModified = TRUE;
    *pResult = 0;
}

void CMaxTeilnehmerDlg::OnModeKurs() { SwitchMode(0); }
void CMaxTeilnehmerDlg::OnModeMandant() { SwitchMode(1); }
void CMaxTeilnehmerDlg::OnModeArea() { SwitchMode(2); }
void CMaxTeilnehmerDlg::OnModeAreaKurs() { SwitchMode(3); }

void CMaxTeilnehmerDlg::SwitchMode(int nMode) {
    const int nOld = m_nMode;
    if (FAILED(SaveData())) {
        UpdateData(FALSE);
        return;
    }
    if ((nMode == 1 && m_lMandantID == 0) || (nMode == 3 && m_lAreaID == 0)) {
        // The grid shows the rows of the old mode until a key of the new one is chosen; without
        // one the old mode stays, so its rows are never saved under the new one.
        m_nMode = nMode;
        const long lKey = SearchKey();
        if (lKey == 0) {
            // Saved already: the old mode's rows are loaded again, so that their new ids count.
            m_nMode = nOld;
            ApplyMode();
            return;
        }
        (nMode == 1 ? m_lMandantID : m_lAreaID) = lKey;
    }
    m_nMode = nMode;
    ApplyMode();
}

long CMaxTeilnehmerDlg::SearchKey() const {
    const long lTable = m_nMode == 1 ? 45 : m_nMode == 3 ? 196 : 39;
    CSearchPopupDlg popup(lTable, CString(), 0, 0, nullptr);
    popup.SetSecMandantTableID(lTable == 39 ? L"onlyKurs" : L"0");
    if (popup.DoModal() != IDOK) return 0;
    const std::vector<long>* pIDs = popup.GetResultIDs();
    return pIDs && pIDs->size() == 1 ? pIDs->front() : 0;
}

void CMaxTeilnehmerDlg::OnChangeSelection() {
    const long lKey = SearchKey();
    long& lFixed = m_nMode == 1 ? m_lMandantID : m_nMode == 3 ? m_lAreaID : m_lKursID;
    if (lKey == 0 || lKey == lFixed) return;
    if (FAILED(SaveData())) return;
    lFixed = lKey;
    ApplyMode();
}

void CMaxTeilnehmerDlg::OnOK() {
    if (m_grid.IsEditing() && !m_grid.EndEdit(TRUE)) return;
    if (SUCCEEDED(SaveData())) EndDialog(IDOK);
}
