#include "planungdlg.h"

#include "editpersondlg.h"
#include "getkursyeardlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "nqplanungcalls.h"
#include "optionserver.h"
#include "qvdatetime.h"
#include "searchpopupdlg.h"
#if __has_include("editreservationdlg.h")
#include "editreservationdlg.h"
#define KURS_HAS_RESERVATION_EDITOR 1
#endif

#include <QImage>
#include <QPainter>

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\planungdlg";
#define PL_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

const CQvGUID kSecTab(L"{8BDEFAFA-61B5-4DB5-8CBD-5C38E19AEB70}");
constexpr GUID kEventReservationsChanged = qv::MakeGuid("3E018E57-48D1-479F-8324-A5D4507578C8");
constexpr GUID kEventRoleConfigChanged = qv::MakeGuid("8C500EC2-129C-4CCF-BF2C-8BBA4F7CE8D2");
constexpr GUID kEventKursChanged = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
constexpr GUID kEventMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;

struct TemplateRegistrar {
    TemplateRegistrar() { RegisterPlanungListTemplate(IDD_PLANUNG, {5, 23, 41, 59, 77}); }
};
TemplateRegistrar g_templateRegistrar;

// The pictures of the add menu's person and reservation items.
struct ImageRegistrar {
    ImageRegistrar() {
        QImage person(16, 16, QImage::Format_ARGB32);
        person.fill(Qt::transparent);
        QPainter p1(&person);
        p1.setRenderHint(QPainter::Antialiasing);
        p1.setPen(Qt::NoPen);
        p1.setBrush(QColor(30, 90, 170));
        p1.drawEllipse(5, 1, 6, 6);
        p1.drawRoundedRect(3, 8, 10, 7, 3, 3);
        p1.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_PLANUNG_PERSON, person);

        QImage reservation(16, 16, QImage::Format_ARGB32);
        reservation.fill(Qt::transparent);
        QPainter p2(&reservation);
        p2.setPen(QPen(QColor(150, 90, 20), 1));
        p2.setBrush(QColor(250, 220, 150));
        p2.drawRect(2, 3, 11, 10);
        p2.drawLine(4, 6, 11, 6);
        p2.drawLine(4, 9, 11, 9);
        p2.end();
        qv::ui::RegisterBitmap(KursModuleHandle(), IDB_PLANUNG_RESERVATION, reservation);
    }
};
ImageRegistrar g_imageRegistrar;

}  // namespace

void RegisterPlanungListTemplate(UINT nDialogID, const int (&buttonTops)[5]) {
    using namespace qv::ui;
    DialogTemplate dlg;
    dlg.id = nDialogID;
    dlg.cx = 187;
    dlg.cy = 161;
    dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
    dlg.items = {
        Control(L"", IDC_PLANUNG_LIST, L"SysListView32", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 5, 5,
                147, 113),
        LText(L"", IDC_PLANUNG_STATUS, 5, 123, 146, 20, SS_SUNKEN),
        PushButton(L"", IDC_HELPBUTTON, 164, 140, 18, 16, WS_TABSTOP),
    };
    const UINT buttons[5] = {IDC_PLANUNG_ADD, IDC_PLANUNG_EDIT, IDC_PLANUNG_CHANGEINSTANZ, IDC_PLANUNG_CHANGESTATE,
                             IDC_PLANUNG_REMOVE};
    for (int i = 0; i < 5; ++i)
        dlg.items.insert(dlg.items.end() - 2, PushButton(L"", buttons[i], 160, buttonTops[i], 22, 16, WS_TABSTOP));
    RegisterDialogTemplate(KursModuleHandle(), dlg);
}

IMPLEMENT_DYNCREATE(CPlanungDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CPlanungDlg, CKursChildDlg)
    ON_COMMAND_RANGE(ID_PLANUNG_ADD_PERSON, ID_PLANUNG_ADD_LAST, &CPlanungDlg::OnAdd)
    ON_BN_CLICKED(IDC_PLANUNG_ADD, &CPlanungDlg::OnBnAdd)
    ON_BN_CLICKED(IDC_PLANUNG_REMOVE, &CPlanungDlg::OnBnRemove)
    ON_BN_CLICKED(IDC_PLANUNG_EDIT, &CPlanungDlg::OnBnEdit)
    ON_BN_CLICKED(IDC_PLANUNG_CHANGEINSTANZ, &CPlanungDlg::OnBnChangeInstanz)
    ON_BN_CLICKED(IDC_PLANUNG_CHANGESTATE, &CPlanungDlg::OnBnChangeState)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_PLANUNG_LIST, &CPlanungDlg::OnItemChangedList)
    ON_NOTIFY(NM_DBLCLK, IDC_PLANUNG_LIST, &CPlanungDlg::OnDblClkList)
    ON_NOTIFY(QVLN_LINKCLICKED, IDC_PLANUNG_LIST, &CPlanungDlg::OnListLinkClick)
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CPlanungDlg)
    ON_QVEVENT(kEventRoleConfigChanged, OnRoleConfigChanged)
    ON_QVEVENT(kEventKursChanged, OnKursChanged)
    ON_QVEVENT(kEventMandantChanged, OnMandantChanged)
