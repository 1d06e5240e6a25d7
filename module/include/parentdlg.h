#pragma once
// CParentDlg: the dialog of a module view. It shows one record at a time (record id, sub-record id,
// the record's tenant) with a header (edit-state icon, document icon, tenant logo) and a tab strip
// whose pages are COM objects of their own. It owns the record identity, the edit state and the
// record lock, the navigation and the rights; the pages talk to it through INQParentControl.
//
// A module derives its main dialog from it and supplies the record query (GetRecordQuery) and,
// where its records are locked, AcquireEditLock, ReleaseEditLock and GetRecordState.
#include "droptargetthread.h"
#include "lockdbrecord.h"
#include "navigatedlg.h"
#include "nqinterfaces.h"
#include "nqtabctrl.h"
#include "qvasynceventsink.h"
#include "qvbuttons.h"
#include "qvdatalogger.h"
#include "qveventserver.h"
#include "qveventsink.h"
#include "qveventsource.h"
#include "qvfmodule.h"
#include "qvfviewdlg.h"
#include "qvguid.h"
#include "qvimageview.h"
#include "qvlayout.h"
#include "qvsec.h"
#include "statusicondocmngmt.h"
#include "statusiconedit.h"

#include <vector>

class CParentDlg : public CQvFViewDlg {
    DECLARE_DYNAMIC(CParentDlg)
public:
    // hResource: the resources of the module the dialog belongs to; the default is taken where the
    // derived dialog is compiled.
    CParentDlg(CQvFView* pView, LPCWSTR lpszTable, LPCWSTR lpszSubTable, CWnd* pParent = nullptr,
               HINSTANCE hResource = QvFGetModuleResourceHandle());
    ~CParentDlg() override;

    // ---- overrides of the base classes
    BOOL OnInitDialog() override;
    CString GetToolTipText(HWND hControl) override;
    HRESULT ShowView(BOOL bShow) override;
    HRESULT OnUpAndRunning() override;
    HRESULT CloseView() override;
    HRESULT ReleaseView() override;
    using CQvFViewDlg::OnApplySecurity;
    HRESULT OnApplySecurity(CString strHint, UINT nBitmapID, int nMode) override;

