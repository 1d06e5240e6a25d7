// The server object: its life cycle, its connection to the frame and its nested interfaces.
#include "qvfserver.h"
#include "qvcomserver.h"
#include "qvfmodule.h"
#include "qvfversion.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsysinfo.h"
#include "qvweb.h"
#include "qvwinapp.h"

#include <climits>
#include <cstdlib>
#include <cstring>

IMPLEMENT_DYNCREATE(CQvFServer, CQvFCOMObject)

BEGIN_INTERFACE_MAP(CQvFServer, CQvFCOMObject)
    INTERFACE_PART(CQvFServer, IID_IQvFIDLVersion, QvFIDLVersion)
    INTERFACE_PART(CQvFServer, IID_IQvFInit, QvFInit)
    INTERFACE_PART(CQvFServer, IID_IQvFServerListSink, QvFServerListSink)
    INTERFACE_PART(CQvFServer, IID_IQvFControlSink, QvFControlSink)
    INTERFACE_PART(CQvFServer, IID_IQvErrorInfo, QvErrorInfo)
    INTERFACE_PART(CQvFServer, IID_IQvWebExt, QvWebExt)
END_INTERFACE_MAP()

QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvFIDLVersion)
QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvFInit)
QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvFServerListSink)
QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvFControlSink)
QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvErrorInfo)
QVF_IMPLEMENT_IUNKNOWN(CQvFServer, QvWebExt)

