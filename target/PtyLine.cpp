#include "target/PtyLine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

// How often an absent host is looked for again.
constexpr auto kAwayPoll = std::chrono::milliseconds(10);
// A host that takes no bytes for this long loses them (a Ready nobody reads).
constexpr auto kWriteGiveUp = std::chrono::milliseconds(1000);
// How long before a paced byte is due the line stops sleeping and spins.
constexpr auto kSpinBefore = std::chrono::microseconds(200);

int PollMilliseconds(TargetLine::Clock::duration left) {
    using Clock = TargetLine::Clock;
    using namespace std::chrono;
    if (left <= Clock::duration::zero()) return 0;
    auto ms = duration_cast<milliseconds>(left + milliseconds(1) - nanoseconds(1)).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

}  // namespace

PtyLine::PtyLine(Pseudoterminal& terminal, uint32_t baud, Trace* traceOut,
                 const volatile std::sig_atomic_t& stop)
    : pty(terminal), master(terminal.Master()), trace(traceOut), stopSignal(stop) {
    if (baud > 0) byteTime = std::chrono::nanoseconds((10'000'000'000ull + baud / 2) / baud);
}

bool PtyLine::Pause(TimePoint until) {
    const bool slept = SleepUntil(until);
    reactionPoint = until;
    return slept;
}

bool PtyLine::WaitPrecisely(TimePoint until) {
    // Sleep most of the way, then spin: a wake-up can be later than a byte time.
    if (until - Now() > kSpinBefore && !SleepUntil(until - kSpinBefore)) return false;
    while (Now() < until)
        if (Stopped()) return false;
    return true;
}

bool PtyLine::SleepUntil(TimePoint until) {
#ifdef __linux__
    // Absolute sleeps: lateness of one wake-up does not add up over a transfer.
    const auto since = until.time_since_epoch();
    timespec ts{};
    ts.tv_sec =
        static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
    ts.tv_nsec = static_cast<long>((since - std::chrono::seconds(ts.tv_sec)).count());
    while (!Stopped()) {
        int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (rc == 0) return true;
        if (rc != EINTR) break;
    }
    return !Stopped();
#else
    while (!Stopped() && Now() < until)
        std::this_thread::sleep_until(std::min(until, Now() + std::chrono::milliseconds(50)));
    return !Stopped();
#endif
}

void PtyLine::HangUp() {
    pty.HangUp();
    master = -1;
}

PtyLine::Fill PtyLine::ReadPending() {
    if (master < 0) return Fill::Gone;
    uint8_t buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
        const TimePoint now = Now();
        for (ssize_t i = 0; i < n; ++i) {
            TimePoint arrival = now;
            if (byteTime.count() > 0) {
                arrival = std::max(now, receiveLineFree) + byteTime;
                receiveLineFree = arrival;
            }
            pending.emplace_back(buffer[i], arrival);
        }
        hostAway = false;
        return Fill::Data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        hostAway = false;  // an open slave side, possibly a new host
        return Fill::Nothing;
    }
    return Fill::Gone;  // EIO (or end of file): nobody holds the slave side
}

TargetLine::Event PtyLine::Receive(uint8_t& byte, TimePoint deadline) {
    for (;;) {
        if (Stopped()) return Event::Interrupted;
        if (!pending.empty()) {
            const auto [b, arrival] = pending.front();
            if (arrival > deadline) {
                if (!SleepUntil(deadline)) return Event::Interrupted;
                reactionPoint = deadline;
                return Event::TimedOut;
            }
            if (!SleepUntil(arrival)) return Event::Interrupted;
            pending.pop_front();
            reactionPoint = arrival;
            if (trace) trace->Log(arrival, true, b);
            byte = b;
            return Event::Byte;
        }
        const bool wasAway = hostAway;
        const Fill fill = ReadPending();
        if (fill == Fill::Data) continue;
        if (fill == Fill::Gone && !wasAway) {
            hostAway = true;
            return Event::HostGone;
        }
        const TimePoint now = Now();
        if (now >= deadline) {
            reactionPoint = deadline;
            return Event::TimedOut;
        }
        if (fill == Fill::Gone) {
            hostAway = true;
            // The master reports an error at once while no slave is open: look again shortly.
            SleepUntil(std::min(deadline, now + kAwayPoll));
            continue;
        }
        pollfd p{master, POLLIN, 0};
        poll(&p, 1, PollMilliseconds(deadline - now));  // EINTR: the loop looks at the stop flag
    }
}

void PtyLine::WriteAll(const uint8_t* bytes, size_t count, std::optional<TimePoint> stamp,
                       Clock::duration step) {
    if (master < 0) return;
    const TimePoint giveUp = Now() + kWriteGiveUp;
    size_t done = 0;
    while (done < count && !Stopped()) {
        ssize_t n = write(master, bytes + done, count - done);
        if (n > 0) {
            const TimePoint now = Now();
            if (trace) {
                for (size_t i = done; i < done + static_cast<size_t>(n); ++i)
                    trace->Log(stamp ? *stamp + step * static_cast<long>(i) : now, false, bytes[i]);
            }
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return;
        const TimePoint now = Now();
        if (now >= giveUp) return;
        pollfd p{master, POLLOUT, 0};
        poll(&p, 1, 10);
    }
}

void PtyLine::Send(const uint8_t* bytes, size_t count) {
    if (byteTime.count() == 0) {
        WriteAll(bytes, count);
        return;
    }
    // A late wake-up must not squeeze bytes closer than their line time.
    const TimePoint start = std::max({reactionPoint, sendLineFree, Now() - byteTime});
    for (size_t i = 0; i < count; ++i) {
        const TimePoint arrives = std::max(start, sendLineFree) + byteTime;
        if (!WaitPrecisely(arrives)) return;
        // The next byte is due one byte time after this one really went out.
        sendLineFree = Now();
        WriteAll(bytes + i, 1, sendLineFree);
    }
}

void PtyLine::Announce(const uint8_t* bytes, size_t count) {
    if (hostAway) {  // nobody to hear it: look for a host again shortly instead
        SleepUntil(Now() + kAwayPoll);
        return;
    }
    if (byteTime.count() == 0) {
        WriteAll(bytes, count);
        return;
    }
    // One sleep until the last byte is due, then the bytes at once, each traced
    // at its own time: a host acts on a frame only once it is complete.
    const TimePoint start = std::max({reactionPoint, sendLineFree, Now() - byteTime});
    const TimePoint end = start + byteTime * static_cast<long>(count);
    if (!SleepUntil(end)) return;
    WriteAll(bytes, count, start + byteTime, byteTime);
    sendLineFree = std::max(Now(), end);
}

void PtyLine::Drain() {
    while (ReadPending() == Fill::Data) {
    }
    if (trace)
        for (const auto& [b, arrival] : pending) trace->Log(arrival, true, b);
    pending.clear();
}
