#pragma once
// CQvFSetupDlg: the base of a module's settings page in the frame's settings window. The page
// decides whether the user may open it (the rights of its security function), loads its settings
// when shown, saves them when hidden after a change, and labels itself for the frame.
#include "qvfviewdlg.h"
#include "qvguid.h"

class CQvFSetupDlg : public CQvFViewDlg {
    DECLARE_DYNCREATE(CQvFSetupDlg)
public:
    // Made by its run-time class (the frame's settings window): its data-logger source is
    // "QvFrameBase".
    CQvFSetupDlg();
    CQvFSetupDlg(UINT nTemplateID, CWnd* pParent);
    ~CQvFSetupDlg() override;

    // ---- virtual operations added after the view dialog's, in slot order
    // In: the parent window; out: the page's window.
    virtual HRESULT CreatePage(HWND* phWnd);
    virtual HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount);
    virtual HRESULT GetSetupName(CString& strName);
    virtual HRESULT GetGroupName(CString& strName);
    virtual HRESULT GetViewValue(long* plValue);
    virtual HRESULT GetCaption(CString& strCaption);
    virtual HRESULT GetSetupValue(long* plValue);
    virtual HRESULT LoadSettings();
    virtual HRESULT SaveSettings();
    virtual BOOL CanLoad();
    virtual HRESULT ApplySecurity(CString strHint);
    virtual HRESULT ApplySecurity(UINT nHintID);

    // ---- overrides of the view dialog
    const QvStaticMapEntry* GetStaticMap() const override;
    HRESULT ShowView(BOOL bShow) override;
    HRESULT CloseView() override;
    HRESULT ApplyDefaultSecurity() override;

    // ---- set by the derived page's constructor
    // Only while the page has no function yet.
    void SetSecFunctionGUID(CQvGUID guid);
    void SetSetupID(UINT nBitmapID) { m_nBitmapID = nBitmapID; }
    void SetViewObject(UINT nGroupID) { m_nGroupID = nGroupID; }
    void SetViewValue(long lValue) { m_lViewValue = lValue; }
    void SetCaptionID(UINT nCaptionID) { m_nCaptionID = nCaptionID; }
    void SetSetupValue(long lValue) { m_lSetupValue = lValue; }
    // "SETUPVIEW-TEST" puts a page without order value last (99).
    void SetSetupName(CString strName);

    // The user changed a setting: saved when the page is hidden.
    void SetModified(BOOL bModified = TRUE) { m_bModified = bModified; }
    BOOL IsModified() const { return m_bModified; }
    const CQvGUID& GetSecFunction() const { return m_guidSecFunction; }
    long GetSecSwitch() const { return m_lSecSwitch; }

protected:
    afx_msg void OnSize(UINT nType, int cx, int cy);
    DECLARE_MESSAGE_MAP()

    CQvGUID m_guidSecFunction;
    long m_lSecSwitch = 0;
    BOOL m_bModified = FALSE;
    UINT m_nBitmapID = 0;
    CString m_strSetupName = L"SETUPVIEW-MAIN";
    UINT m_nGroupID = 0;
    CString m_strGroupText;
    long m_lViewValue = 0;
    UINT m_nCaptionID = 0;
    long m_lSetupValue = 0;
    CString m_strLoggerSource;

    BEGIN_INTERFACE_PART(SetupViewControl, IQvFSetupViewControl)
        HRESULT CreateView(HWND* phWnd) override;
        HRESULT ShowView(BOOL bShow) override;
        HRESULT PreTranslateMessage(MSG* pMsg) override;
        HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) override;
        HRESULT GetGroupName(BSTR* pbstrName) override;
        HRESULT GetSetupName(BSTR* pbstrName) override;
        HRESULT GetViewValue(long* plValue) override;
        HRESULT GetCaption(BSTR* pbstrCaption) override;
        HRESULT GetSetupValue(long* plValue) override;
        HRESULT CanLoad(BOOL* pbCanLoad) override;
        HRESULT SetSecurity(BSTR bstrFunction, long lSwitch) override;
        HRESULT OnUpAndRunning() override;
        HRESULT OnHostNotify() override;
        HRESULT CloseView() override;
        HRESULT ReleaseView() override;
    END_INTERFACE_PART(SetupViewControl)

    DECLARE_INTERFACE_MAP()
};