namespace {

HRESULT OutText(BSTR* pbstr, const CString& strText) {
    if (!pbstr) return E_POINTER;
    *pbstr = strText.AllocSysString();
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

// A path with a '~' after its first character may name the file by another name; the file finder
// reports the name the file really has.
CString LongPathOf(const CString& strPath) {
    if (strPath.Find(L'~', 1) < 0) return strPath;
    char resolved[PATH_MAX];
    if (!realpath(strPath.ToUtf8().c_str(), resolved)) return strPath;
    return CString(resolved);
}

}  // namespace

HRESULT QvFQueryFrame(REFIID iid, void** ppv) {
    *ppv = nullptr;
    IUnknown* pFrame = nullptr;
    HRESULT hr = GetFrameIUnk(&pFrame);
    if (FAILED(hr)) return hr;
    hr = pFrame->QueryInterface(iid, ppv);
    pFrame->Release();
    return hr;
}

CQvFServer::CQvFServer() = default;

CQvFServer::~CQvFServer() {
    if (m_pWebExt) {
        m_pWebExt->Release();
        m_pWebExt = nullptr;
    }
}

BOOL CQvFServer::EnterStep(LifeStep step) {
    long expected = 0;
    return m_lState[step].compare_exchange_strong(expected, 1) ? TRUE : FALSE;
}

long CQvFServer::GetSecurityFrameValue() const { return m_guidServer.IsNULL() ? 0 : m_lFrameValue; }

// ---- release rule

long CQvFServer::InternalRelease() {
    const long r = CQvFCOMObject::InternalRelease();
    if (r == 0) return 0;
    BOOL bRequest;
    {
        CSingleLock lock(&m_lock, TRUE);
        bRequest = m_dwRef.load() == m_lSelfRefCount.load() && !m_bKeepAlive;
    }
    if (bRequest) RequestRelease();
    return r;
}

void CQvFServer::OnFinalRelease() {
    Trace(L"OnFinalRelease() called for: '%s'\n", m_strServerName);
    CQvFCOMObject::OnFinalRelease();
}

// ---- virtual operations

CRuntimeClass** CQvFServer::GetSetupPageClasses() {
    static CRuntimeClass* none[] = {nullptr};
    return none;
}

HRESULT CQvFServer::ShowErrorInfo() {
    QvMessageBox(m_strErrorText, m_nErrorBoxStyle);
    return S_OK;
}

const QV_CONTROLSINK_ENTRY* CQvFServer::GetControlSinkMap() {
    static const QV_CONTROLSINK_ENTRY entries[] = {{0, nullptr, nullptr}};
    return entries;
}

BOOL CQvFServer::GetServerFlag() { return m_bServerFlag; }

HRESULT CQvFServer::GetCaption(CString& strCaption) {
    if (m_nCaptionID == 0) return GetProgID(strCaption);
    CString text;
    if (!text.LoadString(m_nCaptionID)) return QVF_TRACEHR(E_FAIL);
    strCaption = text;
    return S_OK;
}

BOOL CQvFServer::IsClosed() { return m_lState[StepClose] != 0 ? TRUE : FALSE; }

HRESULT CQvFServer::GetProgID(CString& strProgID) {
    GUID clsid{};
    HRESULT hr = GetClassID(&clsid);
    if (FAILED(hr)) return QVF_TRACEHR(hr);
    LPMALLOC pMalloc = nullptr;
    hr = CoGetMalloc(MEMCTX_TASK, &pMalloc);
    if (FAILED(hr)) return QVF_TRACEHR(hr);
    LPOLESTR lpszProgID = nullptr;
    hr = ProgIDFromCLSID(clsid, &lpszProgID);
    if (FAILED(hr)) {
        QVF_TRACEHR(hr);
    } else {
        strProgID = lpszProgID;
        pMalloc->Free(lpszProgID);
    }
    pMalloc->Release();
    return hr;
}

HRESULT CQvFServer::CanLoad() {
    Trace(L"CanLoad() called for: '%s'", m_strServerName);
    return S_OK;
}

HRESULT CQvFServer::Init(BOOL bConnectToFrame) {
    m_bFrameConnected = bConnectToFrame ? TRUE : FALSE;
    HRESULT hr = S_OK;
    IUnknown* pFrame = nullptr;
    if (m_bFrameConnected && SUCCEEDED(GetFrameIUnk(&pFrame)) && pFrame) {
        IQvFFrame* pMain = nullptr;
        hr = pFrame->QueryInterface(IID_IQvFFrame, reinterpret_cast<void**>(&pMain));
        if (FAILED(hr)) {
            QVF_TRACEHR(hr);
        } else {
            hr = pMain->GetFrameValue(&m_lFrameValue);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            pMain->Release();
        }
        if (ConnectionAdvise(pFrame, IID_IQvFServerListSink, &m_xQvFServerListSink, TRUE, &m_dwServerListSinkCookie))
            ++m_lSelfRefCount;
        else
            QVF_TRACEHR(E_FAIL);
        if (ConnectionAdvise(pFrame, IID_IQvFControlSink, &m_xQvFControlSink, TRUE, &m_dwControlSinkCookie))
            ++m_lSelfRefCount;
        else
            QVF_TRACEHR(E_FAIL);
        CString strCaption;
        if (SUCCEEDED(GetCaption(strCaption))) {
            if (CQvWinApp* pApp = QvFGetModuleApp()) pApp->SetAppName(strCaption);
        }
        pFrame->Release();
    }
    Trace(L"Init() called for: '%s'", m_strServerName);
    m_lState[StepInit] = 2;
    return hr;
}

HRESULT CQvFServer::UpAndRunning() {
    HRESULT hr = S_OK;
    m_strComputer = QvGetComputerName(0, 0);
    m_strAppID = QvGetAppID();
    hr = GetProgID(m_strProgID);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    if (InitTDD()) {
        if (!m_pWebExt) {
            hr = ExternalQueryInterface(&IID_IQvWebExt, reinterpret_cast<void**>(&m_pWebExt));
            if (FAILED(hr)) QVF_TRACEHR(hr);
        }
        if (m_pWebExt) {
            hr = QvWebRegister(m_pWebExt);
            if (FAILED(hr)) QVF_TRACEHR(hr);
        }
        Trace(L"UpAndRunning() TDD WebInterface installed");
    }
    Trace(L"UpAndRunning() called for: '%s'", m_strServerName);
    m_lState[StepUpAndRunning] = 2;
    return hr;
}

HRESULT CQvFServer::AsyncInit() {
    Trace(L"AsyncInit() called for: '%s'", m_strServerName);
    m_lState[StepAsyncInit] = 2;
    return S_OK;
}

HRESULT CQvFServer::OnHostNotify() { return S_OK; }

HRESULT CQvFServer::Close() {
    HRESULT hr = S_OK;
    if (m_pWebExt) {
        hr = QvWebUnregister(m_pWebExt);
        if (FAILED(hr)) QVF_TRACEHR(hr);
        m_pWebExt->Release();
        m_pWebExt = nullptr;
    }
    Trace(L"Close() called for: '%s'", m_strServerName);
    m_lState[StepClose] = 2;
    return hr;
}

HRESULT CQvFServer::ReleaseServers() {
    if (m_bFrameConnected) {
        RemoveAllMenu();
        RemoveAllAccel();
    }
    InternalAddRef();
    IUnknown* pFrame = nullptr;
    if (m_bFrameConnected && SUCCEEDED(GetFrameIUnk(&pFrame)) && pFrame) {
        if (m_dwServerListSinkCookie != 0) {
            if (ConnectionUnadvise(pFrame, IID_IQvFServerListSink, &m_xQvFServerListSink, TRUE,
                                   m_dwServerListSinkCookie))
                --m_lSelfRefCount;
            else
                QVF_TRACEHR(E_FAIL);
        }
        if (m_dwControlSinkCookie != 0) {
            if (ConnectionUnadvise(pFrame, IID_IQvFControlSink, &m_xQvFControlSink, TRUE, m_dwControlSinkCookie))
                --m_lSelfRefCount;
            else
                QVF_TRACEHR(E_FAIL);
        }
        pFrame->Release();
    }
    InternalRelease();
    Trace(L"ReleaseServers() called for: '%s'\n", m_strServerName);
    m_lState[StepReleaseServers] = 2;
    return S_OK;
}

HRESULT CQvFServer::CreateSetupPage(int nIndex, IUnknown** ppPage) {
    CRuntimeClass** classes = GetSetupPageClasses();
    int count = 0;
    while (classes && classes[count]) ++count;
    if (nIndex < 0 || nIndex >= count) return S_FALSE;
    if (!ppPage) return QVF_TRACEHR(E_POINTER);
    CObject* pObject = classes[nIndex]->CreateObject();
    auto* pTarget = dynamic_cast<CCmdTarget*>(pObject);
    if (!pTarget) {
        delete pObject;
        return QVF_TRACEHR(E_FAIL);
    }
    // The new object's own reference goes with its controlling IUnknown.
    *ppPage = pTarget->GetControllingUnknown();
    return S_OK;
}

HRESULT CQvFServer::OnApplySecurity() {
    Trace(L"OnApplySecurity() called for: '%s'", m_strServerName);
    return S_OK;
}

void CQvFServer::SetKeepAlive(BOOL bKeepAlive) {
    m_bKeepAlive = bKeepAlive;
    BOOL bRequest;
    {
        CSingleLock lock(&m_lock, TRUE);
        bRequest = m_dwRef.load() == m_lSelfRefCount.load();
    }
    if (bRequest) RequestRelease();
}

BOOL CQvFServer::GetKeepAlive() { return m_bKeepAlive; }

void CQvFServer::RequestRelease() {
    IUnknown* pFrame = nullptr;
    HRESULT hr = GetFrameIUnk(&pFrame);
    if (FAILED(hr) || !pFrame) {
        QVF_TRACEHR(hr);
        return;
    }
    IQvFServerList* pList = nullptr;
    hr = pFrame->QueryInterface(IID_IQvFServerList, reinterpret_cast<void**>(&pList));
    pFrame->Release();
    if (FAILED(hr)) {
        QVF_TRACEHR(hr);
        return;
    }
    GUID clsid{};
    hr = GetClassID(&clsid);
    if (FAILED(hr)) {
        QVF_TRACEHR(hr);
    } else {
        hr = pList->ReleaseServer(clsid);
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    pList->Release();
}

void CQvFServer::SetName(CString strName) { m_strServerName = strName; }

HRESULT CQvFServer::GetName(CString& strName) {
    strName = m_strServerName;
    return S_OK;
}

HRESULT CQvFServer::GetBuildConfiguration(CString& strBuild) {
    strBuild = L"Release";
    return S_OK;
}

HRESULT CQvFServer::OnServerListChanged() { return S_OK; }
HRESULT CQvFServer::OnMenuNotify(CString) { return S_OK; }
HRESULT CQvFServer::OnMenuCommand(CString) { return S_OK; }
HRESULT CQvFServer::OnAccelNotify(CString) { return S_OK; }
HRESULT CQvFServer::OnAccelCommand(CString) { return S_OK; }
HRESULT CQvFServer::GetClassID(GUID*) { return E_FAIL; }

// ---- command routing

void CQvFServer::CallSinkHandlers(UINT nKind, const CString& strName) {
    for (const QV_CONTROLSINK_ENTRY* e = GetControlSinkMap(); e && e->nKind != 0; ++e) {
        if (e->nKind == nKind && e->lpszName && strName.CompareNoCase(e->lpszName) == 0 && e->pfn) (this->*e->pfn)();
    }
}

HRESULT CQvFServer::RouteCommand(BOOL bAccel, const CString& strName) {
    BOOL bFound = FALSE;
    long lValue = 0;
    {
        CSingleLock lock(&m_listLock, TRUE);
        if (CControlObj* pEntry = QvFFindControlObj(bAccel ? m_accelList : m_commandList, strName)) {
            bFound = TRUE;
            lValue = pEntry->m_lValue;
        }
    }
    if (!bFound || (!m_bCommandsEnabled && lValue == 0)) return S_OK;
    const HRESULT hr = bAccel ? OnAccelCommand(strName) : OnMenuCommand(strName);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    CallSinkHandlers(QVF_SINK_COMMAND, strName);
    return hr;
}

// ---- IQvFIDLVersion

HRESULT CQvFServer::XQvFIDLVersion::GetVersion(long* plVersion) {
    QVF_MANAGE_STATE();
    if (!plVersion) return E_POINTER;
    *plVersion = 240;
    return S_OK;
}

// ---- IQvFInit

HRESULT CQvFServer::XQvFInit::CanLoad() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (pThis->m_lState[StepInit] != 0) return E_FAIL;
    return pThis->CanLoad();
}

HRESULT CQvFServer::XQvFInit::Init(BOOL bConnectToFrame) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pThis->EnterStep(StepInit)) return S_FALSE;
    return pThis->Init(bConnectToFrame);
}

