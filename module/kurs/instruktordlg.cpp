#include "instruktordlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "optionserver.h"
#include "searchpopupdlg.h"
#include "vrqkurs.h"

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\instruktordlg";
#define IN_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// The tab's own function, the instructor list and the instructors' status.
const CQvGUID kSecTab(L"{7DFFEFCC-5812-42A6-BEB3-F9E7369EF042}");
const CQvGUID kSecList(L"{9EDCBA0D-B489-4774-8503-1B7FAB52F28D}");
const CQvGUID kSecStatus(L"{7AC2F5A3-00A0-4147-A25D-730B31F0BC8B}");
constexpr GUID kEventKursinstanzChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
constexpr GUID kEventKursleitungChanged = qv::MakeGuid("8C500EC2-129C-4CCF-BF2C-8BBA4F7CE8D2");
constexpr GUID kEventMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;
constexpr int kLeiterColumn = 8;


// Row data.
enum {
    eParamPersonKurs = 0,
    eParamPerson = 1,
    eParamKursleitung = 2,
    eParamStatus = 3,
    eParamEdit = 4,
    eParamRight = 5,
    eParamChanged = 6,
    eParamLeiter = 7  // whether the row led the run when the grid was filled
};

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_INSTRUKTOR;
        dlg.cx = 191;
        dlg.cy = 186;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        dlg.items = {
            Control(L"", IDC_INSTRUKTOR_GRID, QVGRID_CLASSNAME, LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP,
                    5, 5, 147, 147),
            PushButton(L"", IDC_INSTRUKTOR_ADD, 157, 5, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTRUKTOR_EDIT, 157, 23, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTRUKTOR_CHANGEINSTANZ, 157, 41, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTRUKTOR_CHANGESTATE, 157, 59, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTRUKTOR_REMOVE, 157, 77, 18, 16, WS_TABSTOP),
            LText(L"", IDC_INSTRUKTOR_STATUS, 5, 156, 149, 20, SS_CENTERIMAGE | SS_SUNKEN),
            PushButton(L"", IDC_HELPBUTTON, 168, 165, 18, 16, BS_OWNERDRAW | WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

long ItemParam(const CQvListItem* pItem, int index) {
    long lValue = 0;
    if (pItem) pItem->GetParam(index, &lValue);
    return lValue;
}

// The leader flag the grid shows on the row (-1: not a row of the grid).
long ShownLeiter(const CQvListItem* pItem) {
    const auto* pGridItem = dynamic_cast<const CQvGridItem*>(pItem);
    return pGridItem ? (pGridItem->GetColumnCheck(kLeiterColumn) ? 1 : 0) : -1;
}

}  // namespace

IMPLEMENT_DYNCREATE(CInstruktorDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CInstruktorDlg, CKursChildDlg)
    ON_WM_CTLCOLOR()
    ON_COMMAND_RANGE(ID_INSTRUKTOR_ROLE_FIRST, ID_INSTRUKTOR_ROLE_LAST, &CInstruktorDlg::OnAdd)
    ON_BN_CLICKED(IDC_INSTRUKTOR_REMOVE, &CInstruktorDlg::OnBnRemove)
    ON_BN_CLICKED(IDC_INSTRUKTOR_EDIT, &CInstruktorDlg::OnBnEdit)
    ON_BN_CLICKED(IDC_INSTRUKTOR_CHANGEINSTANZ, &CInstruktorDlg::OnBnChangeInstanz)
    ON_BN_CLICKED(IDC_INSTRUKTOR_CHANGESTATE, &CInstruktorDlg::OnBnChangeState)
    ON_NOTIFY(QVLN_LINKCLICKED, IDC_INSTRUKTOR_GRID, &CInstruktorDlg::OnLinkGrid)
    ON_NOTIFY(NM_DBLCLK, IDC_INSTRUKTOR_GRID, &CInstruktorDlg::OnDblClkGrid)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_INSTRUKTOR_GRID, &CInstruktorDlg::OnItemChangedGrid)
    ON_NOTIFY(QVGN_CELLCHANGING, IDC_INSTRUKTOR_GRID, &CInstruktorDlg::OnCellChanging)
