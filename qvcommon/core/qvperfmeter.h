#pragma once
// CQvPerfMeter: a stopwatch in milliseconds. Construction starts it; GetTime gives the time up to
// Stop, or up to now while it runs.
#include <functional>

class CQvPerfMeter {
public:
    CQvPerfMeter();
    void Start();
    void Stop();
    double GetTime() const;

private:
    double m_dStart = 0;
    double m_dStop = 0;
    bool m_bRunning = true;
};

namespace qv {
// The clock every stopwatch reads, in milliseconds on a monotonic scale. Tests install their own
// to make a statement take a given time; an empty function puts the steady clock back.
void SetPerfMeterClock(std::function<double()> clock);
}  // namespace qv
