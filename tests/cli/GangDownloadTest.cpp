// kestrune-cli download on several ports at once, and board after board,
// against kestrune-target processes on real pseudo-terminals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "DownloadFixture.h"
#include "cli/ExitCodes.h"
#include "target/ExitCodes.h"

namespace {

TEST_F(Gang, ThreePortsAllSucceedAndEachBoardIsLogged) {
    StartTargets({{"--expect", kSampleBin}, {"--expect", kSampleBin}, {"--expect", kSampleBin}});
    Save(Path("board.log"), {});  // an empty file still gets the header row
    RunResult cli = RunProgram(GangArgs({"--log", Path("board.log")}, kSampleBin), kGenerous);
    EXPECT_EQ(cli.exitCode, kExitOk) << cli.err;
    for (const std::string& p : ports) {
        EXPECT_EQ(LinesWith(cli.out, p + ": Download.....Success !").size(), 1u) << cli.out;
        EXPECT_EQ(LinesWith(cli.err, p + ": 8192 bytes in ").size(), 1u) << cli.err;
        EXPECT_FALSE(LinesWith(cli.err, p + ": progress: [").empty()) << cli.err;
    }
    EXPECT_EQ(LinesWith(cli.out, "boards succeeded"),
              std::vector<std::string>{"3 of 3 boards succeeded"});
    for (auto& target : targets)
        EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();

    const auto rows = CsvRows(Path("board.log"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "port", "board", "file", "size",
                                                 "checksum", "outcome", "exit", "seconds",
                                                 "bytes_per_s", "serial", "reason"}));
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 11u);  // the empty reason of a success ends the row
        EXPECT_NE(std::find(ports.begin(), ports.end(), row[1]), ports.end()) << row[1];
        EXPECT_EQ(std::vector<std::string>(row.begin() + 2, row.begin() + 8),
                  (std::vector<std::string>{"1", kSampleBin, "8192", "BDDF", "Success !", "0"}));
        // 2026-12-07T14:03:59+01:00
        EXPECT_EQ(row[0].size(), 25u) << row[0];
        EXPECT_TRUE(row[0][19] == '+' || row[0][19] == '-') << row[0];
        EXPECT_EQ(row[8].find('.'), row[8].size() - 4) << row[8];
        EXPECT_GT(std::stod(row[8]), 0.0);
        EXPECT_NEAR(std::stod(row[9]), 8192 / std::stod(row[8]),
                    8192 / std::stod(row[8]) * 0.01 + 1);
    }
}

TEST_F(Gang, OneRejectedBlockFailsOnlyItsPortAndTheJsonEventsSayIt) {
    StartTargets({{"--expect", kSampleBin}, {"--nak-block", "3"}, {"--expect", kSampleBin}});
    RunResult cli = RunProgram(GangArgs({"--json"}, kSampleBin), kGenerous);
    EXPECT_EQ(cli.exitCode, kExitProgramError) << cli.err;
    EXPECT_EQ(targets[0]->Wait(kGenerous), kTargetImageOk);
    EXPECT_EQ(targets[1]->Wait(kGenerous), kTargetBlockRejected);
    EXPECT_EQ(targets[2]->Wait(kGenerous), kTargetImageOk);

    std::map<std::string, std::vector<nlohmann::json>> byPort;
    std::istringstream lines(cli.out);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json event;
        ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
        EXPECT_EQ(event["board"], 1) << line;
        byPort[event["port"].get<std::string>()].push_back(event);
    }
    ASSERT_EQ(byPort.size(), 3u) << cli.out;
    for (size_t i = 0; i < ports.size(); ++i) {
        const auto& events = byPort[ports[i]];
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[0]["event"], "ready");
        EXPECT_EQ(events[1]["event"], "header");
        EXPECT_EQ(events[1]["size"], 8192);
        EXPECT_EQ(events[1]["checksum"], "BDDF");
        const auto& outcome = events.back();
        EXPECT_EQ(outcome["event"], "outcome");
        EXPECT_EQ(outcome["message"], i == 1 ? "Program Error !" : "Success !");
        EXPECT_EQ(outcome["exit"], i == 1 ? kExitProgramError : kExitOk);
        EXPECT_GT(outcome["seconds"].get<double>(), 0.0);
        int percent = 0;
        for (size_t e = 2; e + 1 < events.size(); ++e) {
            EXPECT_EQ(events[e]["event"], "progress");
            EXPECT_GT(events[e]["percent"].get<int>(), percent);
            percent = events[e]["percent"];
            EXPECT_EQ(100 * events[e]["bytes"].get<int>() / 8192, percent) << events[e];
        }
        EXPECT_EQ(percent, i == 1 ? 3 : 100);  // 256 of 8192 bytes acknowledged: 3%
    }
}