END_MESSAGE_MAP()

// The bookings of the course are heard by the page base.
BEGIN_QVEVENT_MAP(CInstruktorDlg)
    ON_QVEVENT(kEventKursinstanzChanged, OnKursinstanzChanged)
    ON_QVEVENT(kEventKursleitungChanged, OnKursleitungChanged)
    ON_QVEVENT(kEventMandantChanged, OnMandantChanged)
END_QVEVENT_MAP()

CInstruktorDlg::CInstruktorDlgFactory g_instruktorFactory(CLSID_InstruktorDlg, RUNTIME_CLASS(CInstruktorDlg), FALSE,
                                                          L"Qovaro.NQ2.Tab.Std.Kurs.Instruktor");

CInstruktorDlg::CInstruktorDlg() : CKursChildDlg(IDD_INSTRUKTOR, IDS_INSTRUKTOR_CAPTION, L"Instruktor", 0, -1, 0) {
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKursinstanz);
}

CInstruktorDlg::~CInstruktorDlg() = default;

HRESULT CInstruktorDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_InstruktorDlg;
    return S_OK;
}

HRESULT CInstruktorDlg::CheckRightsFor(long lValue) {
    // Instructors are booked in the central installation only.
    if (!NQ_IsEnterpriseEdition()) return 0;
    return CKursChildDlg::CheckRightsFor(lValue);
}

void CInstruktorDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_INSTRUKTOR_GRID, m_grid);
    DDX_Text(pDX, IDC_INSTRUKTOR_STATUS, m_strStatus);
}

