#pragma once
// CQvFViewDlg: the window side of a view and the base of the settings pages. A modeless dialog,
// child of the frame's pane, that gets the view's life-cycle calls as virtual operations, checks
// the user's rights for the view each time it is shown and, without them, hides behind a deny
// window.
#include "qvdialog.h"
#include "qvfint.h"
#include "qvfmodule.h"

class CQvFView;
class CDenyWindow;

class CQvFViewDlg : public CQvDialog {
    DECLARE_DYNAMIC(CQvFViewDlg)
public:
    // pServer: the owning view, null for settings pages.
    CQvFViewDlg(CQvFView* pServer, UINT nTemplateID, CWnd* pParent = nullptr);
    ~CQvFViewDlg() override;

    // ---- virtual operations, in slot order
    const QvStaticMapEntry* GetStaticMap() const override;
    virtual HRESULT CreateView(HWND hParent);
    virtual HRESULT ShowView(BOOL bShow);
    virtual HRESULT OnUpAndRunning();
    virtual HRESULT OnAsyncInit();
    virtual HRESULT OnHostNotify();
    virtual HRESULT CloseView();
    virtual HRESULT ReleaseView();
    virtual BOOL IsClosing();
    // mode 0 checks the rights, 3 forces the deny window, 2 forces access.
    virtual HRESULT OnApplySecurity(CString strHint, UINT nBitmapID, int nMode);
    virtual HRESULT OnApplySecurity(UINT nHintID, UINT nBitmapID, int nMode);
    virtual HRESULT ApplyDefaultSecurity();
    virtual HRESULT OnMenuNotify(CString strName);
    virtual HRESULT OnMenuCommand(CString strName);
    virtual HRESULT OnAccelNotify(CString strName);
    virtual HRESULT OnAccelCommand(CString strName);
    virtual void MoveView(const RECT* pRect, BOOL bRepaint);
    virtual HRESULT OnServerListChanged();

    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Once: the window goes, then the object.
    void OnFinalRelease() override;

    // Replaces the dialog by a deny window with the hint and the bitmap.
    void CreateDenyWindow(CString strText, UINT nBitmapID);
    // Removes the deny window; shows the dialog again when it is shown and bShow is set.
    void RemoveDenyWindow(BOOL bShow);
    // The frame's view-bar entry of this view (with a reference), or null.
    IQvFViewbarItem* GetMyViewbarItem();

    // Writes "QvFViewDlg: <local time>; 0x<thread id>; <message>" to the debugger output.
    template <class... A>
    void Trace(LPCWSTR lpszFormat, const A&... args) const {
        QvFTrace(L"QvFViewDlg", lpszFormat, args...);
    }

    CQvFView* GetServer() const { return m_pServer; }
    CDenyWindow* GetDenyWindow() const { return m_pDenyWindow; }
    BOOL IsShown() const { return m_bShown; }

protected:
    CQvFView* m_pServer;
    CDenyWindow* m_pDenyWindow = nullptr;
    BOOL m_bShown = FALSE;
    UINT m_nTemplateID;
    BOOL m_bFinalRelease = FALSE;
    BOOL m_bClosing = FALSE;
    IQvFAccel* m_pFrameAccel = nullptr;
};

// The hint of a view without rights when the view gives none of its own.
#define QVF_DEFAULT_DENY_TEXT L"Kein Zugriff zu diesem Modul."
