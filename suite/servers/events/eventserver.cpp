// The event server "Qovaro.QvEventServer": modules fire events, and every connected IEventSink
// receives each of them as a list, on the server's own delivery thread and in firing order.
//
// The connection point is written here rather than taken from the COM layer because Unadvise must
// do more than forget the sink: when it returns, no call into that sink may still be running on
// the delivery thread, since many sinks are members of windows that are destroyed right after.
#include "qvconnpt.h"
#include "qveventserver.h"
#include "serverbase.h"
#include "trace.h"
#include "utf.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A list of events: ids and values of the same length, owned.
struct EventList {
    std::vector<GUID> ids;
    std::vector<VARIANT> values;

    EventList() = default;
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;
    ~EventList() { Clear(); }

    HRESULT Assign(long count, const GUID* srcIds, const VARIANT* srcValues) {
        Clear();
        ids.assign(srcIds, srcIds + count);
        values.resize(std::size_t(count));
        for (VARIANT& v : values) VariantInit(&v);
        for (long i = 0; i < count; ++i) {
            HRESULT hr = VariantCopy(&values[std::size_t(i)], &srcValues[i]);
            if (FAILED(hr)) {
                Clear();
                return hr;
            }
        }
        return S_OK;
    }
    void Clear() {
        for (VARIANT& v : values) VariantClear(&v);
        values.clear();
        ids.clear();
    }
};

struct Connection {
    DWORD cookie = 0;
    IEventSink* sink = nullptr;  // with a reference
    bool connected = true;
    int busy = 0;  // calls into the sink in progress on the delivery thread
    // Disconnected from inside its own call: the delivery thread releases it when the call returns.
    bool releaseOnReturn = false;
};

// The sinks and the queue of fired lists, shared with the delivery thread, which may outlive the
// server object when the server's last reference goes away inside a sink's call.
class Delivery {
public:
    void Start(std::shared_ptr<Delivery> self) {
        std::lock_guard<std::mutex> g(m_lock);
        m_thread = std::thread([self] { self->Run(); });
        m_threadId = m_thread.get_id();
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        if (!m_thread.joinable()) return;
        if (std::this_thread::get_id() == m_thread.get_id())
            m_thread.detach();
        else
            m_thread.join();
        // No delivery runs any more: what was not delivered is dropped.
        std::vector<IEventSink*> sinks;
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_queue.clear();
            for (auto& c : m_connections) {
                c->connected = false;
                // A call still running (Stop from inside a sink) releases its sink when it returns.
                if (c->busy > 0) {
                    c->releaseOnReturn = true;
                } else if (c->sink) {
                    sinks.push_back(c->sink);
                    c->sink = nullptr;
                }
            }
            m_connections.clear();
        }
        for (IEventSink* s : sinks) s->Release();
    }

    HRESULT Advise(IEventSink* sink, DWORD* cookie) {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_stop) return CONNECT_E_CANNOTCONNECT;
        auto c = std::make_shared<Connection>();
        c->cookie = m_nextCookie++;
        if (m_nextCookie == 0) m_nextCookie = 1;
        c->sink = sink;  // the reference of the caller's QueryInterface
        m_connections.push_back(c);
        *cookie = c->cookie;
        return S_OK;
    }

    HRESULT Unadvise(DWORD cookie) {
        IEventSink* release = nullptr;
        {
            std::unique_lock<std::mutex> g(m_lock);
            std::shared_ptr<Connection> c;
            for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
                if ((*it)->cookie == cookie) {
                    c = *it;
                    m_connections.erase(it);
                    break;
                }
            }
            if (!c) return CONNECT_E_NOCONNECTION;
            c->connected = false;
            // A sink that unadvises from inside its own call cannot wait for that call; the
            // delivery thread releases it when the call has returned.
            if (std::this_thread::get_id() != m_threadId) m_idle.wait(g, [&] { return c->busy == 0; });
            if (c->busy == 0) {
                release = c->sink;
                c->sink = nullptr;
            } else {
                c->releaseOnReturn = true;
            }
        }
        if (release) release->Release();
        return S_OK;
    }

    HRESULT Post(std::unique_ptr<EventList> list) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_stop) return E_UNEXPECTED;
            m_queue.push_back(std::move(list));
        }
        m_wake.notify_all();
        return S_OK;
    }

