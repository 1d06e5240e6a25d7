#include "gruppendlg.h"

#include "gruppebezdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "optionserver.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\gruppendlg";
#define GR_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// The page's function, the groups and the templates.
const CQvGUID kSecTab(L"{F93490D9-C467-41E9-87BC-FAEFBA06308B}");
const CQvGUID kSecGruppe(L"{1F365D4D-856E-4979-9453-2D92A2F92387}");
const CQvGUID kSecVorlage(L"{D9390F30-4904-4D2B-95CA-5EF2D4E25A6A}");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;
constexpr long kTableKursinstanz = 42;
constexpr const wchar_t* kModul = L"Ausbildung.Gruppe";
constexpr COLORREF kOverfull = RGB(192, 0, 0);

// A group another user changed or deleted after the page showed it: nothing is written, and the
// user is told once, after the unit of work.
void TellGroupChanged() { kurs::Tell(KursLoadString(IDS_GRUPPE_CHANGED), MB_OK | MB_ICONINFORMATION); }

// The group as the tree shows it, in a statement's WHERE: of the run, with its name and maximum.
CString ShownGroupRow(long lKursinstanzID, const CGruppenDlg::CShownGroup& group) {
    // Group names are kept and matched without blanks at their end.
    CString strName = group.strBezeichnung;
    strName.TrimRight();
    CString strWhere;
    strWhere.Format(L"lKursinstanzGruppeID = %d AND lKursinstanzID = %d AND rtrim(strBezeichnung) = '%s' AND "
                    L"lMaxTeilnehmer = %d",
                    group.lGruppeID, lKursinstanzID, QvSQLString(strName, 0), group.lMaxTeilnehmer);
    return strWhere;
}

// Holds the group as the tree shows it (written, its time stamp renewed) to the end of the unit: a
// deletion or a change of it waits, and one that came first is found (S_FALSE, nothing written).
long HoldGroup(CQvADOConnection& conn, long lKursinstanzID, const CGruppenDlg::CShownGroup& group) {
    CString strSQL;
    strSQL.Format(L"UPDATE KursinstanzGruppe SET lKursinstanzID = lKursinstanzID WHERE %s",
                  ShownGroupRow(lKursinstanzID, group));
    long lAffected = 0;
    const long hr = kurs::Execute(conn, strSQL, &lAffected);
    if (SUCCEEDED(hr) && lAffected == 0) return S_FALSE;
    return hr;
}

// A group change that found its group otherwise than shown: the unit ends with nothing written.
long EndUnchanged(kurs::CKursTransaction& unit) {
    const long hr = unit.End(S_OK);
    return SUCCEEDED(hr) ? S_FALSE : hr;
}

// The log entry of a group change, under the run.
long WriteLog(long lKind, UINT nText, const CString& strDetail, const CQvGUID& guidKursinstanz);

// Gives the registration as shown the group lNewGruppeID (-1: none), with its log entry (kind and
// detail), in one unit and only while the group is as the tree shows it: held to the end of the
// unit, so that a deletion of it waits and then takes the registration out with its other members.
long Regroup(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
             const CGruppenDlg::CShownGroup& group, const kurs::ShownRegistration& shown, long lNewGruppeID,
             long lKind, const CString& strDetail) {
    kurs::CKursTransaction unit(conn);
    long hr = unit.Begin();
    if (SUCCEEDED(hr)) hr = HoldGroup(conn, lKursinstanzID, group);
    if (hr == S_FALSE) return EndUnchanged(unit);
    long lAffected = 0;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"UPDATE PersonKurs SET lKursinstanzGruppeID = %d WHERE %s", lNewGruppeID,
                      kurs::ShownCondition(shown));
        hr = kurs::Execute(conn, strSQL, &lAffected);
    }
    if (SUCCEEDED(hr) && lAffected == 0) {
        unit.End(E_ABORT);
        return kurs::RegistrationNotAsShown(shown.lPersonKursID);
    }
    if (SUCCEEDED(hr)) hr = WriteLog(lKind, IDS_LOG_GRUPPE_UPDATED, strDetail, guidKursinstanz);
    if (FAILED(hr)) GR_TRACEHR(hr);
    return unit.End(hr);
}

