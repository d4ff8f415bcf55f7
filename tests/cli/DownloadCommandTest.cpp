// kestrune-cli download against kestrune-target over a real pseudo-terminal:
// real processes, real port back end, each outcome with its message and exit code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "DownloadFixture.h"
#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "isp/port/SerialPort.h"
#include "target/ExitCodes.h"
#include "tests/support/ChildProcess.h"

namespace {

TEST_F(Download, SampleFilesArriveByteForByte) {
    for (const std::string& file : {kSampleHex, kSampleBin}) {
        auto target = StartTarget({"--expect", file, "--out", Path("received.bin")});
        RunResult cli = RunDownload(file);
        EXPECT_EQ(cli.exitCode, kExitOk) << cli.err;
        EXPECT_EQ(cli.out, "Download.....Success !\n");
        EXPECT_NE(cli.err.find("progress: "), std::string::npos) << cli.err;
        EXPECT_NE(cli.err.find("100%"), std::string::npos) << cli.err;
        EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();

        Bytes image;
        ASSERT_EQ(LoadFirmwareFile(file, image).status, LoadStatus::Ok);
        EXPECT_EQ(Load(Path("received.bin")), image) << file;
    }
}

TEST_F(Download, SurvivesNoiseReplyDelaysAndASlowPacedLine) {
    const Bytes image = Pattern(1000);
    Save(Path("image.bin"), image);
    auto target = StartTarget(
        {"--expect", Path("image.bin"), "--noise", "9", "--reply-delay", "5", "--baud", "9600"});
    RunResult cli = RunDownload(Path("image.bin"), {"--baud", "9600"});
    EXPECT_EQ(cli.exitCode, kExitOk) << cli.err;
    EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();
}

// A Ready frame already on the line when the header goes out is not its reply.
TEST_F(Download, ContinuousAnnouncerIsDownloadedTo) {
    const Bytes image = Pattern(300);
    Save(Path("image.bin"), image);
    for (const char* baud : {"9600", "115200"}) {
        auto target =
            StartTarget({"--expect", Path("image.bin"), "--ready-interval", "0", "--baud", baud});
        RunResult cli = RunDownload(Path("image.bin"), {"--baud", baud});
        EXPECT_EQ(cli.exitCode, kExitOk) << baud << cli.err;
        EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();
    }
}

TEST_F(Download, DeviceThatGoesAwayEndsTheWaitAtOnceAndIsNamed) {
    auto target = StartTarget({"--hangup-after-block", "2"});
    RunResult cli = RunDownload(kSampleBin);
    EXPECT_EQ(cli.exitCode, kExitReadTimeOut);
    const std::string tail =
        "kestrune-cli: " + port + ": the device went away\nDownload.....Read time out !\n";
    ASSERT_GE(cli.err.size(), tail.size());
    EXPECT_EQ(cli.err.substr(cli.err.size() - tail.size()), tail) << cli.err;
    EXPECT_EQ(target->Wait(kGenerous), kTargetIncomplete) << target->Out();
}

// A stop, and the signals that end the program, leave the port's line
// settings as they were (here: a cooked terminal, as the user's own would be)
// and the port released: not exclusive, and the next open succeeds. SIGPIPE
// comes from a JSON reader that went away (`| head`) as the board answers.
TEST_F(Download, LineSettingsComeBackAndThePortIsReleasedWhenStoppedOrEnded) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT's default action would write one
    const std::pair<int, int> cases[] = {{SIGINT, kExitUserStop},
                                         {SIGTERM, 128 + SIGTERM},
                                         {SIGHUP, 128 + SIGHUP},
                                         {SIGQUIT, 128 + SIGQUIT},
                                         {SIGPIPE, 128 + SIGPIPE}};
    for (const auto& [signal, exitCode] : cases) {
        SilentLine line;
        const int slave = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        termios cooked{};
        ASSERT_EQ(tcgetattr(slave, &cooked), 0);
        cooked.c_lflag |= ICANON | ECHO | ISIG;
        ASSERT_EQ(tcsetattr(slave, TCSANOW, &cooked), 0);
        auto isRaw = [&] {
            termios now{};
            return tcgetattr(slave, &now) == 0 && (now.c_lflag & (ICANON | ECHO)) == 0;
        };
        {
            ChildProcess cli(Cli({"download", "--json", "--port", line.SlavePath(), kSampleBin}));
            for (int i = 0; i < 1200 && !isRaw(); ++i) std::this_thread::sleep_for(50ms);
            ASSERT_TRUE(isRaw());
            std::optional<int> code;
            if (signal == SIGPIPE) {
                cli.CloseOutput();
                for (int i = 0; i < 1200 && !(code = cli.Wait(50ms)); ++i)
                    line.Send({0xA5, 0x5A, 0x00});
            } else {
                cli.Signal(signal);
                code = cli.Wait(kGenerous);
            }
            EXPECT_EQ(code, exitCode) << signal;
        }
        termios after{};
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_EQ(after.c_lflag, cooked.c_lflag) << signal;
        int exclusive = 1;
        ASSERT_EQ(ioctl(slave, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << signal;
        EXPECT_NE(OpenSerialPort(line.SlavePath()), nullptr) << signal;
        close(slave);
    }
}

TEST_F(Download, RejectedHeaderAndBlockEachHaveTheirOutcome) {
    struct Case {
        std::vector<std::string> fault;
        int cliExit;
        const char* message;
        int targetExit;
    };
    const Case cases[] = {
        {{"--nak-header"}, kExitDeviceError, "Download.....Error !\n", kTargetHeaderRejected},
        {{"--nak-block", "2"},
         kExitProgramError,
         "Download.....Program Error !\n",
         kTargetBlockRejected},
    };
    for (const Case& c : cases) {
        auto target = StartTarget(c.fault);
        RunResult cli = RunDownload(kSampleBin);
        EXPECT_EQ(cli.exitCode, c.cliExit) << c.fault[0];
        EXPECT_NE(cli.err.find(c.message), std::string::npos) << cli.err;
        EXPECT_EQ(cli.out, "");
        EXPECT_EQ(target->Wait(kGenerous), c.targetExit) << target->Out();
    }
}

// The target's verdict after the end frame: the outcome line comes after it.
TEST_F(Download, TheTargetsVerdictDecidesTheOutcomeAndTheEfficiencyLineSaysIt) {
    struct Case {
        std::vector<std::string> target;
        int cliExit;
        std::string out, errEnd;
        int targetExit;
    };
    const Case cases[] = {
        {{},
         kExitOk,
         "Download.....Success !\n",
         ", verified by the target (crc32)\n",
         kTargetImageOk},
        {{"--verdict", "sum"},
         kExitOk,
         "Download.....Success !\n",
         ", verified by the target (its 16-bit sum only)\n",
         kTargetImageOk},
        // The flash's CRC-32 is not the image's: the host rejects, the board keeps it from
        // starting.
        {{"--flash-differs"},
         kExitVerifyError,
         "",
         "\nDownload.....Verify Error !\nkestrune-cli: " + std::string("PORT") +
             ": the flash differs from the image (CRC-32 ",
         kTargetRejected},
        {{"--no-verdict"},
         kExitOk,
         "Download.....Success !\n",
         "baud, not verified by the target\n",
         kTargetImageOk},
        {{"--corrupt-block", "3"},
         kExitVerifyError,
         "",
         "\nDownload.....Verify Error !\n",
         kTargetImageWrong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errEnd);
        auto target = StartTarget(c.target);
        RunResult cli = RunDownload(kSampleBin);
        EXPECT_EQ(cli.exitCode, c.cliExit) << cli.err;
        EXPECT_EQ(cli.out, c.out);
        std::string errEnd = c.errEnd;
        if (const size_t at = errEnd.find("PORT"); at != std::string::npos) {
            // The reason names both CRCs: compare up to them.
            errEnd.replace(at, 4, port);
            EXPECT_NE(cli.err.find(errEnd), std::string::npos) << cli.err;
        } else {
            ASSERT_GE(cli.err.size(), errEnd.size());
            EXPECT_EQ(cli.err.substr(cli.err.size() - errEnd.size()), errEnd) << cli.err;
        }
        EXPECT_EQ(cli.err.find("line rate") != std::string::npos, c.cliExit == kExitOk);
        EXPECT_EQ(target->Wait(kGenerous), c.targetExit) << target->Out();
    }
}

TEST_F(Download, ResetMidTransferFailsThatDownloadAndTheNextOneGoesThrough) {
    auto target = StartTarget({"--reset-after-block", "3", "--expect", kSampleBin});
    RunResult first = RunDownload(kSampleBin);
    EXPECT_EQ(first.exitCode, kExitProgramError);
    EXPECT_NE(first.err.find("Download.....Program Error !"), std::string::npos) << first.err;
    RunResult second = RunDownload(kSampleBin);
    EXPECT_EQ(second.exitCode, kExitOk) << second.err;
    EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();
}

// About 20 s: 1002 reads of 20 ms with no reply.
TEST_F(Download, SilentTargetEndsInReadTimeOut) {
    auto target = StartTarget({"--silent-after-block", "1"});
    RunResult cli = RunDownload(kSampleBin);
    EXPECT_EQ(cli.exitCode, kExitReadTimeOut);
    EXPECT_NE(cli.err.find("Download.....Read time out !"), std::string::npos) << cli.err;
    EXPECT_EQ(target->Wait(kGenerous), kTargetIncomplete) << target->Out();
}

// About 20 s: 1001 reads of 20 ms without a Ready frame.
TEST_F(Download, NoBootLoaderIsNotFindDevice) {
    SilentLine line;
    port = line.SlavePath();
    RunResult cli = RunDownload(kSampleBin);
    EXPECT_EQ(cli.exitCode, kExitNotFindDevice);
    EXPECT_NE(cli.err.find("Download.....Not find device !\nkestrune-cli: " + port +
                           ": no byte arrived: check that the board has power"),
              std::string::npos)
        << cli.err;
}

// What the line carried when no board answered: the same outcome, and a
// reason on the line below it, in the JSON outcome and in the log's row.
TEST_F(Download, NoAnswerSaysWhatTheLineCarried) {
    const struct {
        std::vector<std::string> board;
        std::string reason;
    } cases[] = {
        {{"--application", "Hello from the application"},
         "an application is running, not the boot loader: the board printed \"Hello from the "
         "application\\r\\nHello from t\"; reset it into its boot loader"},
        {{"--board-baud", "19200", "--baud", "115200"},
         "the line may be at another baud rate than the board's (they look like Ready frames "
         "sent at 19200 baud)"},
        {{"--board-baud", "2400", "--baud", "115200"}, "sent at 9600 baud or below)"},
        {{"--announce-code", "43"}, "the target sent Check failed (A5 5A 43) but no Ready frame"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> board = c.board;
        board.insert(board.end(), {"--ready-interval", "10"});
        auto target = StartTarget(board);
        // A pseudo-terminal has no modem lines: --reset warns and goes on.
        RunResult cli = RunDownload(kSampleBin, {"--reset", "dtr", "--log", Path("log.csv")});
        EXPECT_EQ(cli.exitCode, kExitNotFindDevice);
        EXPECT_NE(cli.err.find("--reset could not pulse the line (the port has no modem lines); "
                               "the download goes on"),
                  std::string::npos)
            << cli.err;
        const size_t outcome =
            cli.err.find("Download.....Not find device !\nkestrune-cli: " + port);
        EXPECT_NE(outcome, std::string::npos) << cli.err;
        EXPECT_NE(cli.err.find(c.reason, outcome), std::string::npos) << cli.err;
        const Bytes row = Load(Path("log.csv"));
        const std::string log(row.begin(), row.end());
        EXPECT_NE(log.find(c.reason.substr(0, 30)), std::string::npos) << log;
        target->Signal(SIGTERM);
        target->Wait(kGenerous);
    }
    auto target = StartTarget({"--application", "Hi", "--ready-interval", "10"});
    RunResult json = RunDownload(kSampleBin, {"--json"});
    EXPECT_NE(json.out.find("\"reason\":\"an application is running"), std::string::npos)
        << json.out;
}

TEST_F(Download, CtrlCStopsWhileWaitingAndWhileSending) {
    {
        SilentLine line;
        ChildProcess cli(Cli({"download", "--port", line.SlavePath(), kSampleBin}));
        ASSERT_TRUE(ErrorStreamShows(cli, "waiting for the boot loader"));
        cli.Signal(SIGINT);
        EXPECT_EQ(cli.Wait(kGenerous), kExitUserStop);
        EXPECT_NE(cli.Err().find("Download.....User stop !"), std::string::npos) << cli.Err();
    }
    {
        // 8 KiB at 1200 baud takes over a minute: a stop once the header is out lands mid-transfer.
        auto target = StartTarget({"--baud", "1200"});
        ChildProcess cli(Cli({"download", "--port", port, "--baud", "1200", kSampleBin}));
        ASSERT_TRUE(ErrorStreamShows(cli, "progress: [")) << cli.Err();
        cli.Signal(SIGINT);
        EXPECT_EQ(cli.Wait(kGenerous), kExitUserStop);
        EXPECT_NE(cli.Err().find("Download.....User stop !"), std::string::npos) << cli.Err();
        EXPECT_EQ(target->Wait(kGenerous), kTargetIncomplete) << target->Out();
    }
}

TEST_F(Download, UnopenablePortsAndBadInputAreReported) {
    Save(Path("plain-file"), {1, 2, 3});
    SilentLine line;
    auto held = OpenSerialPort(line.SlavePath());
    ASSERT_NE(held, nullptr);
    const std::pair<std::string, std::string> ports[] = {
        {"/nonexistent/ttyUSB9", "No such file or directory"},
        {Path("plain-file"), "not a serial port"},
        {line.SlavePath(), "Device or resource busy"},
    };
    for (const auto& [name, reason] : ports) {
        RunResult cli = RunProgram(Cli({"download", "--port", name, kSampleBin}), kGenerous);
        EXPECT_EQ(cli.exitCode, kExitOpenPortError) << name;
        EXPECT_EQ(cli.err, "kestrune-cli: " + name + ": " + reason +
                               "\nDownload.....Open com port error !\n");
    }
    held.reset();

    RunResult missing =
        RunProgram(Cli({"download", "--port", line.SlavePath(), Path("missing.hex")}), kGenerous);
    EXPECT_EQ(missing.exitCode, kExitCannotOpen);
    EXPECT_EQ(missing.err, "kestrune-cli: " + Path("missing.hex") +
                               ": No such file or directory\nCan't open file !\n");

    // A damaged HEX file is refused before the port is touched.
    const std::string damaged = Path("damaged.hex");
    std::ofstream(damaged) << ":0100000001FE\n:0100010002FC\n:00000001FE\n";
    RunResult refused =
        RunProgram(Cli({"download", "--port", line.SlavePath(), damaged}), kGenerous);
    EXPECT_EQ(refused.exitCode, kExitDamaged);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "kestrune-cli: " + damaged + ": line 3: checksum mismatch\n");

    for (auto args : {std::vector<std::string>{"download", kSampleBin},
                      {"download", "--port", line.SlavePath()},
                      {"download", "--port", line.SlavePath(), "--baud", "1234", kSampleBin},
                      {"download", "--port", line.SlavePath(), "--bogus", kSampleBin},
                      {"download", "--port", line.SlavePath(), kSampleBin, kSampleHex}}) {
        RunResult bad = RunProgram(Cli(args), kGenerous);
        EXPECT_EQ(bad.exitCode, kExitUsage) << args.back();
        EXPECT_NE(bad.err.find("Usage: kestrune-cli download"), std::string::npos);
    }

    RunResult help = RunProgram(Cli({"download", "--help"}), kGenerous);
    EXPECT_EQ(help.exitCode, kExitOk);
    for (const char* text : {"Open com port error", "Not find device", "Program Error",
                             "Read time out", "User stop", "Verify Error", "Exit status"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST_F(Download, DrawsAProgressBarOnATerminal) {
    int terminal = -1, terminalSlave = -1;
    ASSERT_EQ(openpty(&terminal, &terminalSlave, nullptr, nullptr, nullptr), 0);
    auto target = StartTarget({"--baud", "115200"});
    std::string screen;
    {
        ChildProcess cli(Cli({"download", "--port", port, kSampleBin}), terminalSlave);
        close(terminalSlave);
        std::optional<int> code;
        while (!(code = cli.Wait(10ms))) {
            pollfd p{terminal, POLLIN, 0};
            char buffer[4096];
            if (poll(&p, 1, 50) > 0) {
                ssize_t n = read(terminal, buffer, sizeof buffer);
                if (n > 0) screen.append(buffer, size_t(n));
            }
        }
        EXPECT_EQ(*code, kExitOk);
        EXPECT_EQ(cli.Out(), "Download.....Success !\n");
    }
    char buffer[4096];
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
        screen.append(buffer, size_t(n));
    close(terminal);
    EXPECT_NE(screen.find("\r["), std::string::npos) << screen;  // redrawn in place
    EXPECT_NE(screen.find("[##############################] 100%  8192/8192 bytes"),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find("KiB/s"), std::string::npos) << screen;
    EXPECT_NE(screen.find("left"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("progress: "), std::string::npos)
        << "plain lines are for pipes and files";
    EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk);
}

// --origin cuts the image the target receives; a bad one is a usage error.
TEST_F(Download, OriginStartsTheImageSent) {
    std::ofstream(Path("fw.srec")) << "S30908000010010203FFD9\nS70508000010E2\n";
    Save(Path("expected.bin"), Bytes{1, 2, 3, 0xFF});
    auto target = StartTarget({"--expect", Path("expected.bin")});
    RunResult cli = RunDownload(Path("fw.srec"), {"--origin", "lowest"});
    EXPECT_EQ(cli.exitCode, kExitOk) << cli.err;
    EXPECT_EQ(target->Wait(kGenerous), kTargetImageOk) << target->Out();
    EXPECT_EQ(RunDownload(Path("fw.srec"), {"--origin", "low"}).exitCode, kExitUsage);
    // From 0 the data reach 128 MiB: over the limit given, refused before any port opens.
    const RunResult wide = RunDownload(Path("fw.srec"), {"--max-span", "1M"});
    EXPECT_EQ(wide.exitCode, kExitDamaged);
    EXPECT_NE(wide.err.find("the data reach from 0x00000000 to 0x08000013 (128 MiB)"),
              std::string::npos)
        << wide.err;
    EXPECT_EQ(RunDownload(Path("fw.srec"), {"--max-span", "1X"}).exitCode, kExitUsage);
}

}  // namespace
