// Win32 back end: a COM port opened for synchronous transfers, set up with the
// comm API. Only the bytes' framing and the baud rate are changed; flow control,
// modem lines and special characters stay as the port had them.
#include <windows.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "isp/port/PortName.h"
#include "isp/port/SerialPort.h"
#include "isp/port/SystemErrorText.h"

namespace {

constexpr DWORD kQueueSize = 8192;
constexpr DWORD kErrorNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, not in every SDK's headers

// Errors a read or write meets once the device has gone (an unplugged USB
// adapter, a removed driver) rather than a passing fault.
bool IsGoneError(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case kErrorNoSuchDevice:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
            return true;
        default:
            return false;
    }
}

PortError CallFailed(const char* call) {
    const DWORD error = GetLastError();
    return {static_cast<int>(error), std::string(call) + " failed: " + SystemErrorText(error)};
}

class SerialPortWin32 final : public SerialPort {
public:
    explicit SerialPortWin32(HANDLE opened) : handle(opened) {}
    ~SerialPortWin32() override { CloseHandle(handle); }
    SerialPortWin32(const SerialPortWin32&) = delete;
    SerialPortWin32& operator=(const SerialPortWin32&) = delete;

    std::optional<PortError> Configure(uint32_t baudRate) override {
        if (!SetupComm(handle, kQueueSize, kQueueSize)) return CallFailed("SetupComm");

        // A DCB the driver did not fill must never be written back.
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle, &dcb)) return CallFailed("GetCommState");
        dcb.BaudRate = baudRate;
        dcb.fBinary = TRUE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        if (!SetCommState(handle, &dcb)) {
            return PortError{static_cast<int>(GetLastError()),
                             "the port refused " + std::to_string(baudRate) + " baud"};
        }

        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 20;  // one byte: at most 20 ms
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 5000;
        if (!SetCommTimeouts(handle, &timeouts)) return CallFailed("SetCommTimeouts");
        return std::nullopt;
    }

    ReadResult ReadByte(uint8_t& byte) override {
        if (deviceGone) return ReadResult::Gone;
        DWORD got = 0;
        const bool read = ReadFile(handle, &byte, 1, &got, nullptr);
        if (read && got == 1) return ReadResult::Byte;
        if (!read && IsGoneError(GetLastError())) deviceGone = true;
        // Some drivers (Wine's on a hung-up terminal) answer reads of a vanished
        // device like a silent line and tell only through the status call. It
        // also clears an error state that would otherwise fail every read.
        DWORD errors = 0;
        COMSTAT status{};
        if (!deviceGone && !ClearCommError(handle, &errors, &status) && IsGoneError(GetLastError()))
            deviceGone = true;
        if (deviceGone) return ReadResult::Gone;
        return read ? ReadResult::TimedOut : ReadResult::Failed;
    }

    bool Write(const uint8_t* bytes, size_t count) override {
        if (deviceGone) return false;
        // WriteFile counts in DWORDs; larger buffers go in pieces.
        while (count > 0) {
            const DWORD piece =
                static_cast<DWORD>(std::min<size_t>(count, std::numeric_limits<DWORD>::max()));
            DWORD written = 0;
            if (!WriteFile(handle, bytes, piece, &written, nullptr)) {
                deviceGone = IsGoneError(GetLastError());
                return false;
            }
            if (written != piece) return false;
            bytes += piece;
            count -= piece;
        }
        return true;
    }

    void Purge() override {
        PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    std::optional<PortError> SetModemLines(unsigned lines, bool asserted) override {
        const std::pair<unsigned, DWORD> functions[] = {
            {kLineDtr, asserted ? DWORD(SETDTR) : DWORD(CLRDTR)},
            {kLineRts, asserted ? DWORD(SETRTS) : DWORD(CLRRTS)}};
        for (const auto& [line, function] : functions) {
            if (!(lines & line)) continue;
            if (!EscapeCommFunction(handle, function)) {
                const DWORD error = GetLastError();
                // Virtual ports without modem lines refuse the function itself.
                if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED)
                    return PortError{int(error), "the port has no modem lines"};
                return PortError{int(error), SystemErrorText(error)};
            }
        }
        return std::nullopt;
    }

private:
    HANDLE handle;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, PortError* why) {
    const std::string path = DevicePathForPort(name);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (why) *why = {static_cast<int>(error), SystemErrorText(error)};
        return nullptr;
    }
    return std::make_unique<SerialPortWin32>(handle);
}
