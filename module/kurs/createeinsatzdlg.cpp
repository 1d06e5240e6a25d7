#include "createeinsatzdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "nqplanungcalls.h"
#include "docmngmtint.h"
#include "orvident.h"
#include "qvcomserver.h"
#include "qvcurrency.h"
#include "qvdblookup.h"
#include "qveventsource.h"
#include "qvregvalue.h"
#include "qvwaitdlg.h"
#include "userlog.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_CREATEEINSATZ;
        dlg.caption = L"Aktivität erzeugen";
        dlg.cx = 330;
        dlg.cy = 300;
        dlg.style = DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        const DWORD label = SS_RIGHT | SS_CENTERIMAGE;
        const DWORD sunken = SS_SUNKEN | SS_CENTERIMAGE;
        dlg.items = {
            LText(L"Mandant", s, 5, 5, 60, 12, label),
            LText(L"", IDC_CREATEEINSATZ_MANDANT, 70, 5, 255, 12, sunken),
            LText(L"Bezeichnung", s, 5, 21, 60, 12, label),
            EditText(IDC_CREATEEINSATZ_EREIGNIS, 70, 20, 255, 14, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"Aktivitätsart", s, 5, 38, 60, 12, label),
            ComboBox(IDC_CREATEEINSATZ_EINSATZART, 70, 37, 150, 100, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP),
            GroupBox(L"", IDC_CREATEEINSATZ_GROUP_TN, 5, 55, 320, 72),
            AutoCheckBox(L"Teilnehmer welche in 'Sold' hinzugefügt werden", IDC_CREATEEINSATZ_USETEILNEHMER, 11, 55,
                         200, 10, WS_TABSTOP),
            LText(L"Soldansatz", s, 11, 69, 55, 12, label),
            ComboBox(IDC_CREATEEINSATZ_SOLDANSATZ, 70, 68, 150, 100, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP),
            LText(L"Dauer", s, 225, 69, 30, 12, label),
            EditText(IDC_CREATEEINSATZ_DAUER, 260, 68, 58, 14, ES_AUTOHSCROLL | WS_TABSTOP),
            LText(L"", IDC_CREATEEINSATZ_TEILNEHMER, 11, 86, 307, 36, SS_SUNKEN),
            GroupBox(L"", IDC_CREATEEINSATZ_GROUP_KL, 5, 131, 320, 95),
            AutoCheckBox(L"Kursleitung welche in 'Sold' hinzugefügt werden", IDC_CREATEEINSATZ_USEINSTRUKTOR, 11, 131,
                         200, 10, WS_TABSTOP),
            Control(L"", IDC_CREATEEINSATZ_GRID, QVGRID_CLASSNAME, LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP,
                    11, 144, 307, 77),
            AutoCheckBox(L"Personen aus der Aktivität entfernen, welche nicht in der Kursaustragung vorhanden sind.",
                         IDC_CREATEEINSATZ_DELETEPERSON, 5, 230, 320, 10, WS_TABSTOP),
            AutoCheckBox(L"'Provisorische' und 'Angemeldete' Status auf 'Besucht/Bestanden' setzen",
                         IDC_CREATEEINSATZ_BESUCHT, 5, 242, 320, 10, WS_TABSTOP),
            AutoCheckBox(L"Aktivität anzeigen", IDC_CREATEEINSATZ_JUMP, 5, 254, 320, 10, WS_TABSTOP),
            PushButton(L"", IDC_HELPBUTTON, 5, 279, 18, 16, WS_TABSTOP),
            DefPushButton(L"Aktivität erzeugen", IDC_CREATEEINSATZ_CREATE, 175, 279, 80, 16, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 259, 279, 66, 16, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

const CQvGUID kSecSold(L"{06220C84-9D20-4B4A-B3EC-9A246EA8A663}");
constexpr DWORD kRightEdit = 0x100;
constexpr const wchar_t* kViewKey = L"Software\\Qovaro\\NQ2\\KursView";
constexpr GUID kEinsatzCreated = qv::MakeGuid("91419670-8D8C-11D5-8A6F-005004506918");
constexpr GUID kEinsatzChanged = qv::MakeGuid("F2E99873-45C9-11D3-A882-0060087BF908");
constexpr GUID kBookingsChanged = qv::MakeGuid("4EF7DB46-118D-4C0B-9338-BE2434638F5B");
constexpr long kTableEinsatz = 6;
constexpr const wchar_t* kEinsatzViewProgID = L"Qovaro.NQ2.EinsatzerfassungView";

void ReadRegistry(LPCWSTR lpszName, long& lValue) { CQvRegistry::GetValue(kViewKey, lpszName, lValue); }
void ReadRegistry(LPCWSTR lpszName, BOOL& bValue) {
    long lValue = bValue;
    if (CQvRegistry::GetValue(kViewKey, lpszName, lValue)) bValue = lValue != 0;
}

CString LogDate(const CQvDateTime& dt) { return dt.GetStatus() == COleDateTime::valid ? dt.Format(L"%d.%m.%Y %H:%M") : CString(); }
CString Amount(const CQvCurrency& cur) {
    CString s;
    s.Format(L"%.2f", cur.GetDouble());
    return s;
}
BOOL IsValidDate(const CQvDateTime& dt) { return dt.GetStatus() == COleDateTime::valid && double(DATE(dt)) != 0.0; }

// A date of the run with the time of the activity's stored date; null unless both are dates.
CQvDateTime KeepTime(const CQvDateTime& dtRun, const CQvDateTime& dtStored) {
    CQvDateTime dt;
    if (IsValidDate(dtRun) && IsValidDate(dtStored)) {
        dt.SetDateTime(dtRun.GetYear(), dtRun.GetMonth(), dtRun.GetDay(), dtStored.GetHour(), dtStored.GetMinute(), 0);
    } else {
        dt.SetStatus(COleDateTime::null);
    }
    return dt;
}

long WriteLog(long lKind, UINT nText, const CString& strDetail, const CString& strModule, CQvGUID& guidEinsatz,
              const CQvGUID& guidSecond, long lGrouping) {
    CString strText = kurs::Text(nText), strD = strDetail, strM = strModule;
    CQvGUID guid2 = guidSecond;
    CUserLog log;
    return log.Write(lKind, &strText, &strD, &strM, 0, kTableEinsatz, &guidEinsatz, &guid2, 1, lGrouping);
}

}  // namespace

BEGIN_MESSAGE_MAP(CCreateEinsatzDlg, CNQPopupDialog)
    ON_BN_CLICKED(IDC_CREATEEINSATZ_CREATE, &CCreateEinsatzDlg::OnBnCreateEinsatz)
    ON_BN_CLICKED(IDC_CREATEEINSATZ_USETEILNEHMER, &CCreateEinsatzDlg::OnBnUseGroup)
    ON_BN_CLICKED(IDC_CREATEEINSATZ_USEINSTRUKTOR, &CCreateEinsatzDlg::OnBnUseGroup)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CCreateEinsatzDlg::CCreateEinsatzDlg(long lMandant, long lKurs, long lKursinstanz)
    : CNQPopupDialog(IDD_CREATEEINSATZ, nullptr), lKursID(lKurs), lKursinstanzID(lKursinstanz), lMandantID(lMandant) {
    strSoldansatzFilter.Format(L"%d,%d,%d", 0, 2, 4);
}

CCreateEinsatzDlg::~CCreateEinsatzDlg() = default;

void CCreateEinsatzDlg::DoDataExchange(CDataExchange* pDX) {
    CKursResourceScope scope;
    CNQPopupDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CREATEEINSATZ_GRID, m_grid);
    DDX_Control(pDX, IDC_CREATEEINSATZ_SOLDANSATZ, m_cbSoldansatz);
    DDX_Control(pDX, IDC_CREATEEINSATZ_EINSATZART, m_cbEinsatzart);
    DDX_Check(pDX, IDC_CREATEEINSATZ_USETEILNEHMER, UseTeilnehmer);
    DDX_Check(pDX, IDC_CREATEEINSATZ_USEINSTRUKTOR, UseInstruktor);
    DDX_Check(pDX, IDC_CREATEEINSATZ_DELETEPERSON, DeletePerson);
    DDX_Check(pDX, IDC_CREATEEINSATZ_JUMP, JumpToEinsatz);
    DDX_Check(pDX, IDC_CREATEEINSATZ_BESUCHT, SetToBesuchtAtCreateEinsatz);
    DDX_Text(pDX, IDC_CREATEEINSATZ_MANDANT, strMandant);
    DDX_Text(pDX, IDC_CREATEEINSATZ_EREIGNIS, strEreignis);
    DDX_Text(pDX, IDC_CREATEEINSATZ_TEILNEHMER, strTeilnehmer);
    DDX_DoubleRes(pDX, IDC_CREATEEINSATZ_DAUER, dblDauer, IDS_DAUER_FORMAT, 0);
    DDX_CBParam(pDX, IDC_CREATEEINSATZ_SOLDANSATZ, lSoldansatzIDTeilnehmer);
    DDX_CBParam(pDX, IDC_CREATEEINSATZ_EINSATZART, lEinsatzartID);
}

