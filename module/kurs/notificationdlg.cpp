#include "notificationdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "mailtemplatedlg.h"
#include "nqcommon.h"
#include "nqemail.h"
#include "nqkurscalls.h"
#include "nqplanungcalls.h"
#include "qvlanguage.h"
#include "optionserver.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "qvsec.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_NOTIFICATION;
        dlg.caption = L"Kursanmeldeänderungen";
        dlg.cx = 249;
        dlg.cy = 207;
        dlg.style = DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        const DWORD list = LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP;
        dlg.items = {
            PushButton(L"", IDC_NOTIF_SEND, 222, 5, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_NOTIF_DELETE, 222, 21, 18, 16, WS_TABSTOP),
            Control(L"", IDC_NOTIF_LIST_MANDANT, L"SysListView32", list | LVS_NOSORTHEADER, 5, 5, 208, 95),
            Control(L"", IDC_NOTIF_LIST_INSTRUKTOR, L"SysListView32", list | LVS_NOSORTHEADER, 5, 5, 208, 95),
            LText(L"E-Mail Vorlagen:", IDC_NOTIF_TEMPLATE_LABEL, 5, 109, 144, 8),
            Control(L"", IDC_NOTIF_LIST_TEMPLATE, L"SysListView32", list | LVS_SINGLESEL, 5, 118, 208, 84),
            PushButton(L"", IDC_NOTIF_TEMPLATE_NEW, 222, 118, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_NOTIF_TEMPLATE_COPY, 222, 134, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_NOTIF_TEMPLATE_EDIT, 222, 153, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_NOTIF_TEMPLATE_DELETE, 222, 169, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_HELPBUTTON, 220, 186, 18, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

const CQvGUID kSecMandant(L"{A6389F2B-A16A-4DB2-900A-8BF53BE7B877}");
const CQvGUID kSecInstruktor(L"{A47499F1-6D05-450A-AC45-90FE81B014D1}");
const CQvGUID kSecTemplate(L"{F849F376-4852-4D08-AB78-8B28BF1A1B12}");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightWork = 0x100;
constexpr DWORD kRightDelete = 0x400;
constexpr DWORD kRightSend = 0x1000;
constexpr const wchar_t* kViewKey = L"Software\\Qovaro\\NQ2\\KursView";
constexpr const wchar_t* kCRLF = L"\r\n";
constexpr const wchar_t* kNoMailServer =
    L"Es ist kein Mailserver eingerichtet, es wurde nichts gesendet.\n"
    L"Der Mailserver wird unter HKEY_LOCAL_MACHINE\\Software\\Qovaro\\NQ2\\Mail im Wert \"SmtpServer\" eingetragen.";
const wchar_t* const kLanguages[3] = {L"DE", L"FR", L"IT"};

CQvDateTime EmptyDate() { return CQvDateTime(1899, 12, 30, 0, 0, 0, 0); }

BOOL OptionOn(LPCWSTR lpszName) {
    BOOL bValue = FALSE;
    COptionServer opt;
    opt.GetOption(-1060, lpszName, &bValue, 1, 0);
    return bValue;
}

void Append(CString& strList, const CString& strPart) {
    if (strPart.IsEmpty()) return;
    if (!strList.IsEmpty()) strList += L";";
    strList += strPart;
}

// Runs one address query and sorts the valid addresses into the three language lists.
long ReadAddresses(const CString& strSQL, CString& strDE, CString& strFR, CString& strIT) {
    const BOOL bMulti = OptionOn(L"EntNotificationMultilanguage");
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        CString strSprache, strEMail;
        hr = rs.GetFieldValue(L"strSprache", &strSprache);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strEMail", &strEMail);
        if (FAILED(hr)) break;
        if (!strEMail.IsEmpty() && NQ_ValidateEMailAdress(strEMail, true, false)) {
            CString* pList = &strDE;
            if (bMulti) {
                const CString strCode = NQ_DetectLanguage(strSprache);
                pList = strCode == L"DE" ? &strDE : strCode == L"FR" ? &strFR : strCode == L"IT" ? &strIT : nullptr;
            }
            if (pList) Append(*pList, strEMail);
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

long RunStatement(const CString& strSQL) {
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

}  // namespace

BOOL CNotificationTabCtrl::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (CQvTabCtrl::OnNotify(wParam, lParam, pResult)) return TRUE;
    CWnd* pParent = GetParent();
    if (!pParent) return FALSE;
    const LRESULT r = pParent->SendMessage(WM_NOTIFY, wParam, lParam);
    if (pResult) *pResult = r;
    return TRUE;
}

BEGIN_MESSAGE_MAP(CNotificationDlg, CNQPopupDialog)
    ON_BN_CLICKED(IDC_NOTIF_SEND, &CNotificationDlg::OnBnSend)
    ON_BN_CLICKED(IDC_NOTIF_DELETE, &CNotificationDlg::OnBnDelete)
    ON_BN_CLICKED(IDC_NOTIF_TEMPLATE_NEW, &CNotificationDlg::OnBnNewTemplate)
    ON_BN_CLICKED(IDC_NOTIF_TEMPLATE_COPY, &CNotificationDlg::OnBnCopyTemplate)
    ON_BN_CLICKED(IDC_NOTIF_TEMPLATE_EDIT, &CNotificationDlg::OnBnEditTemplate)
    ON_BN_CLICKED(IDC_NOTIF_TEMPLATE_DELETE, &CNotificationDlg::OnBnDeleteTemplate)
    ON_NOTIFY(NM_DBLCLK, IDC_NOTIF_LIST_TEMPLATE, &CNotificationDlg::OnDblclkListTemplate)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_NOTIF_LIST_MANDANT, &CNotificationDlg::OnItemchangedListMandant)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_NOTIF_LIST_INSTRUKTOR, &CNotificationDlg::OnItemchangedListInstruktor)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_NOTIF_LIST_TEMPLATE, &CNotificationDlg::OnItemchangedListTemplate)
    ON_REGISTERED_MESSAGE(AFX_WM_CHANGE_ACTIVE_TAB, &CNotificationDlg::OnChangeActiveTab)
