#include "teilnehmerdlg.h"

#include "kursdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "optionserver.h"
#include "parentdlg.h"
#include "qvregvalue.h"
#include "searchpopupdlg.h"
#include "vrqkurs.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\teilnehmerdlg";
#define TN_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// The tab's own function, the participant bookings and the participant leaders.
const CQvGUID kSecTab(L"{44C5D8A8-3AE7-4B09-9743-C8583EF78ED6}");
const CQvGUID kSecTeilnehmer(L"{26C2F4CD-E822-4E3B-B665-F7A60A24B65B}");
constexpr GUID kEventKursinstanzChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
constexpr GUID kEventMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;


// Row parameters.
enum { eParamPersonKurs = 0, eParamPerson = 1, eParamStatus = 2, eParamRow = 3, eParamRight = 4, eParamLinked = 5 };

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_TEILNEHMER;
        dlg.cx = 195;
        dlg.cy = 186;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        dlg.items = {
            Control(L"", IDC_TEILNEHMER_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 5, 5, 168, 147),
            PushButton(L"", IDC_TEILNEHMER_ADD, 177, 5, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_TEILNEHMER_EDIT, 177, 23, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_TEILNEHMER_CHANGEINSTANZ, 177, 41, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_TEILNEHMER_CHANGESTATE, 177, 59, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_TEILNEHMER_SWITCH, 177, 77, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_TEILNEHMER_REMOVE, 177, 95, 18, 16, WS_TABSTOP),
            LText(L"", IDC_TEILNEHMER_STATUS, 5, 156, 142, 20, SS_CENTERIMAGE | SS_SUNKEN),
            PushButton(L"", IDC_HELPBUTTON, 177, 165, 18, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// The page's pictures: one status mark per registration status (the row shows status + 1), the
// arrows of "another run" and "another person".
struct ImageRegistrar {
    ImageRegistrar() {
        static const QColor marks[] = {QColor(0, 120, 215), QColor(40, 160, 40),  QColor(200, 40, 40),
                                       QColor(230, 160, 0), QColor(200, 90, 0),   QColor(120, 120, 120),
                                       QColor(150, 90, 190), QColor(0, 170, 170)};
        QImage strip(26 * 16, 16, QImage::Format_RGB32);
        strip.fill(Qt::white);
        QPainter painter(&strip);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 26; ++i) {
            const QColor color = (i >= 1 && i <= 8) ? marks[i - 1] : QColor(90, 90, 90);
            painter.setPen(color.darker(130));
            painter.setBrush(color);
            painter.drawEllipse(i * 16 + 3, 3, 10, 10);
        }
        painter.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_PERSONKURS_STATUS, strip);

        QImage run(16, 16, QImage::Format_ARGB32);
        run.fill(Qt::transparent);
        QPainter p1(&run);
        p1.setPen(QPen(QColor(30, 60, 150), 2));
        p1.drawLine(2, 8, 13, 8);
        p1.drawLine(9, 4, 13, 8);
        p1.drawLine(9, 12, 13, 8);
        p1.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_TEILNEHMER_CHANGEINSTANZ, run);

        QImage swap(16, 16, QImage::Format_ARGB32);
        swap.fill(Qt::transparent);
        QPainter p2(&swap);
        p2.setPen(QPen(QColor(30, 120, 50), 2));
        p2.drawLine(2, 5, 13, 5);
        p2.drawLine(10, 2, 13, 5);
        p2.drawLine(2, 11, 13, 11);
        p2.drawLine(5, 8, 2, 11);
        p2.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_TEILNEHMER_SWITCH, swap);
    }
};
ImageRegistrar g_imageRegistrar;

}  // namespace

