#pragma once
// CQvFServer: a module object that the host frame drives as a server. It answers the frame's life
// cycle (IQvFInit: load check, initialisation, up and running, asynchronous initialisation,
// closing, release of servers), each step once; connects its server-list and control sinks to the
// frame; adds its menus and accelerators to the frame's and routes their commands back to itself;
// hands out its settings pages; and takes part in the suite's self-tests over the web server.
// Every step writes a trace line "QvFServer: <time>; 0x<thread>; <message>".
#include "controlobj.h"
#include "qvfcomobject.h"
#include "qvfint.h"
#include "qvguid.h"
#include "qvwebserver.h"

#include <vector>

class CQvFServer;
struct IQvFMenuPopup;
class CMenu;

// One entry of a server's control-sink table: kind 1 runs on the menu or accelerator command of
// that name, kind 2 on its notification; kind 0 ends the table.
struct QV_CONTROLSINK_ENTRY {
    UINT nKind;
    LPCWSTR lpszName;
    void (CQvFServer::*pfn)();
};

#define QVF_SINK_COMMAND 1
#define QVF_SINK_NOTIFY 2

#define DECLARE_CONTROLSINK_MAP() const QV_CONTROLSINK_ENTRY* GetControlSinkMap() override;
#define BEGIN_CONTROLSINK_MAP(theClass)                              \
    const QV_CONTROLSINK_ENTRY* theClass::GetControlSinkMap() {      \
        using QvSinkMapClass = theClass;                             \
        static const QV_CONTROLSINK_ENTRY entries[] = {
#define ON_QVF_COMMAND(name, memberFxn) \
    {QVF_SINK_COMMAND, name, static_cast<void (CQvFServer::*)()>(&QvSinkMapClass::memberFxn)},
#define ON_QVF_NOTIFY(name, memberFxn) \
    {QVF_SINK_NOTIFY, name, static_cast<void (CQvFServer::*)()>(&QvSinkMapClass::memberFxn)},
#define END_CONTROLSINK_MAP() \
    {0, nullptr, nullptr}};   \
    return entries;           \
    }

class CQvFServer : public CQvFCOMObject {
    DECLARE_DYNCREATE(CQvFServer)
public:
    CQvFServer();
    ~CQvFServer() override;

    // Life-cycle states of Init, UpAndRunning, AsyncInit, Close and ReleaseServers.
    enum LifeStep { StepInit, StepUpAndRunning, StepAsyncInit, StepClose, StepReleaseServers, StepCount };
    // 0 not called, 1 called, 2 finished.
    long GetStepState(LifeStep step) const { return m_lState[step]; }

    long InternalRelease() override;
    HRESULT ReleaseServers() override;
    void OnFinalRelease() override;

    // ---- virtual operations, in slot order
    // Null-terminated; the base has none.
    virtual CRuntimeClass** GetSetupPageClasses();
    virtual HRESULT ShowErrorInfo();
    virtual const QV_CONTROLSINK_ENTRY* GetControlSinkMap();
    virtual BOOL GetServerFlag();
    virtual HRESULT GetCaption(CString& strCaption);
    virtual BOOL IsClosed();
    virtual BOOL AddMenu(UINT nMenuID, BOOL bAlways);
    virtual BOOL RemoveMenu(UINT nMenuID);
    virtual BOOL SetAccel(long lValue1, long lValue2, CString strName, BOOL bAlways);
    virtual BOOL RemoveAccel(CString strName);
    virtual BOOL AddAccel(CString strName, long lValue1, long lValue2);
    virtual HRESULT TDDRun(CString strTest, const std::vector<CString>& values, CString& strResult);
    virtual BOOL InitTDD();
    virtual HRESULT GetProgID(CString& strProgID);
    virtual HRESULT CanLoad();
    virtual HRESULT Init(BOOL bConnectToFrame);
    virtual HRESULT UpAndRunning();
    virtual HRESULT AsyncInit();
    virtual HRESULT OnHostNotify();
    virtual HRESULT Close();
    virtual HRESULT CreateSetupPage(int nIndex, IUnknown** ppPage);
    virtual HRESULT OnApplySecurity();
    virtual void SetKeepAlive(BOOL bKeepAlive);
    virtual BOOL GetKeepAlive();
    virtual void RequestRelease();
    virtual void SetName(CString strName);
    virtual HRESULT GetName(CString& strName);
    virtual HRESULT GetBuildConfiguration(CString& strBuild);
    virtual HRESULT OnServerListChanged();
    virtual HRESULT OnMenuNotify(CString strName);
    virtual HRESULT OnMenuCommand(CString strName);
    virtual HRESULT OnAccelNotify(CString strName);
    virtual HRESULT OnAccelCommand(CString strName);
    virtual HRESULT GetClassID(GUID* pClsid);

