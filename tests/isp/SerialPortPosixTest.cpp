#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "isp/LinkProtocol.h"
#include "isp/port/SerialPortPosix.h"
#ifdef __linux__
#include "isp/port/SerialSpeedLinux.h"
#endif
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Sum16.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using Pty = test_support::PseudoTerminal;

Bytes AllByteValues() {
    Bytes bytes(256);
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

std::unique_ptr<SerialPortPosix> OpenConfigured(const Pty& pty, uint32_t baud = 115200) {
    auto port = SerialPortPosix::Open(pty.SlavePath());
    if (port) port->Configure(baud);
    return port;
}

TEST(SerialPortPosix, OpensOnlyTerminalsThatExistAndSaysWhy) {
    char file[] = "/tmp/kestrune-port-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    const struct {
        std::string path;
        int code;
        const char* text;
    } cases[] = {
        {"/dev/no-such-serial-port", ENOENT, "No such file or directory"},
        {"", ENOENT, "No such file or directory"},
        {"/dev/null", ENOTTY, "not a serial port"},
        {file, ENOTTY, "not a serial port"},
    };
    for (const auto& c : cases) {
        PortError why;
        EXPECT_EQ(OpenSerialPort(c.path, &why), nullptr) << c.path;
        EXPECT_EQ(why.code, c.code) << c.path;
        EXPECT_EQ(why.text, c.text) << c.path;
    }
    unlink(file);
}

TEST(SerialPortPosix, HoldsThePortExclusivelyUntilClosed) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    // Another holder of the slave, like a target that keeps its end open.
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    {
        auto port = OpenSerialPort(pty.SlavePath());
        ASSERT_NE(port, nullptr);
        PortError why;
        EXPECT_EQ(OpenSerialPort(pty.SlavePath(), &why), nullptr);
        EXPECT_EQ(why.code, EBUSY);
        EXPECT_EQ(why.text, "Device or resource busy");
#ifdef TIOCGEXCL
        int exclusive = 0;
        ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
#endif
    }
#ifdef TIOCGEXCL
    int exclusive = 1;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
#endif
    EXPECT_NE(OpenSerialPort(pty.SlavePath()), nullptr);
    close(other);
}

TEST(SerialPortPosix, ConfigureGivesARawBinaryLine) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = SerialPortPosix::Open(pty.SlavePath());
    ASSERT_NE(port, nullptr);
    for (const bool hardwareFlow : {true, false}) {
        termios before{};
        ASSERT_EQ(tcgetattr(port->Descriptor(), &before), 0);
        before.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
        before.c_cflag |= PARENB | CSTOPB;
        if (hardwareFlow)
            before.c_cflag |= CRTSCTS;
        else
            before.c_cflag &= ~CRTSCTS;
        ASSERT_EQ(tcsetattr(port->Descriptor(), TCSANOW, &before), 0);

        port->Configure(9600);
        termios after{};
        ASSERT_EQ(tcgetattr(port->Descriptor(), &after), 0);
        EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(after.c_oflag & OPOST, 0u);
        EXPECT_EQ(after.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INLCR | IGNCR), 0u);
        EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(after.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ((after.c_cflag & CRTSCTS) != 0, hardwareFlow);
        EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    }
}

#ifdef __linux__
TEST(SerialPortPosix, SetsEveryRateOfTheBaudList) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = SerialPortPosix::Open(pty.SlavePath());
    ASSERT_NE(port, nullptr);
    for (uint32_t rate : {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 250000}) {
        port->Configure(rate);
        EXPECT_EQ(GetCustomSpeed(port->Descriptor()), rate);
    }
    port->Configure(19200);
    port->Configure(0);  // keeps the speed instead of hanging up
    EXPECT_EQ(GetCustomSpeed(port->Descriptor()), 19200u);
}
#endif

TEST(SerialPortPosix, ReadOfASilentLineTimesOutAfter20ms) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port->ReadByte(byte), ReadResult::TimedOut);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(20));
    EXPECT_LT(elapsed, milliseconds(2000));
}