BOOL CInstruktorDlg::OnInitDialog() {
    CKursResourceScope scope;
    CKursChildDlg::OnInitDialog();
    m_fillColors.Create();

    m_btnRemove.AttachButton(IDC_INSTRUKTOR_REMOVE, this, QVBB_IMAGE_ONLY, 10);
    m_btnEdit.AttachButton(IDC_INSTRUKTOR_EDIT, this, QVBB_IMAGE_ONLY, 2);
    m_btnChangeState.AttachButton(IDC_INSTRUKTOR_CHANGESTATE, this, QVBB_IMAGE_ONLY, 4);
    m_btnChangeInstanz.AttachButton(IDC_INSTRUKTOR_CHANGEINSTANZ, this, QVBB_IMAGE_ONLY, 0);
    m_btnChangeInstanz.SetBitmap(IDB_TEILNEHMER_CHANGEINSTANZ);
    for (CQvBitmapButton* pButton : {&m_btnRemove, &m_btnEdit, &m_btnChangeState, &m_btnChangeInstanz})
        pButton->SetFlatButton(TRUE);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_INSTRUKTOR");

    HRESULT hrFailed = S_OK;
    m_menuRoles.CreatePopupMenu();
    m_btnAdd.AttachButton(IDC_INSTRUKTOR_ADD, this, &m_menuRoles, QVBB_IMAGE_ONLY, 1);
    m_btnAdd.SetStandardImage(9);
    HRESULT hr = FillKursleitungMenu();
    if (FAILED(hr)) hrFailed = IN_TRACEHR(hr);
    m_btnAdd.SetFlatButton(TRUE);

    // Only the leader's check box is the user's to change.
    static const int types[] = {3, 3, 1, 3, 3, 3, 3, 4, 6, 3, 6, 3, 3, 3, 3, 6};
    static const int widths[] = {120, 140, 45, 80, 150, 150, 120, 85, 50, 100, 75, 140, 140, 120, 60, 100};
    static const int tips[] = {2, 2, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    m_grid.SetDefaultEditMode(CQvGridCtrl::eEditNone);
    m_grid.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\InstruktorList");
    m_grid.QvInsertColumn(16, IDS_INSTRUKTOR_COL_STATUS, types, widths, nullptr, tips);
    m_imageList.Create(IDB_PERSONKURS_STATUS, 16, 0, RGB(255, 255, 255));
    m_grid.SetImageList(&m_imageList, LVSIL_SMALL);

    long lOwnPerson = 0;
    if (NQ_GetCurrUserPerson(lOwnPerson) == S_OK) m_lUserPersonID = lOwnPerson;

    CreateLayout();
    // The page must hear of changes to its run even when the roles could not be read.
    hr = m_eventSink.Create(this, GetQvEventMap());
    if (FAILED(hr) && SUCCEEDED(hrFailed)) hrFailed = IN_TRACEHR(hr);

    AddToolTipText(IDC_INSTRUKTOR_ADD, IDS_INSTRUKTOR_TIP_ADD);
    AddToolTipText(IDC_INSTRUKTOR_REMOVE, IDS_TEILNEHMER_TIP_REMOVE);
    AddToolTipText(IDC_INSTRUKTOR_EDIT, IDS_TEILNEHMER_TIP_EDIT);
    AddToolTipText(IDC_INSTRUKTOR_CHANGEINSTANZ, IDS_INSTRUKTOR_TIP_CHANGEINSTANZ);
    AddToolTipText(IDC_INSTRUKTOR_CHANGESTATE, IDS_INSTRUKTOR_TIP_CHANGESTATE);
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    if (FAILED(hrFailed))
        QvReportMsg(hrFailed, CrackHR(hrFailed), L"CInstruktorDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 0);
    return TRUE;
}

void CInstruktorDlg::CreateLayout() {
    CreateListLayout(IDC_INSTRUKTOR_GRID, IDC_INSTRUKTOR_STATUS,
                     {IDC_INSTRUKTOR_ADD, IDC_INSTRUKTOR_EDIT, IDC_INSTRUKTOR_CHANGEINSTANZ, IDC_INSTRUKTOR_CHANGESTATE,
                      IDC_INSTRUKTOR_REMOVE},
                     TRUE);
}

HRESULT CInstruktorDlg::CloseTab() {
    const HRESULT hr = m_eventSink.Unadvise();
    if (FAILED(hr)) IN_TRACEHR(hr);
    const HRESULT hrBase = CKursChildDlg::CloseTab();
    return FAILED(hr) ? hr : hrBase;
}

HRESULT CInstruktorDlg::Refresh() {
    CKursResourceScope scope;
    return RefreshPage(m_colorFemale, [this] { return LoadKursinstanz(); });
}

HRESULT CInstruktorDlg::LoadKursinstanz() {
    lKursID = 0;
    lKursinstanzID = 0;
    m_bClosed = TRUE;
    HRESULT hr = LoadKursContext();
    if (FAILED(hr)) IN_TRACEHR(hr);
    m_grid.SetRedraw(FALSE, L"default");
    m_grid.DeleteAllItems();
    m_grid.SetRedraw(TRUE, L"default");
    m_lRowSelected = 0;
    if (FAILED(hr)) return hr;  // LoadKursContext has reported it
    if (GetSubRecordID() == 0 || !(static_cast<DWORD>(rightKursinstanz) & kRightRead)) return S_OK;

    hr = ReadRunHeader(L"lMinInstruktor", m_bClosed, m_lMinInstruktor, &m_dtDatum);
    if (FAILED(hr)) return hr;
    return FillList();
}

HRESULT CInstruktorDlg::FillList() {
    CKursResourceScope scope;
    CBusyScope busy(this);
    BeginWaitCursor();
    m_grid.SetRedraw(FALSE, L"default");
    m_grid.DeleteAllItems();
    m_lRowSelected = 0;

    INQLogicServer* pLogic = nullptr;
    HRESULT hr = OpenLogicServer(pLogic);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    CKursStatusCounts counts;
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        const CString strColumns = CString(L", PersonKurs.fLeiter, ") + kRoleColumns;
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, BookingListSQL(FALSE, lKursinstanzID, strColumns, kRoleJoin), bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            CKursBookingRow row;
            long lKursleitungID = -1;
            BOOL bLeiter = FALSE;
            CString strFunktion;
            hr = row.Read(rs, pLogic);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fLeiter", &bLeiter);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strFunktion);
            if (FAILED(hr)) {
                IN_TRACEHR(hr);
                break;
            }

            CQvGridItem* pItem = nullptr;
            if (m_grid.QvAddItem(pItem, TRUE) && pItem) {
                pItem->SetParam(eParamPersonKurs, row.lPersonKursID);
                pItem->SetParam(eParamPerson, row.lPersonID);
                pItem->SetParam(eParamKursleitung, lKursleitungID);
                pItem->SetParam(eParamStatus, row.lStatus);
                pItem->SetParam(eParamEdit, 3L);
                pItem->SetParam(eParamRight, row.lRight);
                pItem->SetParam(eParamChanged, 0L);
                pItem->SetParam(eParamLeiter, bLeiter ? 1L : 0L);
                counts.Add(row.lStatus);

                pItem->SetColumnText(0, NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(row.lStatus),
                                                                          lKursinstanzID, FALSE, CString()));
                pItem->SetImage(static_cast<int>(14 + row.lStatus));
                pItem->SetColumnText(1, lKursleitungID == -1 ? KursLoadString(IDS_OHNE_FUNKTION) : strFunktion);
                pItem->SetColumnLong(2, row.lRang);
                pItem->SetColumnText(3, row.strDienstgrad);
                pItem->SetColumnText(4, row.strPerson);
                CString strLink;
                strLink.Format(L"%d", row.lPersonID);
                pItem->SetColumnLink(4, strLink);
                if (row.bWeiblich) pItem->SetColumnTextColor(4, m_colorFemale);
                pItem->SetColumnText(5, row.strAdresse);
                pItem->SetColumnText(6, row.strOrt);
                pItem->SetColumnDate(7, row.dtAnmeldung, 1, 10, CQvGridCtrl::eEditNone);
                pItem->SetColumnCheck(kLeiterColumn, bLeiter, TRUE);
                pItem->SetColumnText(9, row.strAbsenz);
                pItem->SetColumnBool(10, row.bEntschuldigt);
                pItem->SetColumnText(11, row.strGrund);
                pItem->SetColumnText(12, row.strBemerkung);
                pItem->SetColumnText(13, row.strMandant);
                pItem->SetColumnText(14, row.strSprache);
                pItem->SetColumnBool(15, row.lMail != 0);
                pItem->Unlock();
            }
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    if (pLogic) pLogic->Release();

    m_grid.QvSort(-1, TRUE);
    m_grid.SetRedraw(TRUE, L"default");
    if (m_lReselectPersonKursID != 0) {
        m_grid.QvSetSelectionByParam(eParamPersonKurs, m_lReselectPersonKursID);
        m_lReselectPersonKursID = 0;
    }

    m_strStatus.Empty();
    m_lFillState = 0;
    if (m_bClosed) m_strStatus = KursLoadString(IDS_KURSINSTANZ_GESCHLOSSEN) + L"  |  ";
    CString strCounts;
    const long lNeeded = m_lMinInstruktor - counts.lPlaces;
    const CKursStatusCounts& c = counts;
    if (m_lMinInstruktor == 0) {
        strCounts.Format(KursLoadString(IDS_INSTRUKTOR_STATUS_NOMIN), c.lAll, 0L, c.lWaiting, c.lRegistered,
                         c.lPresent, c.lAbsent);
    } else if (lNeeded < 0) {
        strCounts.Format(KursLoadString(IDS_INSTRUKTOR_STATUS_SURPLUS), c.lAll, m_lMinInstruktor, -lNeeded, c.lWaiting,
                         c.lRegistered, c.lPresent, c.lAbsent);
        m_lFillState = 2;
    } else {
        strCounts.Format(KursLoadString(IDS_INSTRUKTOR_STATUS_MISSING), c.lAll, m_lMinInstruktor, lNeeded, c.lWaiting,
                         c.lRegistered, c.lPresent, c.lAbsent);
        m_lFillState = (c.lAll - c.lAbsent == m_lMinInstruktor) ? 1 : 3;
    }
    m_strStatus += strCounts;
    UpdateData(FALSE);
    if (CWnd* pStatus = GetDlgItem(IDC_INSTRUKTOR_STATUS)) pStatus->Invalidate();

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    EndWaitCursor();
    return hr;
}

COLORREF CInstruktorDlg::GetStatusColor() const {
    if (m_bClosed) return CKursFillColors::kGrey;
    switch (m_lFillState) {
    case 1: return CKursFillColors::kGreen;
    case 2: return CKursFillColors::kYellow;
    case 3: return CKursFillColors::kRed;
    default: return CLR_DEFAULT;
    }
}

HBRUSH CInstruktorDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH hBrush = CKursChildDlg::OnCtlColor(pDC, pWnd, nCtlColor);
    if (!pWnd || pWnd->GetDlgCtrlID() != IDC_INSTRUKTOR_STATUS) return hBrush;
    return m_fillColors.Brush(pDC, GetStatusColor(), hBrush);
}

