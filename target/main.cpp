// kestrune-target: a simulated boot loader on a pseudo-terminal. See --help.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "KestruneVersion.h"
#include "image/FirmwareFile.h"
#include "target/BootLoader.h"
#include "target/ExitCodes.h"
#include "target/Pseudoterminal.h"
#include "target/PtyLine.h"
#include "target/TargetOptions.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    stopSignal = signal;
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: blocking calls return and the loop sees the flag
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int Fail(int code, const std::string& message) {
    std::cerr << "kestrune-target: " << message << '\n';
    return code;
}

// --out for board `board` of `boards`: FILE itself for one board, else FILE-K
// with K before the extension.
std::string OutPath(const std::string& path, uint32_t board, uint32_t boards) {
    if (boards == 1) return path;
    const std::filesystem::path name(path);
    return (name.parent_path() /
            (name.stem().string() + "-" + std::to_string(board) + name.extension().string()))
        .string();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    ParsedOptions parsed = ParseTargetOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) return Fail(kTargetUsage, parsed.error + " (see --help)");
    const TargetOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(TargetHelpText(), stdout);
        return kTargetImageOk;
    }
    if (options.version) {
        std::puts("kestrune-target " KESTRUNE_VERSION);
        return kTargetImageOk;
    }

    std::vector<uint8_t> expected;
    if (!options.expectPath.empty() &&
        LoadFirmwareFile(options.expectPath, expected).status != LoadStatus::Ok)
        return Fail(kTargetSystem, "cannot read the --expect file " + options.expectPath);

#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);  // pacing sleeps end on time, not up to 50 us late
#endif
    CatchStopSignals();
    const auto start = TargetLine::Clock::now();

    std::string error;
    std::unique_ptr<Pseudoterminal> pty = Pseudoterminal::Open(error);
    if (!pty) return Fail(kTargetSystem, error);
    std::unique_ptr<SymbolicLink> link;
    if (!options.linkPath.empty() &&
        !(link = SymbolicLink::Create(options.linkPath, pty->SlavePath(), error)))
        return Fail(kTargetSystem, error);
    std::unique_ptr<Trace> trace;
    if (!options.tracePath.empty() && !(trace = Trace::Create(options.tracePath, start)))
        return Fail(kTargetSystem, "cannot create the trace file " + options.tracePath);

    std::printf("%s\n", pty->SlavePath().c_str());
    std::fflush(stdout);

    PtyLine line(*pty, options.baud, trace.get(), stopSignal);
    BootLoader loader(line, options, options.expectPath.empty() ? nullptr : &expected);
    std::optional<TargetLine::TimePoint> giveUpAt;
    if (options.timeoutSec > 0) giveUpAt = start + std::chrono::seconds(options.timeoutSec);
    int status = kTargetImageOk;
    uint32_t boardsOk = 0;
    for (uint32_t board = 1; board <= options.boards; ++board) {
        const bool last = board == options.boards;
        Verdict verdict = loader.Run(giveUpAt, last);
        if (verdict.exitCode == kTargetSignalBase) verdict.exitCode += stopSignal;
        const std::string label = options.boards > 1 ? "board " + std::to_string(board) + ": " : "";
        std::printf("kestrune-target: %s%s\n", label.c_str(), verdict.text.c_str());
        std::fflush(stdout);
        if (!options.outPath.empty() && loader.TransferStarted() &&
            !WriteFile(OutPath(options.outPath, board, options.boards), loader.Received()))
            return Fail(kTargetSystem,
                        "cannot write " + OutPath(options.outPath, board, options.boards));
        if (verdict.exitCode == kTargetImageOk) ++boardsOk;
        if (status == kTargetImageOk) status = verdict.exitCode;
        if (verdict.exitCode == kTargetTimeout || verdict.exitCode > kTargetSignalBase) {
            status = verdict.exitCode;
            break;
        }
        if (loader.HungUp()) break;  // an unplugged line brings no further board
        if (!last) {
            // The board is pulled: what the host sends meanwhile reaches nobody.
            if (!line.Pause(line.Now() + std::chrono::milliseconds(options.swapGapMs))) {
                status = kTargetSignalBase + stopSignal;
                break;
            }
            line.Drain();
        }
    }
    line.Drain();
    if (trace) trace->Flush();
    if (options.boards > 1) {
        std::printf("kestrune-target: %u of %u boards OK\n", boardsOk, options.boards);
        std::fflush(stdout);
    }
    return status;
}
