// kestrune-cli download --port NAME [--port NAME...] [--baud RATE] FILE: the
// dialog's Download from a terminal, on one port or on several at once, once
// or board after board (--repeat). Loads FILE as `info` does, runs each port
// on its own thread (cli/PortRun.h) and reports through the displays, the
// JSON events and the log, which all observe the ports.
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <thread>

#include "cli/Arguments.h"
#include "cli/BoardLog.h"
#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "cli/GangDisplay.h"
#include "cli/JsonEvents.h"
#include "cli/PortRun.h"
#include "cli/SerialCounter.h"
#include "cli/SingleDisplay.h"
#include "cli/StopOnCtrlC.h"
#include "image/FirmwareFile.h"
#include "image/ImageChecksum.h"
#include "isp/DownloadJob.h"

namespace {

constexpr const char* kHelp =
    "Usage: kestrune-cli download --port NAME [--port NAME...] [--baud RATE]\n"
    "                             [--repeat [--gap MS]] [--log FILE] [--json]\n"
    "                             [--serial ADDR --serial-file COUNTER\n"
    "                              [--serial-format FORMAT] [--serial-start N]]\n"
    "                             [--reset dtr|rts|dtr+rts|none [--reset-ms N]\n"
    "                              [--reset-invert]]\n"
    "                             [--monitor [SECONDS] [--monitor-baud RATE]\n"
    "                              [--expect TEXT]]\n"
    "                             [--origin ADDR|lowest] [--max-span SIZE] FILE\n"
    "\n"
    "Downloads FILE into the boot loader on the serial port NAME, as the\n"
    "dialog's Download button does. FILE is loaded as `kestrune-cli info`\n"
    "loads it (the extension chooses Intel HEX, S-record, ELF or raw binary).\n"
    "The port is set to RATE baud, 8 data bits, no parity, one stop bit;\n"
    "the target must announce itself (Ready) within about 20 s.\n"
    "\n"
    "Options:\n"
    "  --port NAME   Windows: COM1, COM12, ... ; Linux: the device,\n"
    "                e.g. /dev/ttyUSB0 (see `kestrune-cli ports`)\n"
    "                Give --port again to download into several ports at once,\n"
    "                each on its own; one slow or failing board delays none.\n"
    "  --baud RATE   1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600 or\n"
    "                115200 (the default)\n"
    "  --repeat      board after board: when a download ends, whatever its\n"
    "                outcome, wait (with no time limit) for the next board,\n"
    "                until Ctrl+C. Boards are numbered per port.\n"
    "  --gap MS      --repeat: a new board is the first Ready frame after the\n"
    "                line was quiet for MS milliseconds (default 500), so a\n"
    "                board that keeps announcing is not flashed twice. After\n"
    "                10 s of announcing with no pause the port's line says so;\n"
    "                such a board counts as not flashed. A port whose device\n"
    "                goes away between boards ends; the others go on.\n"
    "  --log FILE    append one CSV row per board to FILE (a header row when\n"
    "                it is new): time,port,board,file,size,checksum,outcome,\n"
    "                exit,seconds,bytes_per_s,serial\n"
    "  --json        JSON Lines on standard output instead of the human output:\n"
    "                events ready, header, progress and outcome (with\n"
    "                verified: true or false), each with port and board; and\n"
    "                stuck, port_problem, log_problem; with --serial the\n"
    "                header and outcome carry serial\n"
    "  --serial ADDR give every board its own serial number: written into\n"
    "                that board's copy of the image at byte ADDR (decimal or\n"
    "                0x hex) just before its header, which carries the\n"
    "                checksum of the stamped copy\n"
    "  --serial-file COUNTER  the file holding the next number (one line of\n"
    "                decimal text). A number is recorded there as used, under\n"
    "                a lock and flushed to the disk, before its board's header\n"
    "                goes out: a failed board keeps its number, and no number\n"
    "                is given twice, by any kestrune-cli sharing the file\n"
    "  --serial-format FORMAT  u32le (default), u32be, u16le, u16be, u64le, or\n"
    "                dec:N / hex:N for N zero-padded ASCII digits\n"
    "  --serial-start N  the first number when COUNTER does not exist yet\n"
    "                (it is created); an existing COUNTER is left as it is\n"
    "  --origin ADDR the image starts at ADDR (decimal or 0x hex) instead of 0,\n"
    "                or at the lowest address written with `lowest` (as for\n"
    "                `info`); the target still places it at its offset 0\n"
    "  --max-span SIZE  the data may reach SIZE bytes from the image's first\n"
    "                address (K, M, G suffixes; default 256M, at most 4G)\n"
    "  --reset LINES pulse the modem line(s) dtr, rts or dtr+rts once the port\n"
    "                is open, before the Ready wait (none: leave them, the\n"
    "                default): boards with an auto-reset circuit (Arduino Uno\n"
    "                and Nano: DTR; an STM32 board with RTS wired to NRST)\n"
    "                restart into their boot loader. A port without modem\n"
    "                lines gets a warning and the download goes on\n"
    "  --reset-ms N  the pulse's length (default 50 ms)\n"
    "  --reset-invert  for boards wired the other way: the line is cleared\n"
    "                for the pulse, then asserted\n"
    "  --monitor [SECONDS]  after a success keep the port open and print what\n"
    "                the board sends (non-printable bytes escaped), for SECONDS\n"
    "                or until Ctrl+C; not with --repeat. A number right after\n"
    "                --monitor is SECONDS (name a file \"3\" as ./3)\n"
    "  --monitor-baud RATE  monitor at RATE instead of the download's rate\n"
    "  --expect TEXT end the monitor as soon as the board has printed TEXT\n"
    "                (exit 0); exit 14 when it has not by the end\n"
    "  -h, --help    show this help\n"
    "\n"
    "Progress goes to the error stream: a bar on a terminal, otherwise a line\n"
    "at every tenth. The result is one line, \"Download\" and the outcome:\n"
    "on standard output for success, on the error stream otherwise. A success\n"
    "adds the efficiency on the error stream: bytes, seconds, rate, the\n"
    "share of the line rate (every byte both ways at 10 bits) it reached, and\n"
    "whether the target verified the image (a boot loader that checks the\n"
    "image answers the end frame with its verdict; the wait for it is at\n"
    "most about 200 ms, and the outcome line follows it).\n"
    "With several ports or --repeat each port has a live line on a terminal\n"
    "(else lines prefixed with the port), outcome lines are prefixed with the\n"
    "port (and board), and a summary ends: \"3 of 4 boards succeeded\".\n"
    "Ctrl+C stops every port like the dialog's Stop button (within 20 ms\n"
    "while waiting for a reply); on Linux a second Ctrl+C ends the program\n"
    "at once.\n"
    "\n"
    "Exit status (several ports: 0 when every port succeeded, otherwise the\n"
    "status of the first port, in command-line order, that did not):\n"
    "  0   Download.....Success !\n"
    "  2   Can't open file !  (FILE cannot be opened or read)\n"
    "  3   not enough memory for FILE (\"Not enough memory for the file !\"), or\n"
    "      FILE is over 4 GiB\n"
    "  4   the --log FILE cannot be written (a row that fails is shown at\n"
    "      once; then no port takes a further board), or the serial number\n"
    "      COUNTER cannot be read, written or locked (no board is sent\n"
    "      without its recorded number; a line says why)\n"
    "  5   Download.....Open com port error !  (absent, busy, not a port, or\n"
    "      a setting refused; the line before it says why)\n"
    "  6   Download.....Not find device !  (no Ready frame within ~20 s; a line\n"
    "      after it says what the line carried: nothing, an application's\n"
    "      text, bytes at another baud rate, or other frames)\n"
    "  7   Download.....Error !  (the target rejected the header)\n"
    "  8   Download.....Program Error !  (the target rejected a block)\n"
    "  9   Download.....Read time out !  (no reply to the header or a block)\n"
    "  6, 9  also when the device went away (unplugged): a line says so\n"
    "  10  Download.....User stop !  (Ctrl+C)\n"
    "  11  FILE is damaged (\"kestrune-cli: FILE: line N: REASON\"), has data\n"
    "      below --origin or wider than --max-span: nothing is sent\n"
    "  12  --repeat: a board that announced did not succeed or was left\n"
    "      unflashed (0: every one did; 5: a port did not open)\n"
    "  13  Download.....Verify Error !  (every block was acknowledged, but\n"
    "      the target's check of the image it received failed)\n"
    "  14  --expect: the board did not print what was expected\n"
    "  64  bad command line; or the serial number does not fit in the image,\n"
    "      or the next number does not fit its format\n";

constexpr uint32_t kBaudRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

constexpr uint32_t kMaxGapMs = 3'600'000;

struct DownloadOptions {
    std::vector<std::string> ports;
    uint32_t baudRate = 115200;
    std::string file;
    bool repeat = false;
    uint32_t gapMs = 500;
    std::optional<std::string> logPath;
    ImageOrigin origin;
    bool json = false;
    bool help = false;
    std::optional<uint32_t> serialOffset;
    std::optional<std::string> serialFile;
    std::string serialFormatName = "u32le";
    SerialFormat serialFormat;
    std::optional<uint64_t> serialStart;
    ResetPulse reset;
    MonitorSettings monitor;
};

// A whole unsigned number: decimal, or (`hexAllowed`) hexadecimal after 0x.
template <typename Number>
std::optional<Number> ParseNumber(const std::string& text, bool hexAllowed) {
    const bool hex =
        hexAllowed && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    Number number{};
    const auto [end, error] = std::from_chars(first, last, number, hex ? 16 : 10);
    if (first == last || error != std::errc() || end != last) return std::nullopt;
    return number;
}

std::optional<std::string> ParseSerialOptions(const std::optional<std::string>& offset,
                                              const std::optional<std::string>& format,
                                              const std::optional<std::string>& start,
                                              DownloadOptions& options) {
    if (!offset) {
        if (options.serialFile || format || start)
            return std::string("--serial-file, --serial-format and --serial-start need --serial");
        return std::nullopt;
    }
    options.serialOffset = ParseNumber<uint32_t>(*offset, true);
    if (!options.serialOffset) return "bad --serial " + *offset + " (a byte offset in the image)";
    if (!options.serialFile || options.serialFile->empty())
        return std::string("--serial needs --serial-file COUNTER");
    if (format) {
        const std::optional<SerialFormat> parsed = ParseSerialFormat(*format);
        if (!parsed)
            return "unknown --serial-format " + *format +
                   " (u32le, u32be, u16le, u16be, u64le, dec:1..20, hex:1..16)";
        options.serialFormat = *parsed;
        options.serialFormatName = *format;
    }
    if (start) {
        options.serialStart = ParseNumber<uint64_t>(*start, false);
        if (!options.serialStart) return "bad --serial-start " + *start + " (a decimal number)";
    }
    return std::nullopt;
}

// --reset, --reset-ms, --monitor, --monitor-baud and --expect: the board on the bench.
std::optional<std::string> ParseBenchOptions(const std::optional<std::string>& reset,
                                             const std::optional<std::string>& resetMs,
                                             const std::optional<std::string>& monitorSeconds,
                                             const std::optional<std::string>& monitorBaud,
                                             DownloadOptions& options) {
    if (reset) {
        const auto lines = ParseResetLines(*reset);
        if (!lines) return "unknown --reset " + *reset + " (dtr, rts, dtr+rts or none)";
        options.reset.lines = *lines;
    }
    if (resetMs) {
        const auto ms = ParseNumber<uint32_t>(*resetMs, false);
        if (!ms || *ms == 0 || *ms > 10'000) return "bad --reset-ms " + *resetMs + " (1 to 10000)";
        options.reset.ms = *ms;
    }
    if ((resetMs || options.reset.inverted) && !reset)
        return std::string("--reset-ms and --reset-invert need --reset");
    if (monitorSeconds) {
        const auto seconds = ParseNumber<uint32_t>(*monitorSeconds, false);
        if (!seconds || *seconds == 0) return "bad --monitor " + *monitorSeconds + " (seconds)";
        options.monitor.seconds = *seconds;
    }
    if (monitorBaud) {
        const auto rate = ParseNumber<uint32_t>(*monitorBaud, false);
        if (!rate ||
            std::find(std::begin(kBaudRates), std::end(kBaudRates), *rate) == std::end(kBaudRates))
            return "unsupported --monitor-baud " + *monitorBaud;
        options.monitor.baudRate = *rate;
    }
    if ((monitorBaud || options.monitor.expect) && !options.monitor.enabled)
        return std::string("--monitor-baud and --expect need --monitor");
    if (options.monitor.expect && options.monitor.expect->empty())
        return std::string("--expect TEXT is empty");
    if (options.monitor.enabled && options.repeat)
        return std::string("--monitor cannot be given with --repeat");
    return std::nullopt;
}

std::optional<std::string> ParseOptions(const CommandArgs& args, DownloadOptions& options) {
    std::optional<std::string> baud, gap, file, origin, maxSpan, serial, serialFormat, serialStart;
    std::optional<std::string> reset, resetMs, monitorSeconds, monitorBaud;
    bool files = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!files && arg == "--") {
            files = true;
            continue;
        }
        if (!files && (arg == "--monitor" || arg.rfind("--monitor=", 0) == 0)) {
            // SECONDS is optional: the next argument counts as it when it is a number.
            options.monitor.enabled = true;
            if (arg != "--monitor")
                monitorSeconds = arg.substr(10);
            else if (i + 1 < args.size() && !args[i + 1].empty() &&
                     args[i + 1].find_first_not_of("0123456789") == std::string::npos)
                monitorSeconds = args[++i];
            continue;
        }
        if (!files) {
            bool* flag = arg == "-h" || arg == "--help" ? &options.help
                         : arg == "--repeat"            ? &options.repeat
                         : arg == "--json"              ? &options.json
                         : arg == "--reset-invert"      ? &options.reset.inverted
                                                        : nullptr;
            if (flag) {
                *flag = true;
                continue;
            }
        }
        std::optional<std::string> value;
        std::string name;
        for (const char* option : {"--port", "--baud", "--gap", "--log", "--origin", "--max-span",
                                   "--serial", "--serial-file", "--serial-format", "--serial-start",
                                   "--reset", "--reset-ms", "--monitor-baud", "--expect"}) {
            const std::string withEquals = std::string(option) + "=";
            if (files) break;
            if (arg == option) {
                if (i + 1 == args.size()) return std::string(option) + " needs a value";
                value = args[++i];
                name = option;
            } else if (arg.rfind(withEquals, 0) == 0) {
                value = arg.substr(withEquals.size());
                name = option;
            }
        }
        if (name == "--port") {
            if (value->empty()) return std::string("--port NAME is empty");
            if (std::find(options.ports.begin(), options.ports.end(), *value) !=
                options.ports.end())
                return "--port " + *value + " is given twice";
            options.ports.push_back(*value);
            continue;
        }
        if (name == "--baud") baud = value;
        if (name == "--gap") gap = value;
        if (name == "--log") options.logPath = value;
        if (name == "--serial") serial = value;
        if (name == "--serial-file") options.serialFile = value;
        if (name == "--serial-format") serialFormat = value;
        if (name == "--serial-start") serialStart = value;
        if (name == "--origin") origin = value;
        if (name == "--reset") reset = value;
        if (name == "--reset-ms") resetMs = value;
        if (name == "--monitor-baud") monitorBaud = value;
        if (name == "--expect") options.monitor.expect = value;
        if (name == "--max-span") maxSpan = value;
        if (value) continue;
        if (!files && arg.size() > 1 && arg[0] == '-') return "unknown option " + arg;
        if (file) return "only one FILE, got another: " + arg;
        file = arg;
    }
    if (options.help) return std::nullopt;
    if (options.ports.empty()) return std::string("--port NAME is missing");
    if (!file) return std::string("FILE is missing");
    if (baud) {
        const auto rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                       [&](uint32_t r) { return std::to_string(r) == *baud; });
        if (rate == std::end(kBaudRates)) return "unsupported baud rate " + *baud;
        options.baudRate = *rate;
    }
    if (gap) {
        const char* end = gap->data() + gap->size();
        const auto [at, error] = std::from_chars(gap->data(), end, options.gapMs);
        if (gap->empty() || error != std::errc() || at != end || options.gapMs > kMaxGapMs)
            return "bad --gap " + *gap + " (milliseconds, 0 to 3600000)";
        if (!options.repeat) return std::string("--gap needs --repeat");
    }
    if (options.logPath && options.logPath->empty()) return std::string("--log FILE is empty");
    if (auto problem = ParseSerialOptions(serial, serialFormat, serialStart, options))
        return problem;
    if (origin) {
        const auto parsed = ParseOrigin(*origin);
        if (!parsed) return "bad --origin " + *origin + " (an address below 4 GiB, or lowest)";
        options.origin = *parsed;
    }
    if (maxSpan) {
        const auto parsed = ParseSpan(*maxSpan);
        if (!parsed) return "bad --max-span " + *maxSpan + kSpanHint;
        options.origin.maxSpan = *parsed;
    }
    if (auto problem = ParseBenchOptions(reset, resetMs, monitorSeconds, monitorBaud, options))
        return problem;
    options.file = *file;
    return std::nullopt;
}