IMPLEMENT_DYNCREATE(CTeilnehmerDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CTeilnehmerDlg, CKursChildDlg)
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_TEILNEHMER_ADD, &CTeilnehmerDlg::OnBnAdd)
    ON_BN_CLICKED(IDC_TEILNEHMER_REMOVE, &CTeilnehmerDlg::OnBnRemove)
    ON_BN_CLICKED(IDC_TEILNEHMER_EDIT, &CTeilnehmerDlg::OnBnEdit)
    ON_BN_CLICKED(IDC_TEILNEHMER_CHANGEINSTANZ, &CTeilnehmerDlg::OnBnChangeInstanz)
    ON_BN_CLICKED(IDC_TEILNEHMER_CHANGESTATE, &CTeilnehmerDlg::OnBnChangeState)
    ON_BN_CLICKED(IDC_TEILNEHMER_SWITCH, &CTeilnehmerDlg::OnBnSwitch)
    ON_NOTIFY(NM_DBLCLK, IDC_TEILNEHMER_LIST, &CTeilnehmerDlg::OnDblClkList)
    ON_NOTIFY(QVLN_LINKCLICKED, IDC_TEILNEHMER_LIST, &CTeilnehmerDlg::OnPersonLink)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_TEILNEHMER_LIST, &CTeilnehmerDlg::OnItemChangedList)
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CTeilnehmerDlg)
    ON_QVEVENT(kEventKursinstanzChanged, OnKursinstanzChanged)
    ON_QVEVENT(kEventMandantChanged, OnMandantChanged)
END_QVEVENT_MAP()

CTeilnehmerDlg::CTeilnehmerDlgFactory g_teilnehmerFactory(CLSID_TeilnehmerDlg, RUNTIME_CLASS(CTeilnehmerDlg), FALSE,
                                                          L"Qovaro.NQ2.Tab.Std.Kurs.Teilnehmer");

CTeilnehmerDlg::CTeilnehmerDlg() : CKursChildDlg(IDD_TEILNEHMER, IDS_TEILNEHMER_CAPTION, L"Teilnehmer", 0, -1, 0) {
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKursinstanz);
}

CTeilnehmerDlg::~CTeilnehmerDlg() {
    if (m_pKursinstanz) m_pKursinstanz->Release();
    m_pKursinstanz = nullptr;
}

HRESULT CTeilnehmerDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_TeilnehmerDlg;
    return S_OK;
}

void CTeilnehmerDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TEILNEHMER_LIST, m_list);
    DDX_Text(pDX, IDC_TEILNEHMER_STATUS, m_strStatus);
}