// The log entry of a group change, under the run.
long WriteLog(long lKind, UINT nText, const CString& strDetail, const CQvGUID& guidKursinstanz) {
    CQvGUID guidNull;
    guidNull.SetNULL();
    return kurs::WriteUserLog(lKind, nText, strDetail, kModul, 0, kTableKursinstanz, guidKursinstanz, guidNull);
}

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_GRUPPEN;
        dlg.cx = 330;
        dlg.cy = 186;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        dlg.items = {
            LText(L"Nicht zugeordnete Teilnehmer/Instruktoren:", IDC_STATIC, 5, 5, 150, 8),
            Control(L"", IDC_GRUPPEN_LIST, L"SysListView32", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 5,
                    15, 150, 130),
            AutoRadioButton(L"Alle Teilnehmer anzeigen", IDC_GRUPPEN_ALLE, 5, 150, 150, 10, WS_GROUP | WS_TABSTOP),
            AutoRadioButton(L"Nur angemeldete Teilnehmer anzeigen", IDC_GRUPPEN_ANGEMELDET, 5, 163, 150, 10),
            PushButton(L"", IDC_GRUPPEN_ADD, 160, 60, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_GRUPPEN_REMOVE, 160, 80, 18, 16, WS_TABSTOP),
            LText(L"Gruppen:", IDC_GRUPPEN_LABEL, 183, 5, 100, 8),
            Control(L"", IDC_GRUPPEN_TREE, L"SysTreeView32",
                    TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_BORDER |
                        WS_TABSTOP,
                    183, 15, 120, 150),
            PushButton(L"", IDC_GRUPPEN_NEW, 307, 15, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_GRUPPEN_EDIT, 307, 33, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_GRUPPEN_DELETE, 307, 51, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_HELPBUTTON, 307, 165, 18, 16, BS_OWNERDRAW | WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
        RegisterMenu(KursModuleHandle(), IDR_GRUPPEN_MENU,
                     {{0, L"Gruppen", MF_POPUP,
                       {{ID_GRUPPE_NEW, L"Neue Gruppe...", 0, {}},
                        {ID_GRUPPE_FROMTEMPLATE, L"Neue Gruppen ab Vorlage", 0, {}},
                        {ID_GRUPPE_NEWTEMPLATE, L"Neue Vorlage...", 0, {}}}}});

        // The two group pictures at the end of the status strip: several persons, dark when the
        // group is selected or open, grey otherwise.
        QImage strip;
        if (FindBitmap(IDB_PERSONKURS_STATUS, strip) && strip.width() >= 26 * 16) {
            QPainter painter(&strip);
            painter.setRenderHint(QPainter::Antialiasing);
            for (int i : {24, 25}) {
                const QColor color = i == 24 ? QColor(40, 40, 40) : QColor(150, 150, 150);
                painter.fillRect(i * 16, 0, 16, 16, Qt::white);
                painter.setPen(color);
                painter.setBrush(color);
                for (int x : {2, 9}) {
                    painter.drawEllipse(i * 16 + x + 1, 2, 4, 4);
                    painter.drawRect(i * 16 + x, 7, 6, 7);
                }
            }
            painter.end();
            RegisterBitmap(KursModuleHandle(), IDB_PERSONKURS_STATUS, strip);
        }
    }
};

}  // namespace

IMPLEMENT_DYNCREATE(CGruppenDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CGruppenDlg, CKursChildDlg)
    ON_NOTIFY(TVN_DELETEITEM, IDC_GRUPPEN_TREE, &CGruppenDlg::OnDeleteitemTreeGruppen)
    ON_WM_DESTROY()
    ON_NOTIFY(TVN_SELCHANGED, IDC_GRUPPEN_TREE, &CGruppenDlg::OnSelchangedTreeGruppen)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_GRUPPEN_LIST, &CGruppenDlg::OnItemchangedList)
    ON_NOTIFY(QVLN_LINKCLICKED, IDC_GRUPPEN_LIST, &CGruppenDlg::OnLinkList)
    ON_COMMAND(ID_GRUPPE_NEW, &CGruppenDlg::OnNewGroup)
    ON_COMMAND(ID_GRUPPE_FROMTEMPLATE, &CGruppenDlg::OnNewGroupsFromTemplate)
    ON_COMMAND(ID_GRUPPE_NEWTEMPLATE, &CGruppenDlg::OnNewTemplate)
    ON_BN_CLICKED(IDC_GRUPPEN_EDIT, &CGruppenDlg::OnEditGroup)
    ON_BN_CLICKED(IDC_GRUPPEN_ADD, &CGruppenDlg::OnAddToGroup)
    ON_BN_CLICKED(IDC_GRUPPEN_REMOVE, &CGruppenDlg::OnRemoveFromGroup)
    ON_BN_CLICKED(IDC_GRUPPEN_DELETE, &CGruppenDlg::OnDeleteGroup)
    ON_BN_CLICKED(IDC_GRUPPEN_ALLE, &CGruppenDlg::OnRadioAlle)
    ON_BN_CLICKED(IDC_GRUPPEN_ANGEMELDET, &CGruppenDlg::OnRadioAngemeldet)
END_MESSAGE_MAP()

CGruppenDlg::CGruppenDlgFactory g_gruppenFactory(CLSID_GruppenDlg, RUNTIME_CLASS(CGruppenDlg), FALSE,
                                                 L"Qovaro.NQ2.Tab.Std.Kurs.Gruppen");

CGruppenDlg::CGruppenDlg()
    : CKursChildDlg(IDD_GRUPPEN, IDS_GRUPPEN_CAPTION, L"Gruppen", 0, -1, IDC_GRUPPEN_LIST) {
    // The strip is drawn by the participants page when its library loads; the group pictures
    // are added once it is there.
    static TemplateRegistrar s_registrar;
    m_guidFunction = kSecTab;
    m_guidScope = CQvGUID(GUID_ScopeKursinstanz);
}

CGruppenDlg::~CGruppenDlg() = default;

HRESULT CGruppenDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_GruppenDlg;
    return S_OK;
}

HRESULT CGruppenDlg::CheckRightsFor(long lValue) {
    // Groups are kept in the central installation only.
    if (!NQ_IsEnterpriseEdition()) return 0;
    return CKursChildDlg::CheckRightsFor(lValue);
}

void CGruppenDlg::DoDataExchange(CDataExchange* pDX) {
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GRUPPEN_TREE, m_tree);
    DDX_Control(pDX, IDC_GRUPPEN_LIST, m_list);
    DDX_Radio(pDX, IDC_GRUPPEN_ALLE, m_nRadio);
}

