#pragma once
// CQvFrameHost: the host frame as the servers and modules see it, without its window. It offers
// the frame's interfaces (main interface, server list, menu, accelerators, view bar and the
// connection points of the servers' sinks), runs the suite's servers as its running servers,
// creates module views by ProgID and takes them through their life cycle, keeps the navigation
// history, and shuts everything down in order: views first, then the servers in the reverse order
// of their start, then the unused libraries.
#include "framemenu.h"
#include "qvcmdtarget.h"
#include "qvconnpt.h"
#include "qvfint.h"

#include <functional>
#include <memory>
#include <vector>

class CQvFrameViewbarItem;

// One module view the frame runs.
struct QvFrameView {
    CString strProgID;
    CLSID clsid{};
    IQvFInit* pInit = nullptr;             // with a reference
    IQvFViewControl* pControl = nullptr;   // with a reference
    IUnknown* pIdentity = nullptr;         // the server's IUnknown, with a reference
    CString strCaption;
    CString strGroup;
    CString strPane;
    long lValue = 0;
    HIMAGELIST hImageList = nullptr;
    bool bCreated = false;  // its window exists
    bool bRunning = false;  // told that it is up and running (after its window was made)
    bool bShown = false;
    bool bClosed = false;   // taken through Close by the program's end, its release still to come
    CQvFrameViewbarItem* pItem = nullptr;  // with a reference
};

// One accelerator of the frame's table.
struct QvFrameAccel {
    CString strName;
    long lModifiers = 0;  // FCONTROL, FSHIFT, FALT
    long lKey = 0;        // virtual-key code
    BOOL bEnabled = TRUE;
};

class CQvFrameViewbarItem : public IQvFViewbarItem {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override;
    ULONG AddRef() override { return ULONG(++m_lRefs); }
    ULONG Release() override;
    HRESULT get_Caption(BSTR* pbstrCaption) override;
    HRESULT get_Group(BSTR* pbstrGroup) override;
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT put_Enabled(BOOL bEnabled) override;
    HRESULT get_Enabled(BOOL* pbEnabled) override;
    HRESULT put_Access(BOOL bAccess) override;
    HRESULT get_Access(BOOL* pbAccess) override;

    CString m_strCaption;
    CString m_strGroup;
    BOOL m_bEnabled = TRUE;
    BOOL m_bAccess = TRUE;
    std::function<void()> m_onChange;

private:
    std::atomic<long> m_lRefs{1};
};

class CQvFrameHost : public CCmdTarget {
public:
    CQvFrameHost();
    ~CQvFrameHost() override;

    // Offers the frame in the running-server table, where modules find it (GetFrameIUnk).
    HRESULT RegisterAsFrame();
    void RevokeAsFrame();

    // ---- the suite's servers
    // Creates the server of that ProgID, takes it through Init and UpAndRunning and offers it.
    HRESULT StartServer(LPCWSTR lpszProgID);
    // Offers a server object made elsewhere under its ProgID and class. At the end it is withdrawn;
    // with bClose it is taken through Close and ReleaseServers first, as the frame's own servers.
    HRESULT OfferServer(LPCWSTR lpszProgID, REFCLSID clsid, IUnknown* pServer, bool bClose = false);
    // ProgIDs of the running servers, in the order they started.
    std::vector<CString> RunningServers() const;
    // ProgIDs of the servers that failed to start, with their results.
    const std::vector<std::pair<CString, HRESULT>>& FailedServers() const { return m_failedServers; }

