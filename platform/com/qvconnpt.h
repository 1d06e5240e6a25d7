#pragma once
// Connection points: the interfaces, a ready-made container and connection point that a server
// embeds, and the advise helpers clients use.
//
//     class CServer : public CCmdTarget {
//         ...
//         CConnectionPointContainer m_xConnPtContainer{this};          // before its points
//         CConnectionPoint m_cpEvents{m_xConnPtContainer, IID_IEvents};
//     };
//     BEGIN_INTERFACE_MAP(CServer, CCmdTarget)
//         INTERFACE_PART(CServer, IID_IConnectionPointContainer, ConnPtContainer)
//     END_INTERFACE_MAP()
//     ...
//     m_cpEvents.ForEachSink<IEvents>([&](IEvents* sink) { sink->OnChange(id); });
#include "qvcom.h"

#include <mutex>
#include <vector>

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};
using LPCONNECTDATA = CONNECTDATA*;

struct IEnumConnections : IUnknown {
    virtual HRESULT Next(ULONG cConnections, LPCONNECTDATA rgcd, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cConnections) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnections** ppEnum) = 0;
};

struct IEnumConnectionPoints : IUnknown {
    virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cConnections) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) = 0;
};

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;
};
using LPCONNECTIONPOINT = IConnectionPoint*;

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};
using LPCONNECTIONPOINTCONTAINER = IConnectionPointContainer*;

inline constexpr IID IID_IConnectionPointContainer = qv::MakeGuid("B196B284-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IEnumConnectionPoints = qv::MakeGuid("B196B285-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IConnectionPoint = qv::MakeGuid("B196B286-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IEnumConnections = qv::MakeGuid("B196B287-BAB4-101A-B69C-00AA00341D07");

class CCmdTarget;
class CConnectionPoint;

// The IConnectionPointContainer of an object, as a member of it. It has no identity of its own:
// QueryInterface, AddRef and Release go to the owning object (a CCmdTarget through its external
// calls, or any IUnknown).
class CConnectionPointContainer : public IConnectionPointContainer {
public:
    explicit CConnectionPointContainer(CCmdTarget* owner);
    explicit CConnectionPointContainer(IUnknown* owner);
    CConnectionPointContainer(const CConnectionPointContainer&) = delete;
    CConnectionPointContainer& operator=(const CConnectionPointContainer&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    // CONNECT_E_NOCONNECTION when the object has no connection point for riid.
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    friend class CConnectionPoint;
    std::vector<CConnectionPoint*> points() const;

    CCmdTarget* m_pCmdTarget = nullptr;
    IUnknown* m_pUnkOwner = nullptr;
    mutable std::mutex m_mutex;
    std::vector<CConnectionPoint*> m_points;
};

// One outgoing interface of the object. Advise asks the sink for that interface and keeps it
// until Unadvise; cookies start at 1 and are never 0 or reused while connected.
class CConnectionPoint : public IConnectionPoint {
public:
    CConnectionPoint(CConnectionPointContainer& container, REFIID iid);
    ~CConnectionPoint();
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;  // the container's owner lives as long as its points are held
    ULONG Release() override;
    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // E_POINTER for a null sink or cookie; CONNECT_E_CANNOTCONNECT when the sink lacks the interface.
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    // CONNECT_E_NOCONNECTION for a cookie that is not connected.
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

    REFIID GetIID() const { return m_iid; }
    size_t GetConnectionCount() const;
    // The connected sinks, each with a reference the caller releases. Each pointer is the sink's
    // interface of this connection point's IID.
    std::vector<IUnknown*> GetSinks() const;
    // Calls fn(I*) for every sink connected at the time of the call. The list is copied first, so
    // a sink may unadvise (or advise another) from inside the call. Returns the number called.
    template <class I, class Fn>
    size_t ForEachSink(Fn&& fn) const {
        std::vector<IUnknown*> sinks = GetSinks();
        // Every interface's IUnknown is its first base, at the same address.
        for (IUnknown* s : sinks) fn(reinterpret_cast<I*>(s));
        for (IUnknown* s : sinks) s->Release();
        return sinks.size();
    }

private:
    struct Connection {
        DWORD cookie;
        IUnknown* sink;
    };
    CConnectionPointContainer& m_container;
    IID m_iid;
    mutable std::mutex m_mutex;
    std::vector<Connection> m_connections;
    DWORD m_nextCookie = 1;
};

// Connects pUnkSink to pUnkSrc's connection point for iid. With bRefCount FALSE the connection
// holds no reference on the sink (one is released after Advise), which lets a sink be a member of
// an object whose lifetime the source must not extend.
BOOL AfxConnectionAdvise(LPUNKNOWN pUnkSrc, REFIID iid, LPUNKNOWN pUnkSink, BOOL bRefCount, DWORD* pdwCookie);
// Undoes AfxConnectionAdvise with the same bRefCount (adds the reference back before Unadvise).
BOOL AfxConnectionUnadvise(LPUNKNOWN pUnkSrc, REFIID iid, LPUNKNOWN pUnkSink, BOOL bRefCount, DWORD dwCookie);
