// The kestrune-target program on a real pseudo-terminal, with the test as the
// host: it opens the printed path like a serial port and speaks the protocol.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>

#include "image/ImageChecksum.h"
#include "target/ExitCodes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Sum16.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const Bytes kReady = {0xA5, 0x5A, 0x00};
const Bytes kAck = {0xA5, 0x5A, 0x41};
const Bytes kEnd = {0x5A, 0xA5, 0x88};
constexpr auto kGenerous = 60s;

// The host's end of the line: the slave side, raw, as a serial port would be.
class HostEnd {
public:
    explicit HostEnd(const std::string& path)
        : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios t{};
        if (fd >= 0 && tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    ~HostEnd() {
        if (fd >= 0) close(fd);
    }
    bool IsOpen() const { return fd >= 0; }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }

    // Reads until what arrived since the last frame ends with `frame`; false on time-out.
    bool WaitFor(const Bytes& frame, std::chrono::seconds timeout = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (received.size() >= consumed + frame.size() &&
                std::equal(frame.begin(), frame.end(), received.end() - frame.size())) {
                consumed = received.size();
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            uint8_t b;
            if (read(fd, &b, 1) == 1) received.push_back(b);  // one at a time: never past the frame
        }
        return false;
    }

    void Write(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            else
                poll(nullptr, 0, 1);
        }
    }

    Bytes received;

private:
    int fd;
    size_t consumed = 0;  // bytes of `received` that earlier frames took
};

Bytes Image(size_t size, unsigned seed = 1) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = uint8_t((i * 131 + seed * 17) ^ (i >> 8));
    return image;
}

// The whole exchange from the host's side; false as soon as a reply is missing.
bool Download(HostEnd& host, const Bytes& image) {
    if (!host.WaitFor(kReady)) return false;
    host.Write(test_support::DownloadHeader(image));
    if (!host.WaitFor(kAck)) return false;
    for (size_t at = 0; at < image.size(); at += 128) {
        host.Write(Bytes(image.begin() + at, image.begin() + std::min(image.size(), at + 128)));
        if (!host.WaitFor(kAck)) return false;
    }
    host.Write(kEnd);
    return true;
}

class TargetProcess : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> Start(std::vector<std::string> args) {
        args.insert(args.begin(), KESTRUNE_TARGET_EXE);
        auto child = std::make_unique<ChildProcess>(args);
        ptyPath = child->ReadLine().value_or("");
        return child;
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    static void Save(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    static Bytes Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    test_support::TempFolder folder{"kestrune-target-test"};
    const fs::path dir = folder.Path();
    std::string ptyPath;
};

struct TraceLine {
    double seconds;
    bool fromHost;
    uint8_t byte;
};

std::vector<TraceLine> ReadTrace(const std::string& path) {
    std::ifstream in(path);
    std::vector<TraceLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        TraceLine t{};
        std::string direction, hex;
        fields >> t.seconds >> direction >> hex;
        EXPECT_TRUE(direction == "in" || direction == "out") << line;
        t.fromHost = direction == "in";
        t.byte = uint8_t(std::stoul(hex, nullptr, 16));
        lines.push_back(t);
    }
    return lines;
}

Bytes Direction(const std::vector<TraceLine>& trace, bool fromHost) {
    Bytes bytes;
    for (const TraceLine& t : trace)
        if (t.fromHost == fromHost) bytes.push_back(t.byte);
    return bytes;
}

TEST_F(TargetProcess, HelpAndVersionAreShownAndBadOptionsAreRefused) {
    RunResult help = RunProgram({KESTRUNE_TARGET_EXE, "--help"}, kGenerous);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--link", "--out", "--expect", "--trace", "--ready-interval", "--baud", "--timeout",
          "--noise", "--reply-delay", "--nak-header", "--nak-block", "--silent-after-block",
          "--short-reply", "--reset-after-block", "--hangup-after-block", "--corrupt-block",
          "--no-verdict", "--version", "Exit status"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    std::ifstream versionFile(KESTRUNE_VERSION_FILE);
    std::string version;
    std::getline(versionFile, version);
    RunResult shown = RunProgram({KESTRUNE_TARGET_EXE, "--version"}, kGenerous);
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, "kestrune-target " + version + "\n");

    for (auto args : {std::vector<std::string>{"--bogus"},
                      {"--baud", "fast"},
                      {"--nak-block"},
                      {"--ready-interval", "0"},
                      {"--nak-header=1"},
                      {"--corrupt-block", "0"},
                      {"--no-verdict=yes"}}) {
        args.insert(args.begin(), KESTRUNE_TARGET_EXE);
        RunResult bad = RunProgram(args, kGenerous);
        EXPECT_EQ(bad.exitCode, kTargetUsage) << args[1];
        EXPECT_NE(bad.err.find("--help"), std::string::npos);
    }
}

