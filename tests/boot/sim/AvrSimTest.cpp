// The harness's own rules, shown with a probe firmware whose commands each
// break or keep one of them: strict self-programming and the paced UART.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

#include "tests/boot/sim/SimulatedChip.h"
#include "tests/support/TempFolder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The probe answers '?' to a byte it does not know: the line is up then.
bool Sync(test_support::SerialHost& host) {
    for (int i = 0; i < 100; ++i) {
        host.Write({'H'});
        for (uint8_t b : host.Read(8, 200ms))
            if (b == '?') return true;
    }
    return false;
}

struct ProbeCase {
    const char* name;
    Bytes command;
    size_t replyLength;
    std::optional<Bytes> reply;  // nothing: any bytes
    int exitStatus;
};

Bytes Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.name;
}

Bytes Counting(size_t n) {
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

const ProbeCase kCases[] = {
    {"EraseWriteReadBack", {'P'}, 128, Counting(128), 0},
    {"WriteOnlyClearsBits", {'C'}, 1, Bytes{0xF0 & 0x3C}, 0},
    {"UnalignedEraseIsAFault", {'U'}, 1, Bytes{'u'}, 3},
    {"ReadWhileBusyIsAFault", {'L'}, 1, std::nullopt, 3},
    // Ten bytes at the line rate to a probe that reads none for 5 ms: the
    // receiver keeps three, sets DOR0, and the run reports lost bytes.
    {"SlowReaderLosesBytes", {'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, Bytes{3, 1}, 4},
};

class ProbeRule : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeRule, ReplyAndExitStatus) {
    const ProbeCase& c = GetParam();
    SimulatedChip chip({KESTRUNE_PROBE_ELF});
    ASSERT_TRUE(chip.Started());
    const auto host = chip.OpenHost();
    ASSERT_TRUE(Sync(*host));
    host->Write(c.command);
    const Bytes reply = host->Read(c.replyLength);
    EXPECT_EQ(reply.size(), c.replyLength);
    if (c.reply) {
        EXPECT_EQ(reply, *c.reply);
    }
    EXPECT_EQ(chip.End(), c.exitStatus) << chip.Errors();
}

INSTANTIATE_TEST_SUITE_P(AvrSim, ProbeRule, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AvrSim, ResetSignalRestartsTheChip) {
    SimulatedChip chip({KESTRUNE_PROBE_ELF});
    ASSERT_TRUE(chip.Started());
    const auto host = chip.OpenHost();
    ASSERT_TRUE(Sync(*host));
    chip.Reset();
    EXPECT_EQ(host->Read(1), Bytes{'!'});  // the probe's first word after a reset
    EXPECT_EQ(chip.End(), 0) << chip.Errors();
}

// What is preloaded comes back at the end; the loader's code lies on top of the flash.
TEST(AvrSim, MemoriesComeBackAsLoaded) {
    test_support::TempFolder dir("kestrune-avrsim");
    const Bytes flash(0x7800, 0x5A), eeprom = Counting(200);
    const auto flashIn = dir.Write("flash.bin", std::string(flash.begin(), flash.end()));
    const auto eepromIn = dir.Write("eeprom.bin", std::string(eeprom.begin(), eeprom.end()));
    const auto flashOut = dir.Path("flash-out.bin"), eepromOut = dir.Path("eeprom-out.bin");
    SimulatedChip chip({KESTRUNE_PROBE_ELF, "--flash-in", flashIn.string(), "--eeprom-in",
                        eepromIn.string(), "--flash-out", flashOut.string(), "--eeprom-out",
                        eepromOut.string()});
    ASSERT_TRUE(chip.Started());
    EXPECT_EQ(chip.End(), 0) << chip.Errors();
    const Bytes flashBack = Load(flashOut), eepromBack = Load(eepromOut);
    ASSERT_EQ(flashBack.size(), 32768u);
    ASSERT_EQ(eepromBack.size(), 1024u);
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), flashBack.begin()));
    EXPECT_NE(flashBack[0x7800], 0xFF);  // the probe's first instruction
    EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), eepromBack.begin()));
}

TEST(AvrSim, BadCommandLinesAreRefused) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{},  // no loader
                                               {"--timeout"},
                                               {"--host-baud", "12", KESTRUNE_PROBE_ELF},
                                               {"--bogus", KESTRUNE_PROBE_ELF}}) {
        std::vector<std::string> argv{KESTRUNE_AVRSIM_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(RunProgram(argv, 30s).exitCode, 2);
    }
    EXPECT_EQ(RunProgram({KESTRUNE_AVRSIM_EXE, "/nonexistent.elf"}, 30s).exitCode, 1);
}

}  // namespace
