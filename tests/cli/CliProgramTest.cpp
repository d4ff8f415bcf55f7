// The kestrune-cli program itself: command dispatch, streams and exit status
// as a shell sees them. KESTRUNE_CLI names the built program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

class CliProgram : public ::testing::Test {
protected:
    static std::string Quote(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Result Run(const std::vector<std::string>& args) {
        std::string command = Quote(KESTRUNE_CLI);
        // Appended piece by piece: "literal" + std::string trips GCC 12's -Wrestrict at -O2.
        for (const std::string& arg : args) command.append(" ").append(Quote(arg));
        command.append(" >").append(Quote((dir / "out").string()));
        command.append(" 2>").append(Quote((dir / "err").string()));
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status)) << command;
        return {WEXITSTATUS(status), Read(dir / "out"), Read(dir / "err")};
    }

    test_support::TempFolder folder{"kestrune-cli-program"};
    const fs::path dir = folder.Path();
};

TEST_F(CliProgram, InfoPrintsThreeLines) {
    const fs::path file = dir / "fw.hex";
    std::ofstream(file) << ":0400100001020304E2\r\n:00000001FF\r\n";
    const Result result = Run({"info", file.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "path: " + file.string() +
                              "\nformat: Intel HEX\nsize: 20\nchecksum: 0FFA\n"  // 16 x 0xFF + 10
                              "range: 0x00000010-0x00000013\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(CliProgram, InfoOnAMissingOrDamagedFileSaysWhyOnStderrOnly) {
    const std::string missing = (dir / "missing.bin").string();
    Result result = Run({"info", missing});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "kestrune-cli: " + missing + ": No such file or directory\nCan't open file !\n");

    const fs::path damaged = dir / "damaged.hex";
    std::ofstream(damaged) << ":0400100001020304E2\r\n:04001400010203\r\n";
    result = Run({"info", damaged.string()});
    EXPECT_EQ(result.status, 11);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kestrune-cli: " + damaged.string() +
                              ": line 2: length byte does not match the record\n");
}

TEST_F(CliProgram, HelpListsTheCommands) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}}) {
        const Result result = Run(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("Usage: kestrune-cli COMMAND"), std::string::npos);
        EXPECT_NE(result.out.find("  info "), std::string::npos);
    }
    const Result info = Run({"help", "info"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("Usage: kestrune-cli info FILE"), std::string::npos);
}

TEST_F(CliProgram, VersionIsTheVersionFilesLine) {
    const Result result = Run({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "kestrune-cli " + Read(KESTRUNE_VERSION_FILE));
    EXPECT_EQ(result.err, "");
}

TEST_F(CliProgram, BadCommandLinesExit64) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"info"}, {"info", "--nope"}}) {
        const Result result = Run(args);
        EXPECT_EQ(result.status, 64) << ::testing::PrintToString(args);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err, "");
    }
}

}  // namespace
