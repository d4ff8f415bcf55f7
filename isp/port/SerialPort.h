// The serial port as the link protocol sees it: a line that is already open,
// set up once, then read one byte at a time within the read time-out.
// Back ends: SerialPortWin32 (Win32 comm API), SerialPortPosix (termios),
// and ScriptedPort (in memory, for tests of the protocol).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Failed: this read went wrong, the next may not. Gone: the device went away
// (unplugged, hung up); no later read will bring a byte.
enum class ReadResult { Byte, TimedOut, Failed, Gone };

// The modem control lines a reset into the boot loader may pulse.
constexpr unsigned kLineDtr = 1;
constexpr unsigned kLineRts = 2;

// Why a port could not be opened or set up: the system's error code (errno,
// GetLastError; 0 when the refusal was seen otherwise) and a line for the user,
// e.g. "Device or resource busy" or "the port refused 14400 baud".
struct PortError {
    int code = 0;
    std::string text;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;  // closes the port

    // Driver queues 8192/8192, baud rate, binary 8N1 (flow control and modem
    // lines untouched), read time-out 20 ms per byte, write time-out 5000 ms.
    // Stops at the first call the driver refuses and says why.
    virtual std::optional<PortError> Configure(uint32_t baudRate) = 0;

    // Reads at most one byte, waiting no longer than the read time-out.
    virtual ReadResult ReadByte(uint8_t& byte) = 0;

    // Writes all bytes or gives up after the write time-out; false on failure.
    virtual bool Write(const uint8_t* bytes, size_t count) = 0;

    // Aborts pending transfers and clears both driver buffers.
    virtual void Purge() = 0;

    // Asserts (true) or clears the modem control lines in `lines` (kLineDtr,
    // kLineRts), leaving the others. A port without them (a pseudo-terminal,
    // some adapters) says so and changes nothing.
    virtual std::optional<PortError> SetModemLines(unsigned lines, bool asserted) {
        (void)lines;
        (void)asserted;
        return PortError{0, "the port has no modem lines"};
    }

    // A read or write has found the device gone.
    bool DeviceGone() const { return deviceGone; }

protected:
    bool deviceGone = false;
};

// Opens the named port of this platform's back end; null when it cannot be
// opened, with the reason in `why` when given.
// Windows: a port-list name such as "COM3" or "COM12" (the "\\.\" rule of
// PortName.h is applied here). POSIX: a device path such as "/dev/ttyUSB0";
// only terminals open, and the port is held exclusively while open.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, PortError* why = nullptr);

// Opens and configures the port for a download at `baudRate`; null with the
// reason in `why` when either fails (a port whose set-up failed is closed).
std::unique_ptr<SerialPort> OpenConfiguredPort(const std::string& name, uint32_t baudRate,
                                               PortError& why);
