#pragma once
// CSetupDlg: the base of a module's page in the host's settings window. On top of the pool's
// settings page it gives the page a darker background, F1 help, vertical scrolling for pages
// taller than their area, and the lock of the settings row, taken at the page's first change so
// that two users cannot edit the same settings at once.
#include "dlgscrollhelper.h"
#include "lockdbrecord.h"
#include "qvbuttons.h"
#include "qveventsource.h"
#include "qvfsetupdlg.h"
#include "qvlayout.h"

class CSetupDlg : public CQvFSetupDlg {
    DECLARE_DYNAMIC(CSetupDlg)
public:
    CSetupDlg(UINT nTemplateID, CWnd* pParent);
    ~CSetupDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Called at the user's change of a value: eRecordEditing when the page may change the row (the
    // lock is held from the first change on); otherwise the user is told who holds the row, the
    // stored values are loaded again and the result of that reload is returned.
    long Lock(long lID, CString strTable, CString strIDColumn);

    CQvHelpButton m_btnHelp;
    CQvEventSource m_EventSource;
    CLockDbRecord m_lock;
    CQvLayoutFactory m_layout;
    CDlgScrollHelper* m_pScrollHelper = nullptr;
    // Height of the page's content in 1/96 inch; above 0 (set before the window exists) the page
    // scrolls vertically.
    int m_nDisplayHeight = -1;

protected:
    afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    DECLARE_MESSAGE_MAP()
};
