#include "qvconnpt.h"
#include "qvcmdtarget.h"

#include <algorithm>
#include <atomic>

namespace {

// A snapshot enumerator; it holds a reference on every item it still may hand out.
template <class Iface, class Item, const IID& Iid>
class Enumerator : public Iface {
public:
    Enumerator(std::vector<Item> items, size_t pos) : m_items(std::move(items)), m_pos(pos) {
        for (auto& it : m_items) unk(it)->AddRef();
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == Iid) {
            *ppv = static_cast<Iface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_ref; }
    ULONG Release() override {
        ULONG r = --m_ref;
        if (r == 0) delete this;
        return r;
    }

    HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_pos < m_items.size(); ++n, ++m_pos) {
            out[n] = m_items[m_pos];
            unk(out[n])->AddRef();
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        size_t left = m_items.size() - m_pos;
        m_pos += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_pos = 0;
        return S_OK;
    }
    HRESULT Clone(Iface** out) override {
        if (!out) return E_POINTER;
        *out = new Enumerator(m_items, m_pos);
        return S_OK;
    }

private:
    ~Enumerator() {
        for (auto& it : m_items) unk(it)->Release();
    }
    static IUnknown* unk(const CONNECTDATA& cd) { return cd.pUnk; }
    static IUnknown* unk(IConnectionPoint* cp) { return cp; }

    std::atomic<ULONG> m_ref{1};
    std::vector<Item> m_items;
    size_t m_pos;
};

using ConnectionEnum = Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;
using PointEnum = Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;

}  // namespace

// ---- container ------------------------------------------------------------------------------

CConnectionPointContainer::CConnectionPointContainer(CCmdTarget* owner) : m_pCmdTarget(owner) {}
CConnectionPointContainer::CConnectionPointContainer(IUnknown* owner) : m_pUnkOwner(owner) {}

HRESULT CConnectionPointContainer::QueryInterface(REFIID riid, void** ppv) {
    return m_pCmdTarget ? m_pCmdTarget->ExternalQueryInterface(&riid, ppv) : m_pUnkOwner->QueryInterface(riid, ppv);
}
ULONG CConnectionPointContainer::AddRef() {
    return m_pCmdTarget ? m_pCmdTarget->ExternalAddRef() : m_pUnkOwner->AddRef();
}
ULONG CConnectionPointContainer::Release() {
    return m_pCmdTarget ? m_pCmdTarget->ExternalRelease() : m_pUnkOwner->Release();
}

std::vector<CConnectionPoint*> CConnectionPointContainer::points() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_points;
}

HRESULT CConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<IConnectionPoint*> items;
    for (CConnectionPoint* p : points()) items.push_back(p);
    *ppEnum = new PointEnum(std::move(items), 0);
    return S_OK;
}

HRESULT CConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    for (CConnectionPoint* p : points()) {
        if (p->GetIID() == riid) {
            p->AddRef();
            *ppCP = p;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

// ---- connection point -----------------------------------------------------------------------

CConnectionPoint::CConnectionPoint(CConnectionPointContainer& container, REFIID iid)
    : m_container(container), m_iid(iid) {
    std::lock_guard<std::mutex> lock(container.m_mutex);
    container.m_points.push_back(this);
}

CConnectionPoint::~CConnectionPoint() {
    {
        std::lock_guard<std::mutex> lock(m_container.m_mutex);
        auto& v = m_container.m_points;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    // Sinks still connected when the object goes are let go rather than leaked.
    for (auto& c : m_connections) c.sink->Release();
}

HRESULT CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CConnectionPoint::AddRef() { return m_container.AddRef(); }
ULONG CConnectionPoint::Release() { return m_container.Release(); }

HRESULT CConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

HRESULT CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    m_container.AddRef();
    *ppCPC = &m_container;
    return S_OK;
}

HRESULT CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    void* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(m_iid, &sink)) || !sink) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard<std::mutex> lock(m_mutex);
    DWORD cookie = m_nextCookie;
    auto taken = [&](DWORD c) {
        return std::any_of(m_connections.begin(), m_connections.end(), [c](const Connection& x) { return x.cookie == c; });
    };
    while (cookie == 0 || taken(cookie)) ++cookie;
    m_nextCookie = cookie + 1;
    m_connections.push_back({cookie, static_cast<IUnknown*>(sink)});
    *pdwCookie = cookie;
    return S_OK;
}

HRESULT CConnectionPoint::Unadvise(DWORD dwCookie) {
    IUnknown* sink = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_connections.begin(), m_connections.end(),
                               [dwCookie](const Connection& c) { return c.cookie == dwCookie; });
        if (dwCookie == 0 || it == m_connections.end()) return CONNECT_E_NOCONNECTION;
        sink = it->sink;
        m_connections.erase(it);
    }
    sink->Release();  // outside the lock: the sink may call back into the source while it dies
    return S_OK;
}

HRESULT CConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    std::vector<CONNECTDATA> items;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& c : m_connections) items.push_back({c.sink, c.cookie});
        *ppEnum = new ConnectionEnum(std::move(items), 0);
    }
    return S_OK;
}

size_t CConnectionPoint::GetConnectionCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.size();
}

std::vector<IUnknown*> CConnectionPoint::GetSinks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<IUnknown*> out;
    out.reserve(m_connections.size());
    for (auto& c : m_connections) {
        c.sink->AddRef();
        out.push_back(c.sink);
    }
    return out;
}

// ---- client helpers -------------------------------------------------------------------------

namespace {

IConnectionPoint* FindPoint(LPUNKNOWN pUnkSrc, REFIID iid) {
    if (!pUnkSrc) return nullptr;
    IConnectionPointContainer* cpc = nullptr;
    if (FAILED(pUnkSrc->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))) || !cpc)
        return nullptr;
    IConnectionPoint* cp = nullptr;
    if (FAILED(cpc->FindConnectionPoint(iid, &cp))) cp = nullptr;
    cpc->Release();
    return cp;
}

}  // namespace

BOOL AfxConnectionAdvise(LPUNKNOWN pUnkSrc, REFIID iid, LPUNKNOWN pUnkSink, BOOL bRefCount, DWORD* pdwCookie) {
    if (!pUnkSink || !pdwCookie) return FALSE;
    IConnectionPoint* cp = FindPoint(pUnkSrc, iid);
    if (!cp) return FALSE;
    BOOL ok = SUCCEEDED(cp->Advise(pUnkSink, pdwCookie));
    cp->Release();
    if (ok && !bRefCount) pUnkSink->Release();
    return ok;
}

BOOL AfxConnectionUnadvise(LPUNKNOWN pUnkSrc, REFIID iid, LPUNKNOWN pUnkSink, BOOL bRefCount, DWORD dwCookie) {
    if (!pUnkSink) return FALSE;
    IConnectionPoint* cp = FindPoint(pUnkSrc, iid);
    if (!cp) return FALSE;
    if (!bRefCount) pUnkSink->AddRef();  // the reference Unadvise will release
    BOOL ok = SUCCEEDED(cp->Unadvise(dwCookie));
    if (!ok && !bRefCount) pUnkSink->Release();
    cp->Release();
    return ok;
}