BOOL CCreateEinsatzDlg::OnInitDialog() {
    CKursResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_bCentral = NQ_IsEnterpriseEdition();
    m_btnCreate.SubclassDlgItem(IDC_CREATEEINSATZ_CREATE, this);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(m_bCentral ? L"HELP_KURS_CREATEEINSATZ_ENT" : L"HELP_KURS_CREATEEINSATZ");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    static_cast<CEdit*>(GetDlgItem(IDC_CREATEEINSATZ_EREIGNIS))->LimitText(254);
    CreateLayout();
    m_grid.QvSetRegistryKey(CString(kViewKey) + L"\\VRQ_CreateEinsatz");
    const int kinds[4] = {3, 3, 2, 3};
    const int widths[4] = {110, 130, 70, 200};
    {
        CKursNotifResourceScope texts;
        m_grid.QvInsertColumn(4, IDS_EINSATZ_COL, kinds, widths);
    }
    const long hrRights = m_sec.LoadRights(kSecSold);
    if (FAILED(hrRights)) KURS_TRACEHR(hrRights);
    LoadData();
    if (lEinsatzID != -1) {
        const CString strUpdate = KursNotifString(IDS_EINSATZ_UPDATE);
        SetWindowText(strUpdate);
        GetDlgItem(IDC_CREATEEINSATZ_CREATE)->SetWindowText(strUpdate);
        m_btnCreate.SetBitmap(11489, QVBB_IMAGE_LEFT);
    }
    if (!m_sec.HasAllRights(kRightEdit)) {
        m_cbSoldansatz.EnableWindow(FALSE);
        m_grid.SetReadOnly(TRUE);
    }
    UpdateControls();
    if (FAILED(hrRights))
        QvReportMsg(hrRights, CrackHR(hrRights), L"CCreateEinsatzDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 1);
    return TRUE;
}

void CCreateEinsatzDlg::CreateLayout() {
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    CQvLayoutNode* create = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_CREATE);
    create->KeepSize(TRUE, TRUE)->Attach(eQvBottom, root, eQvBottom, -5);
    m_Layout.CreateWindowNode(root, IDC_HELPBUTTON)->KeepSize(TRUE, TRUE)->Attach(eQvBottom, root, eQvBottom, -5);
    m_Layout.CreateWindowNode(root, IDCANCEL)
        ->KeepSize(TRUE, TRUE)
        ->Attach(eQvBottom, root, eQvBottom, -5)
        ->Attach(eQvRight, root, eQvRight, -5);
    CQvLayoutNode* jump = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_JUMP);
    jump->KeepSize(TRUE, TRUE)->Attach(eQvBottom, create, eQvTop, -10);
    CQvLayoutNode* besucht = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_BESUCHT);
    besucht->KeepSize(TRUE, TRUE)->Attach(eQvBottom, jump, eQvTop, 0);
    CQvLayoutNode* del = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_DELETEPERSON);
    del->KeepSize(TRUE, TRUE)->Attach(eQvBottom, besucht, eQvTop, 0);
    CQvLayoutNode* groupTn = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_GROUP_TN);
    groupTn->Attach(eQvRight, root, eQvRight, -5);
    CQvLayoutNode* names = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_TEILNEHMER);
    names->Attach(eQvRight, groupTn, eQvRight, -10);
    if (NQ_IsEnterpriseEdition()) {
        CQvLayoutNode* groupKl = m_Layout.CreateWindowNode(root, IDC_CREATEEINSATZ_GROUP_KL);
        groupKl->Attach(eQvRight, root, eQvRight, -5)->Attach(eQvBottom, del, eQvTop, -10);
        m_Layout.CreateWindowNode(root, &m_grid)
            ->Attach(eQvRight, groupKl, eQvRight, -10)
            ->Attach(eQvBottom, groupKl, eQvBottom, -5);
    } else {
        groupTn->Attach(eQvBottom, del, eQvTop, -10);
        names->Attach(eQvBottom, groupTn, eQvBottom, -5);
    }
    root->SetMinSize(this);
    m_Layout.CreateLayoutListener(this, root, CString(kViewKey) + L"\\CCreateEinsatzDlg");
}

// ---- loading

