#include "qvcmdtarget.h"

namespace qv {

void LockModule(ModuleState& m) { ++m.lockCount; }

void UnlockModule(ModuleState& m) {
    long n = m.lockCount.load();
    while (n > 0 && !m.lockCount.compare_exchange_weak(n, n - 1)) {
    }
}

BOOL ModuleCanExit(const ModuleState& m) { return m.lockCount.load() == 0; }

}  // namespace qv

CRuntimeClass CCmdTarget::classCCmdTarget = {"CCmdTarget", int(sizeof(CCmdTarget)), 0xFFFF, nullptr,
                                             RUNTIME_CLASS(CObject)};
CRuntimeClass* CCmdTarget::GetRuntimeClass() const { return RUNTIME_CLASS(CCmdTarget); }

CCmdTarget::CCmdTarget() = default;

CCmdTarget::~CCmdTarget() {
    if (m_pCountedIn) --m_pCountedIn->objectCount;
}

const qv::InterfaceMap* CCmdTarget::GetThisInterfaceMap() {
    static const qv::InterfaceMapEntry entries[] = {{nullptr, nullptr}};
    static const qv::InterfaceMap map = {nullptr, entries};
    return &map;
}

const qv::InterfaceMap* CCmdTarget::GetInterfaceMap() const { return GetThisInterfaceMap(); }

DWORD CCmdTarget::InternalAddRef() { return DWORD(++m_dwRef); }

DWORD CCmdTarget::InternalRelease() {
    long r = --m_dwRef;
    if (r != 0) return DWORD(r);
    // Teardown code may take and drop references of its own; that must not end the object twice.
    if (!m_bFinalReleased.exchange(true)) OnFinalRelease();
    return 0;
}

void CCmdTarget::OnFinalRelease() { delete this; }

LPUNKNOWN CCmdTarget::GetInterface(const void* iid) {
    if (!iid) return nullptr;
    const IID& wanted = *static_cast<const IID*>(iid);
    const bool unknown = wanted == IID_IUnknown;
    // Aggregated, the object's own IUnknown is the non-delegating one the outer object holds.
    if (unknown && m_pOuterUnknown) return &m_xInnerUnknown;
    for (const qv::InterfaceMap* map = GetInterfaceMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const qv::InterfaceMapEntry* e = map->pEntry; e->piid; ++e)
            if (unknown || *e->piid == wanted) return e->pfnGet(this);
    return unknown ? &m_xInnerUnknown : nullptr;
}

HRESULT CCmdTarget::InternalQueryInterface(const void* iid, LPVOID* ppvObj) {
    if (!ppvObj) return E_POINTER;
    *ppvObj = nullptr;
    LPUNKNOWN p = GetInterface(iid);
    if (!p) return E_NOINTERFACE;
    p->AddRef();
    *ppvObj = p;
    return S_OK;
}

DWORD CCmdTarget::ExternalAddRef() { return m_pOuterUnknown ? m_pOuterUnknown->AddRef() : InternalAddRef(); }

DWORD CCmdTarget::ExternalRelease() { return m_pOuterUnknown ? m_pOuterUnknown->Release() : InternalRelease(); }

HRESULT CCmdTarget::ExternalQueryInterface(const void* iid, LPVOID* ppvObj) {
    if (m_pOuterUnknown) {
        if (!ppvObj || !iid) return E_POINTER;
        return m_pOuterUnknown->QueryInterface(*static_cast<const IID*>(iid), ppvObj);
    }
    return InternalQueryInterface(iid, ppvObj);
}

LPUNKNOWN CCmdTarget::GetControllingUnknown() {
    return m_pOuterUnknown ? m_pOuterUnknown : GetInterface(&IID_IUnknown);
}

HRESULT CCmdTarget::XInnerUnknown::QueryInterface(REFIID iid, void** ppv) {
    return m_pOwner->InternalQueryInterface(&iid, ppv);
}
ULONG CCmdTarget::XInnerUnknown::AddRef() { return m_pOwner->InternalAddRef(); }
ULONG CCmdTarget::XInnerUnknown::Release() { return m_pOwner->InternalRelease(); }
