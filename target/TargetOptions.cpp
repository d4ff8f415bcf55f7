#include "target/TargetOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace {

bool ParseNumber(const std::string& text, uint32_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

ParsedOptions ParseTargetOptions(const std::vector<std::string>& args) {
    TargetOptions opts;
    using Setter = std::function<bool(const std::string&)>;
    auto number = [](uint32_t& field, uint32_t min, uint32_t max) {
        return Setter([&field, min, max](const std::string& v) {
            uint32_t n = 0;
            if (!ParseNumber(v, n) || n < min || n > max) return false;
            field = n;
            return true;
        });
    };
    auto at = [](std::optional<uint32_t>& field) {
        return Setter([&field](const std::string& v) {
            uint32_t n = 0;
            if (!ParseNumber(v, n)) return false;
            field = n;
            return true;
        });
    };
    auto text = [](std::string& field) {
        return Setter([&field](const std::string& v) {
            field = v;
            return !v.empty();
        });
    };
    const std::map<std::string, Setter> withValue = {
        {"--link", text(opts.linkPath)},
        {"--out", text(opts.outPath)},
        {"--expect", text(opts.expectPath)},
        {"--trace", text(opts.tracePath)},
        {"--ready-interval", number(opts.readyIntervalMs, 0, 3'600'000)},
        {"--noise", number(opts.noise, 0, 65536)},
        {"--reply-delay", number(opts.replyDelayMs, 0, 3'600'000)},
        {"--baud", number(opts.baud, 0, 4'000'000)},
        {"--timeout", number(opts.timeoutSec, 0, 86400 * 365)},
        {"--boards", number(opts.boards, 1, 1'000'000)},
        {"--swap-gap", number(opts.swapGapMs, 0, 3'600'000)},
        {"--nak-block", at(opts.nakAt)},
        {"--silent-after-block", at(opts.silentAt)},
        {"--short-reply", at(opts.shortReplyAt)},
        {"--reset-after-block", at(opts.resetAt)},
        {"--hangup-after-block", at(opts.hangUpAt)},
        {"--corrupt-block", at(opts.corruptAt)},
        {"--application", text(opts.application)},
        {"--veto", number(opts.vetoMs, 0, 60'000)},
        {"--verdict", Setter([&opts](const std::string& v) {
             opts.verdictSum = v == "sum";
             return v == "sum" || v == "crc";
         })},
        {"--board-baud", number(opts.boardBaud, 300, 4'000'000)},
        {"--announce-code", Setter([&opts](const std::string& v) {
             uint32_t code = 0;
             const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), code, 16);
             if (v.empty() || ec != std::errc() || end != v.data() + v.size() || code > 0xFF ||
                 code == 0)
                 return false;
             opts.announceCode = code;
             return true;
         })},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            opts.help = true;
            continue;
        }
        if (name == "--version") {
            opts.version = true;
            continue;
        }
        if (name == "--no-verdict") {
            if (value) return {std::nullopt, "--no-verdict takes no value"};
            opts.noVerdict = true;
            continue;
        }
        if (name == "--flash-differs") {
            if (value) return {std::nullopt, "--flash-differs takes no value"};
            opts.flashDiffers = true;
            continue;
        }
        if (name == "--nak-header") {
            if (value) return {std::nullopt, "--nak-header takes no value"};
            opts.nakAt = 0;
            continue;
        }
        auto it = withValue.find(name);
        if (it == withValue.end()) return {std::nullopt, "unknown option " + name};
        if (!value) {
            if (i + 1 >= args.size()) return {std::nullopt, name + " needs a value"};
            value = args[++i];
        }
        if (!it->second(*value)) return {std::nullopt, "bad value for " + name + ": " + *value};
    }
    if (opts.corruptAt == 0u) return {std::nullopt, "--corrupt-block counts blocks from 1"};
    // Unpaced, back-to-back frames would fill the terminal faster than any host reads.
    if (opts.readyIntervalMs == 0 && opts.baud == 0)
        return {std::nullopt, "--ready-interval 0 needs --baud"};
    if (opts.boardBaud && opts.baud == 0) return {std::nullopt, "--board-baud needs --baud"};
    if (int(!opts.application.empty()) + int(opts.boardBaud != 0) +
            int(opts.announceCode.has_value()) >
        1)
        return {std::nullopt, "--application, --board-baud and --announce-code exclude each other"};
    return {opts, {}};
}

