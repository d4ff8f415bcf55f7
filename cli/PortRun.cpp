#include "cli/PortRun.h"

#include <functional>
#include <optional>

#include "cli/ExitCodes.h"
#include "image/ImageChecksum.h"
#include "isp/DownloadJob.h"

namespace {

using Clock = std::chrono::steady_clock;

// Passes everything through, tells when the header goes out (the boot loader
// has answered), and counts what moves on the wire after it.
class WatchedPort : public SerialPort {
public:
    WatchedPort(SerialPort& inner, std::function<void()> headerSent)
        : port(inner), onHeader(std::move(headerSent)) {}

    std::optional<PortError> Configure(uint32_t baudRate) override {
        return port.Configure(baudRate);
    }
    ReadResult ReadByte(uint8_t& byte) override {
        const ReadResult result = port.ReadByte(byte);
        if (writes > 0 && result == ReadResult::Byte) {
            ++lineBytes;
            lastMoved = Clock::now();
        }
        return result;
    }
    void Purge() override { port.Purge(); }
    bool Write(const uint8_t* bytes, size_t count) override {
        if (writes++ == 0) {
            startedAt = Clock::now();
            onHeader();
        } else {
            blockBytes += count;
        }
        lineBytes += count;
        const bool written = port.Write(bytes, count);
        lastMoved = Clock::now();
        return written;
    }

    bool Started() const { return writes > 0; }

    uint64_t blockBytes = 0;  // after the header: blocks, and the end frame once sent
    uint64_t lineBytes = 0;
    Clock::time_point startedAt{};
    // The last byte written or read after the header: the end of the line's
    // use, so a boot loader that sends no verdict is not charged the wait for one.
    Clock::time_point lastMoved{};

private:
    SerialPort& port;
    std::function<void()> onHeader;
    uint32_t writes = 0;
};

}  // namespace

void ObserverList::Waiting(size_t port, uint32_t board) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Waiting(port, board);
}

void ObserverList::Ready(size_t port, uint32_t board) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Ready(port, board);
}

void ObserverList::Numbered(size_t port, uint32_t board, uint64_t serial, uint16_t checksum) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Numbered(port, board, serial, checksum);
}

void ObserverList::Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Progress(port, board, percent, bytes);
}

void ObserverList::Finished(size_t port, const BoardRecord& record) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Finished(port, record);
}

void ObserverList::Stuck(size_t port, uint32_t board) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Stuck(port, board);
}

void ObserverList::PortProblem(size_t port, uint32_t board, const std::string& text) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->PortProblem(port, board, text);
}

void ObserverList::LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                              const std::string& reason) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->LogProblem(port, record, row, reason);
}

void ObserverList::Monitor(size_t port, const std::string& line) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Monitor(port, line);
}

void ObserverList::Expect(size_t port, const std::string& text, bool seen) {
    std::lock_guard lock(mutex);
    for (PortObserver* o : observers) o->Expect(port, text, seen);
}

int ExitCodeFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return kExitOk;
        case Outcome::NotFindDevice:
            return kExitNotFindDevice;
        case Outcome::Error:
            return kExitDeviceError;
        case Outcome::ProgramError:
            return kExitProgramError;
        case Outcome::ReadTimeOut:
            return kExitReadTimeOut;
        case Outcome::UserStop:
            return kExitUserStop;
        case Outcome::VerifyError:
            return kExitVerifyError;
    }
    return kExitDeviceError;
}

namespace {

// Shows what the board prints after its download; false when --expect's text
// did not come.
bool Monitor(size_t index, SerialPort& port, const PortWork& work,
             const std::atomic<uint8_t>& stopAll, PortObserver& observer) {
    const MonitorSettings& settings = work.monitor;
    if (settings.baudRate && *settings.baudRate != work.baudRate) {
        if (const auto problem = port.Configure(*settings.baudRate)) {
            observer.PortProblem(index, 1, "--monitor-baud: " + problem->text);
            if (settings.expect) observer.Expect(index, *settings.expect, false);
            return !settings.expect;
        }
    }
    const bool seen = MonitorBoard(
        port, settings, [&] { return stopAll.load() == STOP_REQUEST; },
        [&](const std::string& line) { observer.Monitor(index, line); });
    if (settings.expect) observer.Expect(index, *settings.expect, seen);
    return seen;
}

}  // namespace