BOOL CTeilnehmerDlg::OnInitDialog() {
    CKursResourceScope scope;
    CKursChildDlg::OnInitDialog();
    m_fillColors.Create();

    // The common pictures: new, delete, edit and change the state; the run arrow and the switch are
    // the module's own.
    m_btnAdd.AttachButton(IDC_TEILNEHMER_ADD, this, QVBB_IMAGE_ONLY, 9);
    m_btnRemove.AttachButton(IDC_TEILNEHMER_REMOVE, this, QVBB_IMAGE_ONLY, 10);
    m_btnEdit.AttachButton(IDC_TEILNEHMER_EDIT, this, QVBB_IMAGE_ONLY, 2);
    m_btnChangeState.AttachButton(IDC_TEILNEHMER_CHANGESTATE, this, QVBB_IMAGE_ONLY, 4);
    m_btnChangeInstanz.AttachButton(IDC_TEILNEHMER_CHANGEINSTANZ, this, QVBB_IMAGE_ONLY, 0);
    m_btnChangeInstanz.SetBitmap(IDB_TEILNEHMER_CHANGEINSTANZ);
    m_btnSwitch.AttachButton(IDC_TEILNEHMER_SWITCH, this, QVBB_IMAGE_ONLY, 0);
    m_btnSwitch.SetBitmap(IDB_TEILNEHMER_SWITCH);
    for (CQvBitmapButton* pButton : {&m_btnAdd, &m_btnRemove, &m_btnEdit, &m_btnChangeState, &m_btnChangeInstanz,
                                     &m_btnSwitch})
        pButton->SetFlatButton(TRUE);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_TEILNEHMER");

    static const int types[] = {3, 1, 3, 3, 3, 3, 4, 3, 6, 3, 3, 3, 3, 6};
    static const int widths[] = {130, 45, 80, 150, 150, 120, 85, 100, 75, 140, 140, 120, 60, 100};
    static const int tips[] = {2, 0, 0, 2, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    m_list.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\TeilnehmerList");
    m_list.QvInsertColumn(14, IDS_TEILNEHMER_COL_STATUS, types, widths, nullptr, tips);
    m_imageList.Create(IDB_PERSONKURS_STATUS, 16, 0, RGB(255, 255, 255));
    m_list.SetImageList(&m_imageList, LVSIL_SMALL);

    // The user's own person makes him a possible leader of the run.
    long lOwnPerson = 0;
    if (NQ_GetCurrUserPerson(lOwnPerson) == S_OK) m_lUserPersonID = lOwnPerson;

    BOOL bSwitch = FALSE;
    HRESULT hrFailed = S_OK;
    HRESULT hr = QvDBLookupBool(L"fSwitchPersonAllowed", L"DataExchange", L"", &bSwitch, kurs::kProfile);
    if (FAILED(hr)) hrFailed = TN_TRACEHR(hr);
    else m_bSwitchAllowed = bSwitch;
    // The page must hear of changes to its run whatever became of the flag.
    hr = m_eventSink.Create(this, GetQvEventMap());
    if (FAILED(hr) && SUCCEEDED(hrFailed)) hrFailed = TN_TRACEHR(hr);

    CreateLayout();
    AddToolTipText(IDC_TEILNEHMER_ADD, IDS_TEILNEHMER_TIP_ADD);
    AddToolTipText(IDC_TEILNEHMER_REMOVE, IDS_TEILNEHMER_TIP_REMOVE);
    AddToolTipText(IDC_TEILNEHMER_EDIT, IDS_TEILNEHMER_TIP_EDIT);
    AddToolTipText(IDC_TEILNEHMER_CHANGEINSTANZ, IDS_TEILNEHMER_TIP_CHANGEINSTANZ);
    AddToolTipText(IDC_TEILNEHMER_CHANGESTATE, IDS_TEILNEHMER_TIP_CHANGESTATE);
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    if (FAILED(hrFailed))
        QvReportMsg(hrFailed, CrackHR(hrFailed), L"CTeilnehmerDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 0);
    return TRUE;
}

void CTeilnehmerDlg::CreateLayout() {
    CreateListLayout(IDC_TEILNEHMER_LIST, IDC_TEILNEHMER_STATUS,
                     {IDC_TEILNEHMER_ADD, IDC_TEILNEHMER_EDIT, IDC_TEILNEHMER_CHANGEINSTANZ, IDC_TEILNEHMER_CHANGESTATE,
                      IDC_TEILNEHMER_SWITCH, IDC_TEILNEHMER_REMOVE},
                     FALSE);
}

HRESULT CTeilnehmerDlg::CloseTab() {
    const HRESULT hr = m_eventSink.Unadvise();
    if (FAILED(hr)) TN_TRACEHR(hr);
    return CKursChildDlg::CloseTab();
}

HRESULT CTeilnehmerDlg::ReleaseParentControl() {
    if (m_pKursinstanz) m_pKursinstanz->Release();
    m_pKursinstanz = nullptr;
    return CKursChildDlg::ReleaseParentControl();
}

HRESULT CTeilnehmerDlg::SaveData() {
    UpdateData(TRUE);
    return CKursChildDlg::SaveData();
}

HRESULT CTeilnehmerDlg::Refresh() {
    CKursResourceScope scope;
    return RefreshPage(m_colorFemale, [this] { return LoadList(); });
}

HRESULT CTeilnehmerDlg::LoadList() {
    lKursID = 0;
    lKursinstanzID = 0;
    m_bClosed = TRUE;
    HRESULT hr = LoadKursContext();
    if (FAILED(hr)) TN_TRACEHR(hr);
    m_list.SetRedraw(FALSE);
    m_list.DeleteAllItems();
    m_list.SetRedraw(TRUE);
    m_lRowSelected = 0;
    // The counts go with the rows: a page left without a run (one deleted) shows none.
    m_strStatus.Empty();
    if (FAILED(hr)) return hr;  // LoadKursContext has reported it
    if (GetSubRecordID() == 0 || !(static_cast<DWORD>(rightKursinstanz) & kRightRead)) return S_OK;

    hr = ReadRunHeader(L"lMaxTeilnehmer", m_bClosed, m_lMaxTeilnehmer, nullptr);
    if (FAILED(hr)) return hr;
    // FillList reports its own failures.
    return FillList();
}

HRESULT CTeilnehmerDlg::FillList() {
    CKursResourceScope scope;
    CBusyScope busy(this);
    BeginWaitCursor();
    m_list.SetRedraw(FALSE);
    m_list.DeleteAllItems();
    m_lRowSelected = 0;

    long lShowLinked = 0;
    {
        COptionServer options;
        if (FAILED(options.GetOption(-1060, L"ShowLinkedPersonEntries", &lShowLinked, 1, 0))) lShowLinked = 0;
    }
    INQLogicServer* pLogic = nullptr;
    HRESULT hr = OpenLogicServer(pLogic);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    CKursStatusCounts counts;
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        CString strSQL = BookingListSQL(TRUE, lKursinstanzID, L", PersonKurs.fLinked", L"");
        if (lShowLinked == 0) strSQL += L"AND PersonKurs.fLinked = 0 ";
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            CKursBookingRow row;
            BOOL bLinked = FALSE;
            hr = row.Read(rs, pLogic);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fLinked", &bLinked);
            if (FAILED(hr)) {
                TN_TRACEHR(hr);
                break;
            }

            CQvListItem* pItem = nullptr;
            m_list.QvAddItem(pItem, TRUE);
            pItem->SetParam(eParamPerson, row.lPersonID);
            pItem->SetParam(eParamPersonKurs, row.lPersonKursID);
            pItem->SetParam(eParamStatus, row.lStatus);
            pItem->SetParam(eParamRow, 1L);
            pItem->SetParam(eParamRight, row.lRight);
            pItem->SetParam(eParamLinked, static_cast<long>(bLinked ? 1 : 0));
            counts.Add(row.lStatus);

            pItem->SetColumnText(0, NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(row.lStatus),
                                                                      lKursinstanzID, TRUE, CString()));
            pItem->SetImage(static_cast<int>(row.lStatus + 1));
            pItem->SetColumnLong(1, row.lRang);
            pItem->SetColumnText(2, row.strDienstgrad);
            pItem->SetColumnText(3, row.strPerson);
            pItem->SetColumnText(4, row.strAdresse);
            pItem->SetColumnText(5, row.strOrt);
            pItem->SetColumnDate(6, row.dtAnmeldung);
            pItem->SetColumnText(7, row.strAbsenz);
            pItem->SetColumnBool(8, row.bEntschuldigt);
            pItem->SetColumnText(9, row.strGrund);
            pItem->SetColumnText(10, row.strBemerkung);
            pItem->SetColumnText(11, row.strMandant);
            pItem->SetColumnText(12, row.strSprache);
            pItem->SetColumnBool(13, row.lMail > 0);
            if (row.bWeiblich) pItem->SetColumnTextColor(3, m_colorFemale);
            if (bLinked) pItem->SetRowTextColor(RGB(128, 128, 128));
            CString strLink;
            strLink.Format(L"%d", row.lPersonID);
            pItem->SetColumnLink(3, strLink);
            pItem->Unlock();
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    if (pLogic) pLogic->Release();

    m_list.QvSort(-1, TRUE);
    m_list.SetRedraw(TRUE);
    if (m_lReselectPersonKursID != 0) {
        m_list.QvSetSelectionByParam(eParamPersonKurs, m_lReselectPersonKursID);
        m_lReselectPersonKursID = 0;
    }

    m_strStatus.Empty();
    m_lFillState = 0;
    long lMax = m_lMaxTeilnehmer;
    long lFree = m_lMaxTeilnehmer - counts.lPlaces;
    const CKursStatusCounts& c = counts;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    auto* pKursDlg = dynamic_cast<CKursDlg*>(m_pParentDlg);
    if (!bCentral && !m_bClosed && lTyp != eAuthorityTypLokal) {
        long lState = 0, lCount = 0, lFillMax = 0;
        if (pKursDlg && pKursDlg->GetKursinstanzFillLevel(guidKursinstanz, &lState, &lCount, &lFillMax))
            lFree = lFillMax - lCount;
        m_lFillState = lState;
        lMax = lFillMax;
    } else if (pKursDlg) {
        long lState = 0, lCount = 0, lFillMax = 0;
        pKursDlg->GetKursinstanzFillLevel(guidKursinstanz, &lState, &lCount, &lFillMax);
        m_lFillState = lState;
    }
    if (m_bClosed) m_strStatus = KursLoadString(IDS_KURSINSTANZ_GESCHLOSSEN) + L"  |  ";
    CString strCounts;
    if (lMax == 0 || (!bCentral && m_bClosed))
        strCounts.Format(KursLoadString(IDS_TEILNEHMER_STATUS_NOMAX), c.lAll, lMax, c.lWaiting, c.lRegistered,
                         c.lPresent, c.lAbsent);
    else if (lFree < 0)
        strCounts.Format(KursLoadString(IDS_TEILNEHMER_STATUS_OVERBOOKED), c.lAll, lMax, -lFree, c.lWaiting,
                         c.lRegistered, c.lPresent, c.lAbsent);
    else
        strCounts.Format(KursLoadString(IDS_TEILNEHMER_STATUS_FREE), c.lAll, lMax, lFree, c.lWaiting, c.lRegistered,
                         c.lPresent, c.lAbsent);
    m_strStatus += strCounts;
    UpdateData(FALSE);
    if (CWnd* pStatus = GetDlgItem(IDC_TEILNEHMER_STATUS)) pStatus->Invalidate();

    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    EndWaitCursor();
    return hr;
}

COLORREF CTeilnehmerDlg::GetStatusColor() const {
    if (m_bClosed) return CKursFillColors::kGrey;
    switch (m_lFillState) {
    case eFillLevelNormal: return CKursFillColors::kGreen;
    case eFillLevelWarning: return CKursFillColors::kYellow;
    case eFillLevelFull: return CKursFillColors::kRed;
    default: return CLR_DEFAULT;
    }
}

HBRUSH CTeilnehmerDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    HBRUSH hBrush = CKursChildDlg::OnCtlColor(pDC, pWnd, nCtlColor);
    if (!pWnd || pWnd->GetDlgCtrlID() != IDC_TEILNEHMER_STATUS) return hBrush;
    return m_fillColors.Brush(pDC, GetStatusColor(), hBrush);
}