// The exit status of the whole run from each port's, in command-line order.
int OverallStatus(const std::vector<PortResult>& results, bool repeat) {
    for (const PortResult& result : results)
        if (!repeat || result.status == kExitOpenPortError)
            if (result.status != kExitOk) return result.status;
    for (const PortResult& result : results)
        if (result.status != kExitOk) return result.status;
    return kExitOk;
}

}  // namespace

int RunDownloadCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    DownloadOptions options;
    if (const auto problem = ParseOptions(args, options)) {
        err << "kestrune-cli download: " << *problem << "\n"
            << "Usage: kestrune-cli download --port NAME [--baud RATE] FILE  (--help for more)\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kHelp;
        return kExitOk;
    }

    std::vector<uint8_t> image;
    if (const int status = LoadFirmwareArgument(options.file, image, err, nullptr, options.origin);
        status != kExitOk) {
        return status;
    }
    if (image.size() > std::numeric_limits<uint32_t>::max()) {
        // The header carries a 32-bit length; a larger image cannot be described to the target.
        err << "Not enough memory for the file !\n";
        return kExitOutOfMemory;
    }
    const auto length = static_cast<uint32_t>(image.size());

    PortWork work;
    work.image = &image;
    work.checksum = ImageChecksum(image.data(), image.size());
    work.baudRate = options.baudRate;
    work.repeat = options.repeat;
    work.quietReads = (options.gapMs + kReadTimeoutMs - 1) / kReadTimeoutMs;
    work.reset = options.reset;
    work.monitor = options.monitor;

    std::unique_ptr<SerialCounter> serials;
    if (options.serialOffset) {
        const SerialFormat& format = options.serialFormat;
        if (*options.serialOffset > length || length - *options.serialOffset < format.Size()) {
            char where[160];
            std::snprintf(where, sizeof where,
                          "the serial number (%u bytes, %s) at 0x%X does not fit in the "
                          "%u-byte image",
                          format.Size(), options.serialFormatName.c_str(), *options.serialOffset,
                          length);
            err << "kestrune-cli download: " << where << "\n";
            return kExitUsage;
        }
        serials =
            std::make_unique<SerialCounter>(PathFromArgument(*options.serialFile),
                                            *options.serialFile, format, options.serialFormatName);
        if (const auto problem = serials->Prepare(options.serialStart)) {
            err << problem->reason << "\n";
            return problem->exitCode;
        }
        work.serials = serials.get();
        work.serialFormat = format;
        work.serialOffset = *options.serialOffset;
    }

    ObserverList observers;
    std::atomic<bool> takeNoMore{false};
    work.takeNoMore = &takeNoMore;
    std::unique_ptr<BoardLog> log;
    if (options.logPath) {
        log = BoardLog::Open(*options.logPath, options.file, length, work.checksum);
        if (!log) {
            err << "kestrune-cli download: cannot write the log " << *options.logPath << "\n";
            return kExitCannotWrite;
        }
        log->ReportTo(observers, takeNoMore);
        observers.Add(*log);
    }
    const bool terminal = isatty(fileno(stderr)) != 0;
    // Serial numbers are shown in the port-prefixed lines, even on one port.
    const bool gang = options.ports.size() > 1 || options.repeat || serials;
    std::unique_ptr<PortObserver> display;
    if (options.json) {
        display = std::make_unique<JsonEvents>(out, err, options.ports, length, work.checksum);
    } else if (gang) {
        display = std::make_unique<GangDisplay>(out, err, terminal, options.ports, length,
                                                options.baudRate, options.repeat);
    } else {
        display = std::make_unique<SingleDisplay>(out, err, terminal, length, options.ports[0],
                                                  options.baudRate);
    }
    observers.Add(*display);

    std::atomic<uint8_t> stopAll{0};
    std::vector<PortResult> results(options.ports.size());
    {
        StopOnCtrlC stopOnCtrlC(stopAll);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < options.ports.size(); ++i) {
            threads.emplace_back(
                [&, i] { results[i] = RunPort(i, options.ports[i], work, stopAll, observers); });
        }
        for (std::thread& thread : threads) thread.join();
    }

    if (!options.json && gang) static_cast<GangDisplay&>(*display).Summary();
    int status = OverallStatus(results, options.repeat);
    for (const PortResult& result : results) {
        if (result.counterProblem) {  // each port told it as it stopped
            status = result.counterProblem->exitCode;
            break;
        }
    }
    // Each row that failed was reported as it failed; a log that is
    // incomplete outweighs the boards' outcomes, which were shown.
    if (log && log->WriteFailed()) return kExitCannotWrite;
    return status;
}