TEST_F(Gang, TheVerdictReachesTheJsonEventsAndTheLog) {
    StartTargets({{}, {"--no-verdict"}, {"--corrupt-block", "64"}});
    RunResult cli =
        RunProgram(GangArgs({"--json", "--log", Path("board.log")}, kSampleBin), kGenerous);
    EXPECT_EQ(cli.exitCode, kExitVerifyError) << cli.err;
    const struct {
        const char* message;
        int exit;
        nlohmann::json verified;
        int targetExit;
    } expected[] = {{"Success !", kExitOk, "crc32", kTargetImageOk},
                    {"Success !", kExitOk, false, kTargetImageOk},
                    {"Verify Error !", kExitVerifyError, false, kTargetImageWrong}};
    std::map<std::string, nlohmann::json> outcomes;
    std::istringstream lines(cli.out);
    for (std::string line; std::getline(lines, line);) {
        const auto event = nlohmann::json::parse(line);
        if (event["event"] == "outcome") outcomes[event["port"].get<std::string>()] = event;
    }
    std::map<std::string, std::vector<std::string>> rows;
    for (const auto& row : CsvRows(Path("board.log"))) rows[row.at(1)] = row;
    for (size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(ports[i]);
        EXPECT_EQ(outcomes[ports[i]]["message"], expected[i].message) << cli.out;
        EXPECT_EQ(outcomes[ports[i]]["exit"], expected[i].exit);
        EXPECT_EQ(outcomes[ports[i]]["verified"], expected[i].verified);
        ASSERT_EQ(rows[ports[i]].size(), 11u);
        EXPECT_EQ(rows[ports[i]][6], expected[i].message);
        EXPECT_EQ(rows[ports[i]][7], std::to_string(expected[i].exit));
        EXPECT_EQ(targets[i]->Wait(kGenerous), expected[i].targetExit) << targets[i]->Out();
    }
}

TEST_F(Gang, CtrlCStopsEveryPort) {
    // 8 KiB at 1200 baud takes over a minute: the stop lands mid-transfer on every port.
    StartTargets({{"--baud", "1200"}, {"--baud", "1200"}, {"--baud", "1200"}});
    ChildProcess cli(GangArgs({"--baud", "1200"}, kSampleBin));
    for (const std::string& p : ports)
        ASSERT_TRUE(ErrorStreamShows(cli, p + ": progress: [")) << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(kGenerous), kExitUserStop);
    for (const std::string& p : ports)
        EXPECT_EQ(LinesWith(cli.Err(), p + ": Download.....User stop !").size(), 1u) << cli.Err();
    EXPECT_EQ(LinesWith(cli.Out(), "boards succeeded"),
              std::vector<std::string>{"0 of 3 boards succeeded"});
    for (auto& target : targets) EXPECT_EQ(target->Wait(kGenerous), kTargetIncomplete);
}

// The first line plays three boards with noise before every frame, the first
// of which rejects a block, and then goes away with its target, which ends
// that port as an unplugged adapter does, with no board row. The second
// line's board goes on announcing at once after it was flashed: it is flashed
// once, and after 10 s the line says it is stuck; at Ctrl+C it counts as not
// flashed.
TEST_F(Gang, RepeatFlashesEveryBoardOnceAndCountsOnlyBoardsThatAnnounced) {
    StartTargets({{"--boards", "3", "--noise", "1", "--nak-block", "2", "--swap-gap", "2500",
                   "--out", Path("rx.bin")},
                  {"--boards", "2", "--swap-gap", "0"}});
    ChildProcess cli(
        GangArgs({"--repeat", "--gap", "1000", "--log", Path("board.log")}, kSampleBin));
    const std::string stuck =
        ports[1] + ": board 2: announcing without a pause; swap it or press Ctrl+C";
    ASSERT_TRUE(ErrorStreamShows(cli, ports[0] + ": the device went away")) << cli.Err();
    ASSERT_TRUE(ErrorStreamShows(cli, stuck)) << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(kGenerous), kExitBoardsFailed);
    EXPECT_EQ(targets[0]->Wait(kGenerous), kTargetBlockRejected) << targets[0]->Out();

    EXPECT_EQ(LinesWith(cli.Err(), ": Download."),
              (std::vector<std::string>{ports[0] + ": board 1: Download.....Program Error !",
                                        ports[1] + ": board 2: Download.....User stop !"}));
    EXPECT_EQ(LinesWith(cli.Err(), "went away"),
              std::vector<std::string>{"kestrune-cli: " + ports[0] + ": the device went away"});
    EXPECT_EQ(LinesWith(cli.Err(), "announcing"), std::vector<std::string>{stuck});
    EXPECT_EQ(LinesWith(cli.Out(), ": Download."),
              (std::vector<std::string>{ports[1] + ": board 1: Download.....Success !",
                                        ports[0] + ": board 2: Download.....Success !",
                                        ports[0] + ": board 3: Download.....Success !"}));
    EXPECT_EQ(LinesWith(cli.Out(), "boards succeeded"),
              (std::vector<std::string>{ports[0] + ": 2 of 3 boards succeeded",
                                        ports[1] + ": 1 of 2 boards succeeded",
                                        "3 of 5 boards succeeded"}));

    for (const char* rx : {"rx-2.bin", "rx-3.bin"}) EXPECT_EQ(Load(Path(rx)), Load(kSampleBin));
    EXPECT_EQ(Load(Path("rx-1.bin")).size(), 256u);  // up to the rejected block 2

    std::vector<std::string> logged;
    for (const auto& row : CsvRows(Path("board.log")))
        logged.push_back(row.at(1) + " " + row.at(2) + " " + row.at(6) + " " + row.at(7));
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "port board outcome exit", ports[0] + " 1 Program Error ! 8",
                          ports[1] + " 1 Success ! 0", ports[0] + " 2 Success ! 0",
                          ports[0] + " 3 Success ! 0", ports[1] + " 2 User stop ! 10"}));
}