HRESULT CInstruktorDlg::LoadData() {
    CKursResourceScope scope;
    const CQvGUID scopeRun(GUID_ScopeKursinstanz);
    LoadRightsForMandant(kSecList, scopeRun, CString());
    SecureControl(&m_grid, TRUE, TRUE, kRightEdit);
    LoadRightsForMandant(kSecStatus, scopeRun, CString());
    const BOOL bRow = m_lRowSelected != 0;
    SecureDlgItem(IDC_INSTRUKTOR_CHANGESTATE, TRUE, bRow, kRightEdit);

    const HRESULT hr = CKursChildDlg::LoadData();
    if (FAILED(hr)) IN_TRACEHR(hr);
    long lPersonID = 0;
    SecureDlgItem(IDC_INSTRUKTOR_ADD, TRUE, TRUE, IsKursleiterWithRight(TRUE, lPersonID) ? kRightRead : kRightEdit);
    SecureDlgItem(IDC_INSTRUKTOR_REMOVE, TRUE, bRow, kRightEdit);
    SecureDlgItem(IDC_INSTRUKTOR_EDIT, TRUE, bRow, kRightEdit);
    SecureDlgItem(IDC_INSTRUKTOR_CHANGEINSTANZ, TRUE, bRow, kRightEdit);
    return hr;
}

