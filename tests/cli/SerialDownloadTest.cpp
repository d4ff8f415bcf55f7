// download --serial against kestrune-target processes: every received image
// is the file's image with its own number at the stamp's place, the log and
// the JSON events name the same numbers, and no number is given twice: not
// across ports, not across two processes on one counter file, not after a
// kill -9 and a restart. A counter that breaks mid-run stops the line.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "DownloadFixture.h"
#include "cli/ExitCodes.h"
#include "target/ExitCodes.h"
#include "tests/support/Sum16.h"

namespace {

constexpr size_t kAt = 0x20;  // in the first block, so even a cut-off board holds its number

class SerialDownload : public Gang {
protected:
    std::vector<std::string> SerialArgs(const std::string& format, std::vector<std::string> more) {
        std::vector<std::string> args = {"--serial",        std::to_string(kAt),
                                         "--serial-file",   Path("counter"),
                                         "--serial-format", format,
                                         "--serial-start",  "500"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // The number a received image carries (u32le or dec:6), after checking
    // that every other byte is the file's; nothing when the image is not.
    static std::optional<uint64_t> NumberIn(const Bytes& image, const std::string& format) {
        Bytes expected = Load(kSampleBin);
        const size_t size = format == "dec:6" ? 6 : 4;
        if (image.size() < kAt + size || image.size() > expected.size()) return std::nullopt;
        uint64_t number = 0;
        for (size_t i = 0; i < size; ++i) {
            number = format == "dec:6" ? number * 10 + (image[kAt + i] - '0')
                                       : number | uint64_t{image[kAt + i]} << (8 * i);
            expected[kAt + i] = image[kAt + i];
        }
        expected.resize(image.size());
        if (image != expected) return std::nullopt;
        return number;
    }

    std::string Counter() const {
        const Bytes bytes = Load(Path("counter"));
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(SerialDownload, ThreePortsBoardAfterBoardEachImageCarriesItsOwnNumber) {
    for (const char* rx : {"a.bin", "b.bin", "c.bin"})
        StartTargets({{"--boards", "2", "--swap-gap", "300", "--out", Path(rx)}});
    ChildProcess cli(GangArgs(
        SerialArgs("u32le", {"--repeat", "--gap", "100", "--log", Path("board.log")}), kSampleBin));
    for (const std::string& p : ports)
        ASSERT_TRUE(ErrorStreamShows(cli, p + ": 2 of 2 boards succeeded")) << cli.Err();
    for (auto& target : targets) EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk);
    EXPECT_EQ(cli.Wait(kGenerous), kExitOk);  // each port ends when its device goes away

    std::map<std::string, uint64_t> numbers;  // "port board" -> the number its image holds
    for (size_t i = 0; i < ports.size(); ++i) {
        for (const char* board : {"1", "2"}) {
            const auto number =
                NumberIn(Load(Path(std::string(1, char('a' + i)) + "-" + board + ".bin")), "u32le");
            ASSERT_TRUE(number) << ports[i] << " board " << board;
            numbers[ports[i] + " " + board] = *number;
            EXPECT_EQ(LinesWith(cli.Out(), ports[i] + ": board " + board + ": serial " +
                                               std::to_string(*number) + ": Download.....Success !")
                          .size(),
                      1u)
                << cli.Out();
        }
    }
    std::set<uint64_t> distinct;
    for (const auto& [board, number] : numbers) distinct.insert(number);
    EXPECT_EQ(distinct, (std::set<uint64_t>{500, 501, 502, 503, 504, 505}));
    EXPECT_EQ(Counter(), "506\n");

    std::map<std::string, uint64_t> logged;
    const auto rows = CsvRows(Path("board.log"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][10], "serial");
    EXPECT_EQ(rows[0].back(), "reason");
    for (size_t r = 1; r < rows.size(); ++r)
        if (rows[r][6] == "Success !")
            logged[rows[r][1] + " " + rows[r][2]] = std::stoull(rows[r][10]);
    EXPECT_EQ(logged, numbers);
}

TEST_F(SerialDownload, TwoProcessesOnOneCounterNeverShareANumber) {
    std::vector<std::unique_ptr<ChildProcess>> clis;
    for (const char* rx : {"a.bin", "b.bin"}) {
        StartTargets({{"--boards", "3", "--swap-gap", "200", "--out", Path(rx)}});
        clis.push_back(std::make_unique<ChildProcess>(
            Cli({"download", "--port", ports.back(), "--repeat", "--gap", "100", "--json",
                 "--serial", std::to_string(kAt), "--serial-file", Path("counter"),
                 "--serial-format", "dec:6", "--serial-start", "500", kSampleBin})));
    }
    for (auto& target : targets) EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk);
    std::set<uint64_t> all;
    for (size_t i = 0; i < clis.size(); ++i) {
        clis[i]->Signal(SIGINT);
        clis[i]->Wait(kGenerous);
        std::istringstream lines(clis[i]->Out());
        std::map<int, uint16_t> checksums;  // board -> the header's checksum
        for (std::string line; std::getline(lines, line);) {
            const auto event = nlohmann::json::parse(line);
            const int board = event["board"];
            if (event["event"] == "header")
                checksums[board] = std::stoi(event["checksum"].get<std::string>(), nullptr, 16);
            if (event["event"] != "outcome" || event["exit"] != 0) continue;
            const Bytes image =
                Load(Path(std::string(1, char('a' + i)) + "-" + std::to_string(board) + ".bin"));
            EXPECT_EQ(NumberIn(image, "dec:6"), event["serial"].get<uint64_t>()) << line;
            EXPECT_EQ(checksums[board], test_support::Sum16(image)) << line;
            all.insert(event["serial"].get<uint64_t>());
        }
    }
    EXPECT_EQ(all, (std::set<uint64_t>{500, 501, 502, 503, 504, 505}));
    EXPECT_EQ(Counter(), "506\n");
}

TEST_F(SerialDownload, AKilledRunsNumbersAreNeverGivenAgain) {
    // 8 KiB at 9600 baud takes about 9 s: the kill lands mid-transfer.
    StartTargets({{"--baud", "9600", "--out", Path("killed.bin")}});
    ChildProcess killed(
        Cli({"download", "--port", port, "--baud", "9600", "--serial", std::to_string(kAt),
             "--serial-file", Path("counter"), "--serial-start", "500", kSampleBin}));
    ASSERT_TRUE(ErrorStreamShows(killed, "serial 500: progress: [###")) << killed.Err();
    killed.Signal(SIGKILL);
    killed.Wait(kGenerous);
    targets.back()->Wait(kGenerous);
    EXPECT_EQ(NumberIn(Load(Path("killed.bin")), "u32le"), 500u);  // the part that arrived
    EXPECT_EQ(Counter(), "501\n");

    StartTargets({{"--out", Path("restart.bin")}});
    RunResult again =
        RunProgram(Cli({"download", "--port", port, "--serial", std::to_string(kAt),
                        "--serial-file", Path("counter"), "--serial-start", "500", kSampleBin}),
                   kGenerous);
    EXPECT_EQ(again.exitCode, kExitOk) << again.err;
    targets.back()->Wait(kGenerous);  // it writes what arrived as it ends
    EXPECT_EQ(NumberIn(Load(Path("restart.bin")), "u32le"), 501u);
}

TEST_F(SerialDownload, ACounterThatBreaksStopsTheLineBeforeTheNextBoard) {
    StartTargets({{"--boards", "2", "--swap-gap", "1500", "--out", Path("rx.bin")}});
    ChildProcess cli(GangArgs(SerialArgs("u32le", {"--repeat", "--gap", "100"}), kSampleBin));
    ASSERT_TRUE(ErrorStreamShows(cli, ": 1 of 1 boards succeeded")) << cli.Err();
    Save(Path("counter"), {'x'});
    EXPECT_EQ(cli.Wait(kGenerous), kExitCannotWrite) << cli.Err();
    EXPECT_EQ(LinesWith(cli.Err(), "kestrune-cli: " + port + ": no board taken: " +
                                       Path("counter") + ": does not hold the next serial number")
                  .size(),
              1u)
        << cli.Err();
    EXPECT_EQ(NumberIn(Load(Path("rx-1.bin")), "u32le"), 500u);
    EXPECT_FALSE(fs::exists(Path("rx-2.bin")));  // the second board got no header
}

}  // namespace