long CCreateEinsatzDlg::LoadData() {
    strMandant = NQ_GetMandantBezeichnung(lMandantID);
    const BOOL bPay = m_sec.HasAllRights(kRightEdit);
    ReadRegistry(L"LastEinsatzart", lEinsatzartID);
    if (lEinsatzartID == -1) lEinsatzartID = 0;
    if (bPay) ReadRegistry(L"LastSoldansatzT", lSoldansatzIDTeilnehmer);
    ReadRegistry(L"SetToBesuchtAtCreateEinsatz", SetToBesuchtAtCreateEinsatz);
    ReadRegistry(L"JumpToEinsatz", JumpToEinsatz);
    CLSID clsidView{};
    m_bEinsatzView = SUCCEEDED(CLSIDFromProgID(kEinsatzViewProgID, &clsidView));
    if (!m_bEinsatzView) JumpToEinsatz = FALSE;
    ReadRegistry(L"UseTeilnehmer", UseTeilnehmer);
    ReadRegistry(L"UseInstruktor", UseInstruktor);
    ReadRegistry(L"DeletePerson", DeletePerson);
    if (!m_bCentral) {
        UseTeilnehmer = TRUE;
        UseInstruktor = FALSE;
    }
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    CString strSQL;
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr) && lEinsatzartID != 0) {
        // A remembered kind must still be one the list offers.
        strSQL.Format(L"SELECT 1 FROM Einsatzart WHERE lEinsatzartID = %d AND fVisible = 1 AND lEinsatzart in(%d,%d)",
                      lEinsatzartID, 0, 4);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        if (FAILED(hr) || bEOF) lEinsatzartID = 0;
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"%s AND lEinsatzart in(%d,%d)",
                      L"SELECT lEinsatzartID as id, strBezeichnung as str FROM Einsatzart WHERE fVisible = 1 ", 0, 4);
        m_cbEinsatzart.ResetContent();
        hr = NQ_FillCombo(strSQL, &m_cbEinsatzart, 0, 0, nullptr);
    }
    if (m_cbEinsatzart.GetCount() > 0 && lEinsatzartID == 0)
        lEinsatzartID = static_cast<long>(m_cbEinsatzart.GetItemData(0));
    if (SUCCEEDED(hr) && lSoldansatzIDTeilnehmer != -1) {
        strSQL.Format(L"SELECT 1 FROM Soldansatz WHERE lSoldansatzID = %d", lSoldansatzIDTeilnehmer);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        if (SUCCEEDED(hr) && bEOF) lSoldansatzIDTeilnehmer = -1;
    }
    if (SUCCEEDED(hr)) hr = VRQ_FillSoldansatzCombo(&m_cbSoldansatz, lMandantID, -1, strSoldansatzFilter);
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"SELECT dtDatum, dblDauer, strOrt, strAdresse, lOrtID FROM Kursinstanz WHERE lKursinstanzID = %d",
                      lKursinstanzID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && bEOF) hr = KURS_TRACEHR(E_FAIL);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtDatum", &dtVon);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dblDauer", &dblDauer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strOrt", &strOrt);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strAdresse", &strAdresse);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOrtID", &lOrtID);
        rs.Close();
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"SELECT max(dtEnde) AS dtDatum FROM Kursinstanzdate WHERE lKursinstanzID = %d", lKursinstanzID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"dtDatum", &dtBis);
        rs.Close();
    }
    eAuthority = VRQ_GetKursAuthority(lKursID, FALSE);
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"SELECT Einsatz.lEinsatzID, Einsatz.strEreignis, Einsatz.lEinsatzartID FROM KursinstanzEinsatz "
                      L"JOIN Einsatz ON KursinstanzEinsatz.lEinsatzID = Einsatz.lEinsatzID WHERE "
                      L"KursinstanzEinsatz.lKursinstanzID = %d",
                      lKursinstanzID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"lEinsatzID", &lEinsatzID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strEreignis", &strEreignis);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lEinsatzartID", &lEinsatzartID);
        } else if (SUCCEEDED(hr)) {
            strEreignis = NQ_GetKursinstanzBezeichnung(lKursinstanzID);
            DeletePerson = FALSE;
        }
        rs.Close();
    }
    if (SUCCEEDED(hr)) hr = LoadPersons();
    if (!m_bCentral && eAuthority != 3) SetToBesuchtAtCreateEinsatz = FALSE;
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    UpdateData(FALSE);
    return hr;
}