TEST(SerialPortPosix, EveryByteValuePassesUnchangedBothWays) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    const Bytes all = AllByteValues();

    EXPECT_TRUE(pty.Send(all));
    Bytes received;
    for (int reads = 0; received.size() < all.size() && reads < 5000; ++reads) {
        uint8_t byte = 0;
        if (port->ReadByte(byte) == ReadResult::Byte) received.push_back(byte);
    }
    EXPECT_EQ(received, all);

    EXPECT_TRUE(port->Write(all.data(), all.size()));
    EXPECT_EQ(pty.Receive(all.size()), all);
}

TEST(SerialPortPosix, LargeWriteCompletesWhileTheOtherSideReads) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    Bytes data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + i / 256);

    Bytes received;
    std::thread reader([&] { received = pty.Receive(data.size(), milliseconds(30000)); });
    EXPECT_TRUE(port->Write(data.data(), data.size()));
    reader.join();
    EXPECT_EQ(received, data);
}

TEST(SerialPortPosix, WriteGivesUpAfterTheWriteTimeOut) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    const Bytes data(4 << 20, 0x55);  // far more than the pseudo-terminal buffers
    const auto start = Clock::now();
    EXPECT_FALSE(port->Write(data.data(), data.size()));
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, SerialPortPosix::kWriteTimeout);
    EXPECT_LT(elapsed, milliseconds(60000));
}

TEST(SerialPortPosix, PurgeDropsPendingInput) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(pty.Send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    int pending = 0;
    const auto deadline = Clock::now() + milliseconds(10000);
    while (pending < 10 && Clock::now() < deadline) {
        ASSERT_EQ(ioctl(port->Descriptor(), FIONREAD, &pending), 0);
        if (pending < 10) std::this_thread::sleep_for(milliseconds(1));
    }
    ASSERT_EQ(pending, 10);

    port->Purge();
    ASSERT_EQ(ioctl(port->Descriptor(), FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 0);
    uint8_t byte = 0;
    EXPECT_EQ(port->ReadByte(byte), ReadResult::TimedOut);
}

TEST(SerialPortPosix, AHungUpLineIsAGoneDevice) {
    for (const bool writeFirst : {false, true}) {
        auto pty = std::make_unique<Pty>();
        ASSERT_TRUE(pty->ok());
        auto port = OpenConfigured(*pty);
        ASSERT_NE(port, nullptr);
        pty.reset();
        uint8_t byte = 0;
        if (writeFirst) {
            EXPECT_FALSE(port->Write(&byte, 1));
        }
        EXPECT_EQ(port->ReadByte(byte), ReadResult::Gone);
        EXPECT_TRUE(port->DeviceGone());
        EXPECT_FALSE(port->Write(&byte, 1));
    }
}

// The user's own terminal named by mistake must not be left raw: the settings
// come back on close, and through RestoreSerialLinesNow (what a signal handler
// calls before the process dies) while the port is still open.
TEST(SerialPortPosix, PutsTheLineSettingsBackOnCloseAndOnRequest) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios cooked{};
    ASSERT_EQ(tcgetattr(other, &cooked), 0);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST;
    cfsetospeed(&cooked, B2400);
    cfsetispeed(&cooked, B2400);
    ASSERT_EQ(tcsetattr(other, TCSANOW, &cooked), 0);
    auto expectCooked = [&](const char* when) {
        termios now{};
        ASSERT_EQ(tcgetattr(other, &now), 0);
        EXPECT_EQ(now.c_lflag, cooked.c_lflag) << when;
        EXPECT_EQ(now.c_iflag, cooked.c_iflag) << when;
        EXPECT_EQ(now.c_oflag, cooked.c_oflag) << when;
        EXPECT_EQ(now.c_cflag, cooked.c_cflag) << when;
        EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B2400)) << when;
    };
    for (const bool onRequest : {false, true}) {
        auto port = OpenConfigured(pty, 115200);
        ASSERT_NE(port, nullptr);
        termios raw{};
        ASSERT_EQ(tcgetattr(other, &raw), 0);
        ASSERT_EQ(raw.c_lflag & ICANON, 0u);
        if (onRequest) {
            RestoreSerialLinesNow();
            expectCooked("on request");
#ifdef TIOCGEXCL
            int exclusive = 1;
            ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
            EXPECT_EQ(exclusive, 0);
#endif
        }
        port.reset();
        expectCooked("after close");
    }
    close(other);
}

