#include "isp/port/SerialPortPosix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#ifdef __linux__
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

}  // namespace

bool SetRawLine(int fd, uint32_t baudRate) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;

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
        cfsetispeed(&settings, static_cast<speed_t>(baudRate));
        cfsetospeed(&settings, static_cast<speed_t>(baudRate));
    }
#endif
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
#ifdef __linux__
    if (!standard && baudRate != 0) return SetCustomSpeed(fd, baudRate);
#endif
    return true;
}

std::unique_ptr<SerialPortPosix> SerialPortPosix::Open(const std::string& path) {
    // Non-blocking open: a real serial line without carrier would otherwise
    // block here until DCD rises.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    bool exclusive = false;
#ifdef TIOCEXCL
    exclusive = ioctl(fd, TIOCEXCL) == 0;
#endif
    return std::unique_ptr<SerialPortPosix>(new SerialPortPosix(fd, exclusive));
}

SerialPortPosix::~SerialPortPosix() {
#ifdef TIOCNXCL
    // The flag belongs to the device, not to this descriptor: it would outlive
    // us while anyone else (a target holding its pseudo-terminal) keeps it open.
    if (exclusive) ioctl(fd, TIOCNXCL);
#endif
    ::close(fd);
}

void SerialPortPosix::Configure(uint32_t baudRate) {
    // Driver queue sizes are fixed by the driver here; the time-outs are kept
    // by ReadByte and Write themselves.
    SetRawLine(fd, baudRate);
}

ReadResult SerialPortPosix::ReadByte(uint8_t& byte) {
    const auto deadline = Clock::now() + kReadTimeout;
    for (;;) {
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 1) return ReadResult::Byte;
        if (n == 0) return ReadResult::Failed;
        if (errno == EINTR) continue;
        if (!WouldBlock(errno)) return ReadResult::Failed;

        const int left = MillisecondsLeft(deadline);
        if (left == 0) return ReadResult::TimedOut;
        pollfd waiter{fd, POLLIN, 0};
        if (poll(&waiter, 1, left) < 0 && errno != EINTR) return ReadResult::Failed;
        if (waiter.revents & (POLLERR | POLLNVAL)) return ReadResult::Failed;
        if ((waiter.revents & POLLHUP) && !(waiter.revents & POLLIN)) return ReadResult::Failed;
    }
}

bool SerialPortPosix::Write(const uint8_t* bytes, size_t count) {
    const auto deadline = Clock::now() + kWriteTimeout;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && !WouldBlock(errno)) return false;

        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        pollfd waiter{fd, POLLOUT, 0};
        if (poll(&waiter, 1, left) < 0 && errno != EINTR) return false;
        if (waiter.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    }
    return true;
}

void SerialPortPosix::Purge() {
    tcflush(fd, TCIOFLUSH);
}

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name) {
    return SerialPortPosix::Open(name);
}
