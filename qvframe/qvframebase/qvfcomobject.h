#pragma once
// CQvFCOMObject: the base of the module's COM objects. While one lives the module may not be
// unloaded. It counts the references that connections it made itself hold on it: when only those
// are left, nobody else can reach the object any more, so it lets its servers (and with them those
// connections) go and dies.
#include "qvcmdtarget.h"
#include "qvfmodule.h"
#include "sync.h"

#include <atomic>

class CQvFCOMObject : public CCmdTarget {
    DECLARE_DYNCREATE(CQvFCOMObject)
public:
    CQvFCOMObject();
    ~CQvFCOMObject() override;

    // The count the release leaves; 0 when the object is gone.
    virtual long InternalRelease();
    virtual long ExternalRelease();
    virtual HRESULT ReleaseServers();

    void OnFinalRelease() override;

    // Connects (or disconnects) the sink to the source's connection point of iid. With bRefCount
    // TRUE the connection holds a reference on this object's sink and counts it as one of the
    // object's own.
    BOOL ConnectionAdvise(IUnknown* pUnkSource, REFIID iid, IUnknown* pUnkSink, BOOL bRefCount, DWORD* pdwCookie);
    BOOL ConnectionUnadvise(IUnknown* pUnkSource, REFIID iid, IUnknown* pUnkSink, BOOL bRefCount, DWORD dwCookie);

    long GetAdviseRefCount() const { return m_lAdviseRefCount.load(); }
    long GetRefCount() const { return m_dwRef.load(); }

protected:
    std::atomic<long> m_lAdviseRefCount{0};
    CCriticalSection m_lock;
    BOOL m_bFinalRelease = FALSE;
};

// The IUnknown of a nested interface of the frame base's objects: in the module's state, through
// the object's external operations; AddRef answers the object's count when bAnswerCount, else 0;
// Release answers 0.
#define QVF_IMPLEMENT_IUNKNOWN_PARTS(theClass, localClass, bAnswerCount)          \
    HRESULT theClass::X##localClass::QueryInterface(REFIID iid, LPVOID* ppvObj) { \
        METHOD_PROLOGUE(theClass, localClass)                                     \
        QVF_MANAGE_STATE();                                                       \
        return HRESULT(pThis->ExternalQueryInterface(&iid, ppvObj));              \
    }                                                                             \
    ULONG theClass::X##localClass::AddRef() {                                     \
        METHOD_PROLOGUE(theClass, localClass)                                     \
        QVF_MANAGE_STATE();                                                       \
        const ULONG count = ULONG(pThis->ExternalAddRef());                       \
        return (bAnswerCount) ? count : 0;                                        \
    }                                                                             \
    ULONG theClass::X##localClass::Release() {                                    \
        METHOD_PROLOGUE(theClass, localClass)                                     \
        QVF_MANAGE_STATE();                                                       \
        pThis->ExternalRelease();                                                 \
        return 0;                                                                 \
    }

#define QVF_IMPLEMENT_IUNKNOWN(theClass, localClass) QVF_IMPLEMENT_IUNKNOWN_PARTS(theClass, localClass, false)
// The same, but AddRef answers the object's count.
#define QVF_IMPLEMENT_IUNKNOWN_EX(theClass, localClass) QVF_IMPLEMENT_IUNKNOWN_PARTS(theClass, localClass, true)
