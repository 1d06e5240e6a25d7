#include "searchpopupdlg.h"

#include "nqsearchcalls.h"
#include "optionserver.h"
#include "searchabrechnungdlg.h"
#include "searchagendadlg.h"
#include "searcharbeitsplandlg.h"
#include "searchareadlg.h"
#include "searchartikeldlg.h"
#include "searchcontactdlg.h"
#include "searchdevicedlg.h"
#include "searchdokumentdlg.h"
#include "searcheinsatzdlg.h"
#include "searchgemeindedlg.h"
#include "searchgruppedlg.h"
#include "searchkursdlg.h"
#include "searchmandantdlg.h"
#include "searchpersondlg.h"
#include "searchres.h"
#include "searchresource.h"
#include "searchwartungsplandlg.h"

IMPLEMENT_DYNAMIC(CSearchPopupDlg, CNQPopupDialog)

BEGIN_MESSAGE_MAP(CSearchPopupDlg, CNQPopupDialog)
    ON_WM_DESTROY()
    ON_WM_SIZE()
    ON_WM_MOVE()
END_MESSAGE_MAP()

CSearchPopupDlg::CSearchPopupDlg(long lTableID, CString strListName, long nTabPages, long nTabStart, CWnd* pParent)
    : CNQPopupDialog(IDD_SEARCHPOPUP, pParent),
      m_lTableID(lTableID),
      m_nTabPages(nTabPages),
      m_nTabStart(nTabStart),
      m_strListName(strListName) {
    COptionServer opt;
    opt.GetOption(-1000, L"ApplyMandantFilterOnAddItems", &m_bApplyMandantFilter, 1, 0);
}

CSearchPopupDlg::~CSearchPopupDlg() {
    delete m_pSearchDlg;
    delete m_pSearchTabDlg;
}

void CSearchPopupDlg::SetJoinAndWhere(CString strJoin, CString strWhere) {
    m_strJoin = strJoin;
    m_strWhere = strWhere;
}

void CSearchPopupDlg::SetSecMandantTableID(CString strTableID) { m_strSecTableID = strTableID; }

std::vector<long>* CSearchPopupDlg::GetResultIDs() {
    // With check boxes the user's choice is the checked rows, not the one that has the focus; a
    // search of runs answers the runs, which its rows keep beside their course.
    if (m_pSearchTabDlg) return m_bMultiSelect ? &m_pSearchTabDlg->m_arCheckedIDs : &m_pSearchTabDlg->m_arSelectedIDs;
    if (!m_pSearchDlg) return nullptr;
    if (m_bMultiSelect) return &m_pSearchDlg->m_arCheckedIDs;
    if (m_lTableID == 39 && m_strSecTableID.CompareNoCase(L"onlyInstanz") == 0) return &m_pSearchDlg->m_arSelectedIDs2;
    return &m_pSearchDlg->m_arSelectedIDs;
}

CSearchDlg* CSearchPopupDlg::CreateSearch() {
    const CString strSuffix = CString(L"Popup") + m_strListName;
    if (m_lTableID < 4 || m_lTableID > 196) return nullptr;
    switch (m_lTableID) {
    case 4: {
        if (m_bMultiSelect && m_nTabPages != -1) return nullptr;  // the search tab
        auto* pDlg = new CSearchPersonDlg(strSuffix, this);
        pDlg->m_clrFemale = 0;
        return pDlg;
    }
    case 39: {
        auto* pDlg = new CSearchKursDlg(CString(L"\\SearchKursList_") + strSuffix, this);
        pDlg->m_strKanton = NQ_GetActKanton();
        return pDlg;
    }
    case 45: {
        auto* pDlg = new CSearchMandantDlg(CString(L"\\SearchMandantList_") + strSuffix, this);
        pDlg->m_lPreselectMandantID = 0;
        return pDlg;
    }
    case 6: return new CSearchEinsatzDlg(CString(L"\\SearchEinsatzList_") + strSuffix, this);
    case 7: return new CSearchAgendaDlg(CString(L"\\SearchAgendaList_") + strSuffix, this);
    case 20: return new CSearchArtikelDlg(CString(L"\\SearchArtikelList_") + strSuffix, this);
    case 33: return new CSearchGruppeDlg(CString(L"\\SearchGruppeList_") + strSuffix, this);
    case 54: return new CSearchWartungsplanDlg(CString(L"\\SearchWartungsplanList_") + strSuffix, this);
    case 57: return new CSearchDeviceDlg(CString(L"\\SearchDeviceList_") + strSuffix, this);
    case 70: return new CSearchDokumentDlg(CString(L"\\SearchDokumentList_") + strSuffix, this);
    case 71: return new CSearchContactDlg(CString(L"\\SearchContactList_") + strSuffix, this);
    case 122: return new CSearchAbrechnungDlg(CString(L"\\SearchAbrechnungList_") + strSuffix, this);
    case 149: return new CSearchArbeitsplanDlg(CString(L"\\SearchArbeitsplanList_") + strSuffix, this);
    case 193: return new CSearchGemeindeDlg(CString(L"\\SearchGemeindeList_") + strSuffix, this);
    case 196: return new CSearchAreaDlg(CString(L"\\SearchAreaList_") + strSuffix, this);
    default: return nullptr;
    }
}