long CCreateEinsatzDlg::LoadPersons() {
    arrTeilnehmer.clear();
    arrAbwesend.clear();
    strTeilnehmer.Empty();
    m_grid.DeleteAllItems();
    m_rowPersons.clear();
    const BOOL bLinked = lEinsatzID != -1;
    CString strSQL;
    strSQL.Format(L"SELECT PersonKurs.lPersonID, cbp.strBezeichnung AS strPerson, PersonKurs.fTeilnehmer, "
                  L"isnull(PersonKurs.lKursleitungID, -1) as lKursleitungID, "
                  L"dbo.fn_GetFunktionBezeichnung(isnull(lFunktionID, 0)) as strFunktion FROM PersonKurs %s JOIN Person "
                  L"ON PersonKurs.lPersonID = Person.lPersonID JOIN view_CacheBezeichnung cbp ON Person.lPersonID = "
                  L"cbp.lID AND cbp.lTableID = 4 AND cbp.strMode = 'A' LEFT OUTER JOIN Kursleitung ON "
                  L"PersonKurs.lKursleitungID = Kursleitung.lKursleitungID WHERE PersonKurs.fLinked = 0 AND "
                  L"PersonKurs.lKursinstanzID = %d AND PersonKurs.lStatus IN (%d,%d,%d,%d) %s ORDER BY "
                  L"PersonKurs.lKursleitungID, Person.strName",
                  bLinked ? L"JOIN KursinstanzEinsatz ON PersonKurs.lKursinstanzID = KursinstanzEinsatz.lKursinstanzID"
                          : L"",
                  lKursinstanzID, 0, 7, 1, 6,
                  bLinked ? L"AND Person.lPersonID NOT IN (SELECT PersonEinsatz.lPersonID FROM PersonEinsatz WHERE "
                            L"PersonEinsatz.lEinsatzID = KursinstanzEinsatz.lEinsatzID)"
                          : L"");
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    const BOOL bPay = m_sec.HasAllRights(kRightEdit);
    long lPrevRole = LONG_MIN;
    CQvGridItem* pRow = nullptr;
    CString strFormat = kurs::Text(IDS_DAUER_FORMAT);
    while (SUCCEEDED(hr) && !bEOF) {
        long lPersonID = 0, lRole = -1;
        BOOL bTeilnehmer = FALSE;
        CString strPerson, strFunktion;
        hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &bTeilnehmer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lRole);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strFunktion);
        if (FAILED(hr)) break;
        if (bTeilnehmer) {
            arrTeilnehmer.push_back(lPersonID);
            strTeilnehmer += strPerson + L"; ";
        } else {
            if (lRole != lPrevRole || !pRow) {
                lPrevRole = lRole;
                if (!m_grid.QvAddItem(pRow)) break;
                m_rowPersons.push_back(std::make_unique<std::vector<long>>());
                pRow->SetParam(0, static_cast<long>(m_rowPersons.size() - 1));
                pRow->SetParam(1, lRole);
                pRow->SetColumnText(0, strFunktion);
                long lRate = -1;
                CString strName;
                strName.Format(L"LastSoldansatzI_%d", lRole);
                if (bPay) ReadRegistry(strName, lRate);
                pRow->Unlock();
                hr = VRQ_FillSoldansatzCombo(pRow, 1, lMandantID, lRate, TRUE, strSoldansatzFilter);
                pRow->SetColumnNumber(2, dblDauer, strFormat, CQvGridCtrl::eEditNumber);
                pRow->SetColumnText(3, L"");
                if (FAILED(hr)) break;
            }
            m_rowPersons.back()->push_back(lPersonID);
            pRow->SetColumnText(3, pRow->GetColumnText(3) + strPerson + L"; ");
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (SUCCEEDED(hr)) {
        if (bLinked)
            strSQL.Format(L"SELECT PersonKurs.lPersonID FROM PersonKurs JOIN KursinstanzEinsatz ON "
                          L"PersonKurs.lKursinstanzID = KursinstanzEinsatz.lKursinstanzID JOIN Person ON "
                          L"PersonKurs.lPersonID = Person.lPersonID WHERE PersonKurs.lKursinstanzID = %d AND "
                          L"PersonKurs.fTeilnehmer = 1 AND PersonKurs.lStatus = %d AND Person.lPersonID NOT IN (SELECT "
                          L"Absenz.lPersonID FROM Absenz WHERE Absenz.lEinsatzID = KursinstanzEinsatz.lEinsatzID)",
                          lKursinstanzID, 2);
        else
            strSQL.Format(L"SELECT PersonKurs.lPersonID FROM PersonKurs JOIN Person ON PersonKurs.lPersonID = "
                          L"Person.lPersonID WHERE PersonKurs.lKursinstanzID = %d AND PersonKurs.fTeilnehmer = 1 AND "
                          L"PersonKurs.lStatus = %d",
                          lKursinstanzID, 2);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            long lPersonID = 0;
            hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
            if (SUCCEEDED(hr)) arrAbwesend.push_back(lPersonID);
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

std::vector<long>* CCreateEinsatzDlg::RowPersons(CQvGridItem* pItem) const {
    long lIndex = -1;
    if (!pItem || !pItem->GetParam(0, &lIndex) || lIndex < 0 || lIndex >= long(m_rowPersons.size())) return nullptr;
    return m_rowPersons[std::size_t(lIndex)].get();
}

long CCreateEinsatzDlg::RowRate(CQvGridItem* pItem) const {
    const long lRate = pItem->GetColumnChoice(1);
    return lRate == 0 ? -1 : lRate;
}

void CCreateEinsatzDlg::UpdateControls() {
    const BOOL bPay = m_sec.HasAllRights(kRightEdit);
    const BOOL bTeilnehmer = UseTeilnehmer && !arrTeilnehmer.empty();
    m_cbSoldansatz.EnableWindow(bTeilnehmer && bPay);
    GetDlgItem(IDC_CREATEEINSATZ_DAUER)->EnableWindow(bTeilnehmer);
    GetDlgItem(IDC_CREATEEINSATZ_TEILNEHMER)->EnableWindow(UseTeilnehmer);
    GetDlgItem(IDC_CREATEEINSATZ_DELETEPERSON)->EnableWindow(lEinsatzID != -1);
    if (m_bCentral) {
        m_grid.EnableWindow(UseInstruktor);
        m_grid.SetReadOnly(!bPay);
    }
    for (UINT nID : {IDC_CREATEEINSATZ_USETEILNEHMER, IDC_CREATEEINSATZ_USEINSTRUKTOR, IDC_CREATEEINSATZ_GROUP_KL,
                     IDC_CREATEEINSATZ_GRID})
        GetDlgItem(nID)->ShowWindow(m_bCentral ? SW_SHOW : SW_HIDE);
    GetDlgItem(IDC_CREATEEINSATZ_EREIGNIS)->EnableWindow(lEinsatzID == -1);
    m_cbEinsatzart.EnableWindow(lEinsatzID == -1);
    GetDlgItem(IDC_CREATEEINSATZ_CREATE)->EnableWindow(lEinsatzartID != 0);
    // Without a view of activities there is nothing to show the activity in.
    GetDlgItem(IDC_CREATEEINSATZ_JUMP)->EnableWindow(m_bEinsatzView);
    if (!m_bCentral && eAuthority != 3) {
        CheckDlgButton(IDC_CREATEEINSATZ_BESUCHT, BST_UNCHECKED);
        GetDlgItem(IDC_CREATEEINSATZ_BESUCHT)->EnableWindow(FALSE);
    }
}

void CCreateEinsatzDlg::OnBnUseGroup() {
    UpdateData(TRUE);
    UpdateControls();
}

void CCreateEinsatzDlg::OnDestroy() {
    CNQPopupDialog::OnDestroy();
    m_rowPersons.clear();
}

// ---- creating or updating

CCreateEinsatzDlg::Snapshot CCreateEinsatzDlg::TakeSnapshot() const {
    Snapshot s{lEinsatzID, dtVon, dtBis, lSoldansatzIDTeilnehmer, {}};
    for (int i = 0; i < m_grid.GetVisibleItemCount(); ++i) s.rowRates.push_back(RowRate(m_grid.QvGetGridItem(i)));
    return s;
}

void CCreateEinsatzDlg::Restore(const Snapshot& s) {
    lEinsatzID = s.lEinsatzID;
    dtVon = s.dtVon;
    dtBis = s.dtBis;
    lSoldansatzIDTeilnehmer = s.lSoldansatzIDTeilnehmer;
    for (int i = 0; i < m_grid.GetVisibleItemCount() && i < int(s.rowRates.size()); ++i)
        m_grid.QvGetGridItem(i)->SetColumnChoice(1, s.rowRates[std::size_t(i)]);
}

void CCreateEinsatzDlg::OnBnCreateEinsatz() {
    CKursResourceScope scope;
    UpdateData(TRUE);
    const long lEinsatzIDBefore = lEinsatzID;
    const Snapshot before = TakeSnapshot();
    CQvWaitDlg wait;
    long hr = wait.Open(this, 0, -1, 10);
    if (SUCCEEDED(hr)) hr = wait.SetDescription(KursNotifString(IDS_EINSATZ_WAIT));

    // The choices are remembered whatever comes of the transfer.
    const BOOL bPay = m_sec.HasAllRights(kRightEdit);
    CQvRegistry::SetValue(kViewKey, L"UseTeilnehmer", static_cast<long>(UseTeilnehmer));
    CQvRegistry::SetValue(kViewKey, L"UseInstruktor", static_cast<long>(UseInstruktor));
    if (eAuthority == 3 || m_bCentral)
        CQvRegistry::SetValue(kViewKey, L"SetToBesuchtAtCreateEinsatz", static_cast<long>(SetToBesuchtAtCreateEinsatz));
    if (bPay) {
        CQvRegistry::SetValue(kViewKey, L"LastSoldansatzT", lSoldansatzIDTeilnehmer);
        for (int i = 0; i < m_grid.GetVisibleItemCount(); ++i) {
            CQvGridItem* pItem = m_grid.QvGetGridItem(i);
            long lRole = -1;
            pItem->GetParam(1, &lRole);
            CString strName;
            strName.Format(L"LastSoldansatzI_%d", lRole);
            CQvRegistry::SetValue(kViewKey, strName, RowRate(pItem));
        }
    }
    if (m_bEinsatzView) CQvRegistry::SetValue(kViewKey, L"JumpToEinsatz", static_cast<long>(JumpToEinsatz));
    CQvRegistry::SetValue(kViewKey, L"LastEinsatzart", lEinsatzartID);
    if (lEinsatzID != -1) CQvRegistry::SetValue(kViewKey, L"DeletePerson", static_cast<long>(DeletePerson));

    const long lReports = kurs::ReportCount();
    CQvADOConnection conn;
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    {
        // The questions of the transfer are asked before its unit begins.
        kurs::CQuestionsFirst questions;
        if (SUCCEEDED(hr)) hr = CreateEinsatzData();
        questions.Done();
        kurs::CKursTransaction trans(conn);
        if (SUCCEEDED(hr)) hr = trans.Begin();
        if (SUCCEEDED(hr)) hr = CreateEinsatzData();
        if (SUCCEEDED(hr) && SetToBesuchtAtCreateEinsatz) {
            wait.SetDescription(KursNotifString(IDS_EINSATZ_WAIT_BESUCHT));
            hr = SetToBesucht();
        }
        hr = trans.End(hr);
    }
    if (FAILED(hr)) {
        // Nothing of the press stays: the next press starts from what the dialog showed.
        Restore(before);
        // The user cancelled at a question: nothing to tell him.
        if (hr == E_ABORT) return;
        wait.SetDescription(KursNotifString(IDS_EINSATZ_FAILED));
        wait.SetFinish();
        // A step that failed has reported it, with its cause.
        if (kurs::ReportCount() == lReports)
            QvReportMsg(hr, CrackHR(hr), L"CCreateEinsatzDlg::OnBnCreateEinsatz", L"Default", __FILE__, __LINE__, 1);
        return;
    }
    CQvEventSource events;
    const long hrEvent = events.FireEvent(lEinsatzIDBefore == -1 ? kEinsatzCreated : kEinsatzChanged, lEinsatzID, FALSE);
    wait.SetDescription(KursNotifString(lEinsatzIDBefore == -1 ? IDS_EINSATZ_CREATED : IDS_EINSATZ_UPDATED));
    wait.SetFinish();
    // The data are committed: a failed announcement must not invite a second press, which would
    // write the pay rows and absences again.
    if (FAILED(hrEvent))
        QvReportMsg(hrEvent, KursNotifString(IDS_EINSATZ_EVENT_FAILED) + L"\n" + CrackHR(hrEvent),
                    L"CCreateEinsatzDlg::OnBnCreateEinsatz", L"Default", __FILE__, __LINE__, 1);
    EndDialog(IDOK);
    if (m_bEinsatzView && JumpToEinsatz && lEinsatzID != -1) {
        const long hrNav = NQ_NavigateToQvFrameView(kEinsatzViewProgID, lEinsatzID, 0, L"Sold", TRUE);
        if (FAILED(hrNav))
            QvReportMsg(hrNav, CrackHR(hrNav), L"CCreateEinsatzDlg::OnBnCreateEinsatz", L"Default", __FILE__, __LINE__, 1);
    }
}

// ---- the transfer

long CCreateEinsatzDlg::AddSold(CQvADOConnection& conn, void* pSoldIf, long lPersonID, long lRate, double dblAnzahl,
                                BOOL bGuarded, long lGrouping, CQvGUID& guidEinsatz) {
    auto* pSold = static_cast<INQSold*>(pSoldIf);
    CY cySold{}, cyZuschlag{}, cyErtrag{}, cyErtragZuschlag{}, cyAbzug{};
    long hr = pSold->GetSoldansatzValues(lRate, dblAnzahl, lPersonID, dtVon, &cySold, &cyZuschlag, &cyErtrag,
                                         &cyErtragZuschlag);
    if (SUCCEEDED(hr) && IsValidDate(dtVon) && IsValidDate(dtBis))
        hr = pSold->GetSoldDeduction(dtVon, dtBis, lRate, lPersonID, &cyAbzug);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    const CQvCurrency curSoldansatz(cySold), curZuschlag(cyZuschlag), curErtragansatz(cyErtrag),
        curErtragzuschlag(cyErtragZuschlag);
    CQvCurrency curAbzug(cyAbzug);
    const CQvCurrency curGross = curSoldansatz * dblAnzahl + curZuschlag;
    if (curGross < curAbzug) curAbzug = curGross;
    const CQvCurrency curSold = curGross - curAbzug;
    const CQvCurrency curErtrag = curErtragansatz * dblAnzahl + curErtragzuschlag;

    if (bGuarded) {
        // A person already paid with this rate in the activity gets no second row, and no entry.
        CQvADORecordset rs(&conn);
        CString strSQL;
        strSQL.Format(L"SELECT 1 FROM PersonEinsatz WHERE lEinsatzID = %d AND lSoldansatzID = %d AND lPersonID = %d",
                      lEinsatzID, lRate, lPersonID);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        if (FAILED(hr) || !bEOF) return hr;
    }
    long lKey = 0;
    hr = kurs::GetUniqueID(conn, L"PersonEinsatz", L"lPersonEinsatzID", lKey);
    CString strSQL;
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"INSERT INTO PersonEinsatz (lPersonEinsatzID, lEinsatzID, lSoldansatzID, lPersonID, "
                      L"lEinsatzGruppeID, curSold, fSoldKorrigiert, dblAnzahl, curSoldansatz, curZuschlag, curErtrag, "
                      L"fErtragKorrigiert, curErtragansatz, curErtragzuschlag, dtVon, dtBis) VALUES (%d, %d, %d, %d, -1, "
                      L"%s, 0, %s, %s, %s, %s, 0, %s, %s, %s, %s)",
                      lKey, lEinsatzID, lRate, lPersonID, (LPCWSTR)curSold.SQLConvert(),
                      (LPCWSTR)DoubleToSqlText(dblAnzahl), (LPCWSTR)curSoldansatz.SQLConvert(),
                      (LPCWSTR)curZuschlag.SQLConvert(), (LPCWSTR)curErtrag.SQLConvert(),
                      (LPCWSTR)curErtragansatz.SQLConvert(), (LPCWSTR)curErtragzuschlag.SQLConvert(),
                      (LPCWSTR)dtVon.SQLConvert(), (LPCWSTR)dtBis.SQLConvert());
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"UPDATE PersonEinsatz SET strBemerkung = convert(varchar(4000),pk.strBemerkung) FROM PersonEinsatz "
                      L"JOIN PersonKurs pk ON PersonEinsatz.lPersonID = pk.lPersonID AND PersonEinsatz.lPersonEinsatzID "
                      L"= %d AND pk.lKursinstanzID = %d",
                      lKey, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(L"%s | Dauer:%3.2f | Sold:%s | Zuschlagsold:%s | Ertrag:%s | Zuschlagertrag: %s",
                         (LPCWSTR)QvSQLString(NQ_GetBezeichnungForId(lRate, 34), 254), dblAnzahl,
                         (LPCWSTR)Amount(curSold), (LPCWSTR)Amount(curZuschlag), (LPCWSTR)Amount(curErtrag),
                         (LPCWSTR)Amount(curErtragzuschlag));
        hr = WriteLog(0, IDS_LOG_SOLD_ADDED, strDetail, CString(L"Aktivität") + L".Sold", guidEinsatz,
                      NQ_GetGuidForId(lPersonID, 4), lGrouping);
    }
    return hr;
}