END_MESSAGE_MAP()

CNotificationDlg::CNotificationDlg() : CNQPopupDialog(IDD_NOTIFICATION, nullptr) {}

CNotificationDlg::~CNotificationDlg() = default;

void CNotificationDlg::DoDataExchange(CDataExchange* pDX) {
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NOTIF_LIST_MANDANT, m_listMandant);
    DDX_Control(pDX, IDC_NOTIF_LIST_INSTRUKTOR, m_listInstruktor);
    DDX_Control(pDX, IDC_NOTIF_LIST_TEMPLATE, m_listTemplate);
}

BOOL CNotificationDlg::DestroyWindow() {
    // The lists are the dialog's; the strip only shows them.
    if (m_tabCtrl.GetSafeHwnd()) m_tabCtrl.RemoveAllTabs();
    return CNQPopupDialog::DestroyWindow();
}

int CNotificationDlg::ActiveTab() const { return m_tabCtrl.GetSafeHwnd() ? m_tabCtrl.GetActiveTab() : 0; }

BOOL CNotificationDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    const std::pair<CQvBitmapButton*, std::pair<UINT, int>> buttons[] = {
        {&m_btnSend, {IDC_NOTIF_SEND, 44}},           {&m_btnDelete, {IDC_NOTIF_DELETE, 10}},
        {&m_btnNewTemplate, {IDC_NOTIF_TEMPLATE_NEW, 9}}, {&m_btnCopyTemplate, {IDC_NOTIF_TEMPLATE_COPY, 29}},
        {&m_btnEditTemplate, {IDC_NOTIF_TEMPLATE_EDIT, 2}}, {&m_btnDeleteTemplate, {IDC_NOTIF_TEMPLATE_DELETE, 10}},
    };
    for (const auto& [pButton, idImage] : buttons) pButton->AttachButton(idImage.first, this, 3, idImage.second);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_NOTIFICATION");
    AddToolTipText(IDC_NOTIF_SEND, KursNotifString(IDS_NOTIF_TIP_SEND));
    AddToolTipText(IDC_NOTIF_DELETE, KursNotifString(IDS_NOTIF_TIP_DELETE));
    AddToolTipText(IDC_NOTIF_TEMPLATE_NEW, KursNotifString(IDS_NOTIF_TIP_NEW));
    AddToolTipText(IDC_NOTIF_TEMPLATE_COPY, KursNotifString(IDS_NOTIF_TIP_COPY));
    AddToolTipText(IDC_NOTIF_TEMPLATE_EDIT, KursNotifString(IDS_NOTIF_TIP_EDIT));
    AddToolTipText(IDC_NOTIF_TEMPLATE_DELETE, KursNotifString(IDS_NOTIF_TIP_DELETETEMPLATE));
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());

    m_tabCtrl.Create(CRect(0, 0, 50, 30), this, 0, CMFCTabCtrl::STYLE_FLAT, CMFCTabCtrl::LOCATION_TOP);
    m_tabCtrl.SetActiveTabBoldFont(TRUE);
    m_tabCtrl.SetFlatFrame(TRUE, TRUE);
    m_listMandant.SetParent(&m_tabCtrl);
    m_tabCtrl.AddTab(&m_listMandant, KursNotifString(IDS_NOTIF_TAB_MANDANT), UINT(-1), FALSE);
    m_listInstruktor.SetParent(&m_tabCtrl);
    m_tabCtrl.AddTab(&m_listInstruktor, KursNotifString(IDS_NOTIF_TAB_INSTRUKTOR), UINT(-1), FALSE);

    const int kinds[] = {CQvListCtrl::eColDateTime, CQvListCtrl::eColText, CQvListCtrl::eColLong,
                         CQvListCtrl::eColDateTime};
    const int kindsTemplate[] = {CQvListCtrl::eColText, CQvListCtrl::eColText};
    const int widths[] = {110, 140, 110, 110};
    const int widthsTemplate[] = {140, 260};
    {
        CKursNotifResourceScope texts;
        m_listMandant.QvSetRegistryKey(CString(kViewKey) + L"\\NotificationMandant");
        m_listMandant.QvInsertColumn(4, IDS_NOTIF_COL_MANDANT, kinds, widths);
        m_listInstruktor.QvSetRegistryKey(CString(kViewKey) + L"\\NotificationInstruktor");
        m_listInstruktor.QvInsertColumn(4, IDS_NOTIF_COL_INSTRUKTOR, kinds, widths);
        m_listTemplate.QvSetRegistryKey(CString(kViewKey) + L"\\Template");
        m_listTemplate.ShowStatusLine(TRUE);
        m_listTemplate.QvInsertColumn(2, IDS_NOTIF_COL_TEMPLATE, kindsTemplate, widthsTemplate);
    }
    m_listMandant.QvSetMultiSelection();
    m_listInstruktor.QvSetMultiSelection();
    m_listTemplate.QvSetSingleSelection();

    LoadMandant();
    LoadInstruktor();
    LoadTemplate();
    UpdateControls();
    CreateLayout();
    m_tabCtrl.SetActiveTab(0);
    UpdateData(FALSE);
    return TRUE;
}

