#include "qvsec.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"

#define QVSEC_TRACE(hr) QvAddHRErrorFile(L"qvsec", __LINE__, (hr))

namespace {
// The server's answer as the 32-bit mask it stands for, whatever width the caller's long has.
DWORD Mask32(long lRights) { return static_cast<DWORD>(static_cast<LONG>(lRights)); }
// A mask as the signed 32-bit value the server keeps.
long Signed32(DWORD dwMask) { return static_cast<long>(static_cast<LONG>(dwMask)); }
}  // namespace

CQvSec::CQvSec() = default;

CQvSec::~CQvSec() {
    if (m_pServer) m_pServer->Release();
}

long CQvSec::Connect() {
    if (m_pServer) return S_OK;
    const HRESULT hr = QueryCOMServer(QVSECSERVER_PROGID, IID_IQvSecServer, reinterpret_cast<void**>(&m_pServer));
    if (FAILED(hr)) {
        m_pServer = nullptr;
        QVSEC_TRACE(hr);
    }
    return hr;
}

long CQvSec::LoadRights(CQvGUID guidFunction) {
    m_guidFunction = guidFunction;
    m_guidObject.SetNULL();
    m_strKey.Empty();
    return Load();
}

long CQvSec::LoadRights(CQvGUID guidFunction, CQvGUID guidObject, CString strKey) {
    m_guidFunction = guidFunction;
    m_guidObject = guidObject;
    m_strKey = strKey;
    return Load();
}

long CQvSec::LoadRights(CQvGUID guidObject, CString strKey) {
    m_guidFunction.SetNULL();
    m_guidObject = guidObject;
    m_strKey = strKey;
    return Load();
}

long CQvSec::Load() {
    HRESULT hr = Connect();
    m_dwRights = 0;
    const GUID function = m_guidFunction.GetValue();
    const GUID object = m_guidObject.GetValue();
    const bool askFunction = !m_guidFunction.IsNULL();
    const bool askObject = !m_guidObject.IsNULL() || !m_strKey.IsEmpty();
    BSTR bstrKey = m_strKey.AllocSysString();

    DWORD dwFunction = 0;
    DWORD dwObject = 0;
    if (askFunction && SUCCEEDED(hr)) {
        long lRights = 0;
        hr = m_pServer->GetRights(function, nullptr, &lRights);
        if (FAILED(hr)) QVSEC_TRACE(hr);
        dwFunction = SUCCEEDED(hr) ? Mask32(lRights) : 0;
        m_dwRights = dwFunction;
    }
    if (askObject && SUCCEEDED(hr)) {
        long lRights = 0;
        hr = m_pServer->GetRights(object, bstrKey, &lRights);
        if (FAILED(hr)) QVSEC_TRACE(hr);
        dwObject = SUCCEEDED(hr) ? Mask32(lRights) : 0;
        m_dwRights = dwObject;
    }
    if (askFunction && askObject) {
        // A refusal on either side refuses the whole.
        if (static_cast<LONG>(dwFunction) < 0 || static_cast<LONG>(dwObject) < 0) {
            m_dwRights = 0x80000000u;
        } else {
            m_dwRights = dwFunction & dwObject;
        }
    }
    SysFreeString(bstrKey);
    return hr;
}

BOOL CQvSec::HasAllRights(DWORD dwMask, DWORD dwRights) {
    if (dwMask == 0) return static_cast<LONG>(dwRights) <= 0;
    return (dwRights & dwMask) == dwMask;
}

BOOL CQvSec::HasAnyRight(DWORD dwMask, DWORD dwRights) {
    if (dwMask == 0) return static_cast<LONG>(dwRights) <= 0;
    return (dwRights & dwMask) != 0;
}

CQvSec& CQvSec::operator&=(DWORD dwMask) {
    m_dwRights &= dwMask;
    return *this;
}

CQvSec& CQvSec::operator&=(const CQvSec& other) {
    m_dwRights &= other.m_dwRights;
    return *this;
}

CQvSec& CQvSec::operator|=(DWORD dwMask) {
    m_dwRights |= dwMask;
    return *this;
}

long CQvSec::GetUser(CString* pstrName, CString* pstrUserID, long* plUserID) {
    HRESULT hr = Connect();
    BSTR bstrName = nullptr;
    BSTR bstrUserID = nullptr;
    long lUserID = 0;
    if (SUCCEEDED(hr)) {
        IQvSecUser* pUser = nullptr;
        hr = m_pServer->QueryInterface(IID_IQvSecUser, reinterpret_cast<void**>(&pUser));
        if (SUCCEEDED(hr) && !pUser) hr = E_FAIL;
        if (SUCCEEDED(hr)) {
            hr = pUser->GetUser(&bstrName, &bstrUserID, &lUserID);
            pUser->Release();
        }
        if (FAILED(hr)) QVSEC_TRACE(hr);
    }
    const bool ok = SUCCEEDED(hr);
    if (pstrName) *pstrName = ok && bstrName ? CString(bstrName) : CString();
    if (pstrUserID) *pstrUserID = ok && bstrUserID ? CString(bstrUserID) : CString();
    if (ok && plUserID) *plUserID = static_cast<LONG>(lUserID);
    SysFreeString(bstrName);
    SysFreeString(bstrUserID);
    return hr;
}

long CQvSec::SetRights(CString strObjectKey, CString strKey2, CQvGUID guidFunction, CString strName, DWORD dwMask) {
    CQvSec sec;
    HRESULT hr = sec.Connect();
    IQvSecAdmin* pAdmin = nullptr;
    if (SUCCEEDED(hr)) {
        hr = sec.m_pServer->QueryInterface(IID_IQvSecAdmin, reinterpret_cast<void**>(&pAdmin));
        if (SUCCEEDED(hr) && !pAdmin) hr = E_FAIL;
        if (FAILED(hr)) QVSEC_TRACE(hr);
    }
    if (SUCCEEDED(hr)) {
        BSTR bstrObjectKey = strObjectKey.AllocSysString();
        BSTR bstrKey2 = strKey2.AllocSysString();
        BSTR bstrName = strName.AllocSysString();
        hr = pAdmin->SetRights(bstrObjectKey, bstrKey2, guidFunction.GetValue(), bstrName, Signed32(dwMask));
        if (FAILED(hr)) QVSEC_TRACE(hr);
        SysFreeString(bstrObjectKey);
        SysFreeString(bstrKey2);
        SysFreeString(bstrName);
    }
    if (pAdmin) pAdmin->Release();
    return hr;
}

long CQvSec::ShowRightDlg(CQvGUID guidObject, long lFlag) {
    HRESULT hr = Connect();
    if (SUCCEEDED(hr)) {
        hr = m_pServer->ShowRightDlg(guidObject.GetValue(), lFlag);
        if (FAILED(hr)) QVSEC_TRACE(hr);
    }
    return hr;
}

long CQvSec::ShowSetRightDlg(CQvGUID guidObject, CString strKey, long lFlag) {
    HRESULT hr = Connect();
    if (SUCCEEDED(hr)) {
        BSTR bstrKey = strKey.AllocSysString();
        hr = m_pServer->ShowSetRightDlg(guidObject.GetValue(), bstrKey, lFlag);
        if (FAILED(hr)) QVSEC_TRACE(hr);
        SysFreeString(bstrKey);
    }
    return hr;
}
