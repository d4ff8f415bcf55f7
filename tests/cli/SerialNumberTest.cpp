// Serial numbers in-process: the bytes of each stamp format, the counter file
// (durable next number, one number per take across threads and objects, bad
// content, a file that cannot be written, the end of a format's range), and
// the command line's refusals, which all come before any port is opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "cli/SerialCounter.h"
#include "cli/SerialFormat.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::string Stamp(const std::string& name, uint64_t number) {
    const std::optional<SerialFormat> format = ParseSerialFormat(name);
    if (!format) return "(no format)";
    std::string bytes(format->Size(), '\0');
    format->Write(number, reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

TEST(SerialFormat, EachFormatWritesItsBytes) {
    const struct {
        const char* format;
        uint64_t number;
        std::string bytes;
        uint64_t largest;
    } cases[] = {
        {"u32le", 0x12345678, "\x78\x56\x34\x12", 0xFFFFFFFF},
        {"u32be", 0x12345678, "\x12\x34\x56\x78", 0xFFFFFFFF},
        {"u16le", 0xBEEF, "\xEF\xBE", 0xFFFF},
        {"u16be", 0xBEEF, "\xBE\xEF", 0xFFFF},
        {"u64le", 0x0102030405060708, "\x08\x07\x06\x05\x04\x03\x02\x01", ~uint64_t{0}},
        {"dec:6", 4711, "004711", 999999},
        {"dec:20", ~uint64_t{0}, "18446744073709551615", ~uint64_t{0}},
        {"hex:4", 0xBEEF, "BEEF", 0xFFFF},
        {"hex:8", 0x2A, "0000002A", 0xFFFFFFFF},
        {"hex:16", ~uint64_t{0}, "FFFFFFFFFFFFFFFF", ~uint64_t{0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Stamp(c.format, c.number), c.bytes) << c.format;
        EXPECT_EQ(ParseSerialFormat(c.format)->Largest(), c.largest) << c.format;
    }
    for (const char* bad : {"", "u32", "U32LE", "u64be", "dec", "dec:", "dec:0", "dec:21", "hex:17",
                            "hex:4x", "oct:3", "dec:-1", "dec: 4"})
        EXPECT_FALSE(ParseSerialFormat(bad)) << bad;
}

class Counter : public ::testing::Test {
protected:
    std::unique_ptr<SerialCounter> Make(const std::string& format = "u32le") {
        return std::make_unique<SerialCounter>(file, "counter", *ParseSerialFormat(format), format);
    }
    std::string Content() const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    test_support::TempFolder folder{"kestrune-serial"};
    const fs::path file = folder.Path("counter");
};

TEST_F(Counter, StartCreatesTheFileAndEveryTakeRecordsTheNextNumber) {
    auto counter = Make();
    ASSERT_FALSE(counter->Prepare(1000));
    EXPECT_EQ(Content(), "1000\n");
    ASSERT_FALSE(Make()->Prepare(5));  // an existing counter keeps its number
    CounterProblem problem;
    for (uint64_t expected : {1000, 1001, 1002}) {
        EXPECT_EQ(counter->Take(problem), expected);
        EXPECT_EQ(Content(), std::to_string(expected + 1) + "\n");
    }
}

// Two counters on one file stand for two processes: each has its own lock handle.
TEST_F(Counter, ThreadsOfTwoCountersNeverGetOneNumberTwice) {
    auto first = Make(), second = Make();
    ASSERT_FALSE(first->Prepare(1));
    ASSERT_FALSE(second->Prepare(std::nullopt));
    constexpr int kThreads = 4, kTakes = 25;
    std::vector<std::vector<uint64_t>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CounterProblem problem;
            for (int i = 0; i < kTakes; ++i)
                taken[t].push_back((t % 2 ? *first : *second).Take(problem).value_or(0));
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<uint64_t> all;
    for (const auto& numbers : taken) all.insert(numbers.begin(), numbers.end());
    EXPECT_EQ(all.size(), size_t{kThreads * kTakes});
    EXPECT_EQ(*all.begin(), 1u);
    EXPECT_EQ(*all.rbegin(), uint64_t{kThreads * kTakes});
    EXPECT_EQ(Content(), std::to_string(kThreads * kTakes + 1) + "\n");
}

TEST_F(Counter, ProblemsStopTheCounterWithTheirReason) {
    const struct {
        const char* content;  // nullptr: no file
        const char* format;
        std::optional<uint64_t> start;
        int exitCode;
        const char* reason;
    } cases[] = {
        {nullptr, "u32le", std::nullopt, kExitCannotWrite, "does not exist"},
        {"", "u32le", 1, kExitCannotWrite, "does not hold"},
        {"12 34\n", "u32le", 1, kExitCannotWrite, "does not hold"},
        {"-1\n", "u32le", 1, kExitCannotWrite, "does not hold"},
        {"+7\n", "u32le", 1, kExitCannotWrite, "does not hold"},
        {"18446744073709551616\n", "u64le", 1, kExitCannotWrite, "does not hold"},
        {"65536\n", "u16le", 1, kExitUsage, "the next number 65536 does not fit u16le"},
        {"18446744073709551615\n", "u64le", 1, kExitUsage, "at most 18446744073709551614"},
        {nullptr, "dec:2", 100, kExitUsage, "does not fit dec:2 (at most 99)"},
    };
    for (const auto& c : cases) {
        fs::remove(file);
        if (c.content) folder.Write("counter", c.content);
        const auto problem = Make(c.format)->Prepare(c.start);
        ASSERT_TRUE(problem) << c.reason;
        EXPECT_EQ(problem->exitCode, c.exitCode) << c.reason;
        EXPECT_NE(problem->reason.find("kestrune-cli: counter: "), std::string::npos);
        EXPECT_NE(problem->reason.find(c.reason), std::string::npos) << problem->reason;
        EXPECT_EQ(fs::exists(file), c.content != nullptr) << c.reason;
    }
}

TEST_F(Counter, ATakeThatCannotRecordItsNumberGivesNoneThenOrEver) {
    auto counter = Make("u16be");
    ASSERT_FALSE(counter->Prepare(65534));
    CounterProblem problem;
    EXPECT_EQ(counter->Take(problem), 65534u);
    // The temporary file's name is taken by a folder: the new number cannot be written.
    fs::create_directories(folder.Path("counter.tmp/in-the-way"));
    EXPECT_FALSE(counter->Take(problem));
    EXPECT_EQ(problem.exitCode, kExitCannotWrite);
    EXPECT_NE(problem.reason.find("cannot be written"), std::string::npos) << problem.reason;
    fs::remove_all(folder.Path("counter.tmp"));
    EXPECT_FALSE(counter->Take(problem));  // the line stays stopped
    EXPECT_EQ(Content(), "65535\n");

    auto last = Make("u16be");
    ASSERT_FALSE(last->Prepare(std::nullopt));
    EXPECT_EQ(last->Take(problem), 65535u);
    EXPECT_FALSE(last->Take(problem));
    EXPECT_EQ(problem.exitCode, kExitUsage);
    EXPECT_EQ(Content(), "65536\n");
}

// Every refusal comes before a port is opened: the port named does not exist.
TEST_F(Counter, DownloadRefusesBeforeAnyBoard) {
    const std::string image = folder.Write("image.bin", std::string(64, '\xFF')).string();
    const std::string counter = file.string();
    const struct {
        std::vector<std::string> options;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"--serial", "61", "--serial-file", counter},
         kExitUsage,
         "the serial number (4 bytes, u32le) at 0x3D does not fit in the 64-byte image"},
        {{"--serial", "0x40", "--serial-file", counter, "--serial-format", "dec:1"},
         kExitUsage,
         "does not fit"},
        {{"--serial", "0x4294967295", "--serial-file", counter}, kExitUsage, "bad --serial"},
        {{"--serial", "0", "--serial-file", counter, "--serial-format", "u24le"},
         kExitUsage,
         "unknown --serial-format u24le"},
        {{"--serial", "0"}, kExitUsage, "--serial needs --serial-file"},
        {{"--serial-file", counter}, kExitUsage, "need --serial"},
        {{"--serial", "0", "--serial-file", counter, "--serial-start", "0x10"},
         kExitUsage,
         "bad --serial-start"},
        {{"--serial", "0", "--serial-file", counter},
         kExitCannotWrite,
         "kestrune-cli: " + counter + ": does not exist (--serial-start N creates it)"},
        {{"--serial", "60", "--serial-file", counter, "--serial-start", "70000", "--serial-format",
          "u16le"},
         kExitUsage,
         "does not fit u16le"},
    };
    for (const auto& c : cases) {
        CommandArgs args = {"download", "--port", folder.Path("no-port").string()};
        args.erase(args.begin());
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(image);
        std::ostringstream out, err;
        EXPECT_EQ(RunDownloadCommand(args, out, err), c.exitCode) << err.str();
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_FALSE(fs::exists(file));  // a start that does not fit creates nothing
}

}  // namespace
