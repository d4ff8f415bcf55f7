// The board log on its own: a row that cannot be written is reported with
// the row itself, stops further boards, and does not spoil later rows once
// the file can grow again.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/BoardLog.h"
#include "tests/support/TempFolder.h"

namespace {

struct Problem {
    uint32_t board;
    std::string row, reason;
};

class Reporter : public PortObserver {
public:
    void LogProblem(size_t, const BoardRecord& record, const std::string& row,
                    const std::string& reason) override {
        problems.push_back({record.board, row, reason});
    }
    std::vector<Problem> problems;
};

TEST(BoardLog, AFailedRowIsReportedAndTheNextOneStillLands) {
    test_support::TempFolder folder("kestrune-board-log");
    const std::string path = folder.Path("board.log").string();
    auto log = BoardLog::Open(path, "fw.bin", 8192, 0xBDDF);
    ASSERT_TRUE(log);
    Reporter reporter;
    std::atomic<bool> takeNoMore{false};
    log->ReportTo(reporter, takeNoMore);
    BoardRecord record;
    record.port = "/dev/ttyUSB0";
    record.message = ".....Success !";

    // The file may grow by 10 more bytes: the first row is cut off there.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = std::filesystem::file_size(path) + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    record.board = 1;
    log->Finished(0, record);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    record.board = 2;
    log->Finished(0, record);

    EXPECT_TRUE(log->WriteFailed());
    EXPECT_TRUE(takeNoMore.load());
    ASSERT_EQ(reporter.problems.size(), 1u);
    EXPECT_EQ(reporter.problems[0].board, 1u);
    EXPECT_EQ(reporter.problems[0].row, log->Row([&] {
        BoardRecord first = record;
        first.board = 1;
        return first;
    }()));
    EXPECT_EQ(reporter.problems[0].reason, std::strerror(EFBIG));

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);  // header, the cut-off row, board 2 whole on its own line
    EXPECT_EQ(lines[1].size(), 10u);
    EXPECT_EQ(lines[2] + "\n", log->Row(record));
    EXPECT_NE(lines[2].find(",/dev/ttyUSB0,2,fw.bin,8192,BDDF,Success !,0,"), std::string::npos);
}

}  // namespace