void CInstruktorDlg::OnItemChangedGrid(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    FollowSelection(pNMHDR, m_grid, eParamEdit, m_lRowSelected);
}

void CInstruktorDlg::OnDblClkGrid(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (IsDlgItemEnabled(IDC_INSTRUKTOR_EDIT)) OnBnEdit();
}

void CInstruktorDlg::OnLinkGrid(NMHDR* pNMHDR, LRESULT* pResult) { FollowPersonLink(pNMHDR, pResult, FALSE); }

void CInstruktorDlg::OnKursinstanzChanged(COleVariant value) { ReloadOnKursinstanzChanged(value); }

void CInstruktorDlg::OnKursleitungChanged(COleVariant) {
    const HRESULT hr = FillKursleitungMenu();
    if (FAILED(hr)) IN_TRACEHR(hr);
}

void CInstruktorDlg::OnMandantChanged(COleVariant) { MarkModifiedAndReload(); }

// ---- the bookings

HRESULT CInstruktorDlg::FillKursleitungMenu() {
    CKursResourceScope scope;
    m_roles.clear();
    while (m_menuRoles.GetSafeHmenu() && m_menuRoles.GetMenuItemCount() > 0) m_menuRoles.RemoveMenu(0, MF_BYPOSITION);
    return AppendRoleMenu(m_menuRoles, ID_INSTRUKTOR_ROLE_FIRST, ID_INSTRUKTOR_ROLE_LAST, m_roles);
}