END_QVEVENT_MAP()

CPlanungDlg::CPlanungDlgFactory g_planungFactory(CLSID_PlanungDlg, RUNTIME_CLASS(CPlanungDlg), FALSE,
                                                 L"Qovaro.NQ2.Tab.Std.Kurs.Planung");

CPlanungDlg::CPlanungDlg() : CKursChildDlg(IDD_PLANUNG, IDS_PLANUNG_CAPTION, L"Planung") {
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKurs);
}

CPlanungDlg::~CPlanungDlg() = default;

HRESULT CPlanungDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_PlanungDlg;
    return S_OK;
}

void CPlanungDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PLANUNG_LIST, m_list);
    DDX_Text(pDX, IDC_PLANUNG_STATUS, m_strStatus);
}

BOOL CPlanungDlg::OnInitDialog() {
    CKursResourceScope scope;
    CKursChildDlg::OnInitDialog();
    // The common pictures "delete", "edit" and "change the state"; the run arrow is the module's own.
    m_btnRemove.AttachButton(IDC_PLANUNG_REMOVE, this, QVBB_IMAGE_ONLY, 10);
    m_btnEdit.AttachButton(IDC_PLANUNG_EDIT, this, QVBB_IMAGE_ONLY, 2);
    m_btnChangeInstanz.AttachButton(IDC_PLANUNG_CHANGEINSTANZ, this, QVBB_IMAGE_ONLY, 0);
    m_btnChangeInstanz.SetBitmap(IDB_TEILNEHMER_CHANGEINSTANZ);
    m_btnChangeState.AttachButton(IDC_PLANUNG_CHANGESTATE, this, QVBB_IMAGE_ONLY, 4);
    for (CQvBitmapButton* pButton : {&m_btnRemove, &m_btnEdit, &m_btnChangeInstanz, &m_btnChangeState})
        pButton->SetFlatButton(TRUE);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_PLANUNG");

    m_menuAdd.CreatePopupMenu();
    m_bmpPerson.LoadBitmap(IDB_PLANUNG_PERSON);
    m_bmpReservation.LoadBitmap(IDB_PLANUNG_RESERVATION);
    m_btnAdd.AttachButton(IDC_PLANUNG_ADD, this, &m_menuAdd, QVBB_IMAGE_ONLY, 1);
    m_btnAdd.SetStandardImage(9);
    m_btnAdd.SetFlatButton(TRUE);
    const long hrMenu = BuildAddMenu();

    static const int types[] = {3, 4, 1, 1, 3, 3, 3, 3, 4, 3, 3};
    static const int widths[] = {170, 75, 85, 45, 80, 150, 140, 120, 110, 140, 120};
    static const int tips[] = {2, 0, 0, 0, 0, 2, 2, 0, 0, 2, 0};
    m_list.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\PlanungList");
    m_list.QvInsertColumn(11, NQ_IsEnterpriseEdition() ? IDS_PLANUNG_COL_CENTRAL : IDS_PLANUNG_COL_LOCAL, types,
                          widths, nullptr, tips);
    m_imageList.Create(IDB_PERSONKURS_STATUS, 16, 0, RGB(255, 255, 255));
    m_list.SetImageList(&m_imageList, LVSIL_SMALL);

    long hrSink = S_OK;
    if (SUCCEEDED(hrMenu)) hrSink = m_eventSink.Create(this, GetQvEventMap());
    CreateLayout();
    AddToolTipText(IDC_PLANUNG_ADD, IDS_PLANUNG_TIP_ADD);
    AddToolTipText(IDC_PLANUNG_EDIT, IDS_TEILNEHMER_TIP_EDIT);
    AddToolTipText(IDC_PLANUNG_CHANGEINSTANZ, IDS_PLANUNG_TIP_CHANGEINSTANZ);
    AddToolTipText(IDC_PLANUNG_CHANGESTATE, IDS_TEILNEHMER_TIP_CHANGESTATE);
    AddToolTipText(IDC_PLANUNG_REMOVE, IDS_TEILNEHMER_TIP_REMOVE);
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    const long hrFailed = FAILED(hrMenu) ? hrMenu : hrSink;
    if (FAILED(hrFailed)) {
        PL_TRACEHR(hrFailed);
        QvReportMsg(1, CrackHR(hrFailed), L"CPlanungDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 1);
    }
    return TRUE;
}

void CPlanungDlg::CreateLayout() {
    CreateListLayout(IDC_PLANUNG_LIST, IDC_PLANUNG_STATUS,
                     {IDC_PLANUNG_ADD, IDC_PLANUNG_EDIT, IDC_PLANUNG_CHANGEINSTANZ, IDC_PLANUNG_CHANGESTATE,
                      IDC_PLANUNG_REMOVE},
                     FALSE);
}

HRESULT CPlanungDlg::CloseTab() {
    const HRESULT hr = m_eventSink.Unadvise();
    if (FAILED(hr)) PL_TRACEHR(hr);
    const HRESULT hrBase = CKursChildDlg::CloseTab();
    return FAILED(hr) ? hr : hrBase;
}

HRESULT CPlanungDlg::SaveData() {
    UpdateData(TRUE);
    ClearSavePending();
    return S_OK;
}

HRESULT CPlanungDlg::Refresh() {
    CKursResourceScope scope;
    return RefreshPage(m_colorFemale, [this] { return RefreshPlanningList(); });
}

long CPlanungDlg::RefreshPlanningList() {
    CBusyScope busy(this);
    lKursID = 0;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (GetRecordID() == 0) {
        m_list.SetRedraw(FALSE, L"default");
        m_list.DeleteAllItems();
        m_list.SetRedraw(TRUE, L"default");
        m_lSelectedArt = 0;
        return hr;
    }
    if (SUCCEEDED(hr)) {
        // Both report their own failures.
        hr = LoadKursContext();
        if (SUCCEEDED(hr)) return LoadPlanningList();
        return PL_TRACEHR(hr);
    }
    PL_TRACEHR(hr);
    KURS_REPORTDBERROR(conn, hr);
    return hr;
}

long CPlanungDlg::LoadPlanningList() {
    CKursResourceScope scope;
    CBusyScope busy(this);
    BeginWaitCursor();
    const CQvDateTime dtEmpty(1899, 12, 30, 0, 0, 0);
    m_list.SetRedraw(FALSE, L"default");
    m_list.DeleteAllItems();
    m_lSelectedArt = 0;

    long lPlanned = 0, lProvisional = 0;
    std::vector<std::pair<long, long>> years;
    INQLogicServer* pLogic = nullptr;
    long hr = OpenLogicServer(pLogic);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        const long lUserID = kurs::CurrentSecUserID();
        const CString strInstallation = NQ_IsEnterpriseEdition() ? L"" : L"PersonKurs.fTeilnehmer = 1 AND ";
        const CString strEmpty = dtEmpty.SQLConvert();
        CString strSQL;
        strSQL.Format(
            L"SELECT lPersonKursID AS ID, Person.lPersonID, strName + ' ' + strVorname AS strPerson, strAdresse1L, "
            L"fWeiblich, strPLZOrt, \t\tcbm.strBezeichnung AS strMandant, lStatus, dtAnmeldung, PersonKurs.strBemerkung, "
            L"PersonKurs.dtDatum, year(PersonKurs.dtDatum) AS lYear, \t\t1 AS lAnzahl, fTeilnehmer, case when "
            L"fTeilnehmer = 1 then 1 else 3 end AS art, \t\tisnull(PersonKurs.lKursleitungID, -1) as lKursleitungID, "
            L"dbo.fn_GetFunktionBezeichnung(isnull(lFunktionID, 0)) as strFunktion, dblInstanzDauer, "
            L"isnull(sm.lRight,0) AS lRight \t\tFROM Person JOIN view_CacheBezeichnung cbm ON Person.lMandantID = "
            L"cbm.lID AND cbm.lTableID = 45 \t\tJOIN PersonKurs ON Person.lPersonID = PersonKurs.lPersonID \t\tLEFT "
            L"OUTER JOIN SecMandant sm ON Person.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID "
            L"= 4 \t\tJOIN view_Ort ON Person.lOrtID = view_Ort.lOrtID \t\tLEFT OUTER JOIN Kursleitung ON "
            L"PersonKurs.lKursleitungID = Kursleitung.lKursleitungID \t\tWHERE %s PersonKurs.lKursinstanzID = -1 AND "
            L"PersonKurs.lKursID = %d AND \t\t (dateadd(mm, (select convert(int,strValue) from CustFieldValue where "
            L"guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'), PersonKurs.dtDatum) > getdate() OR (lStatus IN "
            L"(%d,%d)))\t\tUNION ALL \t\tSELECT lKursreservationID AS ID, 0 AS lPersonID, ' ' AS strPerson, '' AS "
            L"strAdresse1L, 0 AS fWeiblich, '' AS strPLZOrt, \t\tcbm.strBezeichnung AS strMandant, 0 AS lStatus, %s "
            L"AS dtAnmeldung, Kursreservation.strBemerkung, %s AS dtDatum, lYear, \t\tlAnzahl, 0 AS fTeilnehmer, 2 AS "
            L"art, \t\t-1 AS lKursleitungID, '' AS strFunktion, 0.0 AS dblInstanzDauer, isnull(sm.lRight,0) AS lRight "
            L"\t\tFROM Kursreservation JOIN view_CacheBezeichnung cbm ON Kursreservation.lMandantID = cbm.lID AND "
            L"cbm.lTableID = 45 \t\tJOIN Kurs ON Kursreservation.lKursID = Kurs.lKursID \t\tLEFT OUTER JOIN "
            L"SecMandant sm ON Kursreservation.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID = "
            L"4 \t\tWHERE Kursreservation.lKursID = %d \t\tORDER BY lYear ASC",
            lUserID, static_cast<LPCWSTR>(strInstallation), lKursID, 0L, 7L, static_cast<LPCWSTR>(strEmpty),
            static_cast<LPCWSTR>(strEmpty), lUserID, lKursID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lID = 0, lPersonID = 0, lStatus = 0, lYear = 0, lArt = 0, lAnzahl = 0, lKursleitungID = -1, lRight = 0;
            BOOL bWeiblich = FALSE;
            double dblDauer = 0;
            CString strPerson, strAdresse, strOrt, strMandant, strBemerkung, strFunktion;
            COleDateTime dtAnmeldung, dtDatum;
            hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
            long lRang = 0;
            CString strDienstgrad;
            if (SUCCEEDED(hr)) hr = GetPersonDienstgrad(pLogic, lPersonID, strDienstgrad, lRang);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"ID", &lID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strAdresse1L", &strAdresse);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fWeiblich", &bWeiblich);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPLZOrt", &strOrt);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMandant", &strMandant);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAnmeldung", &dtAnmeldung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &strBemerkung);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtDatum", &dtDatum);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lYear", &lYear);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lAnzahl", &lAnzahl);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"art", &lArt);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strFunktion);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dblInstanzDauer", &dblDauer);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRight", &lRight);
            if (FAILED(hr)) {
                PL_TRACEHR(hr);
                break;
            }
            CQvListItem* pItem = nullptr;
            if (m_list.QvAddItem(pItem, TRUE) && pItem) {
                pItem->SetParam(eParamID, lID);
                pItem->SetParam(eParamPerson, lPersonID);
                pItem->SetParam(eParamKursleitung, lKursleitungID);
                pItem->SetParam(eParamStatus, lStatus);
                pItem->SetParam(eParamArt, lArt);
                pItem->SetParam(eParamRight, lRight);

                long lCount = 0;
                if (lArt == eArtTeilnehmer && lStatus == 0) {
                    lCount = 1;
                    ++lPlanned;
                } else if (lArt == eArtTeilnehmer && lStatus == 7) {
                    lCount = 1;
                    ++lProvisional;
                } else if (lArt == eArtReservation) {
                    lCount = lAnzahl;
                }
                const auto eStatus = static_cast<EPersonKursStatus>(lStatus);
                if (lArt == eArtReservation) {
                    pItem->SetColumnText(0, KursLoadString(IDS_PLANUNG_RESERVATION));
                    pItem->SetImage(11);
                } else if (lArt == eArtInstruktor) {
                    CString strText = NQ_GetPersonKursStatusBezeichnung(eStatus, -1, FALSE, CString()) + L" | " +
                                      (lKursleitungID == -1 ? KursLoadString(IDS_OHNE_FUNKTION) : strFunktion);
                    pItem->SetColumnText(0, strText);
                    pItem->SetImage(static_cast<int>(lStatus + 14));
                } else {
                    pItem->SetColumnText(0, NQ_GetPersonKursStatusBezeichnung(eStatus, -1, TRUE, CString()));
                    pItem->SetImage(static_cast<int>(lStatus + 1));
                }
                if (!years.empty() && years.back().first == lYear) years.back().second += lCount;
                else years.emplace_back(lYear, lCount);

                if (lArt != eArtReservation && lStatus != 0 && lStatus != 7) pItem->SetColumnDate(1, dtDatum, 1, 0);
                else pItem->SetColumnLong(1, lYear);
                if (lArt == eArtInstruktor) {
                    CString strDauer;
                    strDauer.Format(L"%3.0f", dblDauer);
                    pItem->SetColumnText(2, strDauer);
                } else {
                    pItem->SetColumnLong(2, lAnzahl);
                }
                pItem->SetColumnLong(3, lRang);
                pItem->SetColumnText(4, strDienstgrad);
                pItem->SetColumnText(5, strPerson);
                if (bWeiblich) pItem->SetColumnTextColor(5, m_colorFemale);
                if (lArt != eArtReservation) {
                    CString strLink;
                    strLink.Format(L"%d;%d", lArt, lPersonID);
                    pItem->SetColumnLink(5, strLink);
                }
                pItem->SetColumnText(6, strAdresse);
                pItem->SetColumnText(7, strOrt);
                // A reservation has no registration date: its empty date shows as an empty cell.
                if (lArt != eArtReservation) pItem->SetColumnDate(8, dtAnmeldung, 1, 10);
                pItem->SetColumnText(9, strBemerkung);
                pItem->SetColumnText(10, strMandant);
                pItem->Unlock();
            }
            hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    if (pLogic) pLogic->Release();
    m_list.QvSort(-1, TRUE);
    m_list.SetRedraw(TRUE, L"default");
    if (m_lReselectID != 0) {
        m_list.QvSetSelectionByParam(eParamID, m_lReselectID, nullptr, TRUE, FALSE);
        m_lReselectID = 0;
    }
    CString strYears;
    for (const auto& [lYear, lCount] : years) {
        CString strYear;
        strYear.Format(L"%d: %d;  ", lYear, lCount);
        strYears += strYear;
    }
    m_strStatus.Format(KursLoadString(IDS_PLANUNG_STATUS), static_cast<LPCWSTR>(strYears), lProvisional, lPlanned);
    if (CWnd* pStatus = GetDlgItem(IDC_PLANUNG_STATUS)) pStatus->SetWindowText(m_strStatus);
    EndWaitCursor();
    return hr;
}

