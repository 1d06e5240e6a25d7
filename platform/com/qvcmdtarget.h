#pragma once
// CCmdTarget: the base of the COM objects of a module. It keeps the reference count, answers
// QueryInterface from an interface map of nested implementation classes, and can be
// aggregated. Besides, the per-module state: the application lock count, the count of objects
// that the module's class factories made, and the module's factories.
//
// An object with interfaces:
//
//     class CCounter : public CCmdTarget {
//         DECLARE_DYNCREATE(CCounter)
//         BEGIN_INTERFACE_PART(Counter, ICounter)
//             HRESULT Add(long n) override;
//         END_INTERFACE_PART(Counter)
//         DECLARE_INTERFACE_MAP()
//     };
//
//     BEGIN_INTERFACE_MAP(CCounter, CCmdTarget)
//         INTERFACE_PART(CCounter, IID_ICounter, Counter)
//     END_INTERFACE_MAP()
//     IMPLEMENT_IUNKNOWN(CCounter, Counter)
//     HRESULT CCounter::XCounter::Add(long n) { METHOD_PROLOGUE(CCounter, Counter) ... pThis ... }
//
// INTERFACE_PART needs only a member m_x<Name> whose type derives from IUnknown, so a ready-made
// implementation (a connection-point container) can be entered the same way.
#include "qvobject.h"
#include "qvcom.h"

#include <atomic>
#include <mutex>

class COleObjectFactory;
class CCmdTarget;

namespace qv {

// What MFC keeps per module and our modules need: one instance in every executable and every
// shared library that includes this header (hidden symbol), so that a library's unload test
// counts only its own objects and locks.
struct ModuleState {
    std::atomic<long> lockCount{0};
    std::atomic<long> objectCount{0};
    std::mutex factoryMutex;
    COleObjectFactory* firstFactory = nullptr;
};

struct InterfaceMapEntry {
    const IID* piid;                  // null ends the table
    IUnknown* (*pfnGet)(CCmdTarget*);  // the nested implementation inside the object
};

struct InterfaceMap {
    const InterfaceMap* (*pfnGetBaseMap)();  // null for CCmdTarget's own (empty) map
    const InterfaceMapEntry* pEntry;
};

void LockModule(ModuleState& m);
void UnlockModule(ModuleState& m);  // never below zero
BOOL ModuleCanExit(const ModuleState& m);

}  // namespace qv

// Marks what must bind inside the module that compiles it, never to a copy in another binary.
#define QV_MODULE_LOCAL __attribute__((visibility("hidden")))

inline constinit qv::ModuleState qvThisModuleState QV_MODULE_LOCAL;

namespace qv {
QV_MODULE_LOCAL inline ModuleState& ThisModule() { return qvThisModuleState; }
}  // namespace qv

using AFX_MODULE_STATE = qv::ModuleState;
QV_MODULE_LOCAL inline AFX_MODULE_STATE* AfxGetStaticModuleState() { return &qv::ThisModule(); }
// One module state per binary already; switching is not needed.
#define AFX_MANAGE_STATE(p) ((void)(p))

// The application lock of the calling module: while it is taken the module may not be unloaded.
QV_MODULE_LOCAL inline void AfxOleLockApp() { qv::LockModule(qv::ThisModule()); }
QV_MODULE_LOCAL inline void AfxOleUnlockApp() { qv::UnlockModule(qv::ThisModule()); }
QV_MODULE_LOCAL inline BOOL AfxOleCanExitApp() { return qv::ModuleCanExit(qv::ThisModule()); }

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget();
    ~CCmdTarget() override;

    // Own count, ignoring aggregation. InternalRelease calls OnFinalRelease when the count
    // reaches zero, once in the object's life even if OnFinalRelease itself takes and drops a
    // reference.
    DWORD InternalAddRef();
    DWORD InternalRelease();
    HRESULT InternalQueryInterface(const void* iid, LPVOID* ppvObj);
    // Through the controlling unknown: the outer object when aggregated, else Internal*.
    DWORD ExternalAddRef();
    DWORD ExternalRelease();
    HRESULT ExternalQueryInterface(const void* iid, LPVOID* ppvObj);

    // The object's interface for iid without a reference, or null.
    LPUNKNOWN GetInterface(const void* iid);
    LPUNKNOWN GetControllingUnknown();

    // Allows a factory to make the object as part of an outer object. Call in the constructor.
    void EnableAggregation() { m_bAggregatable = true; }
    void EnableAutomation() {}

    // Called when the count reaches zero; deletes the object.
    virtual void OnFinalRelease();

    std::atomic<long> m_dwRef{1};
    LPUNKNOWN m_pOuterUnknown = nullptr;