// However many ports are open, a signal handler puts every one back and
// releases it; entries freed by closed ports are taken again.
TEST(SerialPortPosix, RestoresEveryOpenPortHoweverMany) {
    constexpr size_t kPorts = 40;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<Pty>> ptys;
        std::vector<int> others;
        std::vector<std::unique_ptr<SerialPortPosix>> ports;
        for (size_t i = 0; i < kPorts; ++i) {
            ptys.push_back(std::make_unique<Pty>());
            ASSERT_TRUE(ptys.back()->ok());
            others.push_back(open(ptys.back()->SlavePath().c_str(), O_RDWR | O_NOCTTY));
            ASSERT_GE(others.back(), 0);
            termios cooked{};
            ASSERT_EQ(tcgetattr(others.back(), &cooked), 0);
            cooked.c_lflag |= ICANON | ECHO;
            ASSERT_EQ(tcsetattr(others.back(), TCSANOW, &cooked), 0);
            ports.push_back(OpenConfigured(*ptys.back()));
            ASSERT_NE(ports.back(), nullptr) << i;
        }
        RestoreSerialLinesNow();
        for (size_t i = 0; i < kPorts; ++i) {
            termios now{};
            ASSERT_EQ(tcgetattr(others[i], &now), 0);
            EXPECT_EQ(now.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO)) << round << " " << i;
#ifdef TIOCGEXCL
            int exclusive = 1;
            ASSERT_EQ(ioctl(others[i], TIOCGEXCL, &exclusive), 0);
            EXPECT_EQ(exclusive, 0) << i;
#endif
        }
        ports.clear();
        for (int fd : others) close(fd);
    }
}

// The whole exchange over a real pseudo-terminal, with a minimal boot loader
// on the master side that announces itself once the host has purged.
TEST(SerialPortPosix, CarriesACompleteDownload) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    Bytes image(1000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i ^ 0x5A);
    const uint16_t sum = test_support::Sum16(image);

    std::atomic<bool> hostWaiting{false};
    Bytes received;
    std::thread target([&] {
        while (!hostWaiting) std::this_thread::sleep_for(milliseconds(1));
        EXPECT_TRUE(pty.Send({0xA5, 0x5A, 0x00}));
        received = pty.Receive(kHeaderSize);
        for (size_t left = image.size(); left > 0;) {
            EXPECT_TRUE(pty.Send({0xA5, 0x5A, 0x41}));
            const Bytes block = pty.Receive(std::min<size_t>(left, kBlockSize));
            if (block.empty()) return;
            received.insert(received.end(), block.begin(), block.end());
            left -= block.size();
        }
        EXPECT_TRUE(pty.Send({0xA5, 0x5A, 0x41}));
        const Bytes end = pty.Receive(kEndFrameSize);
        received.insert(received.end(), end.begin(), end.end());
    });

    ExchangeHooks hooks;
    hooks.stopRequested = [&] {
        hostWaiting = true;
        return false;
    };
    uint8_t lastPercent = 0;
    hooks.progress = [&](uint8_t percent) { lastPercent = percent; };
    const Outcome outcome =
        RunExchange(*port, image.data(), static_cast<uint32_t>(image.size()), 0, sum, hooks);
    target.join();

    EXPECT_EQ(outcome, Outcome::Success);
    EXPECT_EQ(lastPercent, 100);
    Bytes expected(kHeaderSize);
    BuildHeader(0, static_cast<uint32_t>(image.size()), sum, expected.data());
    expected.insert(expected.end(), image.begin(), image.end());
    expected.insert(expected.end(), {0x5A, 0xA5, 0x88});
    EXPECT_EQ(received, expected);
}

}  // namespace