BOOL CInstruktorDlg::BeginRowCommand() {
    long lPersonKursID = 0;
    return BeginSelectedRowEdit(&m_grid, eParamPersonKurs, lPersonKursID);
}

void CInstruktorDlg::OnAdd(UINT nID) {
    CKursResourceScope scope;
    if (lKursinstanzID == 0) return;
    const std::size_t nIndex = nID - ID_INSTRUKTOR_ROLE_FIRST;
    if (nIndex >= m_roles.size()) {
        IN_TRACEHR(E_INVALIDARG);
        return;
    }
    if (BeginEdit() != eRecordEditing) return;
    const long lKursleitungID = m_roles[nIndex];

    CString strJoin, strWhere;
    if (lKursleitungID != -1) {
        // Only holders of the role's function on the run date.
        strJoin = L"JOIN PersonFunktion ON vp.lPersonID = PersonFunktion.lPersonID JOIN Kursleitung ON "
                  L"PersonFunktion.lFunktionID = Kursleitung.lFunktionID ";
        const CString strDatum = m_dtDatum.SQLConvert();
        strWhere.Format(L"Kursleitung.lKursleitungID = %d AND PersonFunktion.dtStart < %s AND (PersonFunktion.dtEnde "
                        L"> %s OR PersonFunktion.dtEnde = %s)",
                        lKursleitungID, strDatum, strDatum, kurs::ZeroDateSQL());
    }
    std::vector<long> ids;
    if (!PickPersonsToBook(L"KursInstruktor", FALSE, strJoin, strWhere, ids)) {
        EndEdit();
        return;
    }
    BeginWaitCursor();
    const long hr = BookPersons(ids, TRUE, lKursinstanzID, 0, lKursleitungID);
    if (SUCCEEDED(hr)) {
        const long hrList = FillList();
        if (FAILED(hrList)) IN_TRACEHR(hrList);
    }
    EndWaitCursor();
    EndBookingCommand(hr, TRUE, L"CInstruktorDlg::OnAdd", FALSE);
}

void CInstruktorDlg::OnBnRemove() {
    CKursResourceScope scope;
    if (!BeginRowCommand()) return;
    CQvListItemArray items;
    m_grid.QvGetSelListItemArray(items);
    long hr = S_OK;
    BOOL bChanged = FALSE;
    if (ConfirmRemoval(items)) {
        CQvADOConnection conn;
        hr = kurs::OpenConnection(conn);
        CVRQKurs kurs;
        for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
            // Each removal is one unit: a refused step leaves the instructor booked as he was.
            hr = RemoveBooking(conn, kurs, FALSE, ItemParam(items[i], eParamPersonKurs), ItemParam(items[i], eParamPerson),
                               lKursinstanzID, ItemParam(items[i], eParamStatus), ShownLeiter(items[i]));
            if (FAILED(hr)) {
                IN_TRACEHR(hr);
                break;
            }
            bChanged = TRUE;
        }
        // The list shows what is stored, after a failure too: a removal whose outcome was reported
        // as unknown may have been saved, and a registration found gone is no longer listed.
        const long hrList = FillList();
        if (FAILED(hrList)) IN_TRACEHR(hrList);
    }
    EndBookingCommand(hr, bChanged, L"CInstruktorDlg::OnBnRemove", FALSE);
}

void CInstruktorDlg::OnBnEdit() {
    CKursResourceScope scope;
    long lPersonKursID = 0;
    if (!BeginSelectedRowEdit(&m_grid, eParamPersonKurs, lPersonKursID)) return;
    if (m_lReselectPersonKursID == 0) m_lReselectPersonKursID = lPersonKursID;
    long hr = S_OK;
    if (EditBooking(lPersonKursID)) hr = FillList();
    else m_lReselectPersonKursID = 0;
    EndBookingCommand(hr, FALSE, L"CInstruktorDlg::OnBnEdit", FALSE);
}

