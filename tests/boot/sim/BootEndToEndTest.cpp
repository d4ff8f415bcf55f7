// The ATmega328P boot loader on the simulated chip, driven by the real
// kestrune-cli or, where the CLI cannot (a cut download, a damaged block,
// bad headers), by a scripted host. Free-running: the chip's own clock times
// its windows, so the wall clock never decides a result.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "tests/boot/sim/SimulatedChip.h"
#include "tests/support/Sum16.h"
#include "tests/support/TempFolder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

const Bytes kReady = {0xA5, 0x5A, 0x00}, kAck = {0xA5, 0x5A, 0x41}, kRefused = {0xA5, 0x5A, 0x42};
const Bytes kVerified = {0xA5, 0x5A, 0x56}, kDamaged = {0xA5, 0x5A, 0x43};
const Bytes kEnd = {0x5A, 0xA5, 0x88};
const std::string kGreeting = "Hello from Kestrune";
constexpr size_t kRecord = 0x7780;    // the application-valid record's page
constexpr size_t kAppArea = kRecord;  // the longest image the loader takes

Bytes Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Pattern(size_t size, unsigned seed) {
    Bytes bytes(size);
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

size_t Find(const Bytes& haystack, const Bytes& needle, size_t from = 0) {
    const auto at = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from),
                                haystack.end(), needle.begin(), needle.end());
    return at == haystack.end() ? std::string::npos : static_cast<size_t>(at - haystack.begin());
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The next `frames` frames are all Ready (after a whole Ready frame was read).
bool OnlyReady(test_support::SerialHost& host, size_t frames) {
    const Bytes heard = host.Read(3 * frames, 60s);
    for (size_t at = 0; at < 3 * frames; at += 3)
        if (heard.size() < at + 3 || !std::equal(kReady.begin(), kReady.end(), heard.begin() + at))
            return false;
    return true;
}

class BootEndToEnd : public ::testing::Test {
protected:
    test_support::TempFolder dir{"kestrune-boot-e2e"};
    const std::string flash = dir.Path("flash.bin").string();
    const std::string tx = dir.Path("tx.bin").string();

    std::unique_ptr<SimulatedChip> Start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{KESTRUNE_BOOT_ELF, "--flash-out", flash, "--tx-log", tx};
        args.insert(args.end(), extra.begin(), extra.end());
        auto chip = std::make_unique<SimulatedChip>(args);
        EXPECT_TRUE(chip->Started());
        return chip;
    }

    static RunResult Download(const SimulatedChip& chip, const std::string& file,
                              const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {KESTRUNE_CLI_EXE, "download", "--port", chip.Path()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return RunProgram(args, 120s);
    }

    // The flash holds `image` and a record that matches it; `restErased`: and
    // nothing else of the application area (pages past an image keep what an
    // earlier download left there).
    static void ExpectImage(const Bytes& flash, const Bytes& image, bool restErased = true) {
        ASSERT_EQ(flash.size(), 32768u);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
        EXPECT_TRUE(!restErased ||
                    std::all_of(flash.begin() + static_cast<std::ptrdiff_t>(image.size()),
                                flash.begin() + kAppArea, [](uint8_t b) { return b == 0xFF; }));
        const uint16_t sum = test_support::Sum16(image);
        EXPECT_EQ(Bytes(flash.begin() + kRecord, flash.begin() + kRecord + 4),
                  (Bytes{uint8_t(image.size()), uint8_t(image.size() >> 8), uint8_t(sum),
                         uint8_t(sum >> 8)}));
    }

    // The scripted host's download: header, blocks (block `damaged` with one bit flipped,
    // only the first `blocks` of them), end frame when all went. False when an ack is missing.
    static bool Script(test_support::SerialHost& host, const Bytes& image, size_t blocks,
                       size_t damaged = SIZE_MAX) {
        if (!host.WaitFor(kReady)) return false;
        host.Write(test_support::DownloadHeader(image));
        if (host.Read(3) != kAck) return false;
        for (size_t n = 0; n < blocks; ++n) {
            const size_t at = n * 128;
            Bytes block(
                image.begin() + static_cast<std::ptrdiff_t>(at),
                image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), at + 128)));
            if (n == damaged) block[block.size() / 2] ^= 0x10;
            host.Write(block);
            if (host.Read(3) != kAck) return false;
        }
        if (blocks * 128 >= image.size()) host.Write(kEnd);
        return true;
    }
};

