#include "searchtabdlg.h"

#include "nqcommon.h"
#include "optionserver.h"
#include "qvsec.h"
#include "searchpersondlg.h"
#include "searchres.h"
#include "searchresource.h"

#include <algorithm>

namespace {
const wchar_t kTreeFunction[] = L"CEE77DFE-AA1F-4CE7-9903-3BC6D2448E7F";
const wchar_t kArbeitsplanFunction[] = L"2D41ACEA-EF7C-415A-A641-9DB9649A385C";
// Seeing the persons of every Mandant.
const wchar_t kPersonFunction[] = L"9FFF9726-D906-4CE0-A627-93B93874A509";
const UINT kTabCtrlID = 11459;

DWORD Rights(const wchar_t* function) {
    CQvSec sec;
    sec.LoadRights(CQvGUID(function));
    return sec.GetRights();
}

long UserID() {
    CQvSec sec;
    CString strName, strUserID;
    long lUserID = 0;
    sec.GetUser(&strName, &strUserID, &lUserID);
    return lUserID;
}

void AppendNew(std::vector<long>& to, long lID) {
    if (std::find(to.begin(), to.end(), lID) == to.end()) to.push_back(lID);
}
}  // namespace

IMPLEMENT_DYNAMIC(CSearchTabDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CSearchTabDlg, CQvDialog)
    ON_REGISTERED_MESSAGE(AFX_WM_CHANGE_ACTIVE_TAB, &CSearchTabDlg::OnChangeActiveTab)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CSearchTabDlg::CSearchTabDlg(CString strListName, CWnd* pParent)
    : CQvDialog(IDD_SEARCHTAB, pParent), m_dlgArbeitsplan(strListName), m_strListName(strListName) {
    COptionServer opt;
    opt.GetOption(-1000, L"ApplyMandantFilterOnAddItems", &m_bApplyMandantFilter, 1, 0);
    m_treeOrg.AddElementMask(0x848F, nullptr);
}

CSearchTabDlg::~CSearchTabDlg() { delete m_pPersonDlg; }

void CSearchTabDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SEARCH_ORGTREE, m_treeOrg);
}

BOOL CSearchTabDlg::OnInitDialog() {
    CSearchResourceScope scope;
    CQvDialog::OnInitDialog();
    CreatePages();
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    m_Layout.CreateWindowNode(root, &m_tabCtrl)
        ->Attach(eQvLeft, root, eQvLeft, 0)
        ->Attach(eQvTop, root, eQvTop, 0)
        ->Attach(eQvRight, root, eQvRight, 0)
        ->Attach(eQvBottom, root, eQvBottom, 0);
    m_Layout.CreateLayoutListener(this, root);
    UpdateData(FALSE);
    return TRUE;
}

void CSearchTabDlg::CreatePages() {
    m_tabCtrl.Create(CRect(0, 0, 50, 30), this, kTabCtrlID);
    m_treeOrg.ShowWindow(SW_HIDE);
    if (m_lTableID == 4) {
        m_pPersonDlg = new CSearchPersonDlg(m_strListName, this);
        if (m_nTabPages == 0) {
            m_nTabPages = 3;
            m_nTabStart = 1;
        }
    }
    if ((m_nTabPages & 1) && m_pPersonDlg) {
        m_pPersonDlg->m_pHost = m_pHost;
        m_pPersonDlg->m_bMultiSelect = TRUE;
        m_pPersonDlg->AddFilter(m_strJoin, m_strWhere);
        m_pPersonDlg->m_dwRightMask = m_dwRightMask;
        if (m_bEmbedded) {
            m_pPersonDlg->m_bEmbedded = TRUE;
            m_pPersonDlg->m_bApplyMandantFilter = m_bApplyMandantFilter;
        }
        if (m_pPersonDlg->Create(IDD_SEARCH, &m_tabCtrl)) {
            m_nPersonPage = m_tabCtrl.GetTabsNum();
            m_tabCtrl.AddTab(m_pPersonDlg, SearchLoadString(IDS_SEARCH_TAB_PERSON));
        }
    } else {
        delete m_pPersonDlg;
        m_pPersonDlg = nullptr;
    }
    // The tree and the work plans offer only the persons the person page may list.
    const CString strPersons = (m_nTabPages & 6) ? PersonSource() : CString();
    if ((m_nTabPages & 2) && CQvSec::HasAllRights(1, Rights(kTreeFunction))) {
        m_treeOrg.SetPersonSource(strPersons);
        m_treeOrg.ShowWindow(SW_SHOW);
        m_treeOrg.SetParent(&m_tabCtrl);
        m_nTreePage = m_tabCtrl.GetTabsNum();
        m_tabCtrl.AddTab(&m_treeOrg, SearchLoadString(IDS_SEARCH_TAB_ORGANISATION));
    }
    if ((m_nTabPages & 4) && CQvSec::HasAllRights(1, Rights(kArbeitsplanFunction))) {
        m_dlgArbeitsplan.m_strEinsatzID = m_strSecTableID;
        m_dlgArbeitsplan.m_strPersonSource = strPersons;
        if (m_dlgArbeitsplan.Create(IDD_SEARCHPERSONARBEITSPLAN, &m_tabCtrl)) {
            m_nArbeitsplanPage = m_tabCtrl.GetTabsNum();
            m_tabCtrl.AddTab(&m_dlgArbeitsplan, SearchLoadString(IDS_SEARCH_TAB_ARBEITSPLAN));
        }
    }
    int nFirst = -1;
    if ((m_nTabStart & 1) && m_nPersonPage >= 0) nFirst = m_nPersonPage;
    else if ((m_nTabStart & 2) && m_nTreePage >= 0) nFirst = m_nTreePage;
    else if ((m_nTabStart & 4) && m_nArbeitsplanPage >= 0) nFirst = m_nArbeitsplanPage;
    else if (m_tabCtrl.GetTabsNum() > 1) nFirst = 0;
    if (nFirst >= 0 && nFirst != m_tabCtrl.GetActiveTab()) m_tabCtrl.SetActiveTab(nFirst);
    else ActivatePage(m_tabCtrl.GetActiveTab());
}

