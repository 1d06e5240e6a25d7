#include "heaptrim.h"

#include <malloc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Blocks of half a megabyte and more (a long list's row table, a view's row index) get pages of
// their own, which go back to the system as soon as they are freed. Left to itself, the C library
// raises this limit to the largest block freed so far, and the large blocks of the next window
// then land among the small ones, where their pages stay resident after the window is closed.
const int g_nLargeBlocksApart = mallopt(M_MMAP_THRESHOLD, 512 * 1024);

// The asks that come while a window closes (its lists, its view, its threads letting go of what
// they held) are answered by one trim, a moment after the first of them: a trim walks every
// arena's free blocks, which costs little once but adds up when each layer asks for its own.
constexpr auto kGather = std::chrono::milliseconds(100);

struct Trimmer {
    std::mutex lock;
    std::condition_variable wake;
    bool due = false;
    bool trimming = false;
    std::chrono::steady_clock::time_point at;
    std::size_t done = 0;
};

void Run(Trimmer& t) {
    std::unique_lock g(t.lock);
    for (;;) {
        t.wake.wait(g, [&] { return t.due; });
        while (std::chrono::steady_clock::now() < t.at) t.wake.wait_until(g, t.at);
        // An ask that comes from here on wants what is freed after it: another trim.
        t.due = false;
        t.trimming = true;
        g.unlock();
        malloc_trim(0);
        g.lock();
        t.trimming = false;
        ++t.done;
        t.wake.notify_all();
    }
}

// Never destroyed: its thread waits on it while the process lives.
Trimmer& TheTrimmer() {
    static Trimmer* trimmer = [] {
        auto* t = new Trimmer;
        std::thread([t] { Run(*t); }).detach();
        return t;
    }();
    return *trimmer;
}

}  // namespace

void QvReleaseFreeHeapSoon() {
    Trimmer& t = TheTrimmer();
    std::lock_guard g(t.lock);
    if (t.due) return;
    t.due = true;
    t.at = std::chrono::steady_clock::now() + kGather;
    t.wake.notify_all();
}

std::size_t QvFreeHeapReleases(bool settled) {
    Trimmer& t = TheTrimmer();
    std::unique_lock g(t.lock);
    if (settled) t.wake.wait_for(g, std::chrono::seconds(5), [&] { return !t.due && !t.trimming; });
    return t.done;
}