HRESULT CTeilnehmerDlg::LoadData() {
    CKursResourceScope scope;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    const BOOL bRow = m_lRowSelected != 0 && !m_bSelectedLinked;
    LoadRightsForMandant(kSecTeilnehmer, CQvGUID(GUID_ScopeKursinstanz), CString());
    SecureDlgItem(IDC_TEILNEHMER_CHANGESTATE, TRUE, bRow && (lTyp == eAuthorityTypLokal || bCentral), kRightEdit);

    const HRESULT hr = CKursChildDlg::LoadData();
    long lPersonID = 0;
    if (IsKursleiterWithRight(TRUE, lPersonID))
        SecureDlgItem(IDC_TEILNEHMER_ADD, TRUE, fActive, kRightRead);
    else
        SecureDlgItem(IDC_TEILNEHMER_ADD, TRUE, !m_bClosed || bCentral, kRightEdit);
    SecureDlgItem(IDC_TEILNEHMER_REMOVE, TRUE, bRow && (!m_bClosed || bCentral), kRightEdit);
    SecureDlgItem(IDC_TEILNEHMER_CHANGEINSTANZ, TRUE, bRow && (!m_bClosed || bCentral), kRightEdit);
    SecureDlgItem(IDC_TEILNEHMER_EDIT, TRUE, bRow, kRightEdit);
    SecureDlgItem(IDC_TEILNEHMER_SWITCH, bCentral,
                  bRow && m_bSwitchAllowed && (lTyp == eAuthorityTypBund || lTyp == eAuthorityTypKanton), kRightEdit);
    SecureControl(&m_list, TRUE, TRUE, kRightEdit);
    return hr;
}

