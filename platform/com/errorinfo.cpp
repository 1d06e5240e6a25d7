#include "qverrorinfo.h"

#include <atomic>
#include <string>

namespace {

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = m_guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* pBstr) override { return Copy(m_source, pBstr); }
    HRESULT GetDescription(BSTR* pBstr) override { return Copy(m_description, pBstr); }
    HRESULT GetHelpFile(BSTR* pBstr) override { return Copy(m_helpFile, pBstr); }
    HRESULT GetHelpContext(DWORD* pdw) override {
        if (!pdw) return E_INVALIDARG;
        *pdw = m_helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID rguid) override {
        m_guid = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR sz) override { return Keep(m_source, sz); }
    HRESULT SetDescription(LPOLESTR sz) override { return Keep(m_description, sz); }
    HRESULT SetHelpFile(LPOLESTR sz) override { return Keep(m_helpFile, sz); }
    HRESULT SetHelpContext(DWORD dw) override {
        m_helpContext = dw;
        return S_OK;
    }

private:
    static HRESULT Copy(const std::wstring& text, BSTR* pBstr) {
        if (!pBstr) return E_INVALIDARG;
        *pBstr = SysAllocString(text.c_str());
        return *pBstr ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Keep(std::wstring& text, LPOLESTR sz) {
        text = sz ? sz : L"";
        return S_OK;
    }

    std::atomic<ULONG> m_refs{1};
    GUID m_guid{};
    std::wstring m_source, m_description, m_helpFile;
    DWORD m_helpContext = 0;
};

// The thread's slot; what is left in it goes with the thread.
struct Slot {
    IErrorInfo* p = nullptr;
    ~Slot() {
        if (p) p->Release();
    }
};
thread_local Slot t_slot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = new ErrorInfo();
    return S_OK;
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* perrinfo) {
    if (perrinfo) perrinfo->AddRef();
    IErrorInfo* pOld = t_slot.p;
    t_slot.p = perrinfo;
    if (pOld) pOld->Release();
    return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = t_slot.p;
    t_slot.p = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}