TEST_F(TargetProcess, ReceivesAnImageAndAccountsForEveryByte) {
    const Bytes image = Image(1000);
    Save(Path("image.bin"), image);
    auto target = Start({"--link", Path("port"), "--out", Path("out.bin"), "--trace",
                         Path("trace.txt"), "--expect", Path("image.bin"), "--timeout", "120"});
    ASSERT_FALSE(ptyPath.empty());
    EXPECT_EQ(fs::read_symlink(Path("port")).string(), ptyPath);
    {
        HostEnd host(Path("port"));
        ASSERT_TRUE(host.IsOpen());
        ASSERT_TRUE(Download(host, image));
        // The verdict (the image is right) and the CRC-32 of what arrived.
        const uint32_t crc = ImageCrc32(image.data(), image.size());
        ASSERT_TRUE(host.WaitFor({0xA5, 0x5A, 0x56, uint8_t(crc >> 24), uint8_t(crc >> 16),
                                  uint8_t(crc >> 8), uint8_t(crc)}));
        host.Close();  // the target keeps the line open until the host has gone
        const auto code = target->Wait(kGenerous);
        EXPECT_EQ(code, kTargetImageOk) << target->Out();
        EXPECT_NE(target->Out().find("image OK: 1000 bytes"), std::string::npos) << target->Out();
        EXPECT_EQ(Load(Path("out.bin")), image);
        EXPECT_FALSE(fs::is_symlink(Path("port")));  // removed at exit

        const auto trace = ReadTrace(Path("trace.txt"));
        Bytes sent = test_support::DownloadHeader(image);
        sent.insert(sent.end(), image.begin(), image.end());
        sent.insert(sent.end(), kEnd.begin(), kEnd.end());
        EXPECT_EQ(Direction(trace, true), sent);
        EXPECT_EQ(Direction(trace, false), host.received);  // this host read every byte sent
        for (size_t i = 1; i < trace.size(); ++i) EXPECT_LE(trace[i - 1].seconds, trace[i].seconds);
    }
}