BOOL CGruppenDlg::OnInitDialog() {
    CKursResourceScope scope;
    CKursChildDlg::OnInitDialog();
    m_btnEdit.AttachButton(IDC_GRUPPEN_EDIT, this, QVBB_IMAGE_ONLY, 2);
    m_btnDelete.AttachButton(IDC_GRUPPEN_DELETE, this, QVBB_IMAGE_ONLY, 10);
    m_btnAdd.AttachButton(IDC_GRUPPEN_ADD, this, QVBB_IMAGE_ONLY, 32);
    m_btnRemove.AttachButton(IDC_GRUPPEN_REMOVE, this, QVBB_IMAGE_ONLY, 31);
    for (CQvBitmapButton* pButton : {&m_btnEdit, &m_btnDelete, &m_btnAdd, &m_btnRemove}) pButton->SetFlatButton(TRUE);
    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_GRUPPEN");

    m_menu.LoadMenu(IDR_GRUPPEN_MENU);
    m_btnNew.AttachButton(IDC_GRUPPEN_NEW, this, m_menu.GetSubMenu(0), QVBB_IMAGE_ONLY, 1);
    m_btnNew.SetStandardImage(9);
    m_btnNew.SetFlatButton(TRUE);

    m_imageList.Create(IDB_PERSONKURS_STATUS, 16, 0, RGB(255, 255, 255));
    static const int types[] = {3, 3, 3, 3, 3, 3, 3};
    static const int widths[] = {150, 80, 150, 130, 120, 100, 60};
    static const int tips[] = {2, 0, 2, 2, 0, 0, 0};
    m_list.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\Gruppen");
    m_list.SetImageList(&m_imageList, LVSIL_SMALL);
    m_list.ShowStatusLine(TRUE);
    m_list.QvInsertColumn(7, IDS_GRUPPEN_COL_STATUS, types, widths, nullptr, tips);
    m_list.QvSetMultiSelection();
    m_tree.SetImageList(&m_imageList, TVSIL_NORMAL);
    m_tree.SetImageList(&m_imageList, TVSIL_STATE);

    CreateLayout();
    // The bookings of the course are heard by the page base's event sink.

    AddToolTipText(IDC_GRUPPEN_NEW, IDS_GRUPPEN_TIP_NEW);
    AddToolTipText(IDC_GRUPPEN_EDIT, IDS_GRUPPEN_TIP_EDIT);
    AddToolTipText(IDC_GRUPPEN_DELETE, IDS_GRUPPEN_TIP_DELETE);
    AddToolTipText(IDC_GRUPPEN_ADD, IDS_GRUPPEN_TIP_ADD);
    AddToolTipText(IDC_GRUPPEN_REMOVE, IDS_GRUPPEN_TIP_REMOVE);
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    return TRUE;
}

void CGruppenDlg::CreateLayout() {
    CRect units(0, 0, 5, 22);
    MapDialogRect(&units);
    const int n5 = units.Width();
    const int n22 = units.Height();
    CQvLayoutNode* root = m_LayoutFactory.CreateRelativeNode(this);
    CQvLayoutNode* help = m_LayoutFactory.CreateWindowNode(root, IDC_HELPBUTTON)
                              ->Attach(eQvRight, root, eQvRight, -n5)
                              ->Attach(eQvBottom, root, eQvBottom, -n5)
                              ->KeepSize();
    CQvLayoutNode* add =
        m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_ADD)->Follow(eQvRight, root, eQvRight, 0.6)->KeepSize();
    m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_REMOVE)->Attach(eQvRight, add, eQvRight, 0)->KeepSize();
    CQvLayoutNode* angemeldet = m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_ANGEMELDET)
                                    ->Attach(eQvBottom, root, eQvBottom, -n5)
                                    ->KeepSize();
    CQvLayoutNode* alle = m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_ALLE)
                              ->Attach(eQvBottom, angemeldet, eQvTop, -n5)
                              ->KeepSize();
    m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_LIST)
        ->Attach(eQvBottom, alle, eQvTop, -n22)
        ->Attach(eQvRight, add, eQvLeft, -n5);
    CQvLayoutNode* tree = m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_TREE)
                              ->Attach(eQvLeft, add, eQvRight, n5)
                              ->Attach(eQvBottom, root, eQvBottom, -n5)
                              ->Attach(eQvRight, help, eQvLeft, -n5);
    for (UINT nID : {IDC_GRUPPEN_NEW, IDC_GRUPPEN_EDIT, IDC_GRUPPEN_DELETE})
        m_LayoutFactory.CreateWindowNode(root, nID)->Follow(eQvRight, tree, eQvRight)->KeepSize();
    m_LayoutFactory.CreateWindowNode(root, IDC_GRUPPEN_LABEL)->Follow(eQvLeft, tree, eQvLeft)->KeepSize();
    m_LayoutFactory.CreateLayoutListener(this, root);
}

HRESULT CGruppenDlg::CloseTab() { return CKursChildDlg::CloseTab(); }

HRESULT CGruppenDlg::ReleaseParentControl() { return CKursChildDlg::ReleaseParentControl(); }

HRESULT CGruppenDlg::Refresh() {
    CKursResourceScope scope;
    CWaitCursor wait;
    return RefreshPage(m_colorFemale, [this] { return LoadControls(); });
}

HRESULT CGruppenDlg::LoadControls() {
    lKursID = 0;
    lKursinstanzID = 0;
    const HRESULT hr = LoadKursContext();
    if (FAILED(hr)) GR_TRACEHR(hr);
    m_list.SetRedraw(FALSE, L"default");
    m_list.DeleteAllItems();
    m_list.SetRedraw(TRUE, L"default");
    m_tree.SetRedraw(FALSE);
    m_tree.DeleteAllItems();
    m_tree.SetRedraw(TRUE);
    if (FAILED(hr)) return hr;
    if (GetSubRecordID() == 0 || !(static_cast<DWORD>(rightKursinstanz) & kRightRead)) return S_OK;
    HRESULT hrFill = FillList();
    if (SUCCEEDED(hrFill)) hrFill = FillTree();
    return hrFill;
}