    // ---- configuration by the derived constructor
    void SetGroupID(UINT nID) { m_nGroupID = nID; }
    void SetCaptionID(UINT nID) { m_nCaptionID = nID; }
    void SetServerGUID(CQvGUID guid) { m_guidServer = guid; }

    // The frame value when the server has a GUID, else 0: the view dialog checks the user's rights
    // for the server GUID only when this is not 0.
    long GetSecurityFrameValue() const;

    // ---- menus and accelerators
    BOOL AddSubMenu(IQvFMenuPopup* pParent, CMenu* pMenu, BOOL bAlways);
    BOOL RemoveSubMenu(IQvFMenuPopup* pParent, CMenu* pMenu);
    BOOL RemoveAllMenu();
    BOOL RemoveAllAccel();

    // ---- self-test
    HRESULT RunTDD(CString strTest, const std::vector<CString>& names, const std::vector<CString>& values,
                   CString& strReply);
    void WriteTDDLog(CString strTest, CString strParameters, long lType, long lResult, CString strHint);

    // Writes "QvFServer: <local time>; 0x<thread id>; <message>" to the debugger output.
    template <class... A>
    void Trace(LPCWSTR lpszFormat, const A&... args) const {
        QvFTrace(L"QvFServer", lpszFormat, args...);
    }

    // Read access for the view and settings-page bases.
    BOOL GetCommandsEnabled() const { return m_bCommandsEnabled; }
    void SetCommandsEnabled(BOOL bEnabled) { m_bCommandsEnabled = bEnabled; }
    long GetFrameValue() const { return m_lFrameValue; }
    long GetViewbarKind() const { return m_lViewbarKind; }
    const CQvGUID& GetServerGUID() const { return m_guidServer; }
    long GetSelfRefCount() const { return m_lSelfRefCount.load(); }
    DWORD GetServerListSinkCookie() const { return m_dwServerListSinkCookie; }
    DWORD GetControlSinkCookie() const { return m_dwControlSinkCookie; }
    CCriticalSection& GetListLock() { return m_listLock; }
    CControlObjList& GetPopupList() { return m_popupList; }
    CControlObjList& GetCommandList() { return m_commandList; }
    CControlObjList& GetAccelList() { return m_accelList; }
    const CString& GetComputerName() const { return m_strComputer; }
    const CString& GetAppID() const { return m_strAppID; }

protected:
    // Runs the kind's handlers of that name from the control-sink table, in table order.
    void CallSinkHandlers(UINT nKind, const CString& strName);
    // The command routing of control-sink slots 4 (command list) and 6 (accelerator list).
    HRESULT RouteCommand(BOOL bAccel, const CString& strName);
    // Builds the frame's menu interface; null after a failure, which is returned.
    static HRESULT GetFrameMenu(IQvFMenu** ppMenu);

    CString m_strErrorText;
    UINT m_nErrorBoxStyle = 16;

    BEGIN_INTERFACE_PART(QvErrorInfo, IQvErrorInfo)
        HRESULT ShowError() override;
        HRESULT GetErrorText(BSTR* pbstrText) override;
    END_INTERFACE_PART(QvErrorInfo)

