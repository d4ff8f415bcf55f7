// POSIX back end: a terminal device (serial adapter or pseudo-terminal) in raw
// 8N1 mode. The descriptor stays non-blocking; reads and writes wait with poll,
// at most 20 ms for one byte in and 5000 ms for a whole write out.
// While open the device is held exclusively (TIOCEXCL, and an advisory flock
// so that a second Kestrune process is refused even when it runs as root).
// The terminal settings it had when opened, and the serial driver's flags
// where they were changed, are put back on close, once what was written has
// left (at most the write time-out): a port named by mistake (the user's own
// terminal) is left as it was, and the last bytes leave at their own speed.
#pragma once

#include <termios.h>

#include <chrono>

#include "isp/port/SerialPort.h"

struct SavedLine;  // a port's settings where a signal handler can find them

class SerialPortPosix final : public SerialPort {
public:
    static constexpr std::chrono::milliseconds kReadTimeout{20};
    static constexpr std::chrono::milliseconds kWriteTimeout{5000};

    // Opens a terminal device; null when it is absent, busy or not a
    // terminal, with the reason in `why` when given.
    static std::unique_ptr<SerialPortPosix> Open(const std::string& path, PortError* why = nullptr);

    ~SerialPortPosix() override;
    SerialPortPosix(const SerialPortPosix&) = delete;
    SerialPortPosix& operator=(const SerialPortPosix&) = delete;

    // Also asks the driver for low-latency mode (USB adapters otherwise hold
    // received bytes up to 16 ms); a driver that refuses is left as it is.
    std::optional<PortError> Configure(uint32_t baudRate) override;
    ReadResult ReadByte(uint8_t& byte) override;
    bool Write(const uint8_t* bytes, size_t count) override;
    void Purge() override;
    std::optional<PortError> SetModemLines(unsigned lines, bool asserted) override;

    int Descriptor() const { return fd; }

private:
    SerialPortPosix(int fd, bool exclusive, SavedLine& saved);
    void NoteGone(int error);

    int fd;
    bool exclusive;    // TIOCEXCL was set and must be cleared again on close
    SavedLine& saved;  // the settings at open, where RestoreSerialLinesNow finds them
};

// Puts every open port's saved settings back at once (output still queued is
// not waited for) and releases its exclusive hold, however many ports are
// open. Async-signal-safe: for a handler that is about to end the process
// before the ports are closed.
void RestoreSerialLinesNow();

// Raw binary 8N1 at `baudRate` on a terminal: no line editing, echo, signals,
// CR/LF translation, parity stripping or XON/XOFF, so every byte passes as it is.
// Hardware flow control (CRTSCTS) and HUPCL stay as they were. Rates without a
// B constant use the termios2 interface on Linux. A rate of 0 keeps the current
// speed (B0 would hang up the line). The reason when the settings were
// refused, including a speed the driver did not take.
std::optional<PortError> SetRawLine(int fd, uint32_t baudRate);
