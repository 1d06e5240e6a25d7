#pragma once
// CChildDlg: the base of every tab page of a module view. A page is a modeless child dialog in its
// parent dialog's tab strip and an in-process COM object of its own, reached only through
// INQTabWindowBase and INQTabWindowControl; it reaches its parent through INQParentControl. The
// base keeps the page flags (active, modified, save pending, closing), loads on demand, forwards
// edit, lock and navigation requests to the parent, binds the page's rights to the record's
// tenant and scrolls pages taller than the tab area.
#include "dlgscrollhelper.h"
#include "lockdbrecord.h"
#include "nqinterfaces.h"
#include "qvbuttons.h"
#include "qvdatalogger.h"
#include "qvdialog.h"
#include "qveventsource.h"
#include "qvguid.h"
#include "qvfmodule.h"
#include "qvlayout.h"
#include "qvsec.h"

#include <vector>

class CParentDlg;

class CChildDlg : public CQvDialog {
    DECLARE_DYNAMIC(CChildDlg)
public:
    // nContentHeight in 1/96 inch; 0 or less: the page does not scroll.
    // hResource: the resources of the module the page belongs to; the default is taken where the
    // derived page is compiled.
    CChildDlg(UINT nTemplateID, UINT nCaptionID, LPCWSTR lpszTabName, CWnd* pParent, int nContentHeight,
              UINT nFirstFocusID, HINSTANCE hResource = QvFGetModuleResourceHandle());
    ~CChildDlg() override;

    // ---- virtual operations, in slot order
    BOOL OnInitDialog() override;
    virtual HRESULT CloseTab();
    virtual HRESULT ReleaseParentControl();
    virtual HRESULT MarkModifiedAndReload();
    virtual HRESULT SetModified();
    virtual BOOL IsModified();
    virtual HRESULT Refresh();
    virtual HRESULT RequestSave();
    virtual HRESULT SaveData();
    virtual HRESULT RequestCancelEdit();
    virtual HRESULT DiscardChanges();
    virtual HRESULT SetParentControl(INQParentControl* pParentControl);
    virtual HRESULT SetTabName(CString strName);
    virtual long GetRecordID();
    virtual long GetSubRecordID();
    virtual long GetThirdID();
    virtual CString GetMandantGUID();
    virtual HRESULT LockRecord(CString strTable, CString strIDColumn, CString* pstrOwner);
    virtual HRESULT UnlockRecord(CString strTable, CString strIDColumn);
    virtual HRESULT CheckRecordLock(CString strTable, CString strIDColumn, CString* pstrOwner);
    virtual HRESULT BeginEdit();
    virtual HRESULT EndEdit();
    virtual HRESULT UpdateRecordState(CString* pstrOwner);
    virtual HRESULT GetRecordState(CString* pstrText);
    virtual HRESULT ReloadTabs();
    virtual HRESULT LoadData();
    // The statements (with their number of columns) whose rows are what the page loads and saves of
    // the stored record; none: the page is not compared with the stored record.
    virtual void GetStoredStateStatements(std::vector<std::pair<CString, long>>& statements);
    // Called by a page's save inside its unit of work, before it writes: S_OK when the stored
    // record is as the page loaded it; eRecordDeleted or eRecordChangedMeanwhile when the page must
    // write nothing (it ends its unit without writing and returns the code from SaveData: the
    // parent tells the user and shows what is stored); or a failure.
    HRESULT CheckStoredRecord();
    virtual HRESULT LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString strKey);
    virtual HRESULT LoadRights(CQvGUID guidFunction, BOOL bApply);
    virtual HRESULT UpdateRights(CString strKey);
    virtual void EnableDlgItemByRights(UINT nID, BOOL bVisible, BOOL bEditable, DWORD dwRights);
    virtual void EnableControlByRights(CWnd* pWnd, BOOL bVisible, BOOL bEditable, DWORD dwRights);
    virtual HRESULT NavigateTo(long lID, long lSubID);
    virtual HRESULT CanNavigate(long lID, long lSubID);
    virtual HRESULT SetRecordState(long lCode, CString strText);
    virtual HRESULT ShowRecordState(long lCode, CString strText);
    virtual BOOL IsSavePending();
    virtual HRESULT ResetEditState();
    virtual HRESULT ClearSavePending();
    virtual HRESULT CreateTabWindow(HWND* phWnd, CParentDlg* pParentDlg);
    virtual HRESULT ShowTab(BOOL bShow);
    virtual HRESULT SetFirstFocus(UINT nID);
    virtual HRESULT CheckRightsFor(long lValue);
    virtual HRESULT Command1();
    virtual HRESULT Command2();
    virtual HRESULT Command3();
    virtual void CreateLayout();
    virtual HRESULT SetClosing();
    virtual HRESULT ShowHelp();

    // The own-record rule on the loaded rights.
    void ApplyRightsFlags();
    // Keeps the focused control in view on a scrolling page.
    void EnsureFocusVisible();
    // The parent dialog is shown and holds no access-refused window.
    BOOL IsParentReady() const;

    void OnFinalRelease() override;
    // A page is a child of the view's dialog and never ends: Enter and Escape in it (IDOK and
    // IDCANCEL of the dialog keys) leave the page shown as it is.
    void OnOK() override;
    void OnCancel() override;

    // Whether the page is loading or saving. A box shown meanwhile runs a message loop: inside it
    // nothing loads the page again, saves it or closes it; a load asked for then is made once the
    // running load or save has ended well (after a failure the page loads on F5 or when shown).
    BOOL IsBusy() const { return m_nBusy > 0; }
    // Loads the page (Refresh) as the one load running, and shows the page as not loaded when
    // that failed; while the page is busy, only notes the load for later (S_FALSE).
    HRESULT Reload();
    // Whether the page's last load failed: it shows nothing as the record, begins no edit and
    // offers nothing to save until a load succeeds.
    BOOL IsLoadFailed() const { return m_bLoadFailed; }

    // Read by the tests and the derived pages.
    BOOL IsActive() const { return m_bActive; }
    BOOL GetModifiedFlag() const { return m_bModified; }
    BOOL IsClosingFlag() const { return m_bClosing; }
    CDlgScrollHelper* GetScrollHelper() const { return m_pScrollHelper; }
    CParentDlg* GetParentDlg() const { return m_pParentDlg; }
    const CQvSec& GetSec() const { return m_Sec; }

    CQvHelpButton m_btnHelp;
    CQvEventSource m_EventSource;
    CQvDataLogger m_DataLogger;
    CQvSec m_Sec;
    CQvGUID m_guidFunction;
    CQvGUID m_guidScope;
    long m_lRightsRequest = 0;
    UINT m_nFirstFocusID;
    long m_lUserPersonID = -1;
    long m_lOwnerPersonID = 0;
    UINT m_nCaptionID;
    CString m_strWindowName;
    CString m_strTabName;
    INQParentControl* m_pParentControl = nullptr;
    CParentDlg* m_pParentDlg = nullptr;
    CQvLayoutFactory m_LayoutFactory;
    CDlgScrollHelper* m_pScrollHelper = nullptr;
    int m_nContentHeight;
    BOOL m_bActive = FALSE;
    BOOL m_bModified = TRUE;
    BOOL m_bClosing = FALSE;
    BOOL m_bSavePending = FALSE;
    // The rows of the stored record the page loads and saves, as it last loaded them; a page that
    // names none is not compared with the stored record when it begins an edit.
    CStoredState m_storedState;
    UINT m_nTemplateID;
    UINT_PTR m_nLoadTimerID = 0;