BOOL CSearchPopupDlg::OnInitDialog() {
    CSearchResourceScope scope;
    CNQPopupDialog::OnInitDialog();
    m_btnHelp.AttachButton(IDC_SEARCH_HELP, this);
    m_btnHelp.SetHelpTopic(L"HELP_GENERAL_SEARCH");

    m_pSearchDlg = CreateSearch();
    if (m_lTableID == 4 && m_bMultiSelect && m_nTabPages != -1) {
        m_pSearchTabDlg = new CSearchTabDlg(CString(L"Popup") + m_strListName, this);
        m_pSearchTabDlg->m_lTableID = m_lTableID;
        m_pSearchTabDlg->m_nTabPages = m_nTabPages;
        m_pSearchTabDlg->m_nTabStart = m_nTabStart;
        m_pSearchTabDlg->m_strJoin = m_strJoin;
        m_pSearchTabDlg->m_strWhere = m_strWhere;
        m_pSearchTabDlg->m_dwRightMask = m_dwRightMask;
        m_pSearchTabDlg->m_strSecTableID = m_strSecTableID;
        m_pSearchTabDlg->m_bEmbedded = TRUE;
        m_pSearchTabDlg->m_bApplyMandantFilter = m_bApplyMandantFilter;
        m_pSearchTabDlg->m_pHost = this;
        if (m_pSearchTabDlg->Create(IDD_SEARCHTAB, this))
            m_pSearchTabDlg->SetWindowPos(GetDlgItem(IDC_SEARCH_PLACEHOLDER), 0, 0, 0, 0,
                                          SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    }
    if (m_pSearchDlg) {
        m_pSearchDlg->m_bMultiSelect = m_bMultiSelect;
        m_pSearchDlg->AddFilter(m_strJoin, m_strWhere);
        m_pSearchDlg->m_dwRightMask = m_dwRightMask;
        m_pSearchDlg->m_strSecTableID = m_strSecTableID;
        m_pSearchDlg->m_bEmbedded = TRUE;
        m_pSearchDlg->m_bApplyMandantFilter = m_bApplyMandantFilter;
        m_pSearchDlg->m_pHost = this;
        m_pSearchDlg->m_bShowMenu = m_bShowMenu;
        if (m_pSearchDlg->Create(IDD_SEARCH, this)) {
            m_pSearchDlg->SetWindowPos(GetDlgItem(IDC_SEARCH_PLACEHOLDER), 0, 0, 0, 0,
                                       SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
        }
    }

    // The button row stays at the bottom: help at the left, OK and Abbrechen at the right.
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    m_Layout.CreateWindowNode(root, IDC_SEARCH_HELP)->Attach(eQvBottom, root, eQvBottom, -7)->KeepSize();
    m_Layout.CreateWindowNode(root, IDOK)
        ->Attach(eQvBottom, root, eQvBottom, -7)
        ->Attach(eQvRight, root, eQvRight, -90)
        ->KeepSize();
    m_Layout.CreateWindowNode(root, IDCANCEL)
        ->Attach(eQvBottom, root, eQvBottom, -7)
        ->Attach(eQvRight, root, eQvRight, -7)
        ->KeepSize();
    m_Layout.CreateLayoutListener(this, root, L"Software\\Qovaro\\NQ2\\Common\\CSearchPopupDlg");
    PlaceChild();
    // The user types at once: the search text, or the first control of the shown page, has the
    // focus, not the first button of the popup.
    CWnd* pFirst = nullptr;
    if (m_pSearchDlg && m_pSearchDlg->m_hWnd) {
        pFirst = &m_pSearchDlg->m_edtSearch;
    } else if (m_pSearchTabDlg && m_pSearchTabDlg->m_hWnd) {
        CWnd* pPage = m_pSearchTabDlg->m_tabCtrl.GetActiveWnd();
        if (pPage && pPage == m_pSearchTabDlg->m_pPersonDlg) pFirst = &m_pSearchTabDlg->m_pPersonDlg->m_edtSearch;
        else if (pPage == &m_pSearchTabDlg->m_dlgArbeitsplan) pFirst = &m_pSearchTabDlg->m_dlgArbeitsplan.m_lstArbeitsplan;
        else pFirst = pPage;
    }
    if (!pFirst || !pFirst->m_hWnd) return TRUE;
    pFirst->SetFocus();
    return FALSE;
}

void CSearchPopupDlg::PlaceChild() {
    CWnd* pChild = m_pSearchDlg ? static_cast<CWnd*>(m_pSearchDlg) : m_pSearchTabDlg;
    if (!pChild || !pChild->m_hWnd) return;
    CRect rc;
    GetClientRect(&rc);
    rc.left += 5;
    rc.top += 5;
    rc.right -= 5;
    rc.bottom -= 45;
    pChild->MoveWindow(&rc, TRUE);
}

void CSearchPopupDlg::OnSize(UINT nType, int cx, int cy) {
    CNQPopupDialog::OnSize(nType, cx, cy);
    PlaceChild();
}

void CSearchPopupDlg::OnMove(int x, int y) {
    CNQPopupDialog::OnMove(x, y);
    PlaceChild();
}

void CSearchPopupDlg::OnOK() {
    if (m_pSearchTabDlg) {
        m_pSearchTabDlg->CollectResults();
        if (!m_bMultiSelect || !m_pSearchTabDlg->m_arCheckedIDs.empty()) CNQPopupDialog::OnOK();
        return;
    }
    if (!m_pSearchDlg) return;
    m_pSearchDlg->CollectSelection();
    const std::size_t nChosen =
        m_bMultiSelect ? m_pSearchDlg->m_arCheckedIDs.size() : m_pSearchDlg->m_arSelectedIDs.size();
    if (nChosen > 0) CNQPopupDialog::OnOK();
}

void CSearchPopupDlg::OnDestroy() {
    if (m_pSearchDlg && m_pSearchDlg->m_hWnd) m_pSearchDlg->DestroyWindow();
    if (m_pSearchTabDlg && m_pSearchTabDlg->m_hWnd) m_pSearchTabDlg->DestroyWindow();
    CNQPopupDialog::OnDestroy();
}