HRESULT CQvFServer::XQvFInit::UpAndRunning() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pThis->EnterStep(StepUpAndRunning)) return S_FALSE;
    return pThis->UpAndRunning();
}

HRESULT CQvFServer::XQvFInit::AsyncInit() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pThis->EnterStep(StepAsyncInit)) return S_FALSE;
    return pThis->AsyncInit();
}

HRESULT CQvFServer::XQvFInit::OnHostNotify() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    return pThis->OnHostNotify();
}

HRESULT CQvFServer::XQvFInit::Close() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pThis->EnterStep(StepClose)) return S_FALSE;
    const HRESULT hr = pThis->Close();
    // The user kept the view open (its edit's save was refused): a later close asks again.
    if (hr == HRESULT_FROM_WIN32(ERROR_CANCELLED)) pThis->m_lState[StepClose] = 0;
    return hr;
}

HRESULT CQvFServer::XQvFInit::ReleaseServers() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pThis->EnterStep(StepReleaseServers)) return S_FALSE;
    return pThis->ReleaseServers();
}

HRESULT CQvFServer::XQvFInit::OnApplySecurity() {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    return pThis->OnApplySecurity();
}

HRESULT CQvFServer::XQvFInit::GetClassID(GUID* pClsid) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    return pThis->GetClassID(pClsid);
}