private:
    void Run() {
        for (;;) {
            std::unique_ptr<EventList> list;
            std::vector<std::shared_ptr<Connection>> targets;
            {
                std::unique_lock<std::mutex> g(m_lock);
                m_wake.wait(g, [&] { return m_stop || !m_queue.empty(); });
                if (m_stop) return;
                list = std::move(m_queue.front());
                m_queue.pop_front();
                targets = m_connections;
            }
            for (auto& c : targets) Deliver(*c, *list);
        }
    }

    void Deliver(Connection& c, const EventList& list) {
        IEventSink* sink;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (!c.connected || !c.sink) return;
            ++c.busy;
            sink = c.sink;
        }
        // Each sink gets a copy of its own: receivers may clear the values they are given.
        EventList copy;
        const long count = long(list.ids.size());
        if (SUCCEEDED(copy.Assign(count, list.ids.data(), list.values.data()))) {
            HRESULT hr = sink->OnEvent(count, copy.ids.empty() ? nullptr : copy.ids.data(),
                                       copy.values.empty() ? nullptr : copy.values.data());
            if (FAILED(hr)) {
                wchar_t text[96];
                swprintf(text, 96, L"QvEventServer: sink %u: OnEvent hr=0x%X\n", unsigned(c.cookie), unsigned(hr));
                OutputDebugStringW(text);
            }
        }
        IEventSink* release = nullptr;
        {
            std::lock_guard<std::mutex> g(m_lock);
            --c.busy;
            if (c.releaseOnReturn && c.busy == 0) {
                release = c.sink;
                c.sink = nullptr;
            }
        }
        m_idle.notify_all();
        if (release) release->Release();
    }

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::unique_ptr<EventList>> m_queue;
    std::vector<std::shared_ptr<Connection>> m_connections;
    DWORD m_nextCookie = 1;
    bool m_stop = false;
    std::thread m_thread;
    std::thread::id m_threadId;
};

}  // namespace

class CQvEventServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvEventServer)
public:
    const CLSID& GetServerClassID() const override { return CLSID_QvEventServer; }
    LPCWSTR GetServerProgID() const override { return QV_EVENTSERVER_PROGID; }
    CQvEventServer();
    ~CQvEventServer() override;

    BEGIN_INTERFACE_PART(EventServer, IQvEventServer)
        HRESULT FireEvents(long count, GUID* ids, VARIANT* values) override;
        HRESULT GetEventName(GUID event, BSTR* name) override;
        HRESULT FireEvent(GUID event, VARIANT value, BOOL flag) override;
        HRESULT FireEventString(GUID event, BSTR text) override;
    END_INTERFACE_PART(EventServer)

    BEGIN_INTERFACE_PART(ConnPtContainer, IConnectionPointContainer)
        HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
        HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
    END_INTERFACE_PART(ConnPtContainer)

    // The one connection point, for IEventSink. It is reached through FindConnectionPoint only.
    class XSinkPoint : public IConnectionPoint {
    public:
        explicit XSinkPoint(CQvEventServer* owner) : m_pOwner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override;
        ULONG AddRef() override { return ULONG(m_pOwner->ExternalAddRef()); }
        ULONG Release() override { return ULONG(m_pOwner->ExternalRelease()); }
        HRESULT GetConnectionInterface(IID* pIID) override;
        HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
        HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
        HRESULT Unadvise(DWORD dwCookie) override;
        HRESULT EnumConnections(IEnumConnections** ppEnum) override;

    private:
        CQvEventServer* const m_pOwner;
    } m_xSinkPoint{this};

    DECLARE_INTERFACE_MAP()

private:
    HRESULT Fire(long count, const GUID* ids, const VARIANT* values);

    std::shared_ptr<Delivery> m_delivery = std::make_shared<Delivery>();
    std::mutex m_namesLock;
    std::map<GUID, std::wstring> m_names;
};

