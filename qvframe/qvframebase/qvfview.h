#pragma once
// CQvFView: a server the frame shows as a view. It owns its view dialog and offers the frame the
// view-control interface (create, show, move, labels). Each life-cycle call reaches the dialog
// first and the server base afterwards, so a derived view puts its window work into the dialog.
#include "qvfserver.h"

class CQvFViewDlg;

class CQvFView : public CQvFServer {
    DECLARE_DYNCREATE(CQvFView)
public:
    CQvFView();
    ~CQvFView() override;

    // ---- virtual operations added after the server's, in slot order
    virtual HRESULT CreateView(HWND hParent);
    virtual HRESULT GetPaneName(CString& strName);
    virtual HRESULT GetGroupName(CString& strName);
    virtual HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount);
    virtual HRESULT GetViewValue(long* plValue);
    virtual HRESULT GetServerNameText(CString& strName);
    virtual HRESULT ShowView(BOOL bShow);
    virtual void MoveView(RECT rc);
    virtual void ActivateMenuItem();
    virtual void ActivateAccelerators();

    // ---- overrides of the server
    HRESULT ReleaseServers() override;
    const QV_CONTROLSINK_ENTRY* GetControlSinkMap() override;
    HRESULT UpAndRunning() override;
    HRESULT AsyncInit() override;
    HRESULT OnHostNotify() override;
    HRESULT Close() override;
    HRESULT OnApplySecurity() override;
    HRESULT OnServerListChanged() override;
    HRESULT OnMenuNotify(CString strName) override;
    HRESULT OnMenuCommand(CString strName) override;
    HRESULT OnAccelNotify(CString strName) override;
    HRESULT OnAccelCommand(CString strName) override;
    void OnFinalRelease() override;

    // ---- set by the derived view's constructor
    void SetViewObject(CQvFViewDlg* pDialog) { m_pViewDlg = pDialog; }
    void SetBitmapID(UINT nID) { m_nBitmapID = nID; }
    void SetViewValue(long lValue) { m_lViewValue = lValue; }
    void SetPaneName(const CString& strName) { m_strPaneName = strName; }

    CQvFViewDlg* GetViewDlg() const { return m_pViewDlg; }

protected:
    // The enabled state of a menu or accelerator entry: on while the dialog is shown and not
    // denied, else the entry's own always value.
    BOOL EntryEnabled(const CControlObj& entry) const;

    CQvFViewDlg* m_pViewDlg = nullptr;
    UINT m_nBitmapID = 0;
    long m_lViewValue = 0;
    CString m_strPaneName = L"PANE-0";

    BEGIN_INTERFACE_PART(ViewControl, IQvFViewControl)
        HRESULT CreateView(HWND hParent) override;
        HRESULT ShowView(BOOL bShow) override;
        HRESULT PreTranslateMessage(MSG* pMsg) override;
        HRESULT GetPaneName(BSTR* pbstrName) override;
        HRESULT GetGroupName(BSTR* pbstrName) override;
        HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) override;
        HRESULT GetCaption(BSTR* pbstrCaption) override;
        HRESULT GetServerNameText(BSTR* pbstrName) override;
        HRESULT GetViewValue(long* plValue) override;
        HRESULT MoveView(RECT rc) override;
    END_INTERFACE_PART(ViewControl)

    DECLARE_INTERFACE_MAP()
};
