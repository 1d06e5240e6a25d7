#pragma once
// The interfaces between the host frame and a module server: what the frame offers the server
// (main interface, menus, accelerators, view bar, the connection points of the two sinks) and what
// the server offers the frame besides IQvFInit (sinks, error info, IDL version, view and settings
// page control). Functions stand in slot order; slot 3 is the first after IUnknown.
#include "oleauto.h"
#include "qvcom.h"
#include "qvfinit.h"
#include "wintypes.h"

// ---- offered by the server

struct IQvFIDLVersion : IUnknown {
    virtual HRESULT GetVersion(long* plVersion) = 0;  // 3
};

struct IQvFServerListSink : IUnknown {
    virtual HRESULT OnServerListChanged() = 0;  // 3
};

// The frame hands each name over: the receiver frees the BSTR.
struct IQvFControlSink : IUnknown {
    virtual HRESULT OnMenuNotify(BSTR bstrName) = 0;    // 3
    virtual HRESULT OnMenuCommand(BSTR bstrName) = 0;   // 4
    virtual HRESULT OnAccelNotify(BSTR bstrName) = 0;   // 5
    virtual HRESULT OnAccelCommand(BSTR bstrName) = 0;  // 6
};

struct IQvErrorInfo : IUnknown {
    virtual HRESULT ShowError() = 0;                    // 3
    virtual HRESULT GetErrorText(BSTR* pbstrText) = 0;  // 4
};

// A view: a window the frame places in one of its panes.
struct IQvFViewControl : IUnknown {
    virtual HRESULT CreateView(HWND hParent) = 0;                                          // 3
    virtual HRESULT ShowView(BOOL bShow) = 0;                                              // 4
    // S_OK when the module handled the message, S_FALSE otherwise.
    virtual HRESULT PreTranslateMessage(MSG* pMsg) = 0;                                    // 5
    virtual HRESULT GetPaneName(BSTR* pbstrName) = 0;                                      // 6
    virtual HRESULT GetGroupName(BSTR* pbstrName) = 0;                                     // 7
    virtual HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) = 0;     // 8
    virtual HRESULT GetCaption(BSTR* pbstrCaption) = 0;                                    // 9
    virtual HRESULT GetServerNameText(BSTR* pbstrName) = 0;                                // 10
    virtual HRESULT GetViewValue(long* plValue) = 0;                                       // 11
    virtual HRESULT MoveView(RECT rc) = 0;                                                 // 12
};

// A page of the frame's settings window.
struct IQvFSetupViewControl : IUnknown {
    // In: the parent window; out: the page's window.
    virtual HRESULT CreateView(HWND* phWnd) = 0;                                           // 3
    virtual HRESULT ShowView(BOOL bShow) = 0;                                              // 4
    virtual HRESULT PreTranslateMessage(MSG* pMsg) = 0;                                    // 5
    virtual HRESULT GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) = 0;     // 6
    virtual HRESULT GetGroupName(BSTR* pbstrName) = 0;                                     // 7
    virtual HRESULT GetSetupName(BSTR* pbstrName) = 0;                                     // 8
    virtual HRESULT GetViewValue(long* plValue) = 0;                                       // 9
    virtual HRESULT GetCaption(BSTR* pbstrCaption) = 0;                                    // 10
    virtual HRESULT GetSetupValue(long* plValue) = 0;                                      // 11
    virtual HRESULT CanLoad(BOOL* pbCanLoad) = 0;                                          // 12
    // The security function as GUID text (taken only while the page has none) and the switch
    // that turns the rights check on.
    virtual HRESULT SetSecurity(BSTR bstrFunction, long lSwitch) = 0;                      // 13
    virtual HRESULT OnUpAndRunning() = 0;                                                  // 14
    virtual HRESULT OnHostNotify() = 0;                                                    // 15
    virtual HRESULT CloseView() = 0;                                                       // 16
    virtual HRESULT ReleaseView() = 0;                                                     // 17
};

// ---- offered by the frame