// A download, its verdict and the application's greeting; then a reset over the
// running application, the start window, and a second download through it.
TEST_F(BootEndToEnd, DownloadRunsTheApplicationAndAResetTakesAnother) {
    const Bytes hello = Load(KESTRUNE_HELLO_BIN);
    Bytes second = hello;
    const Bytes tail = Pattern(700, 7);
    second.insert(second.end(), tail.begin(), tail.end());
    const auto secondFile = dir.Write("second.bin", std::string(second.begin(), second.end()));

    auto chip = Start();
    const RunResult first = Download(*chip, KESTRUNE_HELLO_HEX);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Success"), std::string::npos);
    EXPECT_NE(first.err.find("verified by the target"), std::string::npos) << first.err;
    EXPECT_EQ(first.err.find("not verified"), std::string::npos) << first.err;
    {
        // A reset with a valid application: Ready for about a second (10 periods), then the
        // greeting.
        const auto host = chip->OpenHost();
        EXPECT_TRUE(host->WaitFor(Text(kGreeting)));
        chip->Reset();
        ASSERT_TRUE(host->WaitFor(kReady));
        Bytes window;
        for (Bytes b; (b = host->Read(1, 10s)).size() == 1 && b[0] != 'H';) window.push_back(b[0]);
        size_t readies = 1;
        for (size_t at = 0; (at = Find(window, kReady, at)) != std::string::npos; at += 3)
            ++readies;
        EXPECT_GE(readies, 9u);
        EXPECT_LE(readies, 12u);
    }
    // The CLI waits first; the reset then brings the loader while the application runs.
    ChildProcess cli({KESTRUNE_CLI_EXE, "download", "--port", chip->Path(), secondFile.string()});
    for (int i = 0; i < 600 && cli.Err().find("waiting") == std::string::npos; ++i)
        cli.Wait(ChildProcess::Seconds(0.05));
    chip->Reset();
    EXPECT_EQ(cli.Wait(ChildProcess::Seconds(120)), 0) << cli.Err();
    EXPECT_TRUE(chip->OpenHost()->WaitFor(Text(kGreeting)));
    EXPECT_EQ(chip->End(), 0) << chip->Errors();

    ExpectImage(Load(flash), second);
    // Each download ended with the verdict 'V', and the application greeted after it.
    const Bytes out = Load(tx);
    const size_t v1 = Find(out, kVerified);
    const size_t v2 = Find(out, kVerified, v1 + 3);
    ASSERT_NE(v2, std::string::npos);
    EXPECT_NE(Find(out, Text(kGreeting), v1), std::string::npos);
    EXPECT_NE(Find(out, Text(kGreeting), v2), std::string::npos);
}

TEST_F(BootEndToEnd, CutDownloadLeavesALoaderThatTakesTheNext) {
    const Bytes image = Pattern(2000, 3);  // 16 blocks
    const unsigned seed = std::random_device{}();
    const size_t cut = 1 + seed % 15;
    SCOPED_TRACE("cut after block " + std::to_string(cut));
    auto chip = Start();
    {
        const auto host = chip->OpenHost();
        ASSERT_TRUE(Script(*host, image, cut));
        // The host is gone: after its silence the loader announces again, and no application runs.
        EXPECT_TRUE(host->WaitFor(kReady, 60s));
    }
    const RunResult good = Download(*chip, KESTRUNE_HELLO_HEX);
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(chip->End(), 0) << chip->Errors();
    ExpectImage(Load(flash), Load(KESTRUNE_HELLO_BIN), false);
}

TEST_F(BootEndToEnd, DamagedBlockGetsTheVerdictCAndNoApplication) {
    const Bytes image = Pattern(1000, 5);
    auto chip = Start({"--app", KESTRUNE_HELLO_ELF});  // an old application that must not survive
    const auto host = chip->OpenHost();
    ASSERT_TRUE(Script(*host, image, 8, 3));
    EXPECT_EQ(host->Read(3), kDamaged);
    EXPECT_TRUE(host->WaitFor(kReady));
    EXPECT_TRUE(OnlyReady(*host, 20));  // two seconds of the chip's time: past the start window
    EXPECT_EQ(chip->End(), 0) << chip->Errors();
    const Bytes f = Load(flash);
    EXPECT_EQ(Bytes(f.begin() + kRecord, f.begin() + kRecord + 4), Bytes(4, 0xFF));
}