HRESULT CGruppenDlg::FillList() {
    CKursResourceScope scope;
    CBusyScope busy(this);
    CWaitCursor wait;
    m_list.SetRedraw(FALSE, L"default");
    m_list.DeleteAllItems();

    INQLogicServer* pLogic = nullptr;
    HRESULT hr = OpenLogicServer(pLogic);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        CString strFilter;
        if (m_nRadio == 1) strFilter.Format(L"AND PersonKurs.lStatus IN (%d,%d)", 0, 7);
        CString strSQL;
        strSQL.Format(L"SELECT %s, PersonKurs.fTeilnehmer, PersonKurs.lPersonKursID, %s FROM %s%sWHERE "
                      L"PersonKurs.lKursinstanzID = %d AND "
                      L"PersonKurs.lKursinstanzGruppeID = -1 %s",
                      kPersonColumns, kRoleColumns, kPersonFrom, kRoleJoin, lKursinstanzID, strFilter);
        BOOL bEOF = TRUE;
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        while (SUCCEEDED(hr) && !bEOF) {
            CKursPersonRow row;
            long lKursleitungID = -1, lPersonKursID = 0;
            BOOL bTeilnehmer = FALSE;
            CString strFunktion;
            hr = row.Read(rs, pLogic);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &bTeilnehmer);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strFunktion);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lPersonKursID", &lPersonKursID);
            if (FAILED(hr)) {
                GR_TRACEHR(hr);
                break;
            }

            CQvListItem* pItem = nullptr;
            if (m_list.QvAddItem(pItem, TRUE) && pItem) {
                pItem->SetParam(0, row.lPersonID);
                pItem->SetParam(1, row.lStatus);
                pItem->SetParam(3, lPersonKursID);
                CString strStatus = NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(row.lStatus),
                                                                      lKursinstanzID, bTeilnehmer, CString());
                if (bTeilnehmer) {
                    pItem->SetImage(static_cast<int>(row.lStatus + 1));
                } else {
                    const CString strRole = lKursleitungID == -1 ? KursLoadString(IDS_OHNE_FUNKTION) : strFunktion;
                    strStatus += L" | " + strRole;
                    pItem->SetImage(static_cast<int>(row.lStatus + 14));
                }
                pItem->SetColumnText(0, strStatus);
                pItem->SetColumnText(1, row.strDienstgrad);
                pItem->SetColumnText(2, row.strPerson);
                pItem->SetColumnText(3, row.strAdresse);
                pItem->SetColumnText(4, row.strOrt);
                pItem->SetColumnText(5, row.strMandant);
                pItem->SetColumnText(6, row.strSprache);
                CString strLink;
                strLink.Format(L"%d;%d", bTeilnehmer ? 1L : 0L, row.lPersonID);
                pItem->SetColumnLink(2, strLink);
                if (row.bWeiblich) pItem->SetColumnTextColor(2, m_colorFemale);
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
    return hr;
}

HRESULT CGruppenDlg::FillTree() {
    CKursResourceScope scope;
    CBusyScope busy(this);
    CWaitCursor wait;
    m_tree.SetRedraw(FALSE);
    m_tree.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT lKursinstanzGruppeID, strBezeichnung, lMaxTeilnehmer \t\t\t\t\tFROM KursinstanzGruppe "
                  L"\t\t\t\t\tWHERE lKursinstanzID = %d",
                  lKursinstanzID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    bool bReported = false;
    while (SUCCEEDED(hr) && !bEOF) {
        CString strBezeichnung;
        long lGruppeID = 0, lMax = 0;
        hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzGruppeID", &lGruppeID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmer", &lMax);
        if (FAILED(hr)) break;
        auto* pElem = new CElem;
        pElem->lElemTyp = 1;
        pElem->lElemID = lGruppeID;
        pElem->lMaxTeilnehmer = lMax;
        pElem->strBezeichnung = strBezeichnung;
        const HTREEITEM hItem =
            m_tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, strBezeichnung, 25, 24, 0, 0,
                              reinterpret_cast<LPARAM>(pElem), TVI_ROOT, TVI_SORT);
        if (!hItem) {
            delete pElem;
            hr = rs.MoveNext(&bEOF);
            continue;
        }
        m_tree.SetItemBold(hItem, TRUE);
        const HRESULT hrGruppe = FillGruppe(hItem, lGruppeID, pElem->lAnzahlTeilnehmer);
        CString strLabel;
        if (lMax > 0)
            strLabel.Format(KursLoadString(IDS_GRUPPE_LABEL_MAX), strBezeichnung, pElem->lAnzahlTeilnehmer, lMax);
        else
            strLabel.Format(KursLoadString(IDS_GRUPPE_LABEL), strBezeichnung, pElem->lAnzahlTeilnehmer);
        m_tree.SetItemText(hItem, strLabel);
        if (lMax > 0 && pElem->lAnzahlTeilnehmer > lMax) m_tree.SetItemColor(hItem, kOverfull);
        m_tree.Expand(hItem, TVE_EXPAND);
        if (FAILED(hrGruppe)) {
            hr = hrGruppe;
            bReported = true;  // FillGruppe has shown it
            break;
        }
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        GR_TRACEHR(hr);
        if (!bReported) KURS_REPORTDBERROR(conn, hr);
    }
    m_tree.SetRedraw(TRUE);
    FollowTreeSelection();
    return hr;
}

