#pragma once
// CQvRowHandoff: rows (or any steps) that a worker hands to a window, taken on the GUI thread in
// slices. The worker appends with Hand; the first step of a batch posts the window's message. The
// window's handler calls Take, which gives the steps one by one, in order, until a few
// milliseconds are used up, and posts the message again for the rest, so that input, paint and
// timers run between two slices however many rows come.
#include "wnd.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

template <class Step>
class CQvRowHandoff {
public:
    // The GUI thread's time for one slice.
    static constexpr std::chrono::microseconds kSliceBudget{4000};

    // The window whose message runs the slices (its handler calls Take).
    void Attach(HWND hWnd, UINT nMessage) {
        std::lock_guard g(m_lock);
        m_hWnd = hWnd;
        m_nMessage = nMessage;
    }

    // The window goes: nothing more is posted, and a worker waiting for room goes on at once.
    void Detach() {
        {
            std::lock_guard g(m_lock);
            m_hWnd = nullptr;
            m_nMessage = 0;
        }
        m_room.notify_all();
    }

    // Any thread: appends the step; posts the message unless one is on its way. FALSE when the
    // window is gone (the step is then dropped: discard receives it).
    template <class Discard>
    BOOL Hand(Step step, Discard&& discard) {
        HWND hWnd = nullptr;
        UINT nMessage = 0;
        {
            std::lock_guard g(m_lock);
            m_steps.push_back(std::move(step));
            if (m_bPosted) return TRUE;
            m_bPosted = true;
            hWnd = m_hWnd;
            nMessage = m_nMessage;
        }
        if (hWnd && ::PostMessageW(hWnd, nMessage, 0, 0)) return TRUE;
        Clear(discard);
        return FALSE;
    }
    BOOL Hand(Step step) {
        return Hand(std::move(step), [](Step&) {});
    }

    // Worker: waits while more than nMax steps wait for the GUI thread, so that a long result
    // is held as list rows, not twice over on its way; ends early when stop() says so or the
    // window is gone.
    template <class Stop>
    void WaitForRoom(std::size_t nMax, Stop&& stop) {
        std::unique_lock l(m_lock);
        while (m_steps.size() > nMax && m_hWnd && !stop())
            m_room.wait_for(l, std::chrono::milliseconds(20));
    }

    // GUI thread, in the message's handler: each(step) for the waiting steps in order while the
    // slice lasts, then flush() once; posts the message again when steps remain. TRUE when every
    // step was taken.
    template <class Each, class Flush>
    BOOL Take(Each&& each, Flush&& flush) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<Step> slice;
        for (;;) {
            {
                std::lock_guard g(m_lock);
                // Taken in small portions, so that the clock is read seldom and the worker is
                // held up little.
                for (std::size_t n = 0; n < 32 && !m_steps.empty(); ++n) {
                    slice.push_back(std::move(m_steps.front()));
                    m_steps.pop_front();
                }
                if (slice.empty()) {
                    m_bPosted = false;
                    break;
                }
            }
            for (Step& step : slice) each(step);
            slice.clear();
            m_room.notify_all();
            if (std::chrono::steady_clock::now() - start >= kSliceBudget) {
                HWND hWnd = nullptr;
                UINT nMessage = 0;
                {
                    std::lock_guard g(m_lock);
                    if (m_steps.empty()) {
                        m_bPosted = false;
                        break;
                    }
                    // The message stays "on its way": the worker does not post a second one.
                    hWnd = m_hWnd;
                    nMessage = m_nMessage;
                }
                flush();
                if (!hWnd || !::PostMessageW(hWnd, nMessage, 0, 0)) {
                    std::lock_guard g(m_lock);
                    m_bPosted = false;
                }
                return FALSE;
            }
        }
        flush();
        return TRUE;
    }

    // Worker: drops the waiting steps that drop(step) names (those of a result the next one
    // replaces), keeping the others in their order.
    template <class Drop>
    void DropIf(Drop&& drop) {
        std::deque<Step> dropped;
        {
            std::lock_guard g(m_lock);
            std::deque<Step> kept;
            for (Step& step : m_steps) (drop(step) ? dropped : kept).push_back(std::move(step));
            m_steps.swap(kept);
        }
        m_room.notify_all();
    }

    // Drops the waiting steps (discard receives each), e.g. when the window goes.
    template <class Discard>
    void Clear(Discard&& discard) {
        std::deque<Step> steps;
        {
            std::lock_guard g(m_lock);
            steps.swap(m_steps);
            m_bPosted = false;
        }
        m_room.notify_all();
        for (Step& step : steps) discard(step);
    }
    void Clear() {
        Clear([](Step&) {});
    }

    // Steps waiting, or a message on its way to take them.
    BOOL IsPending() const {
        std::lock_guard g(m_lock);
        return !m_steps.empty() || m_bPosted;
    }

private:
    mutable std::mutex m_lock;
    std::deque<Step> m_steps;
    std::condition_variable m_room;
    bool m_bPosted = false;
    HWND m_hWnd = nullptr;
    UINT m_nMessage = 0;
};
