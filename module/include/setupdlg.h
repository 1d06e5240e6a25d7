#pragma once
// CSetupDlg: the base of a module's settings page in the host's settings window. The page takes a
// record lock on the row it edits at the user's first change, scrolls when its content is taller
// than its area, and opens its help with F1.
#include "dlgscrollhelper.h"
#include "lockdbrecord.h"
#include "qvbuttons.h"
#include "qveventsource.h"
#include "qvfsetupdlg.h"
#include "qvlayout.h"

enum : UINT {
    IDS_NQ_SETUP_LOCKED = 10204,
    IDS_NQ_SETUP_CHANGED = 10206,
};

class CSetupDlg : public CQvFSetupDlg {
    DECLARE_DYNAMIC(CSetupDlg)
public:
    CSetupDlg(UINT nTemplateID, CWnd* pParent = nullptr);
    ~CSetupDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // eRecordEditing when the page may change the row; otherwise the result of reloading the
    // page's stored values over the change.
    long Lock(long lID, CString strTable, CString strIDColumn);
    HRESULT ShowView(BOOL bShow) override;

    CQvHelpButton m_btnHelp;
    CQvEventSource m_EventSource;
    CLockDbRecord m_lock;
    CQvLayoutFactory m_layout;
    CDlgScrollHelper* m_pScrollHelper = nullptr;
    int m_nDisplayHeight = -1;
    // The values the page showed when it was loaded.
    CString m_strLoadedState;

protected:
    afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    DECLARE_MESSAGE_MAP()
};

namespace qv::nq {
// The settings pages' background: the button face darkened by 20 in each channel, stopping at 0.
COLORREF SetupBackgroundColor(COLORREF crFace);
}  // namespace qv::nq