protected:
    // Marks the page (and its parent) busy while it lives.
    class CBusyScope {
    public:
        explicit CBusyScope(CChildDlg* pPage);
        ~CBusyScope();
        CBusyScope(const CBusyScope&) = delete;
        CBusyScope& operator=(const CBusyScope&) = delete;

    private:
        CChildDlg* m_pPage;
        CParentDlg* m_pParent;
    };
    // Called before and after each load the page makes (Reload): a failed load shows the page as
    // not loaded, its controls greyed; the next load gives them back before the page's rights
    // guard them again.
    virtual void OnLoadStarting();
    virtual void OnLoadEnded(HRESULT hr);
    // The controls a failed load greyed (hKeep: one left as it is, a status line that says so).
    void GreyControls(HWND hKeep);
    void UngreyControls();
    std::vector<HWND> m_greyedControls;

    int m_nBusy = 0;
    BOOL m_bReloadAsked = FALSE;
    BOOL m_bLoadFailed = FALSE;

    afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnCtrlSetFocus();
    afx_msg void OnNotifySetFocus(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    BEGIN_INTERFACE_PART(NQTabWindowBase, INQTabWindowBase)
        HRESULT SetParentControl(INQParentControl* pParent) override;
        HRESULT SetName(BSTR bstrName) override;
        HRESULT Create(HWND* phWnd, void* pParentDlg) override;
        HRESULT Show(BOOL bShow) override;
        HRESULT GetCaption(BSTR* pbstrCaption) override;
        HRESULT GetName(BSTR* pbstrName) override;
        HRESULT CheckRightsFor(long lValue, HRESULT* phrResult) override;
        HRESULT Move(RECT rc) override;
        HRESULT SetFocus(UINT nCtrlID) override;
        HRESULT CloseTab() override;
        HRESULT Detach() override;
    END_INTERFACE_PART(NQTabWindowBase)

    BEGIN_INTERFACE_PART(NQTabWindowControl, INQTabWindowControl)
        HRESULT LoadData() override;
        HRESULT RefreshIfModified() override;
        HRESULT GetRecordState(BSTR* pbstrText) override;
        HRESULT ShowRecordState(long lCode, BSTR bstrText) override;
        HRESULT SaveData() override;
        HRESULT DiscardChanges() override;
        HRESULT SetModified() override;
        HRESULT FocusNext() override;
        HRESULT CanNavigate(long lID, long lSubID) override;
        HRESULT ClearSavePending() override;
        HRESULT ShowHelp() override;
        HRESULT SetClosing() override;
        HRESULT Command1() override;
        HRESULT Command2() override;
        HRESULT Command3() override;
    END_INTERFACE_PART(NQTabWindowControl)

    DECLARE_INTERFACE_MAP()

private:
    BOOL m_bFinalReleased = FALSE;
    HINSTANCE m_hResource;  // the creating module's resources
};

namespace qv::nq {
// A colour darker by nAmount in each of red, green and blue, each stopping at 0.
COLORREF DarkenColor(COLORREF color, int nAmount);
}  // namespace qv::nq
