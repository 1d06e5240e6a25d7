#pragma once
// CSearchTabDlg: the multi-select person picker of the search popup: up to three pages (the
// person search, the organisation tree, the persons of the work plans of an activity) whose
// checked persons are merged into one list of ids without duplicates.
#include "organisationtreectrl.h"
#include "qvdialog.h"
#include "qvlayout.h"
#include "qvtabctrl.h"
#include "searchpersonarbeitsplandlg.h"

#include <vector>

class CSearchPersonDlg;

class CSearchTabDlg : public CQvDialog {
    DECLARE_DYNAMIC(CSearchTabDlg)
public:
    CSearchTabDlg(CString strListName, CWnd* pParent = nullptr);
    ~CSearchTabDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    // Fills the result lists from every page.
    void CollectResults();

    CQvTabCtrl m_tabCtrl;
    CSearchPersonDlg* m_pPersonDlg = nullptr;
    COrganisationTreeCtrl m_treeOrg;
    CSearchPersonArbeitsplanDlg m_dlgArbeitsplan;
    CWnd* m_pHost = nullptr;
    long m_lTableID = 0;
    long m_nTabPages = 0;
    long m_nTabStart = 0;
    BOOL m_bApplyMandantFilter = FALSE;
    BOOL m_bEmbedded = FALSE;
    CString m_strJoin;
    CString m_strWhere;
    CString m_strSecTableID;
    CString m_strListName;
    DWORD m_dwRightMask = 1;
    BYTE m_bTreeNotLoaded = 1;
    std::vector<long> m_arSelectedIDs;
    std::vector<long> m_arCheckedIDs;
    std::vector<long> m_arCheckedOther;
    CQvLayoutFactory m_Layout;
    int m_nPersonPage = -99;
    int m_nTreePage = -99;
    int m_nArbeitsplanPage = -99;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    afx_msg LRESULT OnChangeActiveTab(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    void CreatePages();
    void ActivatePage(int nPage);
    CString PersonSource() const;
};
