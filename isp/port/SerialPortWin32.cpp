// Win32 back end: a COM port opened for synchronous transfers, set up with the
// comm API. Only the bytes' framing and the baud rate are changed; flow control,
// modem lines and special characters stay as the port had them.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "isp/port/PortName.h"
#include "isp/port/SerialPort.h"

namespace {

constexpr DWORD kQueueSize = 8192;

class SerialPortWin32 final : public SerialPort {
public:
    explicit SerialPortWin32(HANDLE handle) : handle(handle) {}
    ~SerialPortWin32() override { CloseHandle(handle); }
    SerialPortWin32(const SerialPortWin32&) = delete;
    SerialPortWin32& operator=(const SerialPortWin32&) = delete;

    void Configure(uint32_t baudRate) override {
        SetupComm(handle, kQueueSize, kQueueSize);

        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(handle, &dcb);
        dcb.BaudRate = baudRate;
        dcb.fBinary = TRUE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(handle, &dcb);

        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 20;  // one byte: at most 20 ms
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 5000;
        SetCommTimeouts(handle, &timeouts);
    }

    ReadResult ReadByte(uint8_t& byte) override {
        DWORD got = 0;
        if (!ReadFile(handle, &byte, 1, &got, nullptr)) return ReadResult::Failed;
        return got == 1 ? ReadResult::Byte : ReadResult::TimedOut;
    }

    bool Write(const uint8_t* bytes, size_t count) override {
        // WriteFile counts in DWORDs; larger buffers go in pieces.
        while (count > 0) {
            const DWORD piece =
                static_cast<DWORD>(std::min<size_t>(count, std::numeric_limits<DWORD>::max()));
            DWORD written = 0;
            if (!WriteFile(handle, bytes, piece, &written, nullptr) || written != piece) {
                return false;
            }
            bytes += piece;
            count -= piece;
        }
        return true;
    }

    void Purge() override {
        PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

private:
    HANDLE handle;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name) {
    const std::string path = DevicePathForPort(name);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<SerialPortWin32>(handle);
}