// ---- the lists

long CNotificationDlg::LoadMandant() { return LoadNotifications(FALSE); }

long CNotificationDlg::LoadInstruktor() { return LoadNotifications(TRUE); }

long CNotificationDlg::LoadNotifications(BOOL bInstruktor) {
    CQvListCtrl& list = bInstruktor ? m_listInstruktor : m_listMandant;
    CQvSec sec;
    long hr = sec.LoadRights(bInstruktor ? kSecInstruktor : kSecMandant);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    if (!sec.HasAllRights(kRightRead)) return hr;
    list.SetRedraw(FALSE, L"default");
    list.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    hr = kurs::OpenConnection(conn);
    CString strSQL;
    const CString strEmpty = EmptyDate().SQLConvert();
    if (bInstruktor)
        strSQL.Format(L"SELECT n.lKursnotificationID, n.lPersonID, p.lMandantID, cbm.strBezeichnung AS strPerson, "
                      L"n.dtCreate, n.dtSent, \t\t\t\t\t\t(SELECT count(*) FROM KursnotificationItem WHERE "
                      L"lKursNotificationID = n.lKursNotificationID) AS lAnz, \t\t\t\t\t\tcase dtSent when %s then 1 "
                      L"else 2 end AS order1 \t\t\t\tFROM Kursnotification n JOIN view_CacheBezeichnung cbm ON "
                      L"n.lPersonID = cbm.lID AND cbm.lTableID = 4 AND cbm.strMode = 'A' \t\t\t\t\t\t\t\t\t\tJOIN "
                      L"Person p ON n.lPersonID = p.lPersonID \t\t\t\tWHERE n.lPersonID <> -1 \t\t\t\tORDER BY "
                      L"order1, n.dtCreate DESC",
                      (LPCWSTR)strEmpty);
    else
        strSQL.Format(L"SELECT n.lKursnotificationID, n.lMandantID, cbm.strBezeichnung AS strMandant, n.dtCreate, "
                      L"n.dtSent, \t\t\t\t\t\t(SELECT count(*) FROM KursnotificationItem WHERE lKursNotificationID = "
                      L"n.lKursNotificationID) AS lAnz, \t\t\t\t\t\tcase dtSent when %s then 1 else 2 end AS order1 "
                      L"\t\t\t\tFROM Kursnotification n JOIN view_CacheBezeichnung cbm ON n.lMandantID = cbm.lID AND "
                      L"cbm.lTableID = 45 \t\t\t\tWHERE n.lPersonID = -1 \t\t\t\tORDER BY order1, n.dtCreate DESC",
                      (LPCWSTR)strEmpty);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0, lMandantID = 0, lPersonID = 0, lAnz = 0, lOrder = 1;
        CString strName;
        CQvDateTime dtCreate, dtSent;
        hr = rs.GetFieldValue(L"lKursnotificationID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMandantID", &lMandantID);
        if (SUCCEEDED(hr) && bInstruktor) hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(bInstruktor ? L"strPerson" : L"strMandant", &strName);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtCreate", &dtCreate);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtSent", &dtSent);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnz", &lAnz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"order1", &lOrder);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        CQvListItem* pItem = nullptr;
        if (list.QvAddItem(pItem)) {
            pItem->SetParam(0, lID);
            pItem->SetParam(1, lMandantID);
            pItem->SetParam(2, lPersonID);
            pItem->SetColumnDate(0, dtCreate, 1, 10);
            pItem->SetColumnText(1, strName);
            pItem->SetColumnLong(2, lAnz);
            // An open notification has no sending date to show.
            if (lOrder == 1) pItem->SetColumnText(3, L"");
            else pItem->SetColumnDate(3, dtSent, 1, 10);
            if (lOrder != 1) pItem->SetRowTextColor(RGB(128, 128, 128));
            pItem->Unlock();
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    list.SetRedraw(TRUE, L"default");
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

long CNotificationDlg::LoadTemplate() {
    m_listTemplate.SetRedraw(FALSE, L"default");
    m_listTemplate.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr))
        hr = kurs::OpenRows(rs,
                            L"SELECT lKursnotificationMailtemplateID, strName, strHeader \t\t\tFROM "
                            L"KursnotificationMailtemplate",
                            bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strName, strHeader;
        hr = rs.GetFieldValue(L"lKursnotificationMailtemplateID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strName", &strName);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strHeader", &strHeader);
        if (FAILED(hr)) break;
        CQvListItem* pItem = nullptr;
        if (m_listTemplate.QvAddItem(pItem)) {
            pItem->SetParam(0, lID);
            pItem->SetColumnText(0, strName);
            pItem->SetColumnText(1, strHeader);
            pItem->Unlock();
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    m_listTemplate.QvSort(-1, TRUE);
    m_listTemplate.SetRedraw(TRUE, L"default");
    RestoreTemplateSelection();
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

void CNotificationDlg::RestoreTemplateSelection() {
    if (m_listTemplate.GetVisibleItemCount() == 0) return;
    long lID = 0;
    CQvRegistry::GetValue(kViewKey, ActiveTab() == 0 ? L"LastID_Mailtemplate" : L"LastID_Mailtemplate_Instruktor", lID);
    int nFound = -1;
    m_listTemplate.QvSetSelectionByParam(0, lID, &nFound, TRUE, FALSE);
}

long CNotificationDlg::UpdateControls() {
    const BOOL bInstruktor = ActiveTab() != 0;
    CQvListCtrl& list = bInstruktor ? m_listInstruktor : m_listMandant;
    CQvSec sec;
    long hr = sec.LoadRights(bInstruktor ? kSecInstruktor : kSecMandant);
    long lValue = 0;
    const BOOL bSelected = NQ_GetSelectedParamValue(&list, 0, lValue);
    sec.EnableControl(&list, 0, 0, kRightWork, false);
    sec.EnableDlgItem(this, IDC_NOTIF_SEND, 0, bSelected ? 0 : 3, kRightSend, false);
    sec.EnableDlgItem(this, IDC_NOTIF_DELETE, 0, bSelected ? 0 : 3, kRightDelete, false);
    if (SUCCEEDED(hr)) hr = sec.LoadRights(kSecTemplate);
    const BOOL bTemplate = NQ_GetSelectedParamValue(&m_listTemplate, 0, lValue);
    sec.EnableDlgItem(this, IDC_NOTIF_TEMPLATE_LABEL, 0, 0, kRightWork, false);
    sec.EnableControl(&m_listTemplate, 0, 0, kRightWork, false);
    sec.EnableDlgItem(this, IDC_NOTIF_TEMPLATE_NEW, 0, 0, kRightWork, false);
    sec.EnableDlgItem(this, IDC_NOTIF_TEMPLATE_COPY, 0, 0, kRightWork, false);
    sec.EnableDlgItem(this, IDC_NOTIF_TEMPLATE_EDIT, 0, bTemplate ? 0 : 3, kRightWork, false);
    sec.EnableDlgItem(this, IDC_NOTIF_TEMPLATE_DELETE, 0, bTemplate ? 0 : 3, kRightWork, false);
    return hr;
}

void CNotificationDlg::CreateLayout() {
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    CQvLayoutNode* send = m_Layout.CreateWindowNode(root, IDC_NOTIF_SEND);
    send->KeepSize(TRUE, TRUE)->Attach(eQvRight, root, eQvRight, -5);
    m_Layout.CreateWindowNode(root, IDC_NOTIF_DELETE)->KeepSize(TRUE, TRUE)->Attach(eQvRight, root, eQvRight, -5);
    CQvLayoutNode* label = m_Layout.CreateWindowNode(root, IDC_NOTIF_TEMPLATE_LABEL);
    CQvLayoutNode* list = m_Layout.CreateWindowNode(root, IDC_NOTIF_LIST_TEMPLATE);
    list->KeepSize(FALSE, TRUE)->Attach(eQvRight, send, eQvLeft, 0)->Attach(eQvBottom, root, eQvBottom, -22);
    label->KeepSize(FALSE, TRUE)->Attach(eQvBottom, list, eQvTop, -5);
    CQvLayoutNode* tab = m_Layout.CreateWindowNode(root, &m_tabCtrl);
    tab->Attach(eQvLeft, root, eQvLeft, 10)
        ->Attach(eQvRight, send, eQvLeft, 0)
        ->Attach(eQvTop, root, eQvTop, 10)
        ->Attach(eQvBottom, label, eQvTop, -10);
    CQvLayoutNode* previous = m_Layout.CreateWindowNode(root, IDC_NOTIF_TEMPLATE_NEW);
    previous->KeepSize(TRUE, TRUE)->Attach(eQvLeft, tab, eQvRight, 0)->Attach(eQvTop, list, eQvTop, 0);
    for (UINT nID : {IDC_NOTIF_TEMPLATE_COPY, IDC_NOTIF_TEMPLATE_EDIT, IDC_NOTIF_TEMPLATE_DELETE}) {
        CQvLayoutNode* node = m_Layout.CreateWindowNode(root, nID);
        node->KeepSize(TRUE, TRUE)->Attach(eQvLeft, tab, eQvRight, 0)->Attach(eQvTop, previous, eQvBottom, 0);
        previous = node;
    }
    m_Layout.CreateWindowNode(root, IDC_HELPBUTTON)
        ->KeepSize(TRUE, TRUE)
        ->Attach(eQvRight, root, eQvRight, -5)
        ->Attach(eQvBottom, root, eQvBottom, -5);
    root->SetMinSize(this);
    m_Layout.CreateLayoutListener(this, root, CString(kViewKey) + L"\\CNotificationDlg", TRUE, TRUE, FALSE);
    m_Layout.Apply(root);
}

// ---- handlers

void CNotificationDlg::OnBnSend() {
    long lValue = 0;
    if (ActiveTab() == 0) {
        if (NQ_GetSelectedParamValue(&m_listMandant, 0, lValue)) MailMandant();
    } else if (NQ_GetSelectedParamValue(&m_listInstruktor, 0, lValue)) {
        MailInstruktor();
    }
}

void CNotificationDlg::OnBnDelete() {
    long lValue = 0;
    if (ActiveTab() == 0) {
        if (NQ_GetSelectedParamValue(&m_listMandant, 0, lValue)) DeleteMandant();
    } else if (NQ_GetSelectedParamValue(&m_listInstruktor, 0, lValue)) {
        DeleteInstruktor();
    }
}

void CNotificationDlg::OnBnNewTemplate() {
    CMailtemplateDlg dlg(0);
    if (dlg.DoModal() != IDOK) return;
    const long hr = LoadTemplate();
    if (FAILED(hr)) QvReportMsg(hr, CrackHR(hr), L"CNotificationDlg::OnBnNewTemplate", L"Default", __FILE__, __LINE__, 1);
}

void CNotificationDlg::OnBnEditTemplate() {
    long lID = 0;
    if (!NQ_GetSelectedParamValue(&m_listTemplate, 0, lID)) return;
    CMailtemplateDlg dlg(lID);
    if (dlg.DoModal() != IDOK) return;
    const long hr = LoadTemplate();
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CNotificationDlg::OnBnEditTemplate", L"Default", __FILE__, __LINE__, 1);
}

void CNotificationDlg::OnBnCopyTemplate() {
    long lID = 0;
    if (!NQ_GetSelectedParamValue(&m_listTemplate, 0, lID)) return;
    long hr = CopyTemplate(lID);
    if (SUCCEEDED(hr)) hr = LoadTemplate();
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CNotificationDlg::OnBnCopyTemplate", L"Default", __FILE__, __LINE__, 1);
}

void CNotificationDlg::OnBnDeleteTemplate() {
    long lID = 0;
    if (!NQ_GetSelectedParamValue(&m_listTemplate, 0, lID)) return;
    long hr = DeleteTemplate(lID);
    if (SUCCEEDED(hr)) hr = LoadTemplate();
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CNotificationDlg::OnBnDeleteTemplate", L"Default", __FILE__, __LINE__, 1);
}

void CNotificationDlg::OnDblclkListTemplate(NMHDR*, LRESULT* pResult) {
    CWnd* pEdit = GetDlgItem(IDC_NOTIF_TEMPLATE_EDIT);
    if (pEdit && pEdit->IsWindowEnabled()) OnBnEditTemplate();
    *pResult = 0;
}

void CNotificationDlg::OnItemchangedListMandant(NMHDR* pNMHDR, LRESULT* pResult) {
    OnItemchanged(pNMHDR, FALSE, L"CNotificationDlg::OnItemchangedListMandant");
    *pResult = 0;
}

void CNotificationDlg::OnItemchangedListInstruktor(NMHDR* pNMHDR, LRESULT* pResult) {
    OnItemchanged(pNMHDR, FALSE, L"CNotificationDlg::OnItemchangedListInstruktor");
    *pResult = 0;
}

void CNotificationDlg::OnItemchangedListTemplate(NMHDR* pNMHDR, LRESULT* pResult) {
    OnItemchanged(pNMHDR, TRUE, L"CNotificationDlg::OnItemchangedListTemplate");
    *pResult = 0;
}

BOOL CNotificationDlg::OnItemchanged(NMHDR* pNMHDR, BOOL bTemplate, LPCWSTR lpszHandler) {
    const auto* pNM = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    long hr = S_OK;
    const BOOL bSelected = ((pNM->uNewState & LVIS_SELECTED) && pNM->uOldState == 0) ||
                           ((pNM->uNewState & LVIS_FOCUSED) && pNM->uOldState == LVIS_FOCUSED);
    if (bSelected) {
        if (bTemplate) {
            if (CQvListItem* pItem = m_listTemplate.QvGetVisibleListItem(pNM->iItem)) {
                long lID = 0;
                pItem->GetParam(0, &lID);
                CQvRegistry::SetValue(kViewKey,
                                      ActiveTab() == 0 ? L"LastID_Mailtemplate" : L"LastID_Mailtemplate_Instruktor", lID);
            }
        }
        hr = UpdateControls();
    } else if ((pNM->uOldState & LVIS_SELECTED) && pNM->uNewState == 0) {
        hr = UpdateControls();
    }
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        QvReportMsg(hr, CrackHR(hr), lpszHandler, L"Default", __FILE__, __LINE__, 1);
    }
    return SUCCEEDED(hr);
}

LRESULT CNotificationDlg::OnChangeActiveTab(WPARAM wParam, LPARAM) {
    if (wParam > 1) return 1;
    if (m_listMandant.GetSafeHwnd()) m_listMandant.ShowWindow(SW_HIDE);
    if (m_listInstruktor.GetSafeHwnd()) m_listInstruktor.ShowWindow(SW_HIDE);
    UpdateControls();
    RestoreTemplateSelection();
    return 1;
}

// ---- sending

void CNotificationDlg::MailMandant() { MailSelected(FALSE); }

void CNotificationDlg::MailInstruktor() { MailSelected(TRUE); }

void CNotificationDlg::MergeLeiterLists(const CString strTo[3], CString strLeiter[3]) {
    // Per language whose leaders would get no mail: the two other languages in the order of trying.
    static const int targets[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (int i = 0; i < 3; ++i) {
        if (strLeiter[i].IsEmpty() || !strTo[i].IsEmpty()) continue;
        for (int t : targets[i]) {
            if (strTo[t].IsEmpty()) continue;
            if (strLeiter[t].IsEmpty()) strLeiter[t] = strLeiter[i];
            else strLeiter[t] += L";" + strLeiter[i];
            break;
        }
    }
}

void CNotificationDlg::MailSelected(BOOL bInstruktor) {
    CQvListCtrl& list = bInstruktor ? m_listInstruktor : m_listMandant;
    const LPCWSTR lpszName = bInstruktor ? L"CNotificationDlg::MailInstruktor" : L"CNotificationDlg::MailMandant";
    CQvListItemArray items;
    list.QvGetSelListItemArray(items);
    if (items.GetSize() == 0) return;
    if (CEMail::ReadSettings().strServer.IsEmpty()) {
        // Without a mail server nothing could go out: say so, and where the server is set.
        QvReportMsg(E_FAIL, kNoMailServer, lpszName, L"Default", __FILE__, __LINE__, 1);
        return;
    }
    CWaitCursor wait;
    long hr = S_OK;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lID = 0, lMandantID = 0, lPersonID = 0;
        items[i]->GetParam(0, &lID);
        items[i]->GetParam(1, &lMandantID);
        if (bInstruktor) items[i]->GetParam(2, &lPersonID);
        CString strTo[3], strLeiter[3];
        hr = bInstruktor ? GetInstruktorRecipients(lPersonID, strTo[0], strTo[1], strTo[2])
                         : GetMandantRecipients(lMandantID, strTo[0], strTo[1], strTo[2]);
        if (SUCCEEDED(hr)) {
            const long hrAddr = hr;
            hr = GetLeiterRecipients(lID, strLeiter[0], strLeiter[1], strLeiter[2]);
            if (SUCCEEDED(hr) && hr == S_OK) hr = hrAddr;
        }
        if (FAILED(hr)) break;
        if (hr != S_OK) {
            hr = S_OK;
            continue;
        }
        MergeLeiterLists(strTo, strLeiter);
        long lMail = S_OK;
        BOOL bTried = FALSE;
        for (int l = 0; l < 3 && SUCCEEDED(hr) && lMail == S_OK; ++l) {
            if (strTo[l].IsEmpty()) continue;
            bTried = TRUE;
            CString strLines;
            hr = BuildNotificationLines(lID, kLanguages[l], &strLines);
            if (SUCCEEDED(hr))
                lMail = hr = SendNotificationMail(lMandantID, lPersonID, strTo[l], strLeiter[l], kLanguages[l], strLines);
        }
        if (SUCCEEDED(hr) && !bTried) {
            // Nobody of any language: the leaders of every language get the one mail in copy.
            CString strCopy;
            for (const CString& s : strLeiter) Append(strCopy, s);
            CString strLines;
            hr = BuildNotificationLines(lID, CString(), &strLines);
            if (SUCCEEDED(hr)) lMail = hr = SendNotificationMail(lMandantID, lPersonID, CString(), strCopy, CString(), strLines);
        }
        if (FAILED(hr)) break;
        hr = S_OK;
        if (lMail == S_OK) hr = MarkNotificationSent(lID);
    }
    if (FAILED(hr)) {
        CString strText = CrackHR(hr);
        if (!m_strMailError.IsEmpty()) strText += L"\n" + m_strMailError;
        QvReportMsg(hr, strText, lpszName, L"Default", __FILE__, __LINE__, 1);
        return;
    }
    bInstruktor ? LoadInstruktor() : LoadMandant();
}

long CNotificationDlg::GetMandantRecipients(long lMandantID, CString& strDE, CString& strFR, CString& strIT) {
    CString strSQL;
    strSQL.Format(L"SELECT DISTINCT isnull(Devicenumber.strNr ,'') AS strEMail, Person.strSprache FROM Devicenumber "
                  L"JOIN Device on Devicenumber.lDeviceID = Device.lDeviceID JOIN VIPPersonMandant ON "
                  L"Device.lPersonID = VIPPersonMandant.lPersonID JOIN VIP ON VIP.lVIPID = VIPPersonMandant.lVIPID "
                  L"JOIN Person ON VIPPersonMandant.lPersonID = Person.lPersonID WHERE Device.lTyp = %d AND "
                  L"Devicenumber.lTyp = %d AND VIPPersonMandant.lMandantID = %d AND VIP.fKursNotificationReceiver = "
                  L"1 ORDER BY Person.strSprache ",
                  6, 0, lMandantID);
    return ReadAddresses(strSQL, strDE, strFR, strIT);
}

long CNotificationDlg::GetInstruktorRecipients(long lPersonID, CString& strDE, CString& strFR, CString& strIT) {
    CString strSQL;
    strSQL.Format(L"SELECT DISTINCT isnull(Devicenumber.strNr ,'') AS strEMail, Person.strSprache FROM Devicenumber "
                  L"JOIN Device on Devicenumber.lDeviceID = Device.lDeviceID JOIN Person ON Device.lPersonID = "
                  L"Person.lPersonID WHERE Device.lTyp = %d AND Devicenumber.lTyp = %d AND Person.lPersonID = %d "
                  L"ORDER BY Person.strSprache ",
                  6, 0, lPersonID);
    return ReadAddresses(strSQL, strDE, strFR, strIT);
}

long CNotificationDlg::GetLeiterRecipients(long lKursnotificationID, CString& strDE, CString& strFR, CString& strIT) {
    BOOL bLeiter = FALSE;
    COptionServer opt;
    long hr = opt.GetOption(-1060, L"EntSendEMailNotificationToLeiter", &bLeiter, 1, 0);
    if (!bLeiter) return SUCCEEDED(hr) ? S_OK : hr;
    CString strSQL;
    strSQL.Format(L"SELECT DISTINCT isnull(Devicenumber.strNr ,'') AS strEMail, Person.strSprache FROM Devicenumber "
                  L"JOIN Device on Devicenumber.lDeviceID = Device.lDeviceID JOIN PersonKurs ON Device.lPersonID = "
                  L"PersonKurs.lPersonID JOIN Person ON PersonKurs.lPersonID = Person.lPersonID JOIN (SELECT DISTINCT "
                  L"lKursinstanzID FROM KursnotificationItem WHERE lKursnotificationID = %d) x ON "
                  L"PersonKurs.lKursinstanzID = x.lKursinstanzID WHERE Device.lTyp = %d AND Devicenumber.lTyp = %d "
                  L"AND PersonKurs.fTeilnehmer = 0 AND PersonKurs.fLeiter = 1 AND PersonKurs.lStatus NOT IN (%d,%d) "
                  L"ORDER BY Person.strSprache ",
                  lKursnotificationID, 6, 0, 2, 5);
    return ReadAddresses(strSQL, strDE, strFR, strIT);
}

long CNotificationDlg::BuildNotificationLines(long lKursnotificationID, CString strLanguage, CString* pLines) {
    const BOOL bMulti = OptionOn(L"EntNotificationMultilanguage");
    int nKind = 0;
    if (bMulti)
        nKind = strLanguage.CompareNoCase(L"FR") == 0 ? 2 : strLanguage.CompareNoCase(L"IT") == 0 ? 3 : 1;
    if (strLanguage.IsEmpty()) strLanguage = QvGetSysLanguage();
    static const wchar_t* const literals[4][3] = {
        {nullptr, nullptr, nullptr},
        {L"%s wurde neu hinzugefügt, aktueller Status: %s", L"%s wurde geändert, aktueller Status: %s",
         L"%s wurde gelöscht."},
        {L"%s nouveau, statut actuel: %s", L"%s modifié, statut actuel: %s", L"%s supprimé"},
        {L"%s nuovo, stato attuale: %s", L"%s modificato, stato attuale: %s", L"%s eliminato"},
    };
    const CString strLang = QvSQLString(strLanguage, 10);
    CString strSQL;
    strSQL.Format(L"SELECT dbo.fn_GetPersonBezeichnungEx(isnull(lPersonID,0), 'A', '%s') AS strPersonLang, "
                  L"dbo.fn_GetKursBezeichnungEx(isnull(lKursID,0), '%s') AS strKursLang, strPerson, strKurs, "
                  L"strKursinstanz, dtChange, lArt, lStatus FROM KursnotificationItem WHERE lKursnotificationID = %d "
                  L"ORDER BY strKursinstanz, lArt, lStatus, strPerson ",
                  (LPCWSTR)strLang, (LPCWSTR)strLang, lKursnotificationID);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    CString strPrevRun;
    long lPrevArt = -1;
    while (SUCCEEDED(hr) && !bEOF) {
        CString strPersonLang, strKursLang, strPerson, strKurs, strRun;
        long lArt = 0, lStatus = 0;
        hr = rs.GetFieldValue(L"strPersonLang", &strPersonLang);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursLang", &strKursLang);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &strKurs);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursinstanz", &strRun);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lArt", &lArt);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
        if (FAILED(hr)) break;
        const CString strCourse = bMulti && !strKursLang.IsEmpty() ? strKursLang : strKurs;
        if (strRun != strPrevRun) {
            strPrevRun = strRun;
            *pLines += CString(kCRLF) + kCRLF + strCourse + kCRLF + strRun + kCRLF + CString(L'-', 81) + kCRLF;
        }
        const CString strWho = bMulti && !strPersonLang.IsEmpty() ? strPersonLang : strPerson;
        if (lArt != lPrevArt && lPrevArt != -1) *pLines += kCRLF;
        lPrevArt = lArt;
        CString strStatus;
        if (lArt == 1 || lArt == 2)
            strStatus = NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(lStatus), 1, 1,
                                                          nKind == 0 ? CString() : strLanguage);
        const int nText = lArt == 1 ? 0 : lArt == 2 ? 1 : (lArt == 3 || lArt == 4) ? 2 : -1;
        CString strItem;
        if (nText >= 0) {
            const CString strFormat =
                nKind == 0 ? KursNotifString(IDS_NOTIF_ITEM_ADDED + UINT(nText)) : CString(literals[nKind][nText]);
            if (nText == 2) strItem.Format(strFormat, (LPCWSTR)strWho);
            else strItem.Format(strFormat, (LPCWSTR)strWho, (LPCWSTR)strStatus);
        }
        *pLines += strItem + kCRLF;
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return hr;
}