// The frame's main interface.
struct IQvFFrame : IUnknown {
    virtual HRESULT GetMainWindow(HWND* phWnd) = 0;                 // 3
    // Shows the view of that ProgID, creating it when it does not run yet.
    virtual HRESULT ActivateView(BSTR bstrProgID) = 0;              // 4
    // Back (-1) or forward (+1) in the navigation history; S_FALSE when there is nowhere to go.
    virtual HRESULT Navigate(long lDirection) = 0;                  // 5
    virtual HRESULT CanNavigate(long lDirection, BOOL* pbCan) = 0;  // 6
    virtual HRESULT SetStatusText(BSTR bstrText) = 0;               // 7
    // The signed-in user as the command line named him.
    virtual HRESULT GetUserName(BSTR* pbstrUser) = 0;               // 8
    // Not called by the modules; the frame answers E_NOTIMPL.
    virtual HRESULT Reserved9() = 0;
    virtual HRESULT Reserved10() = 0;
    virtual HRESULT Reserved11() = 0;
    virtual HRESULT Reserved12() = 0;
    virtual HRESULT Reserved13() = 0;
    virtual HRESULT Reserved14() = 0;
    virtual HRESULT Reserved15() = 0;
    virtual HRESULT Reserved16() = 0;
    virtual HRESULT Reserved17() = 0;
    virtual HRESULT Reserved18() = 0;
    virtual HRESULT Reserved19() = 0;
    virtual HRESULT Reserved20() = 0;
    virtual HRESULT Reserved21() = 0;
    virtual HRESULT Reserved22() = 0;
    virtual HRESULT Reserved23() = 0;
    virtual HRESULT Reserved24() = 0;
    virtual HRESULT Reserved25() = 0;
    virtual HRESULT Reserved26() = 0;
    // Not 0 when the frame wants the modules to check the user's rights and fill their report
    // menus.
    virtual HRESULT GetFrameValue(long* plValue) = 0;               // 27
};

struct IQvFMenuItem;

// A menu popup of the frame. Names are unique in the whole menu: removing and looking up by name
// finds the entry wherever it stands. Creating a name that exists hands out the entry that is
// there (menus of several servers merge by name); it goes when the last of them removes it.
struct IQvFMenuPopup : IUnknown {
    virtual HRESULT CreatePopup(BSTR bstrName, IQvFMenuPopup** ppPopup) = 0;  // 3
    virtual HRESULT CreateItem(BSTR bstrName, IQvFMenuItem** ppItem) = 0;     // 4
    virtual HRESULT RemovePopup(BSTR bstrName) = 0;                           // 5
    virtual HRESULT RemoveItem(BSTR bstrName) = 0;                            // 6
    virtual HRESULT GetPopup(BSTR bstrName, IQvFMenuPopup** ppPopup) = 0;     // 7
    virtual HRESULT GetItem(BSTR bstrName, IQvFMenuItem** ppItem) = 0;        // 8
    virtual HRESULT get_Name(BSTR* pbstrName) = 0;                            // 9
    virtual HRESULT Reserved10() = 0;
    virtual HRESULT Reserved11() = 0;
    virtual HRESULT Reserved12() = 0;
    virtual HRESULT put_Caption(BSTR bstrCaption) = 0;                        // 13
    virtual HRESULT get_Caption(BSTR* pbstrCaption) = 0;                      // 14
    virtual HRESULT Reserved15() = 0;
    virtual HRESULT Reserved16() = 0;
    virtual HRESULT Reserved17() = 0;
    virtual HRESULT Reserved18() = 0;
    virtual HRESULT put_Enabled(BOOL bEnabled) = 0;                           // 19
    virtual HRESULT get_Enabled(BOOL* pbEnabled) = 0;                         // 20
    virtual HRESULT put_GroupStart(BOOL bGroupStart) = 0;                     // 21
    virtual HRESULT get_GroupStart(BOOL* pbGroupStart) = 0;                   // 22
    // Place among the siblings: lower numbers first.
    virtual HRESULT put_Position(long lPosition) = 0;                         // 23
    virtual HRESULT get_Position(long* plPosition) = 0;                       // 24
};