    DWORD m_dwServerListSinkCookie = 0;
    DWORD m_dwControlSinkCookie = 0;
    std::atomic<long> m_lSelfRefCount{1};
    CCriticalSection m_listLock;
    BOOL m_bCommandsEnabled = FALSE;
    BOOL m_bKeepAlive = TRUE;
    BOOL m_bServerFlag = TRUE;
    UINT m_nGroupID = 0;
    CString m_strGroupText;
    UINT m_nCaptionID = 0;
    CString m_strServerName = L"CQvFServer";
    CString m_strBaseName = L"QvFrameBase";
    CQvGUID m_guidServer;
    long m_lFrameValue = 0;
    long m_lViewbarKind = 2;
    BOOL m_bFrameConnected = TRUE;
    CControlObjList m_popupList;
    CControlObjList m_commandList;
    CControlObjList m_accelList;
    std::atomic<long> m_lState[StepCount] = {};
    CString m_strComputer;
    CString m_strAppID;
    CString m_strProgID;
    IQvWebExt* m_pWebExt = nullptr;

    BEGIN_INTERFACE_PART(QvFIDLVersion, IQvFIDLVersion)
        HRESULT GetVersion(long* plVersion) override;
    END_INTERFACE_PART(QvFIDLVersion)

    BEGIN_INTERFACE_PART(QvFInit, IQvFInit)
        HRESULT CanLoad() override;
        HRESULT Init(BOOL bConnectToFrame) override;
        HRESULT UpAndRunning() override;
        HRESULT AsyncInit() override;
        HRESULT OnHostNotify() override;
        HRESULT Close() override;
        HRESULT ReleaseServers() override;
        HRESULT OnApplySecurity() override;
        HRESULT GetClassID(GUID* pClsid) override;
        HRESULT GetProductVersion(WORD* pw1, WORD* pw2, WORD* pw3, WORD* pw4) override;
        HRESULT GetProgID(BSTR* pbstrProgID) override;
        HRESULT CreateSetupPage(int nIndex, IUnknown** ppPage) override;
        HRESULT GetServerGUID(BSTR* pbstrGUID) override;
        HRESULT SetKeepAlive(BOOL bKeepAlive) override;
        HRESULT GetModuleFile(BSTR* pbstrDrive, BSTR* pbstrDir, BSTR* pbstrName, BSTR* pbstrExt) override;
        HRESULT put_ServerFlag(BOOL bServer) override;
        HRESULT get_ServerFlag(BOOL* pbServer) override;
        HRESULT GetBuildConfiguration(BSTR* pbstrBuild) override;
    END_INTERFACE_PART(QvFInit)

    BEGIN_INTERFACE_PART(QvFServerListSink, IQvFServerListSink)
        HRESULT OnServerListChanged() override;
    END_INTERFACE_PART(QvFServerListSink)

    BEGIN_INTERFACE_PART(QvFControlSink, IQvFControlSink)
        HRESULT OnMenuNotify(BSTR bstrName) override;
        HRESULT OnMenuCommand(BSTR bstrName) override;
        HRESULT OnAccelNotify(BSTR bstrName) override;
        HRESULT OnAccelCommand(BSTR bstrName) override;
    END_INTERFACE_PART(QvFControlSink)

    BEGIN_INTERFACE_PART(QvWebExt, IQvWebExt)
        HRESULT Request(BSTR command, long count, BSTR* names, BSTR* values, BSTR method, BSTR body, long* replySize,
                        void** replyBuffer) override;
        HRESULT GetDescription(BSTR* text) override;
    END_INTERFACE_PART(QvWebExt)

    DECLARE_INTERFACE_MAP()

private:
    // The once-only rule of IQvFInit: FALSE when the step was called before.
    BOOL EnterStep(LifeStep step);
};

// Writes the failure trace under the frame base's source name and hands hr back.
#define QVF_TRACEHR(hr) QvAddHRErrorFile(L"qvfserver", __LINE__, (hr))

// Calls fn with the text as a BSTR that lives for the call only.
template <class F>
HRESULT QvFCallWithBSTR(const CString& strText, F&& fn) {
    BSTR bstrText = strText.AllocSysString();
    const HRESULT hr = fn(bstrText);
    SysFreeString(bstrText);
    return hr;
}

// The frame's interface iid (null after a failure, which is returned).
HRESULT QvFQueryFrame(REFIID iid, void** ppv);