TEST_F(TargetProcess, HostsMayComeAndGoBeforeTheDownload) {
    const Bytes image = Image(300, 2);
    Save(Path("image.bin"), image);
    auto target =
        Start({"--ready-interval", "20", "--expect", Path("image.bin"), "--timeout", "120"});
    ASSERT_FALSE(ptyPath.empty());
    for (int i = 0; i < 5; ++i) {
        HostEnd probe(ptyPath);
        ASSERT_TRUE(probe.IsOpen());
        EXPECT_TRUE(probe.WaitFor(kReady));
    }  // each closes: the target sees its master report that nobody holds the terminal
    usleep(100'000);
    EXPECT_FALSE(target->Wait(0s).has_value()) << "the target must keep waiting";
    HostEnd host(ptyPath);
    ASSERT_TRUE(Download(host, image));
    EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();
}

TEST_F(TargetProcess, PacesBothDirectionsAtTheBaudRate) {
    const Bytes image = Image(200, 3);
    auto target =
        Start({"--baud", "9600", "--noise", "4", "--trace", Path("trace.txt"), "--timeout", "120"});
    ASSERT_FALSE(ptyPath.empty());
    HostEnd host(ptyPath);
    ASSERT_TRUE(Download(host, image));
    ASSERT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();

    // 10 bit times per byte at 9600 baud; the trace rounds to microseconds.
    const double byteTime = 10.0 / 9600 - 2e-6;
    const auto trace = ReadTrace(Path("trace.txt"));
    for (bool fromHost : {true, false}) {
        const TraceLine* previous = nullptr;
        size_t checked = 0;
        for (const TraceLine& t : trace) {
            if (t.fromHost != fromHost) continue;
            if (previous) {
                EXPECT_GE(t.seconds - previous->seconds, byteTime) << (fromHost ? "in" : "out");
                ++checked;
            }
            previous = &t;
        }
        EXPECT_GT(checked, 20u);
    }
}

TEST_F(TargetProcess, EndsOnTimeOutAndOnSignalsAndCleansUp) {
    {
        auto target = Start({"--timeout", "1", "--link", Path("port")});
        EXPECT_EQ(target->Wait(kGenerous), kTargetTimeout);
        EXPECT_NE(target->Out().find("time-out while waiting for a header"), std::string::npos);
        EXPECT_FALSE(fs::is_symlink(Path("port")));
    }
    {
        auto target = Start({"--link", Path("port")});
        ASSERT_TRUE(fs::is_symlink(Path("port")));
        target->Signal(SIGTERM);
        EXPECT_EQ(target->Wait(kGenerous), kTargetSignalBase + SIGTERM);
        EXPECT_FALSE(fs::is_symlink(Path("port")));
    }
}

// A hang-up is an unplugged board: no further board follows it, whatever
// --boards says.
TEST_F(TargetProcess, AHangUpEndsTheRunWhateverTheBoardCount) {
    const Bytes image = Image(300);
    auto target = Start({"--boards", "3", "--swap-gap", "0", "--hangup-after-block", "1"});
    HostEnd host(ptyPath);
    ASSERT_TRUE(host.WaitFor(kReady));
    host.Write(test_support::DownloadHeader(image));
    ASSERT_TRUE(host.WaitFor(kAck));
    host.Write(Bytes(image.begin(), image.begin() + 128));
    EXPECT_EQ(target->Wait(kGenerous), kTargetIncomplete) << target->Out();
    EXPECT_NE(target->Out().find("board 1: hung up after block 1"), std::string::npos);
    EXPECT_EQ(target->Out().find("board 2:"), std::string::npos) << target->Out();
}

// Announcing back to back with nobody reading sleeps between frames: the
// processor time it takes, from /proc, is far below a core (generous bound).
TEST_F(TargetProcess, BackToBackAnnouncingWithNoHostTakesLittleProcessorTime) {
    auto target = Start({"--ready-interval", "0", "--baud", "115200", "--timeout", "60"});
    auto cpuSeconds = [&] {  // fields 14 and 15 of /proc/PID/stat, counted after "(name)"
        std::ifstream stat("/proc/" + std::to_string(target->Pid()) + "/stat");
        const std::string text(std::istreambuf_iterator<char>(stat), {});
        std::istringstream fields(text.substr(text.rfind(')') + 1));
        std::string skipped;
        for (int i = 3; i < 14; ++i) fields >> skipped;
        unsigned long user = 0, system = 0;
        fields >> user >> system;
        return double(user + system) / double(sysconf(_SC_CLK_TCK));
    };
    std::this_thread::sleep_for(500ms);
    const double before = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s);
    const double share =
        (cpuSeconds() - before) /
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(share, 0.3);
    target->Signal(SIGTERM);
    EXPECT_EQ(target->Wait(kGenerous), kTargetSignalBase + SIGTERM);
}

TEST_F(TargetProcess, RefusesToReplaceAFileOrToRunWithoutItsExpectFile) {
    Save(Path("precious"), {1, 2, 3});
    RunResult linkOverFile =
        RunProgram({KESTRUNE_TARGET_EXE, "--link", Path("precious")}, kGenerous);
    EXPECT_EQ(linkOverFile.exitCode, kTargetSystem);
    EXPECT_EQ(Load(Path("precious")), (Bytes{1, 2, 3}));

    fs::create_symlink("/nonexistent", Path("stale"));  // an old link is simply replaced
    auto target = Start({"--link", Path("stale"), "--timeout", "1"});
    EXPECT_EQ(fs::read_symlink(Path("stale")).string(), ptyPath);
    EXPECT_EQ(target->Wait(kGenerous), kTargetTimeout);

    RunResult noExpect =
        RunProgram({KESTRUNE_TARGET_EXE, "--expect", Path("missing.bin")}, kGenerous);
    EXPECT_EQ(noExpect.exitCode, kTargetSystem);
}

}  // namespace
