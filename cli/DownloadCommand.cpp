// kestrune-cli download --port NAME [--baud RATE] FILE: the dialog's Download
// from a terminal. Loads FILE as `info` does, opens and sets up the port as the
// dialog's worker does, runs the boot-loader exchange and prints "Download"
// with the outcome's message on one line, e.g. "Download.....Success !".
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/DownloadProgress.h"
#include "cli/ExitCodes.h"
#include "cli/StopOnCtrlC.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "isp/DownloadJob.h"
#include "isp/LinkProtocol.h"

namespace {

constexpr const char* kHelp =
    "Usage: kestrune-cli download --port NAME [--baud RATE] FILE\n"
    "\n"
    "Downloads FILE into the boot loader on the serial port NAME, as the\n"
    "dialog's Download button does. FILE is loaded as `kestrune-cli info`\n"
    "loads it (Intel HEX when its extension is HEX, otherwise raw binary).\n"
    "The port is set to RATE baud, 8 data bits, no parity, one stop bit;\n"
    "the target must announce itself (Ready) within about 20 s.\n"
    "\n"
    "Options:\n"
    "  --port NAME   Windows: COM1, COM12, ... ; Linux and macOS: the device,\n"
    "                e.g. /dev/ttyUSB0 (see `kestrune-cli ports`)\n"
    "  --baud RATE   1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600 or\n"
    "                115200 (the default)\n"
    "  -h, --help    show this help\n"
    "\n"
    "Progress goes to the error stream: a bar on a terminal, otherwise a line\n"
    "at every tenth. The result is one line, \"Download\" and the outcome:\n"
    "on standard output for success, on the error stream otherwise.\n"
    "Ctrl+C stops the download like the dialog's Stop button (within 20 ms\n"
    "while waiting for a reply); on Linux and macOS a second Ctrl+C ends the\n"
    "program at once.\n"
    "\n"
    "Exit status:\n"
    "  0   Download.....Success !\n"
    "  2   Can't open file !  (FILE cannot be opened or read)\n"
    "  3   not enough memory for FILE\n"
    "  5   Download.....Open com port error !  (absent, busy or not a port)\n"
    "  6   Download.....Not find device !  (no Ready frame within ~20 s)\n"
    "  7   Download.....Error !  (the target rejected the header)\n"
    "  8   Download.....Program Error !  (the target rejected a block)\n"
    "  9   Download.....Read time out !  (no reply to the header or a block)\n"
    "  10  Download.....User stop !  (Ctrl+C)\n"
    "  64  bad command line\n";

constexpr uint32_t kBaudRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

struct DownloadOptions {
    std::string port;
    uint32_t baudRate = 115200;
    std::string file;
    bool help = false;
};

std::optional<std::string> ParseOptions(const CommandArgs& args, DownloadOptions& options) {
    std::optional<std::string> port, baud, file;
    bool files = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string>* valueOf = nullptr;
        if (!files && arg == "--") {
            files = true;
            continue;
        }
        if (!files && (arg == "-h" || arg == "--help")) {
            options.help = true;
            continue;
        }
        for (auto [name, target] : {std::pair{"--port", &port}, std::pair{"--baud", &baud}}) {
            const std::string withEquals = std::string(name) + "=";
            if (files) break;
            if (arg == name) {
                if (i + 1 == args.size()) return std::string(name) + " needs a value";
                *target = args[++i];
                valueOf = target;
            } else if (arg.rfind(withEquals, 0) == 0) {
                *target = arg.substr(withEquals.size());
                valueOf = target;
            }
        }
        if (valueOf) continue;
        if (!files && arg.size() > 1 && arg[0] == '-') return "unknown option " + arg;
        if (file) return "only one FILE, got another: " + arg;
        file = arg;
    }
    if (options.help) return std::nullopt;
    if (!port || port->empty()) return std::string("--port NAME is missing");
    if (!file) return std::string("FILE is missing");
    if (baud) {
        const auto rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                       [&](uint32_t r) { return std::to_string(r) == *baud; });
        if (rate == std::end(kBaudRates)) return "unsupported baud rate " + *baud;
        options.baudRate = *rate;
    }
    options.port = *port;
    options.file = *file;
    return std::nullopt;
}

int ExitCodeFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success: return kExitOk;
        case Outcome::NotFindDevice: return kExitNotFindDevice;
        case Outcome::Error: return kExitDeviceError;
        case Outcome::ProgramError: return kExitProgramError;
        case Outcome::ReadTimeOut: return kExitReadTimeOut;
        case Outcome::UserStop: return kExitUserStop;
    }
    return kExitDeviceError;
}

// Passes everything through, tells when the header goes out (the boot loader
// has answered) and counts the image bytes written after it.
class WatchedPort : public SerialPort {
public:
    WatchedPort(SerialPort& port, std::function<void()> onHeader)
        : port(port), onHeader(std::move(onHeader)) {}

    void Configure(uint32_t baudRate) override { port.Configure(baudRate); }
    ReadResult ReadByte(uint8_t& byte) override { return port.ReadByte(byte); }
    void Purge() override { port.Purge(); }
    bool Write(const uint8_t* bytes, size_t count) override {
        if (writes++ == 0)
            onHeader();
        else
            blockBytes += count;
        return port.Write(bytes, count);
    }

    uint64_t blockBytes = 0;

private:
    SerialPort& port;
    std::function<void()> onHeader;
    uint32_t writes = 0;
};

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
    if (const int status = LoadFirmwareArgument(options.file, image, err); status != kExitOk) {
        return status;
    }
    if (image.size() > std::numeric_limits<uint32_t>::max()) {
        // The header carries a 32-bit length; a larger image cannot be described to the target.
        err << "Not enough memory for the file !\n";
        return kExitOutOfMemory;
    }

    DownloadJob job;
    job.length = static_cast<uint32_t>(image.size());
    job.checksum = ImageChecksum(image.data(), image.size());
    job.baudRate = options.baudRate;
    job.port = OpenSerialPort(options.port);
    if (!job.port) {
        err << "Download.....Open com port error !\n";
        return kExitOpenPortError;
    }
    job.port->Configure(job.baudRate);

    std::atomic<uint8_t>& cell = *job.progress;
    DownloadProgress progress(err, isatty(fileno(stderr)) != 0, job.length);
    WatchedPort port(*job.port, [&progress] { progress.Started(); });
    std::string message;
    ExchangeHooks hooks;
    hooks.stopRequested = [&cell] { return cell.load() == STOP_REQUEST; };
    hooks.progress = [&](uint8_t percent) {
        // A Ctrl+C that lands while a block's reply arrives must not be lost:
        // unlike a button, nothing on screen shows that it has to be pressed again.
        uint8_t current = cell.load();
        while (current != STOP_REQUEST && !cell.compare_exchange_weak(current, percent)) {
        }
        progress.Update(static_cast<uint32_t>(port.blockBytes));
    };
    hooks.message = [&message](const char* text) { message = text; };

    progress.Waiting(options.port, job.baudRate);
    Outcome outcome;
    {
        StopOnCtrlC stopOnCtrlC(cell);
        outcome = RunExchange(port, image.data(), job.length, job.startAddress, job.checksum, hooks);
    }
    progress.Finish();
    job.port.reset();

    (outcome == Outcome::Success ? out : err) << "Download" << message << "\n" << std::flush;
    return ExitCodeFor(outcome);
}