void CInstruktorDlg::OnBnChangeInstanz() {
    CKursResourceScope scope;
    if (!BeginRowCommand()) return;
    CQvListItemArray items;
    m_grid.QvGetSelListItemArray(items);
    if (items.GetSize() == 0) {
        EndBookingCommand(S_OK, FALSE, L"CInstruktorDlg::OnBnChangeInstanz", FALSE);
        return;
    }
    CString strWhere;
    strWhere.Format(L"vk.lKursID = %d AND ki.lKursinstanzID <> %d ", lKursID, lKursinstanzID);
    long lNewRun = 0;
    if (!PickKursinstanz(strWhere, lNewRun)) {
        EndBookingCommand(S_OK, FALSE, L"CInstruktorDlg::OnBnChangeInstanz", FALSE);
        return;
    }
    CVRQKurs kurs;
    long hr = S_OK;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize(); ++i) {
        bChanged = TRUE;
        if (lNewRun == 0) continue;
        long lKursleitungID = -1;
        items[i]->GetParam(eParamKursleitung, &lKursleitungID);
        EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
        // Moved only as the grid shows it: in this run, with its status and its leader flag.
        hr = kurs.ChangeInstruktorKursinstanz(ItemParam(items[i], eParamPersonKurs), ItemParam(items[i], eParamPerson),
                                              lKursID, lKursinstanzID, lNewRun, 0, lKursleitungID, eStatus,
                                              ItemParam(items[i], eParamStatus), ShownLeiter(items[i]));
        if (FAILED(hr)) {
            IN_TRACEHR(hr);
            break;
        }
    }
    // The grid shows what is stored, after a refused or failed move too.
    const long hrList = FillList();
    if (FAILED(hrList)) IN_TRACEHR(hrList);
    EndBookingCommand(hr, bChanged, L"CInstruktorDlg::OnBnChangeInstanz", FALSE);
}

void CInstruktorDlg::OnBnChangeState() {
    CKursResourceScope scope;
    if (!BeginRowCommand()) return;
    CQvListItemArray items;
    m_grid.QvGetSelListItemArray(items);
    if (items.GetSize() == 0) {
        EndBookingCommand(S_OK, FALSE, L"CInstruktorDlg::OnBnChangeState", FALSE);
        return;
    }
    long lStatus = 0;
    if (!AskNewStatus(FALSE, lKursinstanzID, SharedParam(items, eParamStatus), lStatus)) {
        EndBookingCommand(S_OK, FALSE, L"CInstruktorDlg::OnBnChangeState", FALSE);
        return;
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    BOOL bChanged = FALSE;
    CVRQKurs kurs;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        const long lPersonID = ItemParam(items[i], eParamPerson);
        if (lPersonID == 0) continue;
        // Only as the grid shows it: one moved or changed meanwhile is left as it is stored.
        hr = kurs.UpdatePersonKursStatus(FALSE, ItemParam(items[i], eParamPersonKurs), lPersonID, lKursinstanzID,
                                         static_cast<EPersonKursStatus>(lStatus), ItemParam(items[i], eParamStatus),
                                         CVRQKurs::kRunAsNamed, ShownLeiter(items[i]));
        // A refusal the user has been shown leaves the other rows to be tried.
        if (hr == E_ABORT) hr = S_OK;
        else if (SUCCEEDED(hr)) bChanged = TRUE;
    }
    // The grid shows what is stored, after a refused or failed change too.
    const long hrList = FillList();
    if (FAILED(hrList)) IN_TRACEHR(hrList);
    if (FAILED(hr)) {
        IN_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
        EndBookingCommand(S_OK, FALSE, L"CInstruktorDlg::OnBnChangeState", FALSE);
        return;
    }
    EndBookingCommand(hr, bChanged, L"CInstruktorDlg::OnBnChangeState", FALSE);
}

