// kestrune-cli download on several ports at once, and board after board,
// against kestrune-target processes on real pseudo-terminals.
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "DownloadFixture.h"
#include "cli/ExitCodes.h"
#include "target/ExitCodes.h"

namespace {

class Gang : public Download {
protected:
    // One target per fault list; `ports` gets their terminals in order.
    void StartTargets(const std::vector<std::vector<std::string>>& faults) {
        for (const auto& fault : faults) {
            targets.push_back(StartTarget(fault));
            ports.push_back(port);
        }
    }

    std::vector<std::string> GangArgs(std::vector<std::string> extra, const std::string& file) {
        std::vector<std::string> args = {"download"};
        for (const std::string& p : ports) args.insert(args.end(), {"--port", p});
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return Cli(args);
    }

    // The rows of a CSV file without quoted fields, split at commas.
    static std::vector<std::vector<std::string>> CsvRows(const std::string& path) {
        std::vector<std::vector<std::string>> rows;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::stringstream cells(line);
            for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
            rows.push_back(fields);
        }
        return rows;
    }

    std::vector<std::unique_ptr<ChildProcess>> targets;
    std::vector<std::string> ports;
};

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
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"time", "port", "board", "file", "size", "checksum",
                                        "outcome", "exit", "seconds", "bytes_per_s"}));
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 10u);
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

// The first line plays three boards, the first of which rejects a block, and
// then goes away with its target, which ends that port as an unplugged adapter
// does. The second line's board goes on announcing at once after it was
// flashed: it must be flashed once, however long it announces.
TEST_F(Gang, RepeatGoesBoardAfterBoardUntilCtrlCAndFlashesAnAnnouncingBoardOnce) {
    StartTargets(
        {{"--boards", "3", "--nak-block", "2", "--swap-gap", "2500", "--out", Path("rx.bin")},
         {"--boards", "2", "--swap-gap", "0"}});
    ChildProcess cli(
        GangArgs({"--repeat", "--gap", "1000", "--log", Path("board.log")}, kSampleBin));
    ASSERT_TRUE(ErrorStreamShows(cli, ports[0] + ": 2 of 3 boards succeeded")) << cli.Err();
    std::this_thread::sleep_for(2s);  // the second board would have had time to go again
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(kGenerous), kExitBoardsFailed);
    EXPECT_EQ(targets[0]->Wait(kGenerous), kTargetBlockRejected) << targets[0]->Out();

    EXPECT_EQ(LinesWith(cli.Err(), ": Download."),
              (std::vector<std::string>{ports[0] + ": board 1: Download.....Program Error !",
                                        ports[0] + ": board 4: Download.....Not find device !"}));
    EXPECT_EQ(LinesWith(cli.Err(), "went away"),
              std::vector<std::string>{"kestrune-cli: " + ports[0] + ": the device went away"});
    EXPECT_EQ(LinesWith(cli.Out(), ": Download."),
              (std::vector<std::string>{ports[1] + ": board 1: Download.....Success !",
                                        ports[0] + ": board 2: Download.....Success !",
                                        ports[0] + ": board 3: Download.....Success !"}));
    EXPECT_EQ(LinesWith(cli.Out(), "boards succeeded"),
              (std::vector<std::string>{ports[0] + ": 2 of 4 boards succeeded",
                                        ports[1] + ": 1 of 1 boards succeeded",
                                        "3 of 5 boards succeeded"}));

    EXPECT_EQ(Load(Path("rx-3.bin")), Load(kSampleBin));  // one --out file per board
    EXPECT_EQ(Load(Path("rx-1.bin")).size(), 256u);       // up to the rejected block 2

    std::vector<std::string> logged;
    for (const auto& row : CsvRows(Path("board.log")))
        logged.push_back(row.at(1) + " " + row.at(2) + " " + row.at(6) + " " + row.at(7));
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "port board outcome exit", ports[0] + " 1 Program Error ! 8",
                          ports[1] + " 1 Success ! 0", ports[0] + " 2 Success ! 0",
                          ports[0] + " 3 Success ! 0", ports[0] + " 4 Not find device ! 6"}));
}

}  // namespace
