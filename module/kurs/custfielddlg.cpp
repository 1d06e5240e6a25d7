#include "custfielddlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqplanungcalls.h"
#include "qvcomserver.h"
#include "nqlogicint.h"

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\custfielddlg";
#define CF_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

const CQvGUID kSecTab(L"{37B2CB0D-1E9E-42E2-88FE-3E83380CF5D4}");
constexpr DWORD kRightEdit = 0x100;
constexpr DWORD kRightConfigure = 0x8000000;

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_CUSTFIELD;
        dlg.cx = 260;
        dlg.cy = 190;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        dlg.items = {
            LText(L"Eigene Daten für Kurse:", IDC_CUSTFIELD_KURS_LABEL, 5, 5, 150, 8),
            Control(L"", IDC_CUSTFIELD_KURS, QVGRID_CLASSNAME, LVS_REPORT | WS_BORDER | WS_TABSTOP, 5, 15, 250, 70),
            LText(L"Eigene Daten für Austragungen:", IDC_CUSTFIELD_INSTANZ_LABEL, 5, 90, 150, 8),
            Control(L"", IDC_CUSTFIELD_INSTANZ, QVGRID_CLASSNAME, LVS_REPORT | WS_BORDER | WS_TABSTOP, 5, 100, 250,
                    65),
            PushButton(L"Eigene Daten konfigurieren...", IDC_CUSTFIELD_MENU, 5, 170, 120, 15, WS_TABSTOP),
            PushButton(L"", IDC_HELPBUTTON, 237, 170, 18, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);

        DialogTemplate select;
        select.id = IDD_SELECTCUSTFIELD;
        select.caption = L"Auswahl eigene Daten konfigurieren...";
        select.cx = 180;
        select.cy = 70;
        select.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        select.items = {
            AutoRadioButton(L"für alle Kurse", IDC_SELECTCUSTFIELD_KURS, 10, 10, 160, 10, WS_GROUP | WS_TABSTOP),
            AutoRadioButton(L"für alle Austragungen", IDC_SELECTCUSTFIELD_INSTANZ, 10, 24, 160, 10),
            DefPushButton(L"Weiter...", IDOK, 66, 50, 50, 14, WS_GROUP | WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 122, 50, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), select);

        const MenuTemplateItem edit{ID_CUSTFIELD_EDIT, L"Eigene Daten erstellen und bearbeiten...", 0, {}};
        const MenuTemplateItem publicFields{ID_CUSTFIELD_PUBLIC, L"Öffentliche Daten festlegen...", 0, {}};
        const MenuTemplateItem search{ID_CUSTFIELD_SEARCH, L"Suchfelder festlegen...", 0, {}};
        RegisterMenu(KursModuleHandle(), IDR_CUSTFIELD_CENTRAL,
                     {MenuTemplateItem{0, L"", MF_POPUP, {edit, publicFields, search}}});
        RegisterMenu(KursModuleHandle(), IDR_CUSTFIELD_LOCAL, {MenuTemplateItem{0, L"", MF_POPUP, {edit, search}}});
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

IMPLEMENT_DYNCREATE(CCustfieldDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CCustfieldDlg, CKursChildDlg)
    ON_BN_CLICKED(IDC_CUSTFIELD_MENU, &CCustfieldDlg::OnMenuButton)
END_MESSAGE_MAP()

CCustfieldDlg::CCustfieldDlgFactory g_custfieldFactory(CLSID_CustfieldDlg, RUNTIME_CLASS(CCustfieldDlg), FALSE,
                                                       L"Qovaro.NQ2.Tab.Std.Kurs.CustField");

CCustfieldDlg::CCustfieldDlg()
    : CKursChildDlg(IDD_CUSTFIELD, IDS_CUSTFIELD_CAPTION, L"CustField", 0, -1, IDC_CUSTFIELD_KURS),
      m_ctrlKurs(CString()), m_ctrlKursinstanz(CString()) {
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKurs);
}

CCustfieldDlg::~CCustfieldDlg() = default;

HRESULT CCustfieldDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_CustfieldDlg;
    return S_OK;
}

void CCustfieldDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CUSTFIELD_KURS, m_ctrlKurs);
    DDX_Control(pDX, IDC_CUSTFIELD_INSTANZ, m_ctrlKursinstanz);
}

BOOL CCustfieldDlg::OnInitDialog() {
    CKursResourceScope scope;
    // The controls learn their table before their windows are bound by the base.
    struct { CQvCustFieldClientCtrl* pCtrl; LPCWSTR lpszKey; long lTable; } const controls[] = {
        {&m_ctrlKurs, L"Kurs", 39}, {&m_ctrlKursinstanz, L"Kursaustragung", 42}};
    for (const auto& c : controls) {
        c.pCtrl->SetShowAllFields(TRUE);
        c.pCtrl->SetSaveImmediately(TRUE);
        c.pCtrl->SetRegKeyName(c.lpszKey);
        c.pCtrl->SetTableID(c.lTable);
        c.pCtrl->SetDBSourceName(kurs::kProfile);
    }
    CKursChildDlg::OnInitDialog();
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_CUSTFIELD");
    m_menu.LoadMenu(NQ_IsEnterpriseEdition() ? IDR_CUSTFIELD_CENTRAL : IDR_CUSTFIELD_LOCAL);
    m_btnMenu.AttachButton(IDC_CUSTFIELD_MENU, this, m_menu.GetSubMenu(0), 3, 0);
    m_arrTables = {39, 42};
    CreateLayout();
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    return TRUE;
}

void CCustfieldDlg::CreateLayout() {
    CRect units(0, 0, 5, 5);
    MapDialogRect(&units);
    const int n5 = units.Width();
    CQvLayoutNode* root = m_LayoutFactory.CreateRelativeNode(this);
    CQvLayoutNode* help = m_LayoutFactory.CreateWindowNode(root, IDC_HELPBUTTON)
                              ->Attach(eQvRight, root, eQvRight, -n5)
                              ->Attach(eQvBottom, root, eQvBottom, -n5)
                              ->KeepSize();
    CQvLayoutNode* menu = m_LayoutFactory.CreateWindowNode(root, IDC_CUSTFIELD_MENU)
                              ->Attach(eQvBottom, root, eQvBottom, -n5)
                              ->KeepSize();
    CQvLayoutNode* run = m_LayoutFactory.CreateWindowNode(root, IDC_CUSTFIELD_INSTANZ)
                             ->Attach(eQvRight, root, eQvRight, -n5)
                             ->Attach(eQvBottom, menu, eQvTop, -n5);
    m_LayoutFactory.CreateWindowNode(root, IDC_CUSTFIELD_KURS)->Attach(eQvRight, root, eQvRight, -n5);
    m_LayoutFactory.CreateWindowNode(root, IDC_CUSTFIELD_INSTANZ_LABEL)->KeepSize();
    (void)help;
    (void)run;
    m_LayoutFactory.CreateLayoutListener(this, root);
}

HRESULT CCustfieldDlg::Refresh() {
    CKursResourceScope scope;
    HRESULT hr = LoadKursContext();
    if (FAILED(hr)) return CF_TRACEHR(hr);
    hr = m_ctrlKurs.SetID(GetRecordID());
    if (FAILED(hr)) return CF_TRACEHR(hr);
    hr = m_ctrlKursinstanz.SetID(GetSubRecordID());
    if (FAILED(hr)) return CF_TRACEHR(hr);
    hr = CKursChildDlg::Refresh();
    return FAILED(hr) ? CF_TRACEHR(hr) : hr;
}

HRESULT CCustfieldDlg::LoadData() {
    CKursResourceScope scope;
    const HRESULT hr = CKursChildDlg::LoadData();
    if (FAILED(hr)) CF_TRACEHR(hr);
    // A local installation keeps the fields of the cantonal and federal courses as they come.
    const BOOL bEditable = lTyp == eAuthorityTypLokal || NQ_IsEnterpriseEdition();
    EnableControlByRights(&m_ctrlKurs, TRUE, bEditable, kRightEdit);
    LoadRightsForMandant(m_guidFunction, CQvGUID(GUID_ScopeKursinstanz), CString());
    EnableControlByRights(&m_ctrlKursinstanz, GetSubRecordID() != 0, bEditable, kRightEdit);
    LoadRightsGeneral(m_guidFunction);
    EnableControlByRights(&m_btnMenu, TRUE, TRUE, kRightConfigure);
    return hr;
}