void CInstruktorDlg::OnCellChanging(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNM = reinterpret_cast<NMQVGRID*>(pNMHDR);
    *pResult = 1;
    if (BeginEdit() != eRecordEditing) return;
    *pResult = 0;
    if (pNM->nSubItem == kLeiterColumn && pNM->pszText && std::wcstol(pNM->pszText, nullptr, 10) != 0) {
        // A run has one leader: the box moves to the row just checked.
        for (int i = 0; i < m_grid.GetItemCount(); ++i) {
            CQvGridItem* pOther = m_grid.QvGetGridItem(i);
            if (!pOther || pOther == pNM->pItem || !pOther->GetColumnCheck(kLeiterColumn)) continue;
            pOther->SetColumnCheck(kLeiterColumn, FALSE, TRUE);
            pOther->SetParam(eParamChanged, 1L);
        }
    }
    if (pNM->pItem) pNM->pItem->SetParam(eParamChanged, 1L);
}

HRESULT CInstruktorDlg::SaveData() {
    CKursResourceScope scope;
    UpdateData(TRUE);
    const HRESULT hr = SaveKursLeiter();
    if (FAILED(hr)) return IN_TRACEHR(hr);
    return CKursChildDlg::SaveData();
}

HRESULT CInstruktorDlg::SaveKursLeiter() {
    BeginWaitCursor();
    const long lGone = kurs::GoneCount();
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    BOOL bChanged = FALSE;
    {
        // The choice is saved whole or not at all: a run keeps its leader when the row that was to
        // take the role is no longer as the grid shows it.
        kurs::CKursTransaction unit(conn);
        if (SUCCEEDED(hr)) hr = unit.Begin();
        // The role is taken from the leaders the grid showed before it is given, so that a leader
        // the grid did not show (set meanwhile by another user) refuses the choice.
        for (const BOOL bSetting : {FALSE, TRUE}) {
            for (int i = 0; i < m_grid.GetInsertedItemCount() && SUCCEEDED(hr); ++i) {
                CQvGridItem* pItem = m_grid.QvGetInsertedGridItem(i);
                if (!pItem || ItemParam(pItem, eParamChanged) == 0) continue;
                const BOOL bLeiter = pItem->GetColumnCheck(kLeiterColumn);
                const long lShownLeiter = ItemParam(pItem, eParamLeiter);
                // A box back as it was shown takes nothing away; a leader ticked again renews the
                // leader text.
                if (bLeiter != bSetting || (!bLeiter && lShownLeiter == 0)) continue;
                bChanged = TRUE;
                hr = VRQ_SaveKursLeiter(ItemParam(pItem, eParamPersonKurs), lKursinstanzID, bLeiter,
                                        ItemParam(pItem, eParamStatus), ItemParam(pItem, eParamPerson), lShownLeiter);
                if (FAILED(hr)) IN_TRACEHR(hr);
            }
        }
        hr = unit.End(hr);
    }
    if (hr == E_ABORT && kurs::GoneCount() != lGone) {
        // The user has been told; the grid shows the leader as stored, and the rest of the window
        // is saved.
        const long hrList = FillList();
        if (FAILED(hrList)) IN_TRACEHR(hrList);
        EndWaitCursor();
        return S_OK;
    }
    if (SUCCEEDED(hr)) {
        // The grid now shows the leader as stored.
        for (int i = 0; i < m_grid.GetInsertedItemCount(); ++i) {
            CQvGridItem* pItem = m_grid.QvGetInsertedGridItem(i);
            if (!pItem) continue;
            pItem->SetParam(eParamChanged, 0L);
            pItem->SetParam(eParamLeiter, pItem->GetColumnCheck(kLeiterColumn) ? 1L : 0L);
        }
    }
    if (bChanged) {
        // The leader's rights on the run follow the choice.
        if (SUCCEEDED(hr)) {
            hr = VRQ_DoUpdateSecKurs(kurs::CurrentSecUserID(), 0, lKursinstanzID, nullptr);
            if (FAILED(hr)) IN_TRACEHR(hr);
        }
        const long hrFire = m_EventSource.FireEvent(kEventKursinstanzChanged, lKursinstanzID, FALSE);
        if (FAILED(hrFire)) IN_TRACEHR(hrFire);
    }
    EndWaitCursor();
    return hr;
}
