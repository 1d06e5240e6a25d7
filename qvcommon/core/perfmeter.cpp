#include "qvperfmeter.h"

#include <chrono>
#include <mutex>

namespace {

double SteadyMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Clock {
    std::mutex lock;
    std::function<double()> fn;
};

Clock& TheClock() {
    static Clock* c = new Clock;
    return *c;
}

double Now() {
    Clock& c = TheClock();
    std::function<double()> fn;
    {
        std::lock_guard g(c.lock);
        fn = c.fn;
    }
    return fn ? fn() : SteadyMs();
}

}  // namespace

namespace qv {
void SetPerfMeterClock(std::function<double()> clock) {
    Clock& c = TheClock();
    std::lock_guard g(c.lock);
    c.fn = std::move(clock);
}
}  // namespace qv

CQvPerfMeter::CQvPerfMeter() { Start(); }

void CQvPerfMeter::Start() {
    m_dStart = Now();
    m_dStop = m_dStart;
    m_bRunning = true;
}

void CQvPerfMeter::Stop() {
    if (!m_bRunning) return;
    m_dStop = Now();
    m_bRunning = false;
}

double CQvPerfMeter::GetTime() const { return (m_bRunning ? Now() : m_dStop) - m_dStart; }