const char* TargetHelpText() {
    return R"(Usage: kestrune-target [OPTIONS]

A simulated serial boot loader on a pseudo-terminal. The first line on
standard output is the path of the terminal's slave side (e.g. /dev/pts/3);
point a downloader at it. The target sends the Ready frame A5 5A 00
periodically until a header 5A A5 80 <start:4> <length:4> <checksum:2> 00 00
arrives, acknowledges it with A5 5A 41, takes the image in blocks of at most
128 bytes and acknowledges each, and on the end frame 5A A5 88 checks the
image, tells the host its verdict (A5 5A 56 when the image is right, A5 5A 43
when it is not), prints one verdict line on standard output, then exits. A header
with another command, non-zero trailing bytes or a length over 64 MiB is
answered A5 5A 42. Hosts may open and close the terminal as often as they
like while no download runs; once a header has been answered, the host
closing the terminal ends the run.

Options:
  --link PATH              make PATH a symbolic link to the terminal (an
                           existing link there is replaced, any other file
                           is left alone and the target fails); removed at exit
  --out FILE               write the received image to FILE
  --expect FILE            the image must equal FILE, loaded as kestrune-cli
                           info loads it (Intel HEX when the name ends in .hex,
                           otherwise raw binary)
  --trace FILE             log every byte in each direction, one per line:
                           seconds since start, "out" (target to host) or
                           "in" (host to target), the byte in hex
  --ready-interval MS      time between Ready frames (default 100); 0 sends
                           them back to back until the header's first byte
                           arrives (needs --baud), about a millisecond of
                           frames at a time with a sleep in between; no
                           Ready frames while no host has the terminal open
  --baud N                 pace the line as N baud: every byte costs 10 bit
                           times in each direction (default: no pacing)
  --timeout SEC            give up after SEC seconds (default: never)
  --boards N               play N boards in a row (default 1): after each
                           board's end (its image judged, or the host gave up
                           or left) the line is silent for the swap gap, then
                           the next board announces itself. With more boards
                           to come, a board whose reply fault fired ends at
                           once instead of waiting for the host to leave.
                           Each board's verdict line starts "board K:";
                           --out FILE becomes FILE-K before the extension
                           (received.bin: received-1.bin, received-2.bin...)
  --swap-gap MS            silence between two boards (default 1000)
  --help                   show this text
  --version                show the version

Fault injection. N counts blocks from 1; 0 means the header. Each reply
fault fires once per run, so the download after a reset goes through.
  --noise N                send N bytes other than A5 before every frame
  --reply-delay MS         wait MS before each reply to the header or a block
  --nak-header             answer the header with A5 5A 42 (same as --nak-block 0)
  --nak-block N            answer block N with A5 5A 42
  --silent-after-block N   send no reply to block N
  --short-reply N          answer block N with only A5 5A
  --reset-after-block N    after block N restart: send Ready again instead of
                           the reply and wait for a new header
  --hangup-after-block N   after block N close the terminal instead of the
                           reply, as an unplugged adapter does, and exit 6:
                           no further board follows, whatever --boards says
  --corrupt-block N        flip the lowest bit of the first byte of block N
                           (from 1) as it arrives, as line noise would: the
                           block is acknowledged, the image judged wrong
  --no-verdict             send nothing after the end frame, as a boot loader
                           that knows no verdict does
  --verdict crc|sum        crc (the default): the verdict frame is followed by
                           the CRC-32 of the image received (big-endian), and
                           a Verified image counts only when no reject
                           5A A5 8F follows within the veto time; sum: the
                           verdict frame alone, as older boot loaders send it
  --veto MS                the veto time (default 250)
  --flash-differs          follow Verified with a CRC-32 that is not the
                           image's, as a flash that differs from what
                           arrived would give

A board that does not answer: instead of each Ready frame it sends
  --application TEXT       TEXT and CR LF, as a running application prints
                           (\n in TEXT is a line break)
  --board-baud RATE        the Ready frame as a port at --baud reads it when
                           the board sends it at RATE (needs --baud)
  --announce-code HEX      the frame A5 5A HEX, a frame other than Ready

Exit status (with --boards: 0 when every board's image was right, otherwise
the status of the first board that was not; a signal or --timeout ends the
run with its own status):
  0  a complete image arrived, its length and checksum match the header
     (and the --expect file)
  1  the transfer ended but the image is wrong: checksum differs from the
     header, it differs from the --expect file, or a bad end frame
  2  bad command line
  3  system error: pseudo-terminal, --link, --out, --trace or --expect file
  4  the header was rejected (bad header or --nak-header) and the host left
  5  a block was rejected (--nak-block) and the host left
  6  the host left before the transfer was complete
  8  the image arrived whole, but the host rejected it after the verdict
  7  --timeout expired
  128+S  ended by signal S (SIGINT, SIGTERM, SIGHUP)
)";
}