PortResult RunPort(size_t index, const std::string& name, const PortWork& work,
                   const std::atomic<uint8_t>& stopAll, PortObserver& observer) {
    PortResult result;
    DownloadJob job;
    job.length = static_cast<uint32_t>(work.image->size());
    job.checksum = work.checksum;
    job.baudRate = work.baudRate;
    PortError why;
    job.port = OpenConfiguredPort(name, job.baudRate, why);
    if (!job.port) {
        BoardRecord record;
        record.port = name;
        record.portProblem = why.text;
        record.message = ".....Open com port error !";
        record.exitCode = kExitOpenPortError;
        record.baudRate = work.baudRate;
        record.endedAt = std::chrono::system_clock::now();
        observer.Finished(index, record);
        result.status = kExitOpenPortError;
        result.failed = 1;
        return result;
    }
    if (const auto problem = PulseReset(*job.port, work.reset))
        observer.PortProblem(
            index, 1, "--reset could not pulse the line (" + *problem + "); the download goes on");
    if (work.repeat) job.port->Purge();  // the next-board exchange leaves the line as it is

    // Serial numbers go into this port's own copy, never into the shared image.
    std::vector<uint8_t> stamped;
    if (work.serials) stamped = *work.image;
    const uint8_t* image = work.serials ? stamped.data() : work.image->data();

    std::atomic<uint8_t>& cell = *job.progress;
    // Once, every port has its one board to finish; only repeat mode stops taking them.
    const auto noMore = [&work] {
        return work.repeat && work.takeNoMore && work.takeNoMore->load();
    };
    for (uint32_t board = 1;; ++board) {
        WatchedPort port(*job.port, [&] { observer.Ready(index, board); });
        std::string message;
        uint64_t acknowledged = 0;
        std::optional<Clock::time_point> announcingSince;
        bool stuck = false;
        std::optional<uint64_t> serial;
        ExchangeHooks hooks;
        hooks.stopRequested = [&] {
            return cell.load() == STOP_REQUEST || stopAll.load() == STOP_REQUEST ||
                   (!port.Started() && noMore());
        };
        if (work.serials) {
            hooks.beforeHeader = [&](uint16_t& checksum) {
                CounterProblem problem;
                serial = work.serials->Take(problem);
                if (!serial) {
                    result.counterProblem = problem;
                    if (work.takeNoMore) work.takeNoMore->store(true);
                    const std::string prefix = "kestrune-cli: ";
                    observer.PortProblem(index, board,
                                         "no board taken: " + problem.reason.substr(prefix.size()));
                    return false;
                }
                work.serialFormat.Write(*serial, stamped.data() + work.serialOffset);
                checksum = ImageChecksum(stamped.data(), stamped.size());
                observer.Numbered(index, board, *serial, checksum);
                return true;
            };
        }
        hooks.progress = [&](uint8_t percent) {
            // A stop that lands while a block's reply arrives must not be lost.
            uint8_t current = cell.load();
            while (current != STOP_REQUEST && !cell.compare_exchange_weak(current, percent)) {
            }
            acknowledged = port.blockBytes;
            observer.Progress(index, board, percent, acknowledged);
        };
        hooks.message = [&message](const char* text) { message = text; };
        hooks.announcing = [&] {
            const Clock::time_point now = Clock::now();
            if (!announcingSince) announcingSince = now;
            if (!stuck && now - *announcingSince >= kStuckAfter) {
                stuck = true;
                observer.Stuck(index, board);
            }
        };
        hooks.lineQuiet = [&] {  // the announcing board was taken away
            announcingSince.reset();
            if (stuck) observer.Waiting(index, board);
            stuck = false;
        };
        bool verified = false;
        std::string check;
        hooks.verified = [&](const char* how) {
            verified = true;
            check = how;
        };
        std::string lineReason;
        hooks.noAnswer = [&](const LineBytes& seen) {
            lineReason = NoAnswerReason(seen, job.baudRate);
        };
        hooks.verifyProblem = [&](const std::string& reason) { lineReason = reason; };

        observer.Waiting(index, board);
        const Outcome outcome =
            work.repeat
                ? RunNextBoardExchange(port, image, job.length, job.startAddress, job.checksum,
                                       hooks, board == 1 ? 0 : work.quietReads)
                : RunExchange(port, image, job.length, job.startAddress, job.checksum, hooks);
        if (result.counterProblem) {  // this board was not flashed: the line stops
            result.status = result.counterProblem->exitCode;
            break;
        }
        const bool gone = job.port->DeviceGone();
        if (work.repeat && !port.Started()) {
            // The wait ended with no board taken: a stop, or the device gone.
            if (gone) observer.PortProblem(index, board, "the device went away");
            if (!stuck) break;  // nothing announced: nothing to count
        }

        BoardRecord record;
        record.port = name;
        record.board = board;
        record.serial = serial;
        record.message = message;
        record.exitCode = ExitCodeFor(outcome);
        record.verified = verified;
        record.lineReason = lineReason;
        record.check = check;
        record.started = port.Started();
        const bool allSent = outcome == Outcome::Success || outcome == Outcome::VerifyError;
        if (record.started) {
            const Clock::time_point end = allSent ? port.lastMoved : Clock::now();
            record.seconds = std::chrono::duration<double>(end - port.startedAt).count();
        }
        record.bytes = allSent ? job.length : acknowledged;
        record.lineBytes = port.lineBytes;
        record.baudRate = job.baudRate;
        record.endedAt = std::chrono::system_clock::now();
        // A board that leaves once everything was sent (as the verdict wait
        // ends) has not failed its download: the port's end is told on its own.
        if (gone && !allSent && (record.started || !work.repeat))
            record.portProblem = "the device went away";
        observer.Finished(index, record);
        if (gone && allSent && work.repeat)
            observer.PortProblem(index, board + 1, "the device went away");

        (outcome == Outcome::Success ? result.succeeded : result.failed) += 1;
        if (!work.repeat) {
            result.status = record.exitCode;
            if (outcome == Outcome::Success && work.monitor.enabled &&
                !Monitor(index, *job.port, work, stopAll, observer))
                result.status = kExitExpectMissing;
            break;
        }
        result.status = result.failed > 0 ? kExitBoardsFailed : kExitOk;
        if (stopAll.load() == STOP_REQUEST || !port.Started() || gone || noMore()) break;
        cell.store(0);
    }
    return result;
}