struct IQvFMenuItem : IUnknown {
    virtual HRESULT get_Name(BSTR* pbstrName) = 0;          // 3
    virtual HRESULT Reserved4() = 0;
    virtual HRESULT put_Caption(BSTR bstrCaption) = 0;      // 5
    virtual HRESULT get_Caption(BSTR* pbstrCaption) = 0;    // 6
    // The text the frame shows in its status bar while the item is highlighted.
    virtual HRESULT put_Prompt(BSTR bstrPrompt) = 0;        // 7
    virtual HRESULT get_Prompt(BSTR* pbstrPrompt) = 0;      // 8
    virtual HRESULT put_Checked(BOOL bChecked) = 0;         // 9
    virtual HRESULT get_Checked(BOOL* pbChecked) = 0;       // 10
    virtual HRESULT put_Enabled(BOOL bEnabled) = 0;         // 11
    virtual HRESULT get_Enabled(BOOL* pbEnabled) = 0;       // 12
    virtual HRESULT Reserved13() = 0;
    virtual HRESULT Reserved14() = 0;
    virtual HRESULT put_GroupStart(BOOL bGroupStart) = 0;   // 15
    virtual HRESULT get_GroupStart(BOOL* pbGroupStart) = 0; // 16
    // Place among the siblings: lower numbers first.
    virtual HRESULT put_Number(long lNumber) = 0;           // 17
    virtual HRESULT get_Number(long* plNumber) = 0;         // 18
};

// The frame's menu bar: the top level of the menu, with the operation that shows what changed.
struct IQvFMenu : IQvFMenuPopup {
    virtual HRESULT Apply() = 0;  // 25
};

// The frame's accelerator table. An accelerator is a key (virtual-key code) with its modifier
// flags (FCONTROL, FSHIFT, FALT) under a name; when pressed while enabled, the frame calls the
// control sinks' accelerator command with the name.
struct IQvFAccel : IUnknown {
    virtual HRESULT SetAccel(long lModifiers, long lKey, BSTR bstrName) = 0;  // 3
    virtual HRESULT RemoveAccel(BSTR bstrName) = 0;                           // 4
    // lEnabled: whether the accelerator acts; lReserved: 0.
    virtual HRESULT EnableAccel(BSTR bstrName, long lEnabled, long lReserved) = 0;  // 5
    // S_OK when the message was an enabled accelerator of the frame and has been handled.
    virtual HRESULT TranslateAccel(MSG* pMsg) = 0;  // 6
};

// One entry of the view bar: the view of one server.
struct IQvFViewbarItem : IUnknown {
    virtual HRESULT get_Caption(BSTR* pbstrCaption) = 0;  // 3
    virtual HRESULT get_Group(BSTR* pbstrGroup) = 0;      // 4
    virtual HRESULT Reserved5() = 0;
    // Greyed and not selectable when FALSE.
    virtual HRESULT put_Enabled(BOOL bEnabled) = 0;       // 6
    virtual HRESULT get_Enabled(BOOL* pbEnabled) = 0;     // 7
    // Selectable, but marked as without access when FALSE.
    virtual HRESULT put_Access(BOOL bAccess) = 0;         // 8
    virtual HRESULT get_Access(BOOL* pbAccess) = 0;       // 9
};

struct IQvFViewbar : IUnknown {
    virtual HRESULT get_Count(long* plCount) = 0;                                    // 3
    virtual HRESULT SelectView(IUnknown* pServer) = 0;                               // 4
    // The entry of the view whose controlling IUnknown is pServer.
    virtual HRESULT GetItem(IUnknown* pServer, IQvFViewbarItem** ppItem) = 0;       // 5
};

inline constexpr IID IID_IQvFIDLVersion = qv::MakeGuid("519C2A90-2A0D-11D2-A71A-0060087BF908");
inline constexpr IID IID_IQvFServerListSink = qv::MakeGuid("EF8BC60A-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFControlSink = qv::MakeGuid("EF8BC605-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvErrorInfo = qv::MakeGuid("EF8BC618-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFViewControl = qv::MakeGuid("EF8BC619-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFSetupViewControl = qv::MakeGuid("EF8BC61A-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFFrame = qv::MakeGuid("F97DF500-21D5-454E-9521-37AFC7886245");
inline constexpr IID IID_IQvFMenu = qv::MakeGuid("EF8BC609-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFMenuPopup = qv::MakeGuid("EF8BC60B-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFMenuItem = qv::MakeGuid("EF8BC60C-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFAccel = qv::MakeGuid("0C61BFAD-245B-4C99-8E22-27E291C618E7");
inline constexpr IID IID_IQvFViewbar = qv::MakeGuid("EF8BC604-A37E-11D1-BDB2-00A024772D03");
inline constexpr IID IID_IQvFViewbarItem = qv::MakeGuid("EF8BC60D-A37E-11D1-BDB2-00A024772D03");
