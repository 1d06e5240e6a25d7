#include "qvfcomobject.h"
#include "qvconnpt.h"

IMPLEMENT_DYNCREATE(CQvFCOMObject, CCmdTarget)

CQvFCOMObject::CQvFCOMObject() { AfxOleLockApp(); }

CQvFCOMObject::~CQvFCOMObject() { AfxOleUnlockApp(); }

long CQvFCOMObject::InternalRelease() {
    const long r = long(CCmdTarget::InternalRelease());
    if (r == 0) return 0;
    BOOL bOnlyOwnConnections;
    {
        CSingleLock lock(&m_lock, TRUE);
        bOnlyOwnConnections = m_dwRef.load() == m_lAdviseRefCount.load();
    }
    if (!bOnlyOwnConnections) return r;
    // Keep the object alive through its own clean-up; the last release may end it, and then the
    // caller must not touch it any more, so what that release left is what we answer.
    InternalAddRef();
    ReleaseServers();
    return InternalRelease();
}

long CQvFCOMObject::ExternalRelease() {
    if (m_pOuterUnknown) return long(m_pOuterUnknown->Release());
    return InternalRelease();
}

HRESULT CQvFCOMObject::ReleaseServers() { return S_OK; }

void CQvFCOMObject::OnFinalRelease() {
    if (m_bFinalRelease) return;
    m_bFinalRelease = TRUE;
    CCmdTarget::OnFinalRelease();
}

BOOL CQvFCOMObject::ConnectionAdvise(IUnknown* pUnkSource, REFIID iid, IUnknown* pUnkSink, BOOL bRefCount,
                                     DWORD* pdwCookie) {
    if (bRefCount) ++m_lAdviseRefCount;
    const BOOL ok = AfxConnectionAdvise(pUnkSource, iid, pUnkSink, bRefCount, pdwCookie);
    if (!ok && bRefCount) --m_lAdviseRefCount;
    return ok;
}

BOOL CQvFCOMObject::ConnectionUnadvise(IUnknown* pUnkSource, REFIID iid, IUnknown* pUnkSink, BOOL bRefCount,
                                       DWORD dwCookie) {
    if (bRefCount) --m_lAdviseRefCount;
    const BOOL ok = AfxConnectionUnadvise(pUnkSource, iid, pUnkSink, bRefCount, dwCookie);
    if (!ok && bRefCount) ++m_lAdviseRefCount;
    return ok;
}
