#pragma once
// CNQView: the base of every module's view object. Besides the pool's view it reports the module's
// start-up progress to the start-up server, merges the module's menus and accelerators into the
// host frame and removes them again, hands the frame's commands to the view dialog by name, and
// offers INQViewControl, through which other modules ask an open view to show a record or a tab.
#include "nqinterfaces.h"
#include "qvfmodule.h"
#include "qvfview.h"

class CParentDlg;

class CNQView : public CQvFView {
    DECLARE_DYNCREATE(CNQView)
public:
    // hResource: the resources of the module the view belongs to; the default is taken where the
    // derived view is compiled.
    explicit CNQView(HINSTANCE hResource = QvFGetModuleResourceHandle());
    ~CNQView() override;

    // ---- overrides, in slot order
    HRESULT Init(BOOL bConnectToFrame) override;
    HRESULT UpAndRunning() override;
    HRESULT Close() override;
    HRESULT OnMenuCommand(CString strName) override;
    HRESULT OnAccelCommand(CString strName) override;
    HRESULT CreateView(HWND hParent) override;
    // The caption from the view's own module.
    HRESULT GetCaption(CString& strCaption) override;
    // ---- new operations
    virtual HRESULT NavigateTo(long lID, long lSubID);
    virtual HRESULT ActivateTab(CString strName);

    CParentDlg* GetParentDlg() const;
    BOOL AreMenusMerged() const { return m_bMenusMerged; }

protected:
    // Sends the text of the string id followed by the module's caption to the start-up server.
    HRESULT SendProgress(UINT nTextID);

    BOOL m_bMenusMerged = FALSE;
    HINSTANCE m_hResource;  // the creating module's resources
    INQStartupServer* m_pStartupServer = nullptr;

    BEGIN_INTERFACE_PART(NQViewControl, INQViewControl)
        HRESULT NavigateTo(long lID, long lSubID) override;
        HRESULT ActivateTab(BSTR bstrName) override;
    END_INTERFACE_PART(NQViewControl)

    DECLARE_INTERFACE_MAP()
};