HRESULT CQvFServer::XQvFInit::GetProductVersion(WORD* pw1, WORD* pw2, WORD* pw3, WORD* pw4) {
    QVF_MANAGE_STATE();
    return QvFGetProductVersion(pw1, pw2, pw3, pw4) ? S_OK : E_FAIL;
}

HRESULT CQvFServer::XQvFInit::GetProgID(BSTR* pbstrProgID) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    CString strProgID;
    const HRESULT hr = pThis->GetProgID(strProgID);
    if (pbstrProgID) *pbstrProgID = strProgID.AllocSysString();
    return hr;
}

HRESULT CQvFServer::XQvFInit::CreateSetupPage(int nIndex, IUnknown** ppPage) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    return pThis->CreateSetupPage(nIndex, ppPage);
}

HRESULT CQvFServer::XQvFInit::GetServerGUID(BSTR* pbstrGUID) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    return OutText(pbstrGUID, pThis->m_guidServer.GetGUID(FALSE));
}

HRESULT CQvFServer::XQvFInit::SetKeepAlive(BOOL bKeepAlive) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    pThis->SetKeepAlive(bKeepAlive);
    return S_OK;
}

HRESULT CQvFServer::XQvFInit::GetModuleFile(BSTR* pbstrDrive, BSTR* pbstrDir, BSTR* pbstrName, BSTR* pbstrExt) {
    QVF_MANAGE_STATE();
    if (!pbstrDrive || !pbstrDir || !pbstrName || !pbstrExt) return E_POINTER;
    CString strDrive, strDir, strName, strExt;
    QvFSplitPath(LongPathOf(QvFGetModuleFileName()), &strDrive, &strDir, &strName, &strExt);
    OutText(pbstrDrive, strDrive);
    OutText(pbstrDir, strDir);
    OutText(pbstrName, strName);
    OutText(pbstrExt, strExt);
    return S_OK;
}