    // ---- views
    // Creates the view of that ProgID and takes it through its start (CanLoad, Init, then, in the
    // views' pane, CreateView, UpAndRunning, AsyncInit); its entry appears in the view bar. Before
    // the frame has a pane, the window and the rest of the start wait for it. S_FALSE when it runs
    // already.
    HRESULT OpenView(const CString& strProgID);
    // The same for a server already created (with the reference the caller hands over).
    HRESULT AddView(const CString& strProgID, IQvFInit* pInit);
    // Shows the view (its window made and its start finished the first time, in the pane), hides
    // the others and records it in the navigation history. The pane becomes the views' pane.
    HRESULT ActivateView(const CString& strProgID, HWND hPane, const RECT& rcPane);
    // The pane the views' windows live in: the views opened before it existed are started in it.
    void SetViewPane(HWND hPane);
    // Closes the view: hidden, Close, ReleaseServers, released.
    HRESULT CloseView(const CString& strProgID);
    void MoveViews(const RECT& rcPane);
    // Hides the view shown, if any.
    void HideViews();
    // A step in the navigation history (a view's ProgID or a name of the frame's own pages);
    // the forward part of the history goes.
    void RecordHistory(const CString& strEntry);
    const std::vector<std::unique_ptr<QvFrameView>>& Views() const { return m_views; }
    QvFrameView* FindView(const CString& strProgID) const;
    QvFrameView* ActiveView() const;
    // Lets the active view see a key or mouse message before its window (the view's own
    // accelerators first, then the frame's). TRUE when handled.
    BOOL PreTranslateMessage(MSG* pMsg);

    // ---- navigation history: the views in the order they were shown
    // Steps back (-1) or forward (+1); the ProgID to show, empty when there is none.
    CString Navigate(long lDirection);
    BOOL CanNavigate(long lDirection) const;
    const std::vector<CString>& History() const { return m_history; }

    // ---- menus and accelerators
    CQvFrameMenu& Menu() { return *m_menu; }
    const std::vector<QvFrameAccel>& Accelerators() const { return m_accels; }
    // An enabled accelerator of that key and modifiers: its name, else empty.
    CString FindAccel(long lKey, long lModifiers) const;
    // Tells every connected control sink; each gets a name of its own to free.
    void FireMenuNotify(const CString& strName);
    void FireMenuCommand(const CString& strName);
    void FireAccelNotify(const CString& strName);
    void FireAccelCommand(const CString& strName);
    void FireServerListChanged();
    size_t ControlSinkCount() const { return m_cpControl.GetConnectionCount(); }
    size_t ServerListSinkCount() const { return m_cpServerList.GetConnectionCount(); }

    // ---- shut-down
    // The first step of the program's end, while its window is still shown: the views close, the
    // one shown first, and each asks the user about its open edit. A view shown keeps its edit when
    // the save the user asked for was refused: then nothing is closed and FALSE is returned, and the
    // program goes on.
    bool CloseViews();
    // Closes the views and servers, ends the work they left running and unloads what is no longer
    // used; once only, until something is opened again (the window's close, the program's end
    // and the host's destruction all ask for it).
    void CloseAll();

    // ---- settings of the frame
    void SetFrameValue(long lValue) { m_lFrameValue = lValue; }
    void SetUserName(const CString& strUser) { m_strUser = strUser; }
    const CString& GetUserName() const { return m_strUser; }
    void SetMainWindow(HWND hWnd) { m_hMainWnd = hWnd; }

    // What the window listens to.
    std::function<void()> m_onViewsChanged;
    std::function<void(const CString&)> m_onStatusText;
    std::function<void(const CString&)> m_onActivateRequest;
    std::function<void(long)> m_onNavigateRequest;
    // Told of every class the frame is asked to release.
    std::function<void(const CLSID&)> m_onReleaseServer;

