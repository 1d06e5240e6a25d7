#pragma once
// CSearchPopupDlg: the modal "find a record" window. The caller names the table by its id; the
// popup embeds that table's search and closes with IDOK only when something was chosen, after
// which the caller reads the chosen ids.
#include "nqpopupdialog.h"
#include "qvlayout.h"
#include "searchdlg.h"
#include "searchtabdlg.h"

#include <memory>

class CSearchPopupDlg : public CNQPopupDialog {
    DECLARE_DYNAMIC(CSearchPopupDlg)
public:
    CSearchPopupDlg(long lTableID, CString strListName, long nTabPages = 0, long nTabStart = 0,
                    CWnd* pParent = nullptr);
    ~CSearchPopupDlg() override;

    void SetJoinAndWhere(CString strJoin, CString strWhere);
    void SetSecMandantTableID(CString strTableID);
    // The chosen ids after DoModal returned IDOK; null without an embedded search.
    std::vector<long>* GetResultIDs();

    BOOL OnInitDialog() override;
    void OnOK() override;

    long m_lTableID;
    long m_nTabPages;
    long m_nTabStart;
    BOOL m_bMultiSelect = FALSE;
    BOOL m_bShowMenu = FALSE;
    BOOL m_bApplyMandantFilter = FALSE;
    CSearchDlg* m_pSearchDlg = nullptr;
    CSearchTabDlg* m_pSearchTabDlg = nullptr;
    CString m_strJoin;
    CString m_strWhere;
    CString m_strSecTableID;
    CString m_strListName;
    DWORD m_dwRightMask = 1;
    CQvLayoutFactory m_Layout;

protected:
    afx_msg void OnDestroy();
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnMove(int x, int y);
    DECLARE_MESSAGE_MAP()

private:
    CSearchDlg* CreateSearch();
    void PlaceChild();
};