void CTeilnehmerDlg::OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    const auto* pNM = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    if (pNM->iItem < 0) return;
    const bool bSelected = IsSelectionGained(pNM);
    const bool bLost = (pNM->uOldState & LVIS_SELECTED) && !(pNM->uNewState & LVIS_SELECTED);
    if (bSelected) {
        CQvListItem* pItem = m_list.QvGetVisibleListItem(pNM->iItem);
        long lRow = 0, lLinked = 0;
        if (pItem) {
            pItem->GetParam(eParamRow, &lRow);
            pItem->GetParam(eParamLinked, &lLinked);
        }
        m_lRowSelected = lRow;
        m_bSelectedLinked = lLinked != 0;
        LoadData();
    } else if (bLost) {
        m_lRowSelected = 0;
        m_bSelectedLinked = FALSE;
        SchedulePendingLoad();
    }
}

void CTeilnehmerDlg::OnDblClkList(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (IsDlgItemEnabled(IDC_TEILNEHMER_EDIT)) OnBnEdit();
}

void CTeilnehmerDlg::OnPersonLink(NMHDR* pNMHDR, LRESULT* pResult) { FollowPersonLink(pNMHDR, pResult, TRUE); }

void CTeilnehmerDlg::OnKursinstanzChanged(COleVariant value) { ReloadOnKursinstanzChanged(value); }

