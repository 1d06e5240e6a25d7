#pragma once
// CQvAsyncEventSink: receives events on the event server's thread and hands them to its owner on
// the GUI thread. It is an IEventSink and a hidden window at once: OnEvent copies the list and
// posts it to the window, whose handlers call the owner's handlers from its event table.
//
//     class CKursDlg ... {
//         void OnKursChanged(COleVariant value);
//         DECLARE_QVEVENT_MAP()
//         CQvAsyncEventSink m_EventSink;
//     };
//     BEGIN_QVEVENT_MAP(CKursDlg)
//         ON_QVEVENT(GUID_KursChanged, OnKursChanged)
//     END_QVEVENT_MAP()
//     ...  m_EventSink.Create(this, GetQvEventMap());   // and m_EventSink.Unadvise() on closing
//
// The owner passed to Create must be the object of the class that declares the map, and must
// outlive the running sink.
#include "olevariant.h"
#include "qvcmdtarget.h"
#include "qveventserver.h"
#include "qveventsink.h"
#include "wnd.h"

// One entry of an owner's event table. Kind 1 calls pfnItem for one event GUID with a copy of its
// value; kind 2 calls pfnList with every delivered list; kind 0 ends the table.
struct QV_EVENTSINK_ENTRY {
    UINT nKind;
    const GUID* pGuid;
    void (*pfnItem)(void* pOwner, const COleVariant& value);
    void (*pfnList)(void* pOwner, long count, GUID* ids, VARIANT* values);
};

// The list record posted with WM_QVEVENT_LIST; its receiver frees it and both arrays.
struct QV_EVENTLIST {
    long lCount;
    GUID* pGuids;
    VARIANT* pValues;
};

#define WM_QVEVENT_ITEM (WM_USER + 1)
#define WM_QVEVENT_LIST (WM_USER + 2)

namespace qv {
template <class T>
struct EventHandlerClass;
template <class C, class R, class... A>
struct EventHandlerClass<R (C::*)(A...)> {
    using type = C;
};

// The handler gets its own copy of the value, as a COleVariant by value.
template <auto F>
void EventItemThunk(void* owner, const COleVariant& value) {
    using C = typename EventHandlerClass<decltype(F)>::type;
    (static_cast<C*>(owner)->*F)(COleVariant(value));
}
template <auto F>
void EventListThunk(void* owner, long count, GUID* ids, VARIANT* values) {
    using C = typename EventHandlerClass<decltype(F)>::type;
    (static_cast<C*>(owner)->*F)(count, ids, values);
}
}  // namespace qv

#define DECLARE_QVEVENT_MAP() static const QV_EVENTSINK_ENTRY* GetQvEventMap();
#define BEGIN_QVEVENT_MAP(theClass)                             \
    const QV_EVENTSINK_ENTRY* theClass::GetQvEventMap() {       \
        using QvEventMapClass = theClass;                       \
        static const QV_EVENTSINK_ENTRY entries[] = {
#define ON_QVEVENT(guid, memberFxn) \
    {1, &(guid), &qv::EventItemThunk<&QvEventMapClass::memberFxn>, nullptr},
#define ON_QVEVENT_LIST(memberFxn) \
    {2, nullptr, nullptr, &qv::EventListThunk<&QvEventMapClass::memberFxn>},
#define END_QVEVENT_MAP()          \
    {0, nullptr, nullptr, nullptr}}; \
    return entries;                  \
    }

class CQvAsyncEventSink : public CWnd {
public:
    CQvAsyncEventSink();
    ~CQvAsyncEventSink() override;

    // Stores owner and table, creates the hidden window and advises the event server. E_FAIL when
    // the window cannot be made (nothing is advised then) or advising failed (the window stays).
    HRESULT Create(void* pOwner, const QV_EVENTSINK_ENTRY* pTable);
    // Disconnects, hands what is still queued to the owner's handlers, destroys the window.
    HRESULT Unadvise();

    // On the server's thread: copies the list and posts it.
    HRESULT OnEvent(long count, GUID* ids, VARIANT* values);

    // Members of windows and pages: their owner deletes them, never the last Release.
    void OnFinalRelease() override {}

protected:
    afx_msg LRESULT OnEventItem(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEventList(WPARAM wParam, LPARAM lParam);

    BEGIN_INTERFACE_PART(QvEventSink, IEventSink)
        HRESULT OnEvent(long count, GUID* ids, VARIANT* values) override;
    END_INTERFACE_PART(QvEventSink)

    DECLARE_INTERFACE_MAP()
    DECLARE_MESSAGE_MAP()

    const QV_EVENTSINK_ENTRY* m_pTable = nullptr;
    CQvEventSink m_EventSink;
    void* m_pOwner = nullptr;
    HANDLE m_hMutex = nullptr;

private:
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam);
    void TracePostFailure();
};