long CNotificationDlg::SendNotificationMail(long lMandantID, long lPersonID, CString strTo, CString strCC,
                                            CString strLanguage, CString strLines) {
    m_strMailError.Empty();
    if (!OptionOn(L"EntNotificationMultilanguage") || strLanguage.IsEmpty()) strLanguage = QvGetSysLanguage();
    const long lLabel = strLanguage.CompareNoCase(L"FR") == 0   ? 2
                        : strLanguage.CompareNoCase(L"IT") == 0 ? 3
                        : strLanguage.CompareNoCase(L"EN") == 0 ? 4
                                                                : 1;
    CString strSubject, strBody = strLines, strBCC, strCopy = strCC;
    long lTemplateID = 0;
    long hr = S_OK;
    if (NQ_GetSelectedParamValue(&m_listTemplate, 0, lTemplateID)) {
        CString strSQL;
        strSQL.Format(L"SELECT isnull(ls.strLabel,strSubject) AS strSubject, isnull(lh.strLabel,strHeader) AS "
                      L"strHeader, isnull(lf.strLabel,strFooter) AS strFooter, strBCC, strCC FROM "
                      L"KursnotificationMailtemplate t LEFT OUTER JOIN QvLabel ls ON t.lKursnotificationMailtemplateID "
                      L"= ls.lFkID AND ls.strName = 'KursnotificationMailtemplate_Subject' AND ls.lQvLanguageID = %d "
                      L"LEFT OUTER JOIN QvLabel lh ON t.lKursnotificationMailtemplateID = lh.lFkID AND lh.strName = "
                      L"'KursnotificationMailtemplate_Header' AND lh.lQvLanguageID = %d LEFT OUTER JOIN QvLabel lf ON "
                      L"t.lKursnotificationMailtemplateID = lf.lFkID AND lf.strName = "
                      L"'KursnotificationMailtemplate_Footer' AND lf.lQvLanguageID = %d WHERE "
                      L"lKursnotificationMailtemplateID = %d",
                      lLabel, lLabel, lLabel, lTemplateID);
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        hr = kurs::OpenConnection(conn);
        BOOL bEOF = TRUE;
        if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            CString strHeader, strFooter, strTemplateCC;
            hr = rs.GetFieldValue(L"strSubject", &strSubject);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strHeader", &strHeader);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFooter", &strFooter);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBCC", &strBCC);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strCC", &strTemplateCC);
            if (SUCCEEDED(hr)) {
                const CString strMandant = NQ_GetMandantBezeichnung(lMandantID);
                const CString strPerson = lPersonID != 0 ? NQ_GetPersonBezeichnung(lPersonID, CString()) : CString();
                for (CString* p : {&strSubject, &strHeader, &strFooter}) {
                    p->Replace(L"<MANDANT>", strMandant);
                    p->Replace(L"<PERSON>", strPerson);
                }
                strBody = strHeader + kCRLF + strLines + kCRLF + strFooter;
                Append(strCopy, strTemplateCC);
            }
        }
        rs.Close();
        if (FAILED(hr)) {
            QvReportDBError(conn, hr, __FILE__, __LINE__);
            return hr;
        }
    }
    CEMail mail;
    const long lResult = mail.SendMail(strTo, strCopy, strBCC, strSubject, strBody);
    if (lResult < 0) {
        m_strMailError = mail.GetLastErrorText();
        KURS_TRACEHR(lResult);
    }
    return lResult;
}