long CCreateEinsatzDlg::CreateEinsatzData() {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    CString strSQL;
    BOOL bEOF = TRUE;
    // The pay units: a rate not counted in days is asked about (once for the leadership).
    if (SUCCEEDED(hr) && UseTeilnehmer && !arrTeilnehmer.empty() && lSoldansatzIDTeilnehmer != -1) {
        strSQL.Format(L"SELECT lEinheit FROM Soldansatz WHERE lSoldansatzID = %d", lSoldansatzIDTeilnehmer);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        long lEinheit = 4;
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lEinheit", &lEinheit);
        rs.Close();
        if (SUCCEEDED(hr) && bEOF) lSoldansatzIDTeilnehmer = -1;
        else if (SUCCEEDED(hr) && lEinheit != 4 &&
                 kurs::Ask(KursNotifString(IDS_EINSATZ_UNIT_TEILNEHMER), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
            return E_ABORT;
    }
    if (SUCCEEDED(hr) && UseInstruktor) {
        BOOL bAsked = FALSE;
        for (int i = 0; SUCCEEDED(hr) && i < m_grid.GetVisibleItemCount(); ++i) {
            CQvGridItem* pItem = m_grid.QvGetGridItem(i);
            strSQL.Format(L"SELECT lEinheit FROM Soldansatz WHERE lSoldansatzID = %d", RowRate(pItem));
            hr = kurs::OpenRows(rs, strSQL, bEOF);
            long lEinheit = 4;
            if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lEinheit", &lEinheit);
            rs.Close();
            if (SUCCEEDED(hr) && bEOF) pItem->SetColumnChoice(1, -1);
            else if (SUCCEEDED(hr) && lEinheit != 4 && !bAsked) {
                if (kurs::Ask(KursNotifString(IDS_EINSATZ_UNIT_INSTRUKTOR), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
                    return E_ABORT;
                bAsked = TRUE;
            }
        }
    }
    // A rehearsal ends with the questions.
    if (kurs::Rehearsing()) return hr;
    long lGrouping = -1;
    CQvGUID guidEinsatz;
    const CQvGUID guidNull;
    if (SUCCEEDED(hr) && lEinsatzID == -1) {
        hr = VRQ_CreateEinsatz(lMandantID, lEinsatzartID, lEinsatzID, lGrouping);
        long lKey = 0;
        if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"KursinstanzEinsatz", L"lKursinstanzEinsatzID", lKey);
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"INSERT INTO KursinstanzEinsatz (lKursinstanzEinsatzID, lKursinstanzID, lEinsatzID) VALUES "
                          L"(%d, %d, %d)",
                          lKey, lKursinstanzID, lEinsatzID);
            hr = kurs::Execute(conn, strSQL);
        }
        const CString e = QvSQLString(strEreignis, 254), o = QvSQLString(strOrt, 254), a = QvSQLString(strAdresse, 1024);
        if (SUCCEEDED(hr)) {
            strSQL.Format(L"UPDATE Einsatz SET dtEinsatz = %s, dtEinsatzBis = %s, dtErfassung = getdate(), strEreignis "
                          L"='%s', strEinsatzOrt = '%s', strAdresse = '%s', lOrtID = %d WHERE lEinsatzID = %d",
                          (LPCWSTR)dtVon.SQLConvert(), (LPCWSTR)dtBis.SQLConvert(), (LPCWSTR)e, (LPCWSTR)o, (LPCWSTR)a,
                          lOrtID, lEinsatzID);
            hr = kurs::Execute(conn, strSQL);
        }
        if (SUCCEEDED(hr)) {
            guidEinsatz = NQ_GetGuidForId(lEinsatzID, kTableEinsatz);
            CString strDetail;
            strDetail.Format(L"%s | Datum:%s | bis:%s | Ort:%s | Adresse:%s", (LPCWSTR)e, (LPCWSTR)LogDate(dtVon),
                             (LPCWSTR)LogDate(dtBis), (LPCWSTR)o, (LPCWSTR)a);
            hr = WriteLog(1, IDS_LOG_AKTIVITAET_UPDATED, strDetail, L"Aktivität", guidEinsatz, guidNull, lGrouping);
        }
    } else if (SUCCEEDED(hr)) {
        CUserLog log;
        lGrouping = log.GetNewGrouping();
        CString strCondition;
        strCondition.Format(L"lEinsatzID = %d", lEinsatzID);
        CQvDateTime dtStored, dtStoredBis;
        dtStored.SetStatus(COleDateTime::null);
        dtStoredBis.SetStatus(COleDateTime::null);
        QvDBLookupDate(L"dtEinsatz", L"Einsatz", strCondition, &dtStored, L"Qovaro.NQ2");
        QvDBLookupDate(L"dtEinsatzBis", L"Einsatz", strCondition, &dtStoredBis, L"Qovaro.NQ2");
        dtVon = KeepTime(dtVon, dtStored);
        dtBis = KeepTime(dtBis, dtStoredBis);
        strSQL.Format(L"UPDATE Einsatz SET dtEinsatz=%s, dtEinsatzBis=%s WHERE lEinsatzID = %d",
                      (LPCWSTR)dtVon.SQLConvert(), (LPCWSTR)dtBis.SQLConvert(), lEinsatzID);
        hr = kurs::Execute(conn, strSQL);
        if (SUCCEEDED(hr)) {
            guidEinsatz = NQ_GetGuidForId(lEinsatzID, kTableEinsatz);
            CString strDetail;
            strDetail.Format(L"Datum:%s | bis:%s", (LPCWSTR)LogDate(dtVon), (LPCWSTR)LogDate(dtBis));
            hr = WriteLog(1, IDS_LOG_AKTIVITAET_UPDATED, strDetail, L"Aktivität", guidEinsatz, guidNull, lGrouping);
        }
    }
    // The run's groups not yet transferred.
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"SELECT lKursinstanzGruppeID, strBezeichnung, lEinsatzGruppeID FROM KursinstanzGruppe WHERE "
                      L"lKursinstanzID = %d AND lEinsatzGruppeID = -1",
                      lKursinstanzID);
        hr = rs.OpenSQL(strSQL, 1, 3);
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            CString strName;
            long lKey = 0;
            hr = rs.GetFieldValue(L"strBezeichnung", &strName);
            if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"EinsatzGruppe", L"lEinsatzGruppeID", lKey);
            if (SUCCEEDED(hr)) {
                CString strInsert;
                strInsert.Format(L"INSERT INTO EinsatzGruppe (lEinsatzGruppeID, lEinsatzID, strBezeichnung) VALUES "
                                 L"(%d, %d, '%s')",
                                 lKey, lEinsatzID, (LPCWSTR)QvSQLString(strName, 254));
                hr = kurs::Execute(conn, strInsert);
            }
            if (SUCCEEDED(hr)) hr = rs.SetFieldValue(L"lEinsatzGruppeID", lKey);
            if (SUCCEEDED(hr)) hr = rs.Update();
            if (SUCCEEDED(hr))
                hr = WriteLog(0, IDS_LOG_GRUPPE_CREATED, strName, CString(L"Aktivität") + L".Gruppe", guidEinsatz,
                              guidNull, lGrouping);
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"DELETE EinsatzGruppe WHERE lEinsatzID = %d AND lEinsatzGruppeID NOT IN (SELECT lEinsatzGruppeID "
                      L"FROM KursinstanzGruppe WHERE lKursinstanzID = %d)",
                      lEinsatzID, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    // Pay of the participants and of the leadership.
    INQSold* pSold = nullptr;
    if (SUCCEEDED(hr)) hr = QueryCOMServer(NQ_LOGICSERVER_PROGID, IID_INQSold, reinterpret_cast<void**>(&pSold));
    if (SUCCEEDED(hr) && !pSold) hr = KURS_TRACEHR(E_NOINTERFACE);
    if (SUCCEEDED(hr) && UseTeilnehmer)
        for (long lPersonID : arrTeilnehmer) {
            hr = AddSold(conn, pSold, lPersonID, lSoldansatzIDTeilnehmer, dblDauer, FALSE, lGrouping, guidEinsatz);
            if (FAILED(hr)) break;
        }
    if (SUCCEEDED(hr) && UseInstruktor)
        for (int i = 0; SUCCEEDED(hr) && i < m_grid.GetVisibleItemCount(); ++i) {
            CQvGridItem* pItem = m_grid.QvGetGridItem(i);
            const std::vector<long>* pPersons = RowPersons(pItem);
            double dblAnzahl = dblDauer;
            pItem->GetColumnNumber(2, &dblAnzahl);
            if (!pPersons) continue;
            for (long lPersonID : *pPersons) {
                hr = AddSold(conn, pSold, lPersonID, RowRate(pItem), dblAnzahl, TRUE, lGrouping, guidEinsatz);
                if (FAILED(hr)) break;
            }
        }
    if (pSold) pSold->Release();
    // Absences of the participants who stayed away.
    if (SUCCEEDED(hr) && UseTeilnehmer)
        for (long lPersonID : arrAbwesend) {
            long lKey = 0;
            hr = kurs::GetUniqueID(conn, L"Absenz", L"lAbsenzID", lKey);
            if (SUCCEEDED(hr)) {
                strSQL.Format(L"INSERT INTO Absenz (lAbsenzID, lEinsatzID, lAbsenzgrundID, lPersonID, fEntschuldigt) "
                              L"SELECT %d, %d, lAbsenzgrundID, %d, fEntschuldigt FROM PersonKurs WHERE lStatus = %d AND "
                              L"lKursinstanzID = %d AND lPersonID = %d AND lKursId = %d",
                              lKey, lEinsatzID, lPersonID, 2, lKursinstanzID, lPersonID, lKursID);
                hr = kurs::Execute(conn, strSQL);
            }
            // A registration that is no longer absent wrote no row: then nothing is logged.
            BOOL bWritten = FALSE;
            if (SUCCEEDED(hr)) {
                strSQL.Format(L"SELECT 1 FROM Absenz WHERE lAbsenzID = %d", lKey);
                hr = kurs::OpenRows(rs, strSQL, bEOF);
                bWritten = !bEOF;
                rs.Close();
            }
            if (FAILED(hr)) break;
            if (!bWritten) continue;
            strSQL.Format(L"UPDATE Absenz SET strBemerkung = convert(varchar(4000),pk.strBemerkung) FROM Absenz JOIN "
                          L"PersonKurs pk ON Absenz.lPersonID = pk.lPersonID AND Absenz.lAbsenzID = %d AND "
                          L"pk.lKursinstanzID = %d",
                          lKey, lKursinstanzID);
            hr = kurs::Execute(conn, strSQL);
            CString strReason;
            if (SUCCEEDED(hr)) {
                strSQL.Format(L"SELECT strBezeichnung FROM PersonKurs JOIN Absenzgrund ON PersonKurs.lAbsenzgrundID = "
                              L"Absenzgrund.lAbsenzgrundID WHERE lStatus = %d AND lKursinstanzID = %d AND lPersonID = %d "
                              L"AND lKursId = %d",
                              2, lKursinstanzID, lPersonID, lKursID);
                hr = kurs::OpenRows(rs, strSQL, bEOF);
                if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"strBezeichnung", &strReason);
                rs.Close();
            }
            if (SUCCEEDED(hr))
                hr = WriteLog(0, IDS_LOG_ABSENZ_ADDED, strReason, CString(L"Aktivität") + L".Absenz", guidEinsatz,
                              NQ_GetGuidForId(lPersonID, 4), lGrouping);
            if (FAILED(hr)) break;
        }
    // Persons who left the run leave the activity; every removed row is logged, also one whose
    // rate or reason is gone.
    if (SUCCEEDED(hr) && DeletePerson) {
        struct Removal {
            const wchar_t* select;
            const wchar_t* remove;
            UINT nText;
            const wchar_t* module;
            bool pay;
        };
        const Removal removals[] = {
            {L"SELECT p.guid AS guidPerson, isnull(s.strBezeichnung, '') AS strBezeichnung FROM PersonEinsatz pe JOIN "
             L"Person p ON pe.lPersonID = p.lPersonID LEFT OUTER JOIN Soldansatz s ON pe.lSoldansatzID = "
             L"s.lSoldansatzID WHERE pe.lPersonID IN (SELECT lPersonID FROM PersonEinsatz WHERE lPersonID NOT IN "
             L"(SELECT lPersonID FROM PersonKurs WHERE lStatus IN (%d,%d,%d,%d) AND PersonKurs.lKursinstanzID = %d)) "
             L"AND pe.lEinsatzID = %d",
             L"DELETE PersonEinsatz FROM PersonEinsatz WHERE PersonEinsatz.lPersonID IN (SELECT lPersonID FROM "
             L"PersonEinsatz WHERE lPersonID NOT IN (SELECT lPersonID FROM PersonKurs WHERE lStatus IN (%d,%d,%d,%d) AND "
             L"PersonKurs.lKursinstanzID = %d)) AND PersonEinsatz.lEinsatzID = %d",
             IDS_LOG_SOLD_REMOVED, L".Sold", true},
            {L"SELECT p.guid AS guidPerson, isnull(ag.strBezeichnung, '') AS strBezeichnung FROM Absenz a JOIN Person p "
             L"ON a.lPersonID = p.lPersonID LEFT OUTER JOIN Absenzgrund ag ON a.lAbsenzgrundID = ag.lAbsenzgrundID "
             L"WHERE a.lPersonID IN (SELECT lPersonID FROM Absenz WHERE lPersonID NOT IN (SELECT lPersonID FROM "
             L"PersonKurs WHERE lStatus = %d AND PersonKurs.lKursinstanzID = %d)) AND a.lEinsatzID = %d",
             L"DELETE Absenz FROM Absenz WHERE Absenz.lPersonID IN (SELECT lPersonID FROM Absenz WHERE lPersonID NOT IN "
             L"(SELECT lPersonID FROM PersonKurs WHERE lStatus = %d AND PersonKurs.lKursinstanzID = %d)) AND "
             L"Absenz.lEinsatzID = %d",
             IDS_LOG_ABSENZ_REMOVED, L".Absenz", false},
        };
        for (const Removal& r : removals) {
            if (FAILED(hr)) break;
            CString strSelect, strDelete;
            if (r.pay) {
                strSelect.Format(r.select, 0, 7, 1, 6, lKursinstanzID, lEinsatzID);
                strDelete.Format(r.remove, 0, 7, 1, 6, lKursinstanzID, lEinsatzID);
            } else {
                strSelect.Format(r.select, 2, lKursinstanzID, lEinsatzID);
                strDelete.Format(r.remove, 2, lKursinstanzID, lEinsatzID);
            }
            std::vector<std::pair<CQvGUID, CString>> rows;
            hr = rs.OpenSQL(strSelect, 1, 3);
            if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
            while (SUCCEEDED(hr) && !bEOF) {
                CQvGUID guidPerson;
                CString strName;
                hr = rs.GetFieldValue(L"guidPerson", &guidPerson);
                if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBezeichnung", &strName);
                if (SUCCEEDED(hr)) rows.emplace_back(guidPerson, strName);
                if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
            }
            rs.Close();
            for (const auto& [guidPerson, strName] : rows) {
                if (FAILED(hr)) break;
                hr = WriteLog(2, r.nText, strName, CString(L"Aktivität") + r.module, guidEinsatz, guidPerson, lGrouping);
            }
            if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strDelete);
        }
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"UPDATE PersonEinsatz SET lEinsatzGruppeID = x.lEinsatzGruppeID FROM PersonEinsatz JOIN (SELECT "
                      L"DISTINCT KursinstanzGruppe.lEinsatzGruppeID, PersonKurs.lPersonID FROM PersonKurs JOIN "
                      L"KursinstanzGruppe ON PersonKurs.lKursinstanzGruppeID = KursinstanzGruppe.lKursinstanzGruppeID "
                      L"WHERE PersonKurs.lKursinstanzID = %d) x ON x.lPersonID = PersonEinsatz.lPersonID WHERE lEinsatzID "
                      L"= %d",
                      lKursinstanzID, lEinsatzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"UPDATE PersonEinsatz SET lEinsatzGruppeID = -1 WHERE lEinsatzID = %d AND lPersonID IN (SELECT "
                      L"lPersonID FROM PersonKurs WHERE lKursinstanzGruppeID = -1 AND lKursinstanzID = %d)",
                      lEinsatzID, lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) hr = VRQ_CreateAndUpdateEinsatzBudgetData(lEinsatzID);
    if (SUCCEEDED(hr)) {
        IDocMngmt* pDoc = nullptr;
        hr = QueryCOMServer(QVDOCMNGMT_PROGID, IID_IDocMngmt, reinterpret_cast<void**>(&pDoc));
        if (SUCCEEDED(hr) && !pDoc) hr = KURS_TRACEHR(E_NOINTERFACE);
        if (SUCCEEDED(hr)) hr = pDoc->LinkDocuments(42, lKursinstanzID, kTableEinsatz, lEinsatzID);
        if (pDoc) pDoc->Release();
    }
    if (FAILED(hr) && hr != E_ABORT) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