void CTeilnehmerDlg::OnMandantChanged(COleVariant) { MarkModifiedAndReload(); }

// ---- the bookings

BOOL CTeilnehmerDlg::BeginRowCommand(long& lPersonKursID) {
    lPersonKursID = 0;
    if (!NQ_GetSelectedParamValue(&m_list, eParamPersonKurs, lPersonKursID)) return FALSE;
    long lLinked = 0;
    if (NQ_GetSelectedParamValue(&m_list, eParamLinked, lLinked) && lLinked != 0) return FALSE;
    return BeginEdit() == eRecordEditing;
}

void CTeilnehmerDlg::EndCommand(long hr, BOOL bChanged, LPCWSTR lpszSource) {
    // The list shows what is stored, after a failure too: a change whose outcome was reported as
    // unknown may have been saved.
    const long hrList = FillList();
    if (FAILED(hrList)) TN_TRACEHR(hrList);
    EndBookingCommand(hr, bChanged, lpszSource, FALSE);
}

void CTeilnehmerDlg::RefreshFillLevel() {
    DWORD dwEnabled = 1;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"FillupStateEnabled", dwEnabled);
    long lInterval = 0;
    {
        COptionServer options;
        options.GetOption(-1060, L"FillLevelInterval", &lInterval, 1, 0);
    }
    if (lInterval <= 0 || dwEnabled != 0) return;
    if (!m_pKursinstanz && m_pParentControl)
        m_pParentControl->QueryInterface(IID_IKursinstanz, reinterpret_cast<void**>(&m_pKursinstanz));
    if (m_pKursinstanz) {
        const HRESULT hr = m_pKursinstanz->Reserved3();
        if (FAILED(hr)) TN_TRACEHR(hr);
    }
}

void CTeilnehmerDlg::OnBnAdd() {
    CKursResourceScope scope;
    if (lKursinstanzID == 0) return;
    // The course is taken before the search opens: under another user's lock nobody is looked
    // for in vain. A search closed without a choice ends the edit at once, so a frame closed
    // afterwards has nothing to ask about.
    if (BeginEdit() != eRecordEditing) return;
    std::vector<long> ids;
    if (!PickPersonsToBook(L"Kurs", TRUE, CString(), CString(), ids)) {
        EndEdit();
        return;
    }
    BeginWaitCursor();
    long hr = BookPersons(ids, FALSE, lKursinstanzID, 0, -1);
    if (hr == E_ABORT) hr = S_OK;
    BOOL bChanged = FALSE;
    if (SUCCEEDED(hr)) {
        bChanged = TRUE;
        RefreshFillLevel();
    }
    EndWaitCursor();
    EndCommand(hr, bChanged, L"CTeilnehmerDlg::OnBnAdd");
}

void CTeilnehmerDlg::OnBnRemove() {
    CKursResourceScope scope;
    long lSelected = 0;
    if (!BeginRowCommand(lSelected)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    CVRQKurs kurs;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonKursID = 0, lPersonID = 0, lShown = -1;
        items[i]->GetParam(eParamPersonKurs, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamStatus, &lShown);
        if (lPersonID == 0) continue;
        // Each removal is one unit; the loop stops at a failure or at the user's cancel.
        hr = RemoveBooking(conn, kurs, TRUE, lPersonKursID, lPersonID, lKursinstanzID, lShown);
        if (FAILED(hr)) TN_TRACEHR(hr);
        else bChanged = TRUE;
    }
    // A cancel (or a refusal shown to the user) is no failure: the rows removed before it are shown gone.
    if (hr == E_ABORT) hr = S_OK;
    EndCommand(hr, bChanged, L"CTeilnehmerDlg::OnBnRemove");
}

void CTeilnehmerDlg::OnBnEdit() {
    CKursResourceScope scope;
    long lPersonKursID = 0;
    if (!BeginRowCommand(lPersonKursID)) return;
    if (m_lReselectPersonKursID == 0) m_lReselectPersonKursID = lPersonKursID;
    long hr = S_OK;
    if (EditBooking(lPersonKursID)) hr = FillList();
    else m_lReselectPersonKursID = 0;
    EndBookingCommand(hr, FALSE, L"CTeilnehmerDlg::OnBnEdit", FALSE);
}