long CNotificationDlg::MarkNotificationSent(long lKursnotificationID) {
    CString strSQL;
    strSQL.Format(L"UPDATE Kursnotification SET dtSent = getdate() WHERE lKursnotificationID = %d", lKursnotificationID);
    return RunStatement(strSQL);
}

void CNotificationDlg::DeleteMandant() { DeleteSelected(FALSE); }

void CNotificationDlg::DeleteInstruktor() { DeleteSelected(TRUE); }

void CNotificationDlg::DeleteSelected(BOOL bInstruktor) {
    CQvListCtrl& list = bInstruktor ? m_listInstruktor : m_listMandant;
    CQvListItemArray items;
    list.QvGetSelListItemArray(items);
    if (items.GetSize() == 0) return;
    if (AfxMessageBox(KursNotifString(IDS_NOTIF_DELETE_QUESTION), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    std::vector<long> ids;
    for (int i = 0; i < items.GetSize(); ++i) {
        long lID = 0;
        items[i]->GetParam(0, &lID);
        ids.push_back(lID);
    }
    long hr = S_OK;
    for (long lID : ids)
        if (FAILED(hr = DeleteNotification(lID))) break;
    if (FAILED(hr)) {
        QvReportMsg(hr, CrackHR(hr), bInstruktor ? L"CNotificationDlg::DeleteInstruktor" : L"CNotificationDlg::DeleteMandant",
                    L"Default", __FILE__, __LINE__, 1);
        return;
    }
    bInstruktor ? LoadInstruktor() : LoadMandant();
}

long CNotificationDlg::DeleteNotification(long lKursnotificationID) {
    CString strSQL;
    strSQL.Format(L"Delete Kursnotification WHERE lKursnotificationID = %d", lKursnotificationID);
    return RunStatement(strSQL);
}

long CNotificationDlg::CopyTemplate(long lSourceID) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    // The template and its translations are copied together or not at all.
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    long lNewID = 0;
    if (SUCCEEDED(hr))
        hr = kurs::GetUniqueID(conn, L"KursnotificationMailtemplate", L"lKursnotificationMailtemplateID", lNewID);
    CString strSQL;
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName, "
                      L"strSubject, strHeader, strFooter, strCC, strBCC) SELECT %d, strName, strSubject, strHeader, "
                      L"strFooter, strCC, strBCC FROM KursnotificationMailtemplate WHERE "
                      L"lKursnotificationMailtemplateID = %d",
                      lNewID, lSourceID);
        hr = kurs::Execute(conn, strSQL);
    }
    std::vector<long> labels;
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"SELECT lQvLabelID FROM QvLabel WHERE lFkID = %d AND strName like 'KursnotificationMailtemplate%%'",
                      lSourceID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
    }
    while (SUCCEEDED(hr) && !bEOF) {
        long lLabelID = 0;
        hr = rs.GetFieldValue(L"lQvLabelID", &lLabelID);
        if (SUCCEEDED(hr)) labels.push_back(lLabelID);
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    for (long lLabelID : labels) {
        if (FAILED(hr)) break;
        long lNewLabelID = 0;
        hr = kurs::GetUniqueID(conn, L"QvLabel", L"lQvLabelID", lNewLabelID);
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"INSERT INTO QvLabel(lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) SELECT %d, "
                          L"lQvLanguageID, %d, strName, strLabel FROM QvLabel WHERE lQvLabelID = %d",
                          lNewLabelID, lNewID, lLabelID);
            hr = kurs::Execute(conn, strSQL);
        }
    }
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return trans.End(hr);
}

long CNotificationDlg::DeleteTemplate(long lID) {
    CString strSQL;
    strSQL.Format(L"Delete KursnotificationMailtemplate WHERE lKursnotificationMailtemplateID = %d", lID);
    return RunStatement(strSQL);
}