HRESULT CPlanungDlg::LoadData() {
    CKursResourceScope scope;
    const HRESULT hr = CKursChildDlg::LoadData();
    long lPersonID = -1;
    const BOOL bLeiter = IsKursleiterWithRight(TRUE, lPersonID);
    EnableControlByRights(&m_btnAdd, TRUE, fActive, bLeiter ? kRightRead : kRightEdit);
    if (SUCCEEDED(hr))
        m_menuAdd.EnableMenuItem(ID_PLANUNG_ADD_RESERVATION,
                                 MF_BYCOMMAND | (m_Sec.HasAllRights(kRightEdit) ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    EnableDlgItemByRights(IDC_PLANUNG_REMOVE, TRUE, m_lSelectedArt != 0, kRightEdit);
    EnableDlgItemByRights(IDC_PLANUNG_EDIT, TRUE, m_lSelectedArt != 0, kRightEdit);
    EnableControlByRights(&m_list, TRUE, TRUE, kRightEdit);
    const BOOL bPerson = m_lSelectedArt == eArtTeilnehmer || m_lSelectedArt == eArtInstruktor;
    EnableDlgItemByRights(IDC_PLANUNG_CHANGEINSTANZ, TRUE, bPerson, kRightEdit);
    EnableDlgItemByRights(IDC_PLANUNG_CHANGESTATE, TRUE, bPerson, kRightEdit);
    return hr;
}

void CPlanungDlg::OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    FollowSelection(pNMHDR, m_list, eParamArt, m_lSelectedArt);
}

void CPlanungDlg::OnDblClkList(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    if (IsDlgItemEnabled(IDC_PLANUNG_EDIT)) OnBnEdit();
}

void CPlanungDlg::OnListLinkClick(NMHDR* pNMHDR, LRESULT* pResult) {
    FollowKindPersonLink(pNMHDR, pResult, eArtTeilnehmer, eArtInstruktor);
}

void CPlanungDlg::OnRoleConfigChanged(COleVariant) { BuildAddMenu(); }

void CPlanungDlg::OnKursChanged(COleVariant value) {
    if (VariantLong(value) == GetRecordID()) MarkModifiedAndReload();
}

void CPlanungDlg::OnMandantChanged(COleVariant) { MarkModifiedAndReload(); }

// ---- the add menu and its flows

long CPlanungDlg::BuildAddMenu() {
    CKursResourceScope scope;
    m_arrKursleitung.clear();
    while (m_menuAdd.GetMenuItemCount() > 0) m_menuAdd.RemoveMenu(0, MF_BYPOSITION);
    m_menuAdd.AppendMenu(MF_STRING, ID_PLANUNG_ADD_PERSON, KursLoadString(IDS_PLANUNG_ADD_PERSON));
    m_menuAdd.SetMenuItemBitmaps(ID_PLANUNG_ADD_PERSON, MF_BYCOMMAND, &m_bmpPerson, &m_bmpPerson);
    m_menuAdd.AppendMenu(MF_STRING, ID_PLANUNG_ADD_RESERVATION, KursLoadString(IDS_PLANUNG_ADD_RESERVATION));
    m_menuAdd.SetMenuItemBitmaps(ID_PLANUNG_ADD_RESERVATION, MF_BYCOMMAND, &m_bmpReservation, &m_bmpReservation);
    m_arrKursleitung = {-1, -1};
    // Instructors are planned in the central installation only.
    if (!NQ_IsEnterpriseEdition()) return S_OK;
    return AppendRoleMenu(m_menuAdd, ID_PLANUNG_ADD_NOROLE, ID_PLANUNG_ADD_LAST, m_arrKursleitung);
}

void CPlanungDlg::OnBnAdd() {
    // The button has no command of its own: its face opens the menu as its arrow does.
    if (m_btnAdd.GetChosenCommand() != 0) return;
    CRect rc;
    m_btnAdd.GetWindowRect(&rc);
    const UINT nID = static_cast<UINT>(
        m_menuAdd.TrackPopupMenu(TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, rc.left, rc.bottom, this));
    if (nID >= ID_PLANUNG_ADD_PERSON && nID <= ID_PLANUNG_ADD_LAST) OnAdd(nID);
}

void CPlanungDlg::OnAdd(UINT nID) {
    if (lKursID == 0) return;
    const std::size_t nIndex = nID - ID_PLANUNG_ADD_PERSON;
    const long lReports = kurs::ReportCount();
    long hr = S_OK;
    if (nIndex == 0) hr = AddPersons();
    else if (nIndex == 1) hr = AddReservation();
    else if (nIndex < m_arrKursleitung.size()) hr = AddInstructors(m_arrKursleitung[nIndex]);
    // One report for one failure: a step that failed, or refused with its message, has shown it.
    if (FAILED(hr) && hr != E_ABORT && kurs::ReportCount() == lReports)
        QvReportMsg(1, CrackHR(hr), L"CPlanungDlg::OnAdd", L"Default", __FILE__, __LINE__, 1);
}

long CPlanungDlg::AddReservation() {
    CKursResourceScope scope;
    if (lKursID == 0) return S_OK;
    long lMandantID = 0;
    if (!NQ_GetMandantID4New(lMandantID, 4)) return S_OK;
#ifdef KURS_HAS_RESERVATION_EDITOR
    CEditReservationDlg dlg(lMandantID, nullptr);
    dlg.lKursID = lKursID;
    dlg.lKursreservationID = -1;
    long hr = S_OK;
    BOOL bSaved = FALSE;
    if (BeginEdit() == eRecordEditing && dlg.DoModal() == IDOK) {
        bSaved = TRUE;
        hr = LoadPlanningList();
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    EndEdit();
    if (bSaved && SUCCEEDED(hr)) {
        hr = m_EventSource.FireEvent(kEventReservationsChanged, lKursID, 0);
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    return hr;
#else
    // The reservation editor is not part of this build of the module.
    return PL_TRACEHR(E_NOTIMPL);
#endif
}

long CPlanungDlg::AddPersons() { return AddToPlan(FALSE, -1); }

long CPlanungDlg::AddInstructors(long lKursleitungID) { return AddToPlan(TRUE, lKursleitungID); }

long CPlanungDlg::AddToPlan(BOOL bInstruktor, long lKursleitungID) {
    CKursResourceScope scope;
    if (lKursID == 0) return S_OK;
    if (BeginEdit() != eRecordEditing) return S_OK;
    // Closed without OK, the prompt leaves the proposed current year.
    CGetKursYearDlg yearDlg(this);
    yearDlg.DoModal();
    const long lYear = yearDlg.lYear;

    CString strJoin, strWhere;
    if (bInstruktor && lKursleitungID != -1) {
        // Each person's roles are read by the person ("+ 0" keeps the index of the role's
        // function out), never all holders of the function for every person.
        strJoin = L"JOIN PersonFunktion ON vp.lPersonID = PersonFunktion.lPersonID \t\t JOIN Kursleitung ON "
                  L"PersonFunktion.lFunktionID + 0 = Kursleitung.lFunktionID ";
        const CQvDateTime dtEmpty(1899, 12, 30, 0, 0, 0);
        strWhere.Format(L"Kursleitung.lKursleitungID = %d AND \t\t    year(PersonFunktion.dtStart) <= %d AND \t\t"
                        L"(year(PersonFunktion.dtEnde) >= %d OR PersonFunktion.dtEnde = %s)",
                        lKursleitungID, lYear, lYear, static_cast<LPCWSTR>(dtEmpty.SQLConvert()));
    }
    // Without the right to plan, a course leader may plan only himself.
    std::vector<long> ids;
    if (!PickPersonsToBook(bInstruktor ? L"KursInstruktor" : L"Kurs", !bInstruktor, strJoin, strWhere, ids)) {
        EndEdit();
        return S_OK;
    }

    BeginWaitCursor();
    const long lReports = kurs::ReportCount();
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    BOOL bBooked = FALSE;
    {
        // The bookings join this transaction (one connection per profile and thread): a failed
        // one takes the others of this call back with it.
        // The bookings' questions are asked before the unit begins.
        kurs::CQuestionsFirst questions;
        if (SUCCEEDED(hr)) BookPersons(ids, bInstruktor, -1, lYear, lKursleitungID);
        questions.Done();
        kurs::CKursTransaction trans(conn);
        if (SUCCEEDED(hr)) hr = trans.Begin();
        if (SUCCEEDED(hr)) hr = trans.End(BookPersons(ids, bInstruktor, -1, lYear, lKursleitungID));
        bBooked = SUCCEEDED(hr);
    }
    if (SUCCEEDED(hr)) hr = LoadPlanningList();
    if (FAILED(hr)) {
        PL_TRACEHR(hr);
        // The list load and a booking that failed have shown their own error.
        if (!bBooked && kurs::ReportCount() == lReports) KURS_REPORTDBERROR(conn, hr);
    }
    EndWaitCursor();
    EndEdit();
    if (SUCCEEDED(hr)) {
        hr = m_EventSource.FireEvent(GUID_BookingsChanged, lKursID, 0);
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    return FAILED(hr) ? hr : S_OK;
}

// ---- one entry and the selected rows

void CPlanungDlg::OnBnEdit() {
    CKursResourceScope scope;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    if (m_lReselectID == 0) m_lReselectID = lID;
    INT_PTR nResult = IDCANCEL;
    if (m_lSelectedArt == eArtTeilnehmer || m_lSelectedArt == eArtInstruktor) {
        nResult = EditBooking(lID) ? IDOK : IDCANCEL;
    } else if (m_lSelectedArt == eArtReservation) {
#ifdef KURS_HAS_RESERVATION_EDITOR
        CEditReservationDlg dlg(0, nullptr);
        dlg.lKursID = lKursID;
        dlg.lKursreservationID = lID;
        nResult = dlg.DoModal();
#endif
    }
    long hr = S_OK;
    if (nResult == IDOK) hr = LoadPlanningList();
    else m_lReselectID = 0;
    EndEdit();
    if (FAILED(hr)) QvReportMsg(1, CrackHR(hr), L"CPlanungDlg::OnBnEdit", L"Default", __FILE__, __LINE__, 1);
}

BOOL CPlanungDlg::BeginRowCommand() {
    long lID = 0;
    return BeginSelectedRowEdit(&m_list, eParamID, lID);
}

void CPlanungDlg::EndRowCommand(long hr, BOOL bPassed, BOOL bReservationEvent, LPCWSTR lpszSource) {
    // One report for one failure: a step that failed has shown its cause.
    const bool bShown = IsFailureShown(hr);
    // The list shows what is stored, after a refused or failed row too: a row found changed
    // meanwhile is shown as it is now, and one whose outcome was reported as unknown may be saved.
    const long hrList = LoadPlanningList();
    if (FAILED(hrList)) PL_TRACEHR(hrList);
    EndEdit();
    if (bPassed && SUCCEEDED(hr)) {
        hr = m_EventSource.FireEvent(GUID_BookingsChanged, lKursID, 0);
        if (SUCCEEDED(hr) && bReservationEvent) hr = m_EventSource.FireEvent(kEventReservationsChanged, lKursID, 0);
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    if (FAILED(hr) && !bShown) QvReportMsg(1, CrackHR(hr), lpszSource, L"Default", __FILE__, __LINE__, 1);
}

void CPlanungDlg::OnBnRemove() {
    CKursResourceScope scope;
    if (!BeginRowCommand()) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    if (!ConfirmRemoval(items)) {
        EndEdit();
        return;
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    CVRQKurs kurs;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lID = 0, lPersonID = 0, lArt = 0, lShown = -1;
        items[i]->GetParam(eParamID, &lID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamArt, &lArt);
        items[i]->GetParam(eParamStatus, &lShown);
        if (lArt == eArtReservation) {
            CString strSQL;
            strSQL.Format(L"DELETE Kursreservation WHERE lKursreservationID = %d", lID);
            hr = kurs::Execute(conn, strSQL);
            if (FAILED(hr)) PL_TRACEHR(hr);
        } else if ((lArt == eArtTeilnehmer || lArt == eArtInstruktor) && lPersonID != 0) {
            // As the plan shows it, in no run with its status: one placed into a run or changed
            // meanwhile is left as it is. Shown once; the rows after a failure are left as they are.
            hr = RemoveBooking(conn, kurs, lArt == eArtTeilnehmer, lID, lPersonID, -1, lShown);
        }
    }
    EndRowCommand(hr, TRUE, TRUE, L"CPlanungDlg::OnBnRemove");
}

void CPlanungDlg::OnBnChangeInstanz() {
    CKursResourceScope scope;
    if (m_lSelectedArt != eArtTeilnehmer && m_lSelectedArt != eArtInstruktor) return;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    long lNewRun = 0;
    if (items.GetSize() > 0) {
        CString strWhere;
        if (NQ_IsEnterpriseEdition()) strWhere.Format(L"vk.lKursID = %d ", lKursID);
        else strWhere.Format(L"vk.lKursID = %d AND ki.fGeschlossen = 0 ", lKursID);
        if (!PickKursinstanz(strWhere, lNewRun)) {
            EndEdit();
            return;
        }
    }
    CVRQKurs kurs;
    long hr = S_OK;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr) && lNewRun != 0; ++i) {
        long lPersonKursID = 0, lPersonID = 0, lKursleitungID = -1, lArt = 0, lShown = -1;
        items[i]->GetParam(eParamID, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamKursleitung, &lKursleitungID);
        items[i]->GetParam(eParamArt, &lArt);
        items[i]->GetParam(eParamStatus, &lShown);
        // Only a registration still planned (in no run), with the status the plan shows, is placed.
        EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
        if (lArt == eArtTeilnehmer)
            hr = kurs.ChangePersonKursinstanz(lPersonKursID, lPersonID, lKursID, -1, lNewRun, 0, eStatus, lShown);
        else if (lArt == eArtInstruktor)
            hr = kurs.ChangeInstruktorKursinstanz(lPersonKursID, lPersonID, lKursID, -1, lNewRun, 0, lKursleitungID,
                                                  eStatus, lShown);
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    EndRowCommand(hr, TRUE, FALSE, L"CPlanungDlg::OnBnChangeInstanz");
}

void CPlanungDlg::OnBnChangeState() {
    CKursResourceScope scope;
    if (m_lSelectedArt != eArtTeilnehmer && m_lSelectedArt != eArtInstruktor) return;
    long lID = 0;
    if (!BeginSelectedRowEdit(&m_list, eParamID, lID)) return;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    // Only the bookings of persons share a status; a reservation keeps none.
    const long lShared = SharedParam(items, eParamStatus, [](const CQvListItem* pItem) {
        long lArt = 0;
        pItem->GetParam(eParamArt, &lArt);
        return lArt == eArtTeilnehmer || lArt == eArtInstruktor;
    });
    long lNewStatus = 0;
    if (items.GetSize() == 0 || !AskNewStatus(m_lSelectedArt != eArtInstruktor, -1, lShared, lNewStatus)) {
        EndEdit();
        return;
    }
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    CVRQKurs kurs;
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonKursID = 0, lPersonID = 0, lArt = 0, lShown = -1;
        items[i]->GetParam(eParamID, &lPersonKursID);
        items[i]->GetParam(eParamPerson, &lPersonID);
        items[i]->GetParam(eParamArt, &lArt);
        items[i]->GetParam(eParamStatus, &lShown);
        if (lPersonID == 0 || (lArt != eArtTeilnehmer && lArt != eArtInstruktor)) continue;
        // As the plan shows it, in no run: one booked into a run or changed meanwhile is left as it is.
        hr = kurs.UpdatePersonKursStatus(lArt == eArtTeilnehmer, lPersonKursID, lPersonID, -1,
                                         static_cast<EPersonKursStatus>(lNewStatus), lShown, -1);
        // The course API has shown the error of its own steps.
        if (FAILED(hr)) PL_TRACEHR(hr);
    }
    EndRowCommand(hr, TRUE, FALSE, L"CPlanungDlg::OnBnChangeState");
}