    // Keeps the frame alive while it is offered (servers hold it too).
    void OnFinalRelease() override {}

protected:
    BEGIN_INTERFACE_PART(Frame, IQvFFrame)
        HRESULT GetMainWindow(HWND* phWnd) override;
        HRESULT ActivateView(BSTR bstrProgID) override;
        HRESULT Navigate(long lDirection) override;
        HRESULT CanNavigate(long lDirection, BOOL* pbCan) override;
        HRESULT SetStatusText(BSTR bstrText) override;
        HRESULT GetUserName(BSTR* pbstrUser) override;
        HRESULT Reserved9() override { return E_NOTIMPL; }
        HRESULT Reserved10() override { return E_NOTIMPL; }
        HRESULT Reserved11() override { return E_NOTIMPL; }
        HRESULT Reserved12() override { return E_NOTIMPL; }
        HRESULT Reserved13() override { return E_NOTIMPL; }
        HRESULT Reserved14() override { return E_NOTIMPL; }
        HRESULT Reserved15() override { return E_NOTIMPL; }
        HRESULT Reserved16() override { return E_NOTIMPL; }
        HRESULT Reserved17() override { return E_NOTIMPL; }
        HRESULT Reserved18() override { return E_NOTIMPL; }
        HRESULT Reserved19() override { return E_NOTIMPL; }
        HRESULT Reserved20() override { return E_NOTIMPL; }
        HRESULT Reserved21() override { return E_NOTIMPL; }
        HRESULT Reserved22() override { return E_NOTIMPL; }
        HRESULT Reserved23() override { return E_NOTIMPL; }
        HRESULT Reserved24() override { return E_NOTIMPL; }
        HRESULT Reserved25() override { return E_NOTIMPL; }
        HRESULT Reserved26() override { return E_NOTIMPL; }
        HRESULT GetFrameValue(long* plValue) override;
    END_INTERFACE_PART(Frame)

    BEGIN_INTERFACE_PART(ServerList, IQvFServerList)
        HRESULT Reserved() override { return E_NOTIMPL; }
        HRESULT ReleaseServer(CLSID clsid) override;
        HRESULT IsServerAvailable(CLSID clsid) override;
    END_INTERFACE_PART(ServerList)

    BEGIN_INTERFACE_PART(Accel, IQvFAccel)
        HRESULT SetAccel(long lModifiers, long lKey, BSTR bstrName) override;
        HRESULT RemoveAccel(BSTR bstrName) override;
        HRESULT EnableAccel(BSTR bstrName, long lEnabled, long lReserved) override;
        HRESULT TranslateAccel(MSG* pMsg) override;
    END_INTERFACE_PART(Accel)

    BEGIN_INTERFACE_PART(Viewbar, IQvFViewbar)
        HRESULT get_Count(long* plCount) override;
        HRESULT SelectView(IUnknown* pServer) override;
        HRESULT GetItem(IUnknown* pServer, IQvFViewbarItem** ppItem) override;
    END_INTERFACE_PART(Viewbar)

    DECLARE_INTERFACE_MAP()

public:
    // The menu tree's top, entered in the interface map as the frame's menu interface.
    std::unique_ptr<CQvFrameMenu> m_menu;
    CQvFrameMenuPopup& m_xMenu;
    CConnectionPointContainer m_xConnPtContainer{this};
    CConnectionPoint m_cpServerList{m_xConnPtContainer, IID_IQvFServerListSink};
    CConnectionPoint m_cpControl{m_xConnPtContainer, IID_IQvFControlSink};

private:
    HRESULT StartView(QvFrameView& view);
    // The view's window in the pane, then UpAndRunning and AsyncInit, each once.
    HRESULT BringUpView(QvFrameView& view, HWND hPane);
    void ReleaseView(QvFrameView& view);
    // The view of the server whose IUnknown is pServer.
    QvFrameView* ViewOf(IUnknown* pServer) const;
    void ViewsChanged() const;

    struct Server {
        CString strProgID;
        CLSID clsid{};
        bool bStarted = false;  // taken through its life cycle by the frame
    };
    void StopServer(const Server& server);

    std::vector<Server> m_servers;
    std::vector<std::pair<CString, HRESULT>> m_failedServers;
    std::vector<std::unique_ptr<QvFrameView>> m_views;
    std::vector<QvFrameAccel> m_accels;
    std::vector<CString> m_history;
    long m_lHistory = -1;
    long m_lFrameValue = 1;
    CString m_strUser;
    HWND m_hMainWnd = nullptr;
    HWND m_hViewPane = nullptr;
    bool m_bRegistered = false;
    bool m_bClosing = false;
    // Closed by CloseAll and nothing opened since.
    bool m_bClosed = false;
};
