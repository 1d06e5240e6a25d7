#pragma once
// The COM interfaces between a module view, its parent dialog and its tab pages, and the
// record-state codes they all speak. The method order of each interface is fixed: pages and
// parents may live in different modules of the suite.
#include "nqstartupint.h"
#include "qvcom.h"
#include "wintypes.h"

// Record-state codes: positive values carried in HRESULT-typed results, tested by value.
enum ERecordState : long {
    eRecordUnchanged = 0xF0000,
    eRecordEditing = 0xF0001,
    eRecordLockedByOther = 0xF0002,
    eRecordDeleted = 0xF0003,
};

struct INQParentControl : IUnknown {
    virtual HRESULT ReloadVisibleTabs() = 0;                                              // 3
    virtual HRESULT RefreshAll() = 0;                                                     // 4
    virtual HRESULT SaveData() = 0;                                                       // 5
    virtual HRESULT CancelEdit() = 0;                                                     // 6
    virtual HRESULT LockRecord(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) = 0;  // 7
    virtual HRESULT UnlockRecord(BSTR bstrTable, BSTR bstrIDColumn) = 0;                  // 8
    virtual HRESULT CheckRecordLock(BSTR bstrTable, BSTR bstrIDColumn, BSTR* pbstrOwner) = 0;
    virtual HRESULT BeginEdit() = 0;
    virtual HRESULT EndEdit() = 0;
    virtual HRESULT UpdateRecordState(BSTR* pbstrOwner) = 0;
    virtual HRESULT Navigate(long lID, long lSubID) = 0;
    virtual HRESULT GetRecordIDs(long* plID, long* plSubID) = 0;
    virtual HRESULT SetRecordState(long lCode, BSTR bstrText) = 0;
    virtual HRESULT ResetEditState() = 0;
    virtual HRESULT IsLockedByOther(BOOL* pbLocked) = 0;
    virtual HRESULT GetMandantGUID(BSTR* pbstrGUID) = 0;
    virtual HRESULT GetThirdID(long* plID) = 0;
    virtual HRESULT GetRecordRight(long* plRight) = 0;                                    // 20
};

struct INQTabWindowBase : IUnknown {
    virtual HRESULT SetParentControl(INQParentControl* pParent) = 0;  // 3
    virtual HRESULT SetName(BSTR bstrName) = 0;
    // in: the parent window; out: the page window. pParentDlg: the parent dialog (a CParentDlg).
    virtual HRESULT Create(HWND* phWnd, void* pParentDlg) = 0;
    virtual HRESULT Show(BOOL bShow) = 0;
    virtual HRESULT GetCaption(BSTR* pbstrCaption) = 0;
    virtual HRESULT GetName(BSTR* pbstrName) = 0;
    // The page's answer goes to phrResult: S_OK = leave the page out, S_FALSE = no objection.
    virtual HRESULT CheckRightsFor(long lValue, HRESULT* phrResult) = 0;
    virtual HRESULT Move(RECT rc) = 0;
    virtual HRESULT SetFocus(UINT nCtrlID) = 0;
    virtual HRESULT CloseTab() = 0;
    virtual HRESULT Detach() = 0;  // 13
};

struct INQTabWindowControl : IUnknown {
    virtual HRESULT LoadData() = 0;  // 3
    virtual HRESULT RefreshIfModified() = 0;
    virtual HRESULT GetRecordState(BSTR* pbstrText) = 0;
    virtual HRESULT ShowRecordState(long lCode, BSTR bstrText) = 0;
    virtual HRESULT SaveData() = 0;
    virtual HRESULT DiscardChanges() = 0;
    virtual HRESULT SetModified() = 0;
    virtual HRESULT FocusNext() = 0;
    virtual HRESULT CanNavigate(long lID, long lSubID) = 0;
    virtual HRESULT ClearSavePending() = 0;
    virtual HRESULT ShowHelp() = 0;
    virtual HRESULT SetClosing() = 0;
    virtual HRESULT Command1() = 0;
    virtual HRESULT Command2() = 0;
    virtual HRESULT Command3() = 0;  // 17
};

struct INQViewControl : IUnknown {
    virtual HRESULT NavigateTo(long lID, long lSubID) = 0;  // 3
    virtual HRESULT ActivateTab(BSTR bstrName) = 0;        // 4
};

inline constexpr IID IID_INQParentControl = qv::MakeGuid("C45D2870-84FC-11D5-8A65-005004506918");
inline constexpr IID IID_INQTabWindowBase = qv::MakeGuid("ED33F490-84CB-11D5-8A65-005004506918");
inline constexpr IID IID_INQTabWindowControl = qv::MakeGuid("AEA9C610-84EA-11D5-8A65-005004506918");
inline constexpr IID IID_INQViewControl = qv::MakeGuid("18AAB74B-1623-4DF3-A144-68E867045227");

// The event parameter that tells a parent dialog its view is closing.
inline constexpr GUID GUID_NQViewClosing = qv::MakeGuid("E386E028-7690-420E-8B70-3F2964C6E14A");