void CTeilnehmerDlg::OnBnChangeInstanz() {
    CKursResourceScope scope;
    long lSelected = 0;
    if (!BeginRowCommand(lSelected)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    CString strWhere;
    if (NQ_IsEnterpriseEdition()) strWhere.Format(L"vk.lKursID = %d AND ki.lKursinstanzID <> %d ", lKursID, lKursinstanzID);
    else
        strWhere.Format(L"vk.lKursID = %d AND ki.lKursinstanzID <> %d AND ki.fGeschlossen = 0 ", lKursID,
                        lKursinstanzID);
    long lNewRun = 0;
    if (!PickKursinstanz(strWhere, lNewRun)) {
        EndEdit();
        return;
    }
    CVRQKurs kurs;
    long hr = S_OK;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr) && lNewRun != 0; ++i) {
        long lPersonKursID = 0, lPersonID = 0, lShown = -1;
        items[i]->GetParam(eParamPersonKurs, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamStatus, &lShown);
        // Moved only as the list shows it: in this run, with its status.
        EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
        hr = kurs.ChangePersonKursinstanz(lPersonKursID, lPersonID, lKursID, lKursinstanzID, lNewRun, 0, eStatus,
                                          lShown);
        if (FAILED(hr)) TN_TRACEHR(hr);
        else bChanged = TRUE;
    }
    EndCommand(hr, bChanged, L"CTeilnehmerDlg::OnBnChangeInstanz");
}

void CTeilnehmerDlg::OnBnChangeState() {
    CKursResourceScope scope;
    long lSelected = 0;
    if (!BeginRowCommand(lSelected)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    long lStatus = 0;
    if (!AskNewStatus(TRUE, lKursinstanzID, SharedParam(items, eParamStatus), lStatus)) {
        EndEdit();
        return;
    }
    CVRQKurs kurs;
    long hr = S_OK;
    BOOL bChanged = FALSE;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonKursID = 0, lPersonID = 0, lShown = -1;
        items[i]->GetParam(eParamPersonKurs, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamStatus, &lShown);
        if (lPersonID == 0) continue;
        hr = VRQ_CheckKursinstanzDoppelbelegung(lPersonKursID, lPersonID, lKursID, lKursinstanzID);
        if (SUCCEEDED(hr)) {
            // Only as the list shows it: one moved or changed meanwhile is left as it is stored.
            hr = kurs.UpdatePersonKursStatus(TRUE, lPersonKursID, lPersonID, lKursinstanzID,
                                             static_cast<EPersonKursStatus>(lStatus), lShown);
            if (SUCCEEDED(hr)) bChanged = TRUE;
        }
        // A refusal the user has been shown leaves the other rows to be tried.
        if (hr == E_ABORT) hr = S_OK;
        if (FAILED(hr)) TN_TRACEHR(hr);
    }
    EndCommand(hr, bChanged, L"CTeilnehmerDlg::OnBnChangeState");
}

void CTeilnehmerDlg::OnBnSwitch() {
    CKursResourceScope scope;
    long lPersonKursID = 0;
    if (!BeginRowCommand(lPersonKursID)) return;
    long lSelectedPerson = 0, lShown = -1;
    NQ_GetSelectedParamValue(&m_list, eParamPerson, lSelectedPerson);
    NQ_GetSelectedParamValue(&m_list, eParamStatus, lShown);
    CSearchPopupDlg popup(4, L"Kurs", 0, 0, nullptr);
    popup.m_dwRightMask = 0;
    if (popup.DoModal() != IDOK) {
        EndEdit();
        return;
    }
    BeginWaitCursor();
    long lNewPerson = 0;
    if (const std::vector<long>* pIDs = popup.GetResultIDs(); pIDs && !pIDs->empty()) lNewPerson = pIDs->front();
    CVRQKurs kurs;
    long hr = S_OK;
    if (lNewPerson != 0 && lNewPerson != lSelectedPerson) {
        // Handed over only as the list shows it: in this run, with its status, of the person shown.
        hr = kurs.SwitchPerson(lNewPerson, lKursID, lKursinstanzID, lPersonKursID, lShown, lSelectedPerson);
        if (FAILED(hr)) TN_TRACEHR(hr);
    }
    EndWaitCursor();
    EndCommand(hr, SUCCEEDED(hr), L"CTeilnehmerDlg::OnBnSwitch");
}
