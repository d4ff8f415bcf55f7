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

#ifdef __linux__
#include <linux/serial.h>

#include "isp/port/SerialSpeedLinux.h"
#endif

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

// The settings to put back, per open port, where a signal handler can find them.
struct SavedLine {
    std::atomic<int> fd{kFree};
    termios settings{};
    std::atomic<bool> serialFlagsChanged{false};
    int serialFlags = 0;
    bool exclusive = false;  // TIOCEXCL was set

    static constexpr int kFree = -1;
    static constexpr int kClaimed = -2;
};
SavedLine savedLines[32];

void RestoreLine(int fd, const SavedLine& line) {
#ifdef __linux__
    if (line.serialFlagsChanged.load()) {
        serial_struct serial{};
        if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags = line.serialFlags;
            ioctl(fd, TIOCSSERIAL, &serial);
        }
    }
#endif
    tcsetattr(fd, TCSANOW, &line.settings);
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
    bool exclusive = false;
#ifdef TIOCEXCL
    exclusive = ioctl(fd, TIOCEXCL) == 0;
#endif
    return std::unique_ptr<SerialPortPosix>(new SerialPortPosix(fd, exclusive, saved));
}

SerialPortPosix::SerialPortPosix(int descriptor, bool locked, const termios& previous)
    : fd(descriptor), exclusive(locked), slot(-1), saved(previous) {
    for (int i = 0; i < static_cast<int>(std::size(savedLines)); ++i) {
        int free = SavedLine::kFree;
        if (!savedLines[i].fd.compare_exchange_strong(free, SavedLine::kClaimed)) continue;
        savedLines[i].settings = previous;
        savedLines[i].serialFlagsChanged = false;
        savedLines[i].exclusive = exclusive;
        savedLines[i].fd.store(fd);
        slot = i;
        break;
    }
}

SerialPortPosix::~SerialPortPosix() {
    // Restored before the slot is freed: a signal in between restores twice,
    // never not at all.
    if (slot >= 0) {
        RestoreLine(fd, savedLines[slot]);
        savedLines[slot].fd.store(SavedLine::kFree);
    } else {
        tcsetattr(fd, TCSANOW, &saved);
    }
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
    if (slot >= 0 && !savedLines[slot].serialFlagsChanged.load() &&
        ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        const int old = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        if (ioctl(fd, TIOCSSERIAL, &serial) == 0) {
            savedLines[slot].serialFlags = old;
            savedLines[slot].serialFlagsChanged.store(true);
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

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, PortError* why) {
    return SerialPortPosix::Open(name, why);
}

void RestoreSerialLinesNow() {
    for (SavedLine& line : savedLines) {
        const int fd = line.fd.load();
        if (fd < 0) continue;
        RestoreLine(fd, line);
#ifdef TIOCNXCL
        // The process ends with the port open: the device must not stay locked.
        if (line.exclusive) ioctl(fd, TIOCNXCL);
#endif
    }
}