    // ---- new virtual operations, in slot order
    virtual void RestoreLastRecord();
    virtual HRESULT RefreshAll();
    // The header and the shown pages loaded, as RefreshAll does it once.
    HRESULT RefreshShown();
    virtual BOOL IsDataReady();
    virtual HRESULT UpdateHeader();
    virtual HRESULT SaveData();
    // The save of every page and of the record, as SaveData makes it.
    HRESULT SaveShownData();
    virtual HRESULT SaveRecord();
    virtual HRESULT CancelEdit();
    virtual HRESULT FinishEdit();
    virtual long GetRecordID();
    virtual long GetSubRecordID();
    virtual long GetThirdID();
    virtual CString GetMandantGUID();
    virtual HRESULT GetRecordRight(long* plRight);
    virtual CString GetActiveTabName();
    virtual HRESULT AddTabWindow(INQTabWindowControl* pTab);
    virtual HRESULT RemoveTabWindow(INQTabWindowControl* pTab);
    virtual HRESULT LockRecord(CString strTable, CString strIDColumn, CString* pstrOwner, long lID);
    virtual HRESULT UnlockRecord(CString strTable, CString strIDColumn, long lID);
    virtual HRESULT CheckRecordLock(CString strTable, CString strIDColumn, CString* pstrOwner, long lID);
    virtual HRESULT BeginEdit();
    virtual HRESULT AcquireEditLock();
    virtual HRESULT EndEdit();
    virtual HRESULT ReleaseEditLock();
    virtual HRESULT UpdateRecordState(CString* pstrOwner);
    virtual HRESULT GetRecordState(CString* pstrOwner);
    // The stored content of a page's statements now; empty without statements or when it cannot
    // be read.
    CString ReadStoredState(const CStoredState& state);
    // At a page's save, inside the page's unit of work and before it writes: S_OK when the record
    // is stored as the page loaded it (or the page compares nothing), eRecordDeleted when the
    // row its first statement reads is gone, eRecordChangedMeanwhile when another user or a
    // writer without the lock changed it; or a failure. The shown rows stay held until the unit
    // ends.
    HRESULT CheckStoredState(const CStoredState& state);
    // The next BeginEdit is a page's first change: it compares what the page loaded with what is
    // stored, and reloads the pages instead when another user changed the record meanwhile.
    void SetEditingPage(const CStoredState* pState) { m_pPageState = pState; }
    virtual HRESULT SetRecordState(long lCode, CString strOwner);
    virtual HRESULT ShowRecordStateIcon(long lIconIndex, CString strText);
    virtual HRESULT ReloadVisibleTabs();
    virtual HRESULT ApplyRights();
    virtual HRESULT LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString strKey);
    virtual HRESULT LoadRightsGeneral(CQvGUID guidFunction);
    virtual HRESULT LoadRights(CString strKey);
    virtual void EnableDlgItemByRights(UINT nID, BOOL bVisible, BOOL bWritable, DWORD dwRights);
    virtual void EnableControlByRights(CWnd* pWnd, BOOL bVisible, BOOL bWritable, DWORD dwRights);
    virtual BOOL IsEditing();
    virtual HRESULT Navigate(long lID, long lID2);
    virtual HRESULT NavigateToRecord(long lID, long lID2);
    virtual HRESULT ResetEditState();
    virtual HRESULT ClearEditFlags();
    virtual HRESULT SetClosing();
    virtual HRESULT MarkClosing();
    virtual HRESULT OnRefreshViewCommand();
    virtual HRESULT OnSearchCommand();
    virtual HRESULT ShowContextHelp();
    virtual void CreateLayout();
    virtual void OnTimer(UINT_PTR nIDEvent);
    virtual LRESULT OnChangeActiveTab(WPARAM wParam, LPARAM lParam);
    virtual HRESULT UpdateRecordRight();
    virtual HRESULT QueryRecordRight();
    virtual CString GetRecordQuery() = 0;
    virtual BOOL IsRecordReadOnly();
    virtual BOOL IsEditingRecord();  // the same answer as IsEditing, in a slot of its own
    virtual BOOL IsLockedByOther();

    HRESULT InvalidateTabs();
    void LoadMandantLogo();
    // What of the shown record is stored: lID and lSubID become 0 where the row is gone.
    HRESULT FindStoredRecord(CQvADOConnection& connection, long& lID, long& lSubID);

    // What the tab control and the pages read of the dialog.
    const CString& GetViewName() const { return m_strTable; }
    const CString& GetViewProgID() const { return m_strViewProgID; }
    BOOL IsClosingFlag() const { return m_bClosing; }
    long GetSecurityAppliedCount() const { return m_nSecurityApplied; }
    const CQvSec& GetSec() const { return m_sec; }
    long GetRecordStateCode() const { return m_lRecordState; }
    CNQTabCtrl& GetTabCtrl() { return m_tabCtrl; }
    const std::vector<INQTabWindowControl*>& GetTabList() const { return m_listTabs; }
    INQParentControl* GetParentControl();
    // The view's security function.
    CQvGUID GetFunctionGUID() const;
    // The text the edit-state icon shows as its tool tip.
    const CString& GetRecordStateText() const { return m_strRecordStateText; }
    // The view is shown and holds no access-refused window.
    BOOL IsViewReady() const { return m_bShown && !m_pDenyWindow; }
    // The user is asked whether to save the open edit: nothing is saved or dropped before he answers.
    BOOL IsAskingToSave() const { return m_eSaveQuestion == eSaveAsking; }
    // A page is loading or saving (CChildDlg::IsBusy), or the dialog saves: a box shown meanwhile
    // runs a message loop, in which the dialog neither saves nor closes.
    BOOL IsPageBusy() const { return m_nPagesBusy > 0; }
    // Counted by the pages' busy scopes and the save.
    int m_nPagesBusy = 0;
    // RefreshAll runs; it was asked for again meanwhile.
    BOOL m_bRefreshing = FALSE;
    BOOL m_bRefreshAgain = FALSE;
    // The save runs because the user answered Yes to that question (or it was not asked).
    BOOL IsSavingAsAnswered() const { return m_eSaveQuestion == eSaveAnswered; }
    // A page whose save, asked for at the close, waits for something: the close is kept and
    // given again once that save has been made (QuitAfterSave). Outside the close, nothing.
    void QuitWhenSaved();
    // Whether a close waits for the save now made; asked once.
    BOOL TakeQuitWhenSaved();
    // Closes the frame's window as the user's quit does, after this turn.
    void QuitAfterSave();
    // Failure reports shown (or told elsewhere) on this thread so far.
    static long FailureReportCount();

    // The id of the lock-state timer.
    static constexpr UINT_PTR kLockTimerID = 98;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // The view's dialog lives in the frame's pane until the view closes: Enter and Escape on its
    // own controls (the header, the command buttons) do not end it.
    void OnOK() override;
    void OnCancel() override;
    afx_msg LRESULT OnViewClosing(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    // The document icon and its drop target.
    void SetDocumentIconGUIDs(const CQvGUID& guidView, const CQvGUID& guidScope) {
        m_iconDocMngmt.m_guidFunction = guidView;
        m_iconDocMngmt.m_guidObject = guidScope;
    }
    void StartDropTarget() { CDropTargetThread::Start(&m_iconDocMngmt); }
    void StopDropTarget() { CDropTargetThread::Stop(m_iconDocMngmt.m_pDropThread); }
    void SetDocumentStatus(const CString& strMandantGUID, long lRecordID) {
        m_iconDocMngmt.SetStatus(lRecordID, strMandantGUID);
    }
    afx_msg void OnDocumentIconClicked() { m_iconDocMngmt.ShowDialog(); }

    // The shown record (or its sub-record) is gone: no edit goes on, the user is told once with
    // the deleted state's text and the window shows what is stored. Returns eRecordDeleted.
    HRESULT ShowRecordGone(LPCWSTR lpszWhere);
    // Another user changed what a page shows: the edit ends, the pages show what is stored and the
    // user is told once.
    HRESULT ShowChangedMeanwhile(LPCWSTR lpszWhere);
    // Whether the shown record or its sub-record is gone; FALSE while that cannot be read.
    BOOL IsRecordGone();

    // Reports a database failure of the connection to the user; returns hr.
    HRESULT ReportDBError(class CQvADOConnection& connection, HRESULT hr, long lLine);

    // The closing question: Navigate with the current ids, so that an open edit is asked about.
    // While the view is shown the user sees what he is asked about: when he answered Yes and the
    // save was refused, the edit, its lock and the view stay as they are and the close is cancelled
    // (HRESULT_FROM_WIN32(ERROR_CANCELLED)). A view the frame hid before its close closes in any case.
    HRESULT AskBeforeClose();
    // CloseView after its question: the edit ends, the pages close and the view goes.
    HRESULT CloseAsked();

    CQvAsyncEventSink m_asyncSink;
    CQvHelpButton m_btnHelp;
    CQvEventSource m_eventSource;
    CQvDataLogger m_logger;
    CQvSec m_sec;
    CQvGUID m_guidScope;
    CNQTabCtrl m_tabCtrl;
    CLockDbRecord m_lock;
    long m_lRecordState = 0;
    long m_lRecordRight = 0;
    long m_lRecordID = 0;
    long m_lSubRecordID = 0;
    long m_lRightsRecordID = -1;
    long m_lThirdID = 0;
    CQvGUID m_guidMandant;
    long m_lTableID = 39;
    BOOL m_bHeaderPending = TRUE;
    CString m_strTable;
    CString m_strSubTable;
    CString m_strViewProgID;
    BOOL m_bClosing = FALSE;
    // Set by NavigateToRecord when the save the user asked for failed.
    BOOL m_bSaveRefused = FALSE;
    // AskBeforeClose asks; a close waits for a save that a page could not make yet.
    BOOL m_bAskingToClose = FALSE;
    BOOL m_bQuitWhenSaved = FALSE;
    // The save a close waited for runs: a page that has to wait again keeps the close waiting.
    BOOL m_bQuitSaveRunning = FALSE;
    enum ESaveQuestion { eSaveNotAsked, eSaveAsking, eSaveAnswered };
    ESaveQuestion m_eSaveQuestion = eSaveNotAsked;
    long m_nSecurityApplied = 0;
    CQvLayoutFactory m_layout;
    CStatusIconEdit m_iconEdit;
    CStatusIconDocMngmt m_iconDocMngmt;
    CNavigateDlg m_dlgNavigate;
    CQvImageViewCtrl m_logo;
    CQvEventSink m_eventSink;
    BOOL m_bEditing = FALSE;
    BOOL m_bLockedByOther = FALSE;
    const CStoredState* m_pPageState = nullptr;
    std::vector<INQTabWindowControl*> m_listTabs;
    UINT_PTR m_nLockTimer = 0;

    HINSTANCE m_hResource;  // the creating module's resources
    CString m_strRecordStateText;

    BEGIN_INTERFACE_PART(NQParentControl, INQParentControl)
        HRESULT ReloadVisibleTabs() override;
        HRESULT RefreshAll() override;
        HRESULT SaveData() override;
        HRESULT CancelEdit() override;
        HRESULT LockRecord(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) override;
        HRESULT UnlockRecord(BSTR bstrTable, BSTR bstrIDColumn) override;
        HRESULT CheckRecordLock(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) override;
        HRESULT BeginEdit() override;
        HRESULT EndEdit() override;
        HRESULT UpdateRecordState(BSTR* pbstrOwner) override;
        HRESULT Navigate(long lID, long lSubID) override;
        HRESULT GetRecordIDs(long* plID, long* plSubID) override;
        HRESULT SetRecordState(long lCode, BSTR bstrText) override;
        HRESULT ResetEditState() override;
        HRESULT IsLockedByOther(BOOL* pbLocked) override;
        HRESULT GetMandantGUID(BSTR* pbstrGUID) override;
        HRESULT GetThirdID(long* plID) override;
        HRESULT GetRecordRight(long* plRight) override;
    END_INTERFACE_PART(NQParentControl)

    BEGIN_INTERFACE_PART(QvEventSink, IEventSink)
        HRESULT OnEvent(long count, GUID* ids, VARIANT* values) override;
    END_INTERFACE_PART(QvEventSink)

    DECLARE_INTERFACE_MAP()
};

namespace qv::nq {
// The statement of the user's right on the tenant of a record: the record's row joined with the
// tenant's SecMandant row of the table id and the user.
CString RecordRightStatement(const CString& strTable, long lMandantID, long lTableID, long lUserID, long lRecordID);
}  // namespace qv::nq
