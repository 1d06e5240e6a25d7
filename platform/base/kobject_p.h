#pragma once
// Internal to qvbase: the table of kernel objects behind HANDLEs and the one lock and condition
// under which every wait looks at their states.
#include "qvtypes.h"
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace qv::detail {

struct KObject {
    enum class Type { Event, Mutex, Thread };
    explicit KObject(Type t) : type(t) {}
    virtual ~KObject() = default;
    // Under WaitLock(): can the calling thread take the object now?
    virtual bool Ready(DWORD tid) const = 0;
    // Under WaitLock(), after Ready(): takes the object; false when another process holds it.
    // 'abandoned' is set when a mutex is taken over from a thread that ended holding it.
    virtual bool Acquire(DWORD tid, bool& abandoned) = 0;
    // Under WaitLock(): gives back what Acquire took (a wait-all that could not take everything).
    virtual void Undo(DWORD tid) { (void)tid; }
    // Whether readiness can change without a notification in this process (another process).
    virtual bool NeedsPolling() const { return false; }
    const Type type;
};

std::mutex& WaitLock();
std::condition_variable& WaitChanged();  // notified whenever an object may have become ready

HANDLE InsertHandle(std::shared_ptr<KObject> obj);
std::shared_ptr<KObject> LookupHandle(HANDLE h);

// Gives ids to threads created here before they run, so the creator can report the id at once.
DWORD NewThreadId();
void AdoptThreadId(DWORD id);
// Called when a thread ends: abandons the mutexes it still owns.
void AbandonOwnedMutexes();

}  // namespace qv::detail