long CCreateEinsatzDlg::SetToBesucht() {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT lPersonID, lPersonKursID, lStatus FROM PersonKurs WHERE lKursinstanzID = %d AND "
                  L"fTeilnehmer = 1 AND lStatus IN (%d,%d)",
                  lKursinstanzID, 0, 7);
    BOOL bEOF = TRUE;
    struct Row {
        long lPersonID = 0;
        long lPersonKursID = 0;
        long lStatus = 0;
    };
    std::vector<Row> rows;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        Row row;
        hr = rs.GetFieldValue(L"lPersonID", &row.lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lPersonKursID", &row.lPersonKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &row.lStatus);
        if (SUCCEEDED(hr)) rows.push_back(row);
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    CVRQKurs kurs;
    for (const Row& row : rows) {
        if (FAILED(hr)) break;
        // Only as read: one moved or changed meanwhile keeps its state (the user is told so).
        hr = kurs.UpdatePersonKursStatus(TRUE, row.lPersonKursID, row.lPersonID, lKursinstanzID,
                                         ePersonKursStatusBesucht, row.lStatus);
        if (hr == E_ABORT) hr = S_OK;
    }
    if (SUCCEEDED(hr)) {
        CQvEventSource events;
        hr = events.FireEvent(kBookingsChanged, lKursID, FALSE);
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    return hr;
}
