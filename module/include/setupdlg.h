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
    // Lets go of the row the page locked, if any.
    void Unlock();
    HRESULT ShowView(BOOL bShow) override;

    // The stored settings the page writes, as one text; empty: the page compares nothing. A page
    // that compares calls it in its LoadSettings before it reads them, into m_strStoredSettings.
    virtual long ReadStoredSettings(CString& strState);
    // At the save, inside the page's unit of work and before it writes: S_OK when the settings are
    // stored as the page loaded them; eRecordChangedMeanwhile when a writer without the lock
    // changed them since (the page writes nothing, ends its unit and then calls
    // ShowChangedMeanwhile); or a failure. The locked row stays held until the unit ends.
    long CheckStoredSettings();
    // After a save that found the settings changed: the lock is let go, the page shows what is
    // stored and the user is told once. Returns E_ABORT: the page stays, for the change to be made
    // again.
    HRESULT ShowChangedMeanwhile();

    CQvHelpButton m_btnHelp;
    CQvEventSource m_EventSource;
    CLockDbRecord m_lock;
    CQvLayoutFactory m_layout;
    CDlgScrollHelper* m_pScrollHelper = nullptr;
    int m_nDisplayHeight = -1;
    // The values the page showed when it was loaded.
    CString m_strLoadedState;
    // The stored settings as the page loaded them (ReadStoredSettings); empty while unknown.
    CString m_strStoredSettings;
    // The row the page holds locked (0: none).
    long m_lLockedID = 0;
    CString m_strLockedTable;
    CString m_strLockedIDColumn;

protected:
    afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    DECLARE_MESSAGE_MAP()
};

namespace qv::nq {
// The settings pages' background: the button face darkened by 20 in each channel, stopping at 0.
COLORREF SetupBackgroundColor(COLORREF crFace);
}  // namespace qv::nq