HRESULT CGruppenDlg::FillGruppe(HTREEITEM hItem, long lKursinstanzGruppeID, long& lAnzahlTeilnehmer) {
    lAnzahlTeilnehmer = 0;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT Person.lPersonID, cbp.strBezeichnung AS strPerson, fWeiblich, PersonKurs.lStatus, "
                  L"PersonKurs.fTeilnehmer, PersonKurs.lPersonKursID\t\t\t\t\tFROM Person JOIN view_CacheBezeichnung "
                  L"cbp ON Person.lPersonID = cbp.lID AND cbp.lTableID = 4 AND cbp.strMode = 'A' \t\t\t\t\t\t\t\tJOIN PersonKurs ON "
                  L"Person.lPersonID = PersonKurs.lPersonID \t\t\t\t\tWHERE PersonKurs.lKursinstanzGruppeID = %d "
                  L"\t\t\t\t\tORDER BY fTeilnehmer, strPerson",
                  lKursinstanzGruppeID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lPersonID = 0, lStatus = 0, lPersonKursID = 0;
        BOOL bTeilnehmer = FALSE, bWeiblich = FALSE;
        CString strPerson;
        hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fTeilnehmer", &bTeilnehmer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fWeiblich", &bWeiblich);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lPersonKursID", &lPersonKursID);
        if (FAILED(hr)) break;
        auto* pElem = new CElem;
        pElem->lElemTyp = 0;
        pElem->lElemID = lPersonID;
        pElem->lPersonKursID = lPersonKursID;
        pElem->lStatus = lStatus;
        const int nImage = static_cast<int>(bTeilnehmer ? lStatus + 1 : lStatus + 14);
        const HTREEITEM hChild = m_tree.InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, strPerson,
                                                   nImage, nImage, 0, 0, reinterpret_cast<LPARAM>(pElem), hItem,
                                                   TVI_LAST);
        if (!hChild) delete pElem;
        else if (bWeiblich) m_tree.SetItemColor(hChild, m_colorFemale);
        if (hChild && bTeilnehmer) ++lAnzahlTeilnehmer;
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        GR_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

HRESULT CGruppenDlg::GetSelectedGruppe(long& lKursinstanzGruppeID, CString& strLabel) {
    lKursinstanzGruppeID = 0;
    strLabel.Empty();
    const HTREEITEM hItem = m_tree.GetSelectedItem();
    if (!hItem) return S_FALSE;
    const auto* pElem = reinterpret_cast<const CElem*>(m_tree.GetItemData(hItem));
    if (!pElem) return E_FAIL;
    if (pElem->lElemTyp != 1) return S_FALSE;
    lKursinstanzGruppeID = pElem->lElemID;
    strLabel = m_tree.GetItemText(hItem);
    return S_OK;
}