HRESULT CQvFServer::XQvFInit::put_ServerFlag(BOOL bServer) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    pThis->m_bServerFlag = bServer;
    return S_OK;
}

HRESULT CQvFServer::XQvFInit::get_ServerFlag(BOOL* pbServer) {
    METHOD_PROLOGUE(CQvFServer, QvFInit)
    QVF_MANAGE_STATE();
    if (!pbServer) return E_POINTER;
    *pbServer = pThis->m_bServerFlag;
    return S_OK;
}

HRESULT CQvFServer::XQvFInit::GetBuildConfiguration(BSTR* pbstrBuild) {
    QVF_MANAGE_STATE();
    return OutText(pbstrBuild, L"Release");
}

// ---- IQvFServerListSink

HRESULT CQvFServer::XQvFServerListSink::OnServerListChanged() {
    METHOD_PROLOGUE(CQvFServer, QvFServerListSink)
    QVF_MANAGE_STATE();
    return pThis->OnServerListChanged();
}

// ---- IQvFControlSink: each takes over the name and frees it.

namespace {
CString TakeBSTR(BSTR bstr) {
    CString text(bstr ? bstr : L"", bstr ? int(SysStringLen(bstr)) : 0);
    SysFreeString(bstr);
    return text;
}
}  // namespace

HRESULT CQvFServer::XQvFControlSink::OnMenuNotify(BSTR bstrName) {
    METHOD_PROLOGUE(CQvFServer, QvFControlSink)
    QVF_MANAGE_STATE();
    const CString strName = TakeBSTR(bstrName);
    const HRESULT hr = pThis->OnMenuNotify(strName);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    pThis->CallSinkHandlers(QVF_SINK_NOTIFY, strName);
    return hr;
}

HRESULT CQvFServer::XQvFControlSink::OnMenuCommand(BSTR bstrName) {
    METHOD_PROLOGUE(CQvFServer, QvFControlSink)
    QVF_MANAGE_STATE();
    return pThis->RouteCommand(FALSE, TakeBSTR(bstrName));
}

HRESULT CQvFServer::XQvFControlSink::OnAccelNotify(BSTR bstrName) {
    METHOD_PROLOGUE(CQvFServer, QvFControlSink)
    QVF_MANAGE_STATE();
    const CString strName = TakeBSTR(bstrName);
    const HRESULT hr = pThis->OnAccelNotify(strName);
    if (FAILED(hr)) QVF_TRACEHR(hr);
    pThis->CallSinkHandlers(QVF_SINK_NOTIFY, strName);
    return hr;
}

HRESULT CQvFServer::XQvFControlSink::OnAccelCommand(BSTR bstrName) {
    METHOD_PROLOGUE(CQvFServer, QvFControlSink)
    QVF_MANAGE_STATE();
    return pThis->RouteCommand(TRUE, TakeBSTR(bstrName));
}

// ---- IQvErrorInfo

HRESULT CQvFServer::XQvErrorInfo::ShowError() {
    METHOD_PROLOGUE(CQvFServer, QvErrorInfo)
    QVF_MANAGE_STATE();
    return pThis->ShowErrorInfo();
}

HRESULT CQvFServer::XQvErrorInfo::GetErrorText(BSTR* pbstrText) {
    METHOD_PROLOGUE(CQvFServer, QvErrorInfo)
    QVF_MANAGE_STATE();
    return OutText(pbstrText, pThis->m_strErrorText);
}