// JSON events of the port's endings: a device gone between boards ends its
// port with a port_problem event and no board; a board pulled mid-download is
// one board, with the outcome of its wait. The run ends by itself.
TEST_F(Gang, RepeatEndsAPortWhoseDeviceWentAwayAndTheOthersGoOn) {
    StartTargets({{"--boards", "2", "--swap-gap", "1500", "--out", Path("rx.bin")},
                  {"--hangup-after-block", "2"}});
    RunResult cli = RunProgram(GangArgs({"--repeat", "--json"}, kSampleBin), kGenerous);
    EXPECT_EQ(cli.exitCode, kExitBoardsFailed) << cli.err;
    for (const char* rx : {"rx-1.bin", "rx-2.bin"}) EXPECT_EQ(Load(Path(rx)), Load(kSampleBin));

    std::vector<std::string> endings;
    std::istringstream lines(cli.out);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json event;
        ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
        const std::string kind = event["event"];
        const std::string who = event["port"] == ports[0] ? "A" : "B";
        if (kind == "outcome")
            endings.push_back(who + std::to_string(event["board"].get<int>()) + " " +
                              event["message"].get<std::string>() + " " +
                              event.value("port_problem", ""));
        if (kind == "port_problem")
            endings.push_back(who + std::to_string(event["board"].get<int>()) + " problem " +
                              event["problem"].get<std::string>());
    }
    std::sort(endings.begin(), endings.end());
    EXPECT_EQ(endings, (std::vector<std::string>{"A1 Success ! ", "A2 Success ! ",
                                                 "A3 problem the device went away",
                                                 "B1 Read time out ! the device went away"}))
        << cli.out;
    for (const std::string& p : ports)
        EXPECT_EQ(LinesWith(cli.err, "kestrune-cli: " + p + ": the device went away").size(),
                  p == ports[0] ? 1u : 0u)
            << cli.err;
}

// A row that cannot be written is shown at once with the record itself; no
// further board is taken, the board in progress on the other port finishes,
// and the run ends with exit 4 by itself.
TEST_F(Gang, RepeatStopsTakingBoardsWhenTheLogCannotBeWritten) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Save(Path("image.bin"), Pattern(1024));
    // The first port's board ends after about 2 s, while the second one's is under way.
    StartTargets({{"--boards", "3", "--swap-gap", "1500", "--reply-delay", "200"},
                  {"--baud", "2400", "--reply-delay", "300", "--expect", Path("image.bin")}});
    RunResult cli = RunProgram(
        GangArgs({"--repeat", "--json", "--log", "/dev/full", "--baud", "2400"}, Path("image.bin")),
        kGenerous);
    EXPECT_EQ(cli.exitCode, kExitCannotWrite) << cli.err;
    EXPECT_EQ(targets[1]->Wait(kGenerous), kTargetImageOk) << targets[1]->Out();

    std::vector<std::string> events;
    std::istringstream lines(cli.out);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json event;
        ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
        const std::string kind = event["event"];
        if (kind == "outcome" || kind == "log_problem" || kind == "ready")
            events.push_back((event["port"] == ports[0] ? "A" : "B") +
                             std::to_string(event["board"].get<int>()) + " " + kind);
        if (kind == "log_problem") {
            EXPECT_EQ(event["problem"], std::strerror(ENOSPC));
            EXPECT_NE(event["row"].get<std::string>().find(",Success !,0,"), std::string::npos);
        }
    }
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"A1 log_problem", "A1 outcome", "A1 ready",
                                                "B1 log_problem", "B1 outcome", "B1 ready"}))
        << cli.out;
    EXPECT_EQ(LinesWith(cli.err, "kestrune-cli: cannot write to the log (").size(), 2u) << cli.err;
}

}  // namespace
