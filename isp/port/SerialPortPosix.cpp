#include "isp/port/SerialPortPosix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <thread>

#ifdef __linux__
#include <linux/serial.h>

#include "isp/port/SerialSpeedLinux.h"
#endif

// The settings to put back, per open port, where a signal handler can find
// them: a list that only grows, one entry per port open at the same time.
// Entries are never freed, and `next` is set before an entry is published, so
// a handler can walk the list at any moment; a port that closes frees its
// entry for the next one to open. No fixed limit on the number of ports.
struct SavedLine {
    std::atomic<int> fd{kFree};
    termios settings{};
    std::atomic<bool> serialFlagsChanged{false};
    int serialFlags = 0;
    bool exclusive = false;  // TIOCEXCL was set
    SavedLine* next = nullptr;

    static constexpr int kFree = -1;
    static constexpr int kClaimed = -2;
};

namespace {

using Clock = std::chrono::steady_clock;

struct SpeedEntry {
    uint32_t rate;
    speed_t constant;
};

constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},     {2400, B2400},   {4800, B4800},   {9600, B9600},
#ifdef B14400
    {14400, B14400},
#endif
    {19200, B19200},   {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool LookUpSpeed(uint32_t rate, speed_t& constant) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.rate == rate) {
            constant = entry.constant;
            return true;
        }
    }
    return false;
}

// Milliseconds left until `deadline` for poll, rounded up so that a wait never
// ends before the deadline; 0 once it has passed.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// The errors of a device that is no longer there: a hung-up terminal or an
// unplugged USB adapter.
bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

PortError SystemError(int error, const std::string& what = {}) {
    return {error, what + std::strerror(error)};
}

PortError RefusedSpeed(int error, uint32_t baudRate) {
    return {error, "the port refused " + std::to_string(baudRate) + " baud"};
}

std::atomic<SavedLine*> savedLines{nullptr};
static_assert(std::atomic<SavedLine*>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// A free entry, or a new one; null only when memory has run out.
SavedLine* ClaimSavedLine() {
    for (SavedLine* line = savedLines.load(); line; line = line->next) {
        int free = SavedLine::kFree;
        if (line->fd.compare_exchange_strong(free, SavedLine::kClaimed)) return line;
    }
    auto* line = new (std::nothrow) SavedLine;
    if (!line) return nullptr;
    line->fd.store(SavedLine::kClaimed);
    line->next = savedLines.load();
    while (!savedLines.compare_exchange_weak(line->next, line)) {
    }
    return line;
}

// Waits, within the write time-out, until the driver has sent what was
// written, so the last bytes (the end frame) leave at the speed they were
// written for. True when its queue is empty.
bool WaitUntilSent(int fd) {
    const auto deadline = Clock::now() + SerialPortPosix::kWriteTimeout;
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
        if (queued <= 0) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// `when`: TCSANOW on the signal path, which cannot wait; TCSADRAIN on close,
// once the driver's queue is empty, for what the UART itself still holds.
void RestoreLine(int fd, const SavedLine& line, int when = TCSANOW) {
#ifdef __linux__
    if (line.serialFlagsChanged.load()) {
        serial_struct serial{};
        if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags = line.serialFlags;
            ioctl(fd, TIOCSSERIAL, &serial);
        }
    }
#endif
    tcsetattr(fd, when, &line.settings);
}

}  // namespace

std::optional<PortError> SetRawLine(int fd, uint32_t baudRate) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return SystemError(errno, "cannot read the line settings: ");

    // Software flow control is cleared too: binary images and noise contain
    // 0x11 and 0x13, which the driver would otherwise swallow or obey.
    settings.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK | IXON | IXOFF | IXANY);
#ifdef IUCLC
    settings.c_iflag &= ~IUCLC;
#endif
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    // One byte satisfies a read; with O_NONBLOCK an idle line then gives
    // EAGAIN, so a read of 0 bytes can only mean a hang-up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;

    speed_t constant = 0;
    const bool standard = baudRate != 0 && LookUpSpeed(baudRate, constant);
    if (standard) {
        cfsetispeed(&settings, constant);
        cfsetospeed(&settings, constant);
    }
#ifndef __linux__
    else if (baudRate != 0) {
        // BSD and macOS: speed_t is the rate itself.
        constant = static_cast<speed_t>(baudRate);
        cfsetispeed(&settings, constant);
        cfsetospeed(&settings, constant);
    }
#endif
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        const int error = errno;
        return error == EINVAL && baudRate != 0 ? RefusedSpeed(error, baudRate)
                                                : SystemError(error);
    }
    if (baudRate == 0) return std::nullopt;
#ifdef __linux__
    if (!standard) {
        if (!SetCustomSpeed(fd, baudRate)) return RefusedSpeed(errno, baudRate);
        return GetCustomSpeed(fd) == baudRate ? std::nullopt
                                              : std::optional(RefusedSpeed(0, baudRate));
    }
#endif
    // tcsetattr succeeds when any of the changes was taken: look at the speed.
    termios taken{};
    if (tcgetattr(fd, &taken) != 0 || cfgetospeed(&taken) != constant)
        return RefusedSpeed(0, baudRate);
    return std::nullopt;
}