// Line noise on one byte of the second block: the CLI hears the verdict 'C'.
TEST_F(BootEndToEnd, LineNoiseGivesVerifyErrorInTheCli) {
    auto chip = Start({"--corrupt-byte", std::to_string(15 + 128 + 40)});
    const RunResult r = Download(*chip, KESTRUNE_HELLO_HEX);
    EXPECT_EQ(r.exitCode, 13) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("Verify Error"), std::string::npos) << r.out << r.err;
    EXPECT_TRUE(chip->OpenHost()->WaitFor(kReady));  // announcing again, no application
    EXPECT_EQ(chip->End(), 0) << chip->Errors();
    const Bytes f = Load(flash);
    EXPECT_EQ(Bytes(f.begin() + kRecord, f.begin() + kRecord + 4), Bytes(4, 0xFF));
}

// Refused headers leave the flash as it was and the loader announcing.
TEST_F(BootEndToEnd, BadHeadersAreRefused) {
    const auto valid = test_support::DownloadHeader(Bytes(100, 0x11));
    auto with = [&](size_t at, uint8_t value) {
        Bytes h = valid;
        h[at] = value;
        return h;
    };
    const Bytes tooLong = test_support::DownloadHeader(Bytes(kAppArea + 1, 0x11));
    const Bytes empty = test_support::DownloadHeader({});
    auto chip = Start();
    const auto host = chip->OpenHost();
    for (const Bytes& header : {tooLong, empty, with(2, 0x81), with(6, 0x01), with(14, 0x01)}) {
        ASSERT_TRUE(host->WaitFor(kReady));
        host->Write(header);
        EXPECT_EQ(host->Read(3), kRefused);
    }
    EXPECT_TRUE(host->WaitFor(kReady));
    EXPECT_EQ(chip->End(), 0) << chip->Errors();
    const Bytes f = Load(flash);
    EXPECT_TRUE(
        std::all_of(f.begin(), f.begin() + kAppArea + 128, [](uint8_t b) { return b == 0xFF; }));
}

// An application in flash without a valid record is never started.
TEST_F(BootEndToEnd, NoValidApplicationMeansAnnouncingForEver) {
    auto chip = Start({"--app", KESTRUNE_HELLO_ELF});
    const auto host = chip->OpenHost();
    ASSERT_TRUE(host->WaitFor(kReady));
    EXPECT_TRUE(OnlyReady(*host, 30));  // three seconds of the chip's time
    EXPECT_EQ(chip->End(), 0) << chip->Errors();
}

// --monitor shows what the application prints after its download; --expect
// ends on the text (exit 0), or says that it never came (exit 14).
TEST_F(BootEndToEnd, MonitorShowsTheGreetingAndExpectJudgesIt) {
    const struct {
        const char* expect;
        int exitCode;
        const char* verdict;
    } cases[] = {
        {kGreeting.c_str(), 0, "the board printed what was expected"},
        {"Goodbye", 14, "the board did not print what was expected (\"Goodbye\")"},
    };
    for (const auto& c : cases) {
        auto chip = Start();
        const RunResult r =
            Download(*chip, KESTRUNE_HELLO_HEX, {"--monitor", "3", "--expect", c.expect});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.out.find("Download.....Success !\n" + kGreeting + "\n"), std::string::npos)
            << r.out;
        EXPECT_NE(r.err.find(c.verdict), std::string::npos) << r.err;
    }
}

// An application that jumps into the loader with Timer1 in PWM mode and the
// USART's receive interrupt on: the loader still announces, starts it again
// after its window, and takes the next download in between.
TEST_F(BootEndToEnd, AnApplicationThatJumpsInStillGetsAWorkingLoader) {
    auto chip = Start();
    const RunResult jumper = Download(*chip, KESTRUNE_JUMP_IN_HEX);
    EXPECT_EQ(jumper.exitCode, 0) << jumper.err;
    EXPECT_NE(jumper.err.find("verified by the target (crc32)"), std::string::npos) << jumper.err;
    const RunResult hello =
        Download(*chip, KESTRUNE_HELLO_HEX, {"--monitor", "3", "--expect", kGreeting});
    EXPECT_EQ(hello.exitCode, 0) << hello.err;
}

}  // namespace