IMPLEMENT_DYNCREATE(CQvEventServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvEventServer, CQvStandInServer)
    INTERFACE_PART(CQvEventServer, IID_IQvEventServer, EventServer)
    INTERFACE_PART(CQvEventServer, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvEventServer, EventServer)
IMPLEMENT_IUNKNOWN(CQvEventServer, ConnPtContainer)

CQvEventServer::CQvEventServer() { m_delivery->Start(m_delivery); }

CQvEventServer::~CQvEventServer() { m_delivery->Stop(); }

HRESULT CQvEventServer::Fire(long count, const GUID* ids, const VARIANT* values) {
    if (count < 0) return E_INVALIDARG;
    if (count > 0 && (!ids || !values)) return E_POINTER;
    auto list = std::make_unique<EventList>();
    HRESULT hr = list->Assign(count, ids, values);
    if (FAILED(hr)) return hr;
    return m_delivery->Post(std::move(list));
}

HRESULT CQvEventServer::XEventServer::FireEvents(long count, GUID* ids, VARIANT* values) {
    METHOD_PROLOGUE(CQvEventServer, EventServer)
    return pThis->Fire(count, ids, values);
}

HRESULT CQvEventServer::XEventServer::FireEvent(GUID event, VARIANT value, BOOL) {
    METHOD_PROLOGUE(CQvEventServer, EventServer)
    return pThis->Fire(1, &event, &value);
}

HRESULT CQvEventServer::XEventServer::FireEventString(GUID event, BSTR text) {
    METHOD_PROLOGUE(CQvEventServer, EventServer)
    std::lock_guard<std::mutex> g(pThis->m_namesLock);
    pThis->m_names[event] = std::wstring(text ? text : L"", SysStringLen(text));
    return S_OK;
}

HRESULT CQvEventServer::XEventServer::GetEventName(GUID event, BSTR* name) {
    METHOD_PROLOGUE(CQvEventServer, EventServer)
    if (!name) return E_POINTER;
    std::lock_guard<std::mutex> g(pThis->m_namesLock);
    auto it = pThis->m_names.find(event);
    *name = SysAllocString(it == pThis->m_names.end() ? L"" : it->second.c_str());
    if (!*name) return E_OUTOFMEMORY;
    return it == pThis->m_names.end() ? S_FALSE : S_OK;
}

HRESULT CQvEventServer::XConnPtContainer::EnumConnectionPoints(IEnumConnectionPoints**) { return E_NOTIMPL; }

HRESULT CQvEventServer::XConnPtContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    METHOD_PROLOGUE(CQvEventServer, ConnPtContainer)
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != IID_IEventSink) return CONNECT_E_NOCONNECTION;
    *ppCP = &pThis->m_xSinkPoint;
    (*ppCP)->AddRef();
    return S_OK;
}

HRESULT CQvEventServer::XSinkPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CQvEventServer::XSinkPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = IID_IEventSink;
    return S_OK;
}

HRESULT CQvEventServer::XSinkPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    *ppCPC = &m_pOwner->m_xConnPtContainer;
    (*ppCPC)->AddRef();
    return S_OK;
}

HRESULT CQvEventServer::XSinkPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pUnkSink || !pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    IEventSink* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(IID_IEventSink, reinterpret_cast<void**>(&sink))) || !sink)
        return CONNECT_E_CANNOTCONNECT;
    HRESULT hr = m_pOwner->m_delivery->Advise(sink, pdwCookie);
    if (FAILED(hr)) sink->Release();
    return hr;
}

HRESULT CQvEventServer::XSinkPoint::Unadvise(DWORD dwCookie) { return m_pOwner->m_delivery->Unadvise(dwCookie); }

HRESULT CQvEventServer::XSinkPoint::EnumConnections(IEnumConnections**) { return E_NOTIMPL; }

QV_STANDIN_SERVER_EXPORTS(CLSID_QvEventServer, CQvEventServer, QV_EVENTSERVER_PROGID, AfxDllCanUnloadNow())
