#pragma once
// CNavigateDlg: the back and forward buttons of a record view's header, stepping through the
// platform's history of shown records.
#include "qvbuttons.h"
#include "qvdialog.h"
#include "qvlayout.h"

class CParentDlg;

enum : UINT {
    IDD_NQ_NAVIGATEDLG = 11204,
    IDC_NQ_NAV_BACK = 11112,
    IDC_NQ_NAV_FORWARD = 11113,
    IDB_NQ_NAV_FORWARD = 11493,
    IDB_NQ_NAV_BACK = 11494,
    IDS_NQ_NAV_BACK = 10661,
    IDS_NQ_NAV_FORWARD = 10662,
};

class CNavigateDlg : public CQvDialog {
    DECLARE_DYNAMIC(CNavigateDlg)
public:
    CNavigateDlg();

    BOOL OnInitDialog() override;
    virtual HRESULT InitControls(CParentDlg* pParentDlg, UINT nPlaceholderID);

    CQvBitmapButton m_btnBack, m_btnForward;
    CParentDlg* m_pParentDlg = nullptr;
    CQvLayoutFactory m_layout;

protected:
    afx_msg void OnBnBack();
    afx_msg void OnBnForward();
    DECLARE_MESSAGE_MAP()
};

namespace qv::nq {
// Creates a header bar from its template as a child of the parent dialog, in the parent's
// background colour, over the parent's placeholder control.
BOOL CreateHeaderBar(CQvDialog& bar, UINT nTemplateID, CParentDlg* pParentDlg, UINT nPlaceholderID);
}  // namespace qv::nq