protected:
    static const qv::InterfaceMap* GetThisInterfaceMap();
    virtual const qv::InterfaceMap* GetInterfaceMap() const;

private:
    friend class COleObjectFactory;

    // The non-delegating IUnknown handed to an outer object that aggregates this one.
    struct XInnerUnknown : IUnknown {
        explicit XInnerUnknown(CCmdTarget* owner) : m_pOwner(owner) {}
        HRESULT QueryInterface(REFIID iid, void** ppv) override;
        ULONG AddRef() override;
        ULONG Release() override;
        CCmdTarget* const m_pOwner;
    } m_xInnerUnknown{this};

    std::atomic<bool> m_bFinalReleased{false};
    bool m_bAggregatable = false;
    qv::ModuleState* m_pCountedIn = nullptr;  // set when a class factory made the object
};

#define DECLARE_INTERFACE_MAP()                                  \
protected:                                                       \
    static const ::qv::InterfaceMap* GetThisInterfaceMap();      \
    const ::qv::InterfaceMap* GetInterfaceMap() const override;

#define BEGIN_INTERFACE_MAP(theClass, theBase)                                                \
    const ::qv::InterfaceMap* theClass::GetInterfaceMap() const { return GetThisInterfaceMap(); } \
    const ::qv::InterfaceMap* theClass::GetThisInterfaceMap() {                                \
        using QvMapBase = theBase;                                                            \
        static const ::qv::InterfaceMapEntry qvEntries[] = {

#define INTERFACE_PART(theClass, iid, localClass)                                      \
    {&(iid), [](CCmdTarget* p) -> IUnknown* { return &static_cast<theClass*>(p)->m_x##localClass; }},

#define END_INTERFACE_MAP()                                                        \
    {nullptr, nullptr}};                                                           \
    static const ::qv::InterfaceMap qvMap = {&QvMapBase::GetThisInterfaceMap, qvEntries}; \
    return &qvMap;                                                                 \
    }

// A nested implementation class X<localClass> of one interface, and its member m_x<localClass>.
// Its QueryInterface, AddRef and Release are declared here and defined by IMPLEMENT_IUNKNOWN
// (or by hand, when a class wants them to do more).
#define BEGIN_INTERFACE_PART(localClass, baseClass)                         \
    class X##localClass : public baseClass {                                \
    public:                                                                 \
        explicit X##localClass(CCmdTarget* pOwner) noexcept : m_pQvOwner(pOwner) {} \
        X##localClass(const X##localClass&) = delete;                       \
        X##localClass& operator=(const X##localClass&) = delete;            \
        HRESULT QueryInterface(REFIID iid, LPVOID* ppvObj) override;        \
        ULONG AddRef() override;                                            \
        ULONG Release() override;                                           \
        CCmdTarget* const m_pQvOwner;

#define END_INTERFACE_PART(localClass) \
    }                                  \
    m_x##localClass{this};             \
    friend class X##localClass;

// Inside a method of X<localClass>: pThis is the object that contains it.
#define METHOD_PROLOGUE(theClass, localClass)                  \
    theClass* pThis = static_cast<theClass*>(m_pQvOwner);      \
    (void)pThis;
#define METHOD_PROLOGUE_EX(theClass, localClass) METHOD_PROLOGUE(theClass, localClass)
#define METHOD_PROLOGUE_EX_(theClass, localClass) METHOD_PROLOGUE(theClass, localClass)

// The usual IUnknown of a nested part: the object's external reference count and interfaces,
// called on the object's own class so that a class redefining ExternalRelease is honoured.
#define IMPLEMENT_IUNKNOWN(theClass, localClass)                                            \
    HRESULT theClass::X##localClass::QueryInterface(REFIID iid, LPVOID* ppvObj) {           \
        METHOD_PROLOGUE(theClass, localClass)                                               \
        return HRESULT(pThis->ExternalQueryInterface(&iid, ppvObj));                        \
    }                                                                                       \
    ULONG theClass::X##localClass::AddRef() {                                               \
        METHOD_PROLOGUE(theClass, localClass)                                               \
        return ULONG(pThis->ExternalAddRef());                                              \
    }                                                                                       \
    ULONG theClass::X##localClass::Release() {                                              \
        METHOD_PROLOGUE(theClass, localClass)                                               \
        return ULONG(pThis->ExternalRelease());                                             \
    }