std::unique_ptr<SerialPortPosix> SerialPortPosix::Open(const std::string& path, PortError* why) {
    auto fail = [why](PortError error) {
        if (why) *why = std::move(error);
        return nullptr;
    };
    // Non-blocking open: a real serial line without carrier would otherwise
    // block here until DCD rises.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(SystemError(errno));
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return fail({ENOTTY, "not a serial port"});
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return fail(SystemError(EBUSY));
    }
    // Claimed before the line is touched: a port whose settings could not be
    // put back by a signal handler is not opened at all.
    SavedLine* line = ClaimSavedLine();
    if (!line) {
        ::close(fd);
        return fail(SystemError(ENOMEM));
    }
    bool exclusive = false;
#ifdef TIOCEXCL
    exclusive = ioctl(fd, TIOCEXCL) == 0;
#endif
    line->settings = saved;
    line->serialFlagsChanged.store(false);
    line->exclusive = exclusive;
    line->fd.store(fd);
    return std::unique_ptr<SerialPortPosix>(new SerialPortPosix(fd, exclusive, *line));
}

SerialPortPosix::SerialPortPosix(int descriptor, bool locked, SavedLine& line)
    : fd(descriptor), exclusive(locked), saved(line) {}

SerialPortPosix::~SerialPortPosix() {
    // Restored before the entry is freed: a signal in between restores twice,
    // never not at all. A queue that would not empty in time is given up.
    RestoreLine(fd, saved, WaitUntilSent(fd) ? TCSADRAIN : TCSANOW);
    saved.fd.store(SavedLine::kFree);
#ifdef TIOCNXCL
    // The flag belongs to the device, not to this descriptor: it would outlive
    // us while anyone else (a target holding its pseudo-terminal) keeps it open.
    if (exclusive) ioctl(fd, TIOCNXCL);
#endif
    ::close(fd);
}

std::optional<PortError> SerialPortPosix::Configure(uint32_t baudRate) {
#ifdef __linux__
    // Only where the slot can take the old flags back; pseudo-terminals
    // and most non-USB drivers refuse, which is fine.
    serial_struct serial{};
    if (!saved.serialFlagsChanged.load() && ioctl(fd, TIOCGSERIAL, &serial) == 0 &&
        !(serial.flags & ASYNC_LOW_LATENCY)) {
        const int old = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        if (ioctl(fd, TIOCSSERIAL, &serial) == 0) {
            saved.serialFlags = old;
            saved.serialFlagsChanged.store(true);
        }
    }
#endif
    // Driver queue sizes are fixed by the driver here; the time-outs are kept
    // by ReadByte and Write themselves.
    return SetRawLine(fd, baudRate);
}

void SerialPortPosix::NoteGone(int error) {
    if (IsGoneError(error)) deviceGone = true;
}

ReadResult SerialPortPosix::ReadByte(uint8_t& byte) {
    if (deviceGone) return ReadResult::Gone;
    const auto deadline = Clock::now() + kReadTimeout;
    for (;;) {
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 1) return ReadResult::Byte;
        if (n == 0) {
            deviceGone = true;  // end of file on a terminal: hung up
            return ReadResult::Gone;
        }
        if (errno == EINTR) continue;
        if (!WouldBlock(errno)) {
            NoteGone(errno);
            return deviceGone ? ReadResult::Gone : ReadResult::Failed;
        }

        const int left = MillisecondsLeft(deadline);
        if (left == 0) return ReadResult::TimedOut;
        pollfd waiter{fd, POLLIN, 0};
        if (poll(&waiter, 1, left) < 0 && errno != EINTR) return ReadResult::Failed;
        if (waiter.revents & POLLNVAL) return ReadResult::Failed;
        // A hang-up or error with nothing left to read: the read above says which.
    }
}

bool SerialPortPosix::Write(const uint8_t* bytes, size_t count) {
    if (deviceGone) return false;
    const auto deadline = Clock::now() + kWriteTimeout;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !WouldBlock(errno)) {
            NoteGone(errno);
            return false;
        }

        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        pollfd waiter{fd, POLLOUT, 0};
        if (poll(&waiter, 1, left) < 0 && errno != EINTR) return false;
        if (waiter.revents & POLLNVAL) return false;
        if (waiter.revents & POLLHUP) {
            deviceGone = true;
            return false;
        }
    }
    return true;
}

void SerialPortPosix::Purge() {
    tcflush(fd, TCIOFLUSH);
}

std::optional<PortError> SerialPortPosix::SetModemLines(unsigned lines, bool asserted) {
    int bits = 0;
    if (lines & kLineDtr) bits |= TIOCM_DTR;
    if (lines & kLineRts) bits |= TIOCM_RTS;
    if (ioctl(fd, asserted ? TIOCMBIS : TIOCMBIC, &bits) == 0) return std::nullopt;
    const int error = errno;
    // A pseudo-terminal and some USB adapters have no modem lines to set.
    if (error == ENOTTY || error == EINVAL) return PortError{error, "the port has no modem lines"};
    return PortError{error, std::strerror(error)};
}

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, PortError* why) {
    return SerialPortPosix::Open(name, why);
}

void RestoreSerialLinesNow() {
    for (SavedLine* line = savedLines.load(); line; line = line->next) {
        const int fd = line->fd.load();
        if (fd < 0) continue;
        RestoreLine(fd, *line);
#ifdef TIOCNXCL
        // The process ends with the port open: the device must not stay locked.
        if (line->exclusive) ioctl(fd, TIOCNXCL);
#endif
    }
}