// The persons of the person page's statement: the caller's join and condition, the user's rights
// on persons and the Mandant filter, as "FROM ... WHERE ..." over view_PersonSmall vp.
CString CSearchTabDlg::PersonSource() const {
    DWORD dwMask = m_dwRightMask;
    if (dwMask == 0 && !CQvSec::HasAllRights(1, Rights(kPersonFunction))) dwMask = 1;
    CString strSource = L"FROM view_PersonSmall vp JOIN Mandant ON vp.lMandantID = Mandant.lMandantID ";
    if (dwMask != 0)
        strSource.AppendFormat(L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d "
                               L"AND sm.lTableID = 4 AND sm.lRight & %lu = %lu ",
                               UserID(), static_cast<unsigned long>(dwMask), static_cast<unsigned long>(dwMask));
    if (!m_strJoin.IsEmpty()) strSource += m_strJoin + L" ";
    strSource += L"WHERE ";
    if (!m_strWhere.IsEmpty()) strSource += m_strWhere + L" AND ";
    long lActMandantID = 0;
    NQ_GetActMandantID(lActMandantID);
    if (m_bApplyMandantFilter && lActMandantID != 0) strSource.AppendFormat(L"vp.lMandantID = %d", lActMandantID);
    else strSource += L"Mandant.fActive = 1";
    return strSource;
}

LRESULT CSearchTabDlg::OnChangeActiveTab(WPARAM wParam, LPARAM) {
    const int nPage = int(wParam);
    if (nPage == m_nTreePage || nPage == m_nArbeitsplanPage) {
        const DWORD dwRights = Rights(nPage == m_nTreePage ? kTreeFunction : kArbeitsplanFunction);
        if (LONG(dwRights) <= 0) {
            m_tabCtrl.SetActiveTab(0);
            return 0;
        }
    }
    ActivatePage(nPage);
    return 1;
}

void CSearchTabDlg::ActivatePage(int nPage) {
    if (nPage < 0) return;
    if (m_pPersonDlg && m_pPersonDlg->m_hWnd) m_pPersonDlg->ShowWindow(nPage == m_nPersonPage ? SW_SHOW : SW_HIDE);
    if (m_treeOrg.m_hWnd) m_treeOrg.ShowWindow(nPage == m_nTreePage ? SW_SHOW : SW_HIDE);
    if (m_dlgArbeitsplan.m_hWnd) m_dlgArbeitsplan.ShowWindow(nPage == m_nArbeitsplanPage ? SW_SHOW : SW_HIDE);
    if (nPage == m_nTreePage && m_bTreeNotLoaded) {
        // The tree is loaded when its page is first shown.
        if (SUCCEEDED(m_treeOrg.StartThread())) m_treeOrg.LoadTree(-1, 0xFFFF0000, 0, 1);
        m_bTreeNotLoaded = 0;
    }
}

void CSearchTabDlg::CollectResults() {
    // Each OK collects anew; the tree's other ids are moved out of the tree and gathered.
    m_arSelectedIDs.clear();
    m_arCheckedIDs.clear();
    if (m_pPersonDlg) {
        m_pPersonDlg->CollectSelection();
        m_arSelectedIDs.insert(m_arSelectedIDs.end(), m_pPersonDlg->m_arSelectedIDs.begin(),
                               m_pPersonDlg->m_arSelectedIDs.end());
        m_arCheckedIDs.insert(m_arCheckedIDs.end(), m_pPersonDlg->m_arCheckedIDs.begin(),
                              m_pPersonDlg->m_arCheckedIDs.end());
    }
    if (m_treeOrg.m_hWnd) {
        m_arCheckedOther.insert(m_arCheckedOther.end(), m_treeOrg.m_arCheckedOtherIDs.begin(),
                                m_treeOrg.m_arCheckedOtherIDs.end());
        m_treeOrg.m_arCheckedOtherIDs.clear();
        for (long lID : m_treeOrg.m_arCheckedIDs) AppendNew(m_arCheckedIDs, lID);
    }
    if (m_dlgArbeitsplan.m_hWnd) {
        for (int i = 0; i < m_dlgArbeitsplan.m_lstPerson.GetVisibleItemCount(); ++i) {
            if (m_dlgArbeitsplan.m_lstPerson.QvGetCheck(i) != 1) continue;
            long lID = 0;
            if (CQvListItem* pItem = m_dlgArbeitsplan.m_lstPerson.QvGetVisibleListItem(i); pItem && pItem->GetParam(0, &lID))
                m_dlgArbeitsplan.m_arPersonIDs.push_back(lID);
        }
        for (long lID : m_dlgArbeitsplan.m_arPersonIDs) AppendNew(m_arCheckedIDs, lID);
    }
}

void CSearchTabDlg::OnOK() {
    if (m_pHost) m_pHost->SendMessage(WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(m_pHost->m_hWnd));
}

void CSearchTabDlg::OnCancel() {
    if (m_pHost) m_pHost->SendMessage(WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(m_pHost->m_hWnd));
}

void CSearchTabDlg::OnDestroy() {
    m_treeOrg.Shutdown();
    m_tabCtrl.RemoveAllTabs();
    if (m_pPersonDlg) {
        if (m_pPersonDlg->m_hWnd) m_pPersonDlg->DestroyWindow();
        delete m_pPersonDlg;
        m_pPersonDlg = nullptr;
    }
    CQvDialog::OnDestroy();
}