HRESULT CGruppenDlg::UpdateMenu() {
    CMenu* pPopup = m_menu.GetSafeHmenu() ? m_menu.GetSubMenu(0) : nullptr;
    if (!pPopup) return S_OK;
    const CQvGUID scopeRun(GUID_ScopeKursinstanz);
    BOOL bLocked = FALSE;
    if (m_pParentControl) m_pParentControl->IsLockedByOther(&bLocked);
    const BOOL bRun = GetSubRecordID() != 0 && !bLocked;
    auto enable = [&](UINT nID) {
        const BOOL bOn = bRun && m_Sec.HasAllRights(kRightEdit);
        pPopup->EnableMenuItem(nID, MF_BYCOMMAND | (bOn ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    };
    HRESULT hr = LoadRightsForMandant(kSecGruppe, scopeRun, CString());
    enable(ID_GRUPPE_NEW);
    enable(ID_GRUPPE_FROMTEMPLATE);
    if (SUCCEEDED(hr)) hr = LoadRightsForMandant(kSecVorlage, scopeRun, CString());
    enable(ID_GRUPPE_NEWTEMPLATE);
    return hr;
}

HRESULT CGruppenDlg::LoadData() {
    CKursResourceScope scope;
    const BOOL bListSelected = m_list.GetSelectedCount() > 0;
    HRESULT hrFirst = LoadRightsForMandant(kSecGruppe, CQvGUID(GUID_ScopeKursinstanz), CString());
    SecureDlgItem(IDC_GRUPPEN_EDIT, TRUE, m_lElemTyp == 1, kRightEdit);
    SecureDlgItem(IDC_GRUPPEN_DELETE, TRUE, m_lElemTyp == 1, kRightEdit);
    if (SUCCEEDED(hrFirst)) {
        HRESULT hr = UpdateMenu();
        if (SUCCEEDED(hr)) hr = CKursChildDlg::LoadData();
        if (FAILED(hr)) hrFirst = GR_TRACEHR(hr);
    }
    SecureDlgItem(IDC_GRUPPEN_ADD, TRUE, bListSelected && m_lElemTyp == 1, kRightEdit);
    SecureDlgItem(IDC_GRUPPEN_REMOVE, TRUE, m_lElemTyp == 0, kRightEdit);
    return hrFirst;
}

void CGruppenDlg::OnDestroy() {
    // The tree tells of its items only when they are deleted, not when it goes with the page.
    if (m_tree.GetSafeHwnd()) m_tree.DeleteAllItems();
    CKursChildDlg::OnDestroy();
}

void CGruppenDlg::OnDeleteitemTreeGruppen(NMHDR* pNMHDR, LRESULT* pResult) {
    auto* pNM = reinterpret_cast<NMTREEVIEWW*>(pNMHDR);
    delete reinterpret_cast<CElem*>(pNM->itemOld.lParam);
    pNM->itemOld.lParam = 0;
    *pResult = 0;
}

void CGruppenDlg::OnSelchangedTreeGruppen(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNM = reinterpret_cast<NMTREEVIEWW*>(pNMHDR);
    *pResult = 0;
    const auto* pElem = pNM->itemNew.hItem ? reinterpret_cast<const CElem*>(m_tree.GetItemData(pNM->itemNew.hItem))
                                           : nullptr;
    m_lElemTyp = pElem ? pElem->lElemTyp : -1;
    const HRESULT hr = LoadData();
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CGruppenDlg::OnSelchangedTreeGruppen", L"Default", __FILE__, __LINE__, 0);
}

void CGruppenDlg::OnItemchangedList(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    const auto* pNM = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    HRESULT hr = S_OK;
    if (IsSelectionGained(pNM)) hr = LoadData();
    if (SUCCEEDED(hr) && IsSelectionLost(pNM)) hr = LoadData();
    if (FAILED(hr))
        QvReportMsg(hr, CrackHR(hr), L"CGruppenDlg::OnItemchangedList", L"Default", __FILE__, __LINE__, 0);
}

void CGruppenDlg::OnLinkList(NMHDR* pNMHDR, LRESULT* pResult) { FollowKindPersonLink(pNMHDR, pResult, 1, 0); }

void CGruppenDlg::OnRadioAlle() {
    m_nRadio = 0;
    FillList();
}

void CGruppenDlg::OnRadioAngemeldet() {
    m_nRadio = 1;
    FillList();
}

// ---- the group operations

CGruppenDlg::CShownGroup CGruppenDlg::ShownGroup(HTREEITEM hItem) {
    CShownGroup group;
    const auto* pElem = hItem ? reinterpret_cast<const CElem*>(m_tree.GetItemData(hItem)) : nullptr;
    if (!pElem || pElem->lElemTyp != 1) return group;
    group.lGruppeID = pElem->lElemID;
    group.strBezeichnung = pElem->strBezeichnung;
    group.lMaxTeilnehmer = pElem->lMaxTeilnehmer;
    group.strLabel = m_tree.GetItemText(hItem);
    return group;
}

void CGruppenDlg::FollowTreeSelection() {
    const HTREEITEM hItem = m_tree.GetSelectedItem();
    const auto* pElem = hItem ? reinterpret_cast<const CElem*>(m_tree.GetItemData(hItem)) : nullptr;
    const long lElemTyp = pElem ? pElem->lElemTyp : -1;
    if (lElemTyp == m_lElemTyp) return;
    m_lElemTyp = lElemTyp;
    const HRESULT hr = LoadData();
    if (FAILED(hr)) QvReportMsg(hr, CrackHR(hr), L"CGruppenDlg::FillTree", L"Default", __FILE__, __LINE__, 0);
}

long CGruppenDlg::CreateGroup(CQvADOConnection& conn, long lKursinstanzID, const CString& strName,
                              long lMaxTeilnehmer, bool& bTaken) {
    bTaken = false;
    // The check and the insert are one unit: two users cannot both create the same name. The key
    // is drawn first: drawing it holds the key counter of the groups until the unit ends, so a
    // second creator waits there and then checks against the first one's committed group (a
    // database that lets readers pass a writer would otherwise let both insert).
    bool bOwnTrans = false;
    long hr = S_OK;
    if (!conn.IsInTransaction()) {
        hr = conn.BeginTrans();
        bOwnTrans = SUCCEEDED(hr);
        if (FAILED(hr)) GR_TRACEHR(hr);
    }
    long lNewID = 0;
    if (SUCCEEDED(hr)) hr = kurs::GetUniqueID(conn, L"KursinstanzGruppe", L"lKursinstanzGruppeID", lNewID);
    if (SUCCEEDED(hr)) {
        CQvADORecordset rs(&conn);
        BOOL bEOF = TRUE;
        CString strSQL;
        // Compared without blanks at the end, as SQL Server compares texts; PostgreSQL's = would count
        // them in a name another program stored.
        strSQL.Format(L"SELECT 1 FROM KursinstanzGruppe \t\t\t\tWHERE lKursinstanzID = %d AND rtrim(strBezeichnung) = rtrim('%s')",
                      lKursinstanzID, strName);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        bTaken = SUCCEEDED(hr) && !bEOF;
    }
    if (SUCCEEDED(hr) && !bTaken) {
        CString strSQL;
        strSQL.Format(L"INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lEinsatzGruppeID, "
                      L"strBezeichnung, lMaxTeilnehmer) \t        \t\t\t\t\t        VALUES (%d,                   %d,  "
                      L"           -1,               '%s',           %d)",
                      lNewID, lKursinstanzID, strName, lMaxTeilnehmer);
        hr = kurs::Execute(conn, strSQL);
    }
    if (bOwnTrans) {
        if (SUCCEEDED(hr) && !bTaken) {
            hr = conn.CommitTrans();
            if (FAILED(hr)) GR_TRACEHR(hr);
        }
        if (FAILED(hr) || bTaken) conn.RollbackTrans();
    }
    return hr;
}

long CGruppenDlg::WriteNewGroup(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                const CString& strName, long lMaxTeilnehmer, bool& bTaken) {
    CKursResourceScope scope;
    kurs::CKursTransaction unit(conn);
    long hr = unit.Begin();
    if (SUCCEEDED(hr)) hr = CreateGroup(conn, lKursinstanzID, strName, lMaxTeilnehmer, bTaken);
    if (SUCCEEDED(hr) && !bTaken) {
        CString strDetail;
        strDetail.Format(L"%s | MaxTeilnehmer: %d", strName, lMaxTeilnehmer);
        hr = WriteLog(0, IDS_LOG_GRUPPE_CREATED, strDetail, guidKursinstanz);
    }
    if (FAILED(hr)) GR_TRACEHR(hr);
    return unit.End(hr);
}

void CGruppenDlg::OnNewGroup() {
    CKursResourceScope scope;
    CGruppeBezDlg dlg(this);
    if (dlg.DoModal() != IDOK) return;
    CWaitCursor wait;
    const CString strName = QvSQLString(dlg.strBezeichnung, 254);
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    bool bTaken = false;
    if (SUCCEEDED(hr)) hr = WriteNewGroup(conn, lKursinstanzID, guidKursinstanz, strName, dlg.lMaxTeilnehmer, bTaken);
    if (SUCCEEDED(hr) && bTaken) {
        AfxMessageBox(IDS_GRUPPE_EXISTS, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    FillTree();
}

long CGruppenDlg::WriteGroupsFromTemplate(CQvADOConnection& conn, long lKursinstanzID,
                                          const CQvGUID& guidKursinstanz) {
    CKursResourceScope scope;
    kurs::CKursTransaction unit(conn);
    long hr = unit.Begin();
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"EXEC sp_CreateKursinstanzGruppeFromTemplate %d", lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) hr = WriteLog(0, IDS_LOG_GRUPPE_CREATED, L"aus Gruppenvorlage", guidKursinstanz);
    if (FAILED(hr)) GR_TRACEHR(hr);
    return unit.End(hr);
}

void CGruppenDlg::OnNewGroupsFromTemplate() {
    CKursResourceScope scope;
    CWaitCursor wait;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT 1 FROM KursinstanzGruppe \t\t\t\tWHERE lKursID = %d", lKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        rs.Close();
        if (SUCCEEDED(hr) && bEOF) {
            AfxMessageBox(IDS_GRUPPE_NO_TEMPLATE, MB_OK | MB_ICONINFORMATION);
            return;
        }
    }
    if (SUCCEEDED(hr)) hr = WriteGroupsFromTemplate(conn, lKursinstanzID, guidKursinstanz);
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    FillTree();
}

void CGruppenDlg::OnNewTemplate() {
    CKursResourceScope scope;
    CWaitCursor wait;
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    if (AfxMessageBox(IDS_GRUPPE_NEW_TEMPLATE, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"EXEC sp_CreateKursinstanzGruppeTemplate %d", lKursinstanzID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
}

long CGruppenDlg::WriteGroupEdit(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                 long lGruppeID, const CString& strRead, long lReadMax, const CString& strName,
                                 long lMaxTeilnehmer) {
    CKursResourceScope scope;
    kurs::CKursTransaction unit(conn);
    long hr = unit.Begin();
    long lAffected = 0;
    if (SUCCEEDED(hr)) {
        // Written over the group as it was read: one another user changed or deleted while the
        // dialog was open is left as it is.
        CString strSQL;
        strSQL.Format(L"UPDATE KursinstanzGruppe SET strBezeichnung = '%s', lMaxTeilnehmer = %d WHERE "
                      L"lKursinstanzGruppeID = %d AND lKursinstanzID = %d AND strBezeichnung = '%s' AND "
                      L"lMaxTeilnehmer = %d",
                      QvSQLString(strName, 254), lMaxTeilnehmer, lGruppeID, lKursinstanzID, QvSQLString(strRead, 0),
                      lReadMax);
        hr = kurs::Execute(conn, strSQL, &lAffected);
    }
    if (SUCCEEDED(hr) && lAffected == 0) return EndUnchanged(unit);
    if (SUCCEEDED(hr)) {
        CString strDetail;
        strDetail.Format(L"%s | MaxTeilnehmer: %d", QvSQLString(strName, 254), lMaxTeilnehmer);
        hr = WriteLog(1, IDS_LOG_GRUPPE_UPDATED, strDetail, guidKursinstanz);
    }
    if (FAILED(hr)) GR_TRACEHR(hr);
    return unit.End(hr);
}

void CGruppenDlg::OnEditGroup() {
    CKursResourceScope scope;
    long lGruppeID = 0;
    CString strLabel;
    long hr = GetSelectedGruppe(lGruppeID, strLabel);
    if (hr == S_FALSE) return;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    CGruppeBezDlg dlg(this);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT lKursinstanzGruppeID, strBezeichnung, lMaxTeilnehmer \t\t\t\tFROM KursinstanzGruppe "
                      L"\t\t\t\tWHERE lKursinstanzGruppeID = %d AND lKursinstanzID = %d",
                      lGruppeID, lKursinstanzID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"strBezeichnung", &dlg.strBezeichnung);
        if (SUCCEEDED(hr) && !bEOF) hr = rs.GetFieldValue(L"lMaxTeilnehmer", &dlg.lMaxTeilnehmer);
        rs.Close();
    }
    bool bGone = SUCCEEDED(hr) && bEOF;
    if (SUCCEEDED(hr) && !bGone) {
        const CString strRead = dlg.strBezeichnung;
        const long lReadMax = dlg.lMaxTeilnehmer;
        if (dlg.DoModal() != IDOK) return;
        hr = WriteGroupEdit(conn, lKursinstanzID, guidKursinstanz, lGruppeID, strRead, lReadMax, dlg.strBezeichnung,
                            dlg.lMaxTeilnehmer);
        bGone = hr == S_FALSE;
    }
    if (bGone) {
        TellGroupChanged();
        FillList();
        FillTree();
        return;
    }
    if (SUCCEEDED(hr)) hr = FillTree();
    if (FAILED(hr)) {
        GR_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
}

long CGruppenDlg::WriteGroupDeletion(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                     const CShownGroup& group) {
    CKursResourceScope scope;
    // The group goes first, so that nobody can put a registration into it meanwhile; its members
    // go back among the persons without a group.
    kurs::CKursTransaction unit(conn);
    long hr = unit.Begin();
    long lAffected = 0;
    CString strSQL;
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"DELETE KursinstanzGruppe \t\t\t\tWHERE %s", ShownGroupRow(lKursinstanzID, group));
        hr = kurs::Execute(conn, strSQL, &lAffected);
    }
    if (SUCCEEDED(hr) && lAffected == 0) return EndUnchanged(unit);
    if (SUCCEEDED(hr)) {
        strSQL.Format(L"UPDATE PersonKurs SET lKursinstanzGruppeID = -1 WHERE lKursinstanzGruppeID = %d",
                      group.lGruppeID);
        hr = kurs::Execute(conn, strSQL);
    }
    if (SUCCEEDED(hr)) hr = WriteLog(2, IDS_LOG_GRUPPE_DELETED, group.strLabel, guidKursinstanz);
    if (FAILED(hr)) GR_TRACEHR(hr);
    return unit.End(hr);
}

void CGruppenDlg::OnDeleteGroup() {
    CKursResourceScope scope;
    long lGruppeID = 0;
    CString strLabel;
    const long hrSel = GetSelectedGruppe(lGruppeID, strLabel);
    if (hrSel == S_FALSE) return;
    const CShownGroup group = ShownGroup(m_tree.GetSelectedItem());
    if (AfxMessageBox(IDS_DATEN_LOESCHEN, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    if (hrSel == S_OK) {
        CQvADOConnection conn;
        long hr = kurs::OpenConnection(conn);
        if (SUCCEEDED(hr)) hr = WriteGroupDeletion(conn, lKursinstanzID, guidKursinstanz, group);
        if (FAILED(hr)) {
            GR_TRACEHR(hr);
            KURS_REPORTDBERROR(conn, hr);
        } else if (hr == S_FALSE) {
            TellGroupChanged();
        }
    }
    FillList();
    FillTree();
}

long CGruppenDlg::GroupRegistration(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                    const CShownGroup& group, long lPersonKursID, long lPersonID,
                                    long lShownStatus) {
    CKursResourceScope scope;
    // Only as the list shows the registration: in this run, in no group, with its status and person.
    kurs::ShownRegistration shown = kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lPersonID);
    shown.lGruppeID = -1;
    CString strDetail;
    strDetail.Format(L"%s | Person '%s' hinzugefügt", group.strLabel, NQ_GetPersonBezeichnung(lPersonID, CString()));
    return Regroup(conn, lKursinstanzID, guidKursinstanz, group, shown, group.lGruppeID, 0, strDetail);
}

void CGruppenDlg::OnAddToGroup() {
    CKursResourceScope scope;
    CQvListItemArray items;
    m_list.QvGetSelListItemArray(items);
    if (items.GetSize() == 0) return;
    long lGruppeID = 0;
    CString strLabel;
    if (GetSelectedGruppe(lGruppeID, strLabel) != S_OK) return;
    const CShownGroup group = ShownGroup(m_tree.GetSelectedItem());
    CQvADOConnection conn;
    long hr = kurs::OpenConnection(conn);
    for (int i = 0; i < items.GetSize() && SUCCEEDED(hr); ++i) {
        long lPersonID = 0, lShown = -1, lPersonKursID = 0;
        items[i]->GetParam(0, &lPersonID);
        items[i]->GetParam(1, &lShown);
        items[i]->GetParam(3, &lPersonKursID);
        hr = GroupRegistration(conn, lKursinstanzID, guidKursinstanz, group, lPersonKursID, lPersonID, lShown);
        // A group deleted or changed meanwhile takes nobody.
        if (hr == S_FALSE) {
            TellGroupChanged();
            break;
        }
        // A registration moved, grouped or changed meanwhile is left as it is (the user has been
        // told); the rows after it are tried.
        if (hr == E_ABORT) hr = S_OK;
    }
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    FillList();
    FillTree();
}

long CGruppenDlg::UngroupRegistration(CQvADOConnection& conn, long lKursinstanzID, const CQvGUID& guidKursinstanz,
                                      const CShownGroup& group, const CString& strMember, long lPersonKursID,
                                      long lPersonID, long lShownStatus) {
    CKursResourceScope scope;
    // Only the registration the tree shows, out of the group it shows it in, with its status and
    // person.
    kurs::ShownRegistration shown = kurs::Shown(lPersonKursID, lKursinstanzID, lShownStatus, lPersonID);
    shown.lGruppeID = group.lGruppeID;
    shown.strGruppe = group.strBezeichnung;
    CString strDetail;
    strDetail.Format(L"%s | Person '%s' entfernt", group.strLabel, strMember);
    return Regroup(conn, lKursinstanzID, guidKursinstanz, group, shown, -1, 2, strDetail);
}

void CGruppenDlg::OnRemoveFromGroup() {
    CKursResourceScope scope;
    const HTREEITEM hItem = m_tree.GetSelectedItem();
    if (!hItem) return;
    const auto* pElem = reinterpret_cast<const CElem*>(m_tree.GetItemData(hItem));
    if (pElem && pElem->lElemTyp == 1) return;
    if (pElem) {
        const CShownGroup group = ShownGroup(m_tree.GetParentItem(hItem));
        CQvADOConnection conn;
        long hr = kurs::OpenConnection(conn);
        if (SUCCEEDED(hr))
            hr = UngroupRegistration(conn, lKursinstanzID, guidKursinstanz, group, m_tree.GetItemText(hItem),
                                     pElem->lPersonKursID, pElem->lElemID, pElem->lStatus);
        if (FAILED(hr) && hr != E_ABORT) KURS_REPORTDBERROR(conn, hr);
        else if (hr == S_FALSE) TellGroupChanged();
    }
    FillList();
    FillTree();
}