void CCustfieldDlg::OnMenuButton() {
    switch (m_btnMenu.GetChosenCommand()) {
    case 0:
    case ID_CUSTFIELD_EDIT: EditCustfield(); break;
    case ID_CUSTFIELD_PUBLIC: SetPublicCustfield(); break;
    case ID_CUSTFIELD_SEARCH: NQ_ShowSearchCustfieldAdminDlg(m_arrTables); break;
    default: break;
    }
}

void CCustfieldDlg::RefreshGrids(LPCWSTR lpszSource) {
    CBusyScope busy(this);
    HRESULT hr = m_ctrlKurs.RefreshGrid();
    if (SUCCEEDED(hr)) hr = m_ctrlKursinstanz.RefreshGrid();
    if (FAILED(hr)) {
        CF_TRACEHR(hr);
        QvReportMsg(1, CrackHR(hr), lpszSource, L"Default", __FILE__, __LINE__, 1);
    }
}

void CCustfieldDlg::EditCustfield() {
    CKursResourceScope scope;
    CSelectCustfieldDlg dlg(nullptr);
    dlg.m_nChoice = 0;
    if (dlg.DoModal() == IDOK) RefreshGrids(L"CCustfieldDlg::EditCustfield");
}

void CCustfieldDlg::SetPublicCustfield() {
    NQ_ShowPublicCustfieldAdminDlg(m_arrTables);
    RefreshGrids(L"CCustfieldDlg::SetPublicCustfield");
}

// ---- CSelectCustfieldDlg

BEGIN_MESSAGE_MAP(CSelectCustfieldDlg, CNQPopupDialog)
    ON_BN_CLICKED(IDC_SELECTCUSTFIELD_KURS, &CSelectCustfieldDlg::OnKurs)
    ON_BN_CLICKED(IDC_SELECTCUSTFIELD_INSTANZ, &CSelectCustfieldDlg::OnKursinstanz)
END_MESSAGE_MAP()

CSelectCustfieldDlg::CSelectCustfieldDlg(CWnd* pParent) : CNQPopupDialog(IDD_SELECTCUSTFIELD, pParent) {}

void CSelectCustfieldDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Radio(pDX, IDC_SELECTCUSTFIELD_KURS, m_nChoice);
}

BOOL CSelectCustfieldDlg::OnInitDialog() {
    CNQPopupDialog::OnInitDialog();
    UpdateData(FALSE);
    return TRUE;
}

void CSelectCustfieldDlg::OnKurs() { m_nChoice = 0; }

void CSelectCustfieldDlg::OnKursinstanz() { m_nChoice = 1; }

void CSelectCustfieldDlg::OnOK() {
    UpdateData(TRUE);
    ShowWindow(SW_HIDE);
    INQCustFieldConfig* pConfig = nullptr;
    HRESULT hr = QueryCOMServer(NQ_LOGICSERVER_PROGID, IID_INQCustFieldConfig, reinterpret_cast<void**>(&pConfig));
    if (SUCCEEDED(hr) && !pConfig) hr = E_NOINTERFACE;
    if (FAILED(hr)) CF_TRACEHR(hr);
    if (pConfig) {
        hr = pConfig->ConfigureCustFields(m_nChoice == 0 ? 39 : 42, 2);
        if (FAILED(hr)) CF_TRACEHR(hr);
        pConfig->Release();
    }
    if (FAILED(hr)) {
        QvReportMsg(1, CrackHR(hr), L"CSelectCustfieldDlg::OnOK", L"Default", __FILE__, __LINE__, 1);
        EndDialog(IDCANCEL);
        return;
    }
    EndDialog(IDOK);
}
