// Whole periods elapsed on a port's free-running 16-bit tick counter.
// Counting periods instead of ticks lets any span (a start window of many
// seconds) be measured on a counter that wraps every few seconds, as long as
// Tick() is polled at least once per wrap.
#pragma once

#include <stdint.h>

namespace kboot {

template <class Port>
class PeriodClock {
public:
    explicit PeriodClock(Port& timeBase) : port(timeBase), mark(timeBase.Ticks()) {}

    // True once for every period that has passed since the last true.
    bool Tick() {
        if (static_cast<uint16_t>(port.Ticks() - mark) < Port::kTicksPerPeriod) return false;
        mark = static_cast<uint16_t>(mark + Port::kTicksPerPeriod);
        ++count;
        return true;
    }

    uint16_t Periods() const { return count; }

private:
    Port& port;
    uint16_t mark;
    uint16_t count = 0;
};

}  // namespace kboot
