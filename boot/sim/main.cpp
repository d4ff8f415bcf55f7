// kestrune-avrsim: runs a boot loader's ELF file on a simulated ATmega328P
// at 16 MHz, with UART0 on a pseudo-terminal and self-programming as strict
// as the silicon. A test tool: it links simavr (GPL-3.0) and is never packaged.
#include <poll.h>
#include <signal.h>
#include <sim_avr.h>
#include <sim_cycle_timers.h>
#include <sim_io.h>
#include <time.h>

#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "boot/sim/ChipMemory.h"
#include "boot/sim/PacedUart.h"
#include "boot/sim/SimOptions.h"
#include "boot/sim/StrictFlash.h"
#include "target/Pseudoterminal.h"
#include "target/Trace.h"

namespace {

constexpr uint32_t kFrequency = 16000000;
constexpr uint32_t kRwwEnd = 0x7000;  // the last 4 KiB are the no-read-while-write section
// Simulated cycles between two looks at the terminal, signals and the clock.
constexpr avr_cycle_count_t kServiceFree = 3200, kServiceRealTime = 800;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t resetRequested = 0;

void OnStop(int) {
    stopRequested = 1;
}
void OnReset(int) {
    resetRequested = 1;
}

void CatchSignals() {
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnReset;
    sigaction(SIGUSR1, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// Sleeping is simulated time passing; the main loop keeps the pace.
void NoSleep(avr_t*, avr_cycle_count_t) {}

// Every reset of the chip (ours or its watchdog's) passes through here.
// simavr starts its cycle count again at a reset; the watch keeps the time
// that went before, so that simulated time never runs backwards.
struct ResetWatch {
    avr_io_t io{};
    StrictFlash* flash = nullptr;
    PacedUart* uart = nullptr;
    bool seen = false;
    avr_cycle_count_t cycleAtReset = 0;
    avr_cycle_count_t earlier = 0;  // cycles before the latest restart of the count

    static void OnReset(avr_io_t* io) {
        auto* self = reinterpret_cast<ResetWatch*>(io);
        self->flash->Reset();
        self->uart->Reset();
        self->seen = true;
        self->cycleAtReset = io->avr->cycle;
    }
    // After the reset has finished: did the count start again?
    void Settle(avr_t* avr) {
        if (avr->cycle < cycleAtReset) earlier += cycleAtReset;
        seen = false;
    }
    avr_cycle_count_t Cycles(const avr_t* avr) const { return earlier + avr->cycle; }
};

// The CPU stands still while the flash it runs from is programmed; time and timers go on.
void StandStill(avr_t* avr, avr_cycle_count_t until) {
    while (avr->cycle < until) {
        const avr_cycle_count_t next = avr_cycle_timer_process(avr);
        avr->cycle += std::max<avr_cycle_count_t>(1, std::min(next, until - avr->cycle));
    }
}

// simavr's own messages go to the error stream (standard output carries the
// terminal's path), and only its errors.
void QuietLogger(avr_t*, const int level, const char* format, va_list arguments) {
    if (level <= LOG_ERROR) std::vfprintf(stderr, format, arguments);
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// simavr keeps its chip and the firmware it read until the process ends.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libsimavr.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
    std::string error;
    const auto options = ParseSimOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "%s%s%s", error.c_str(), error.empty() ? "" : "\n", kSimUsage);
        return 2;
    }
    CatchSignals();
    avr_global_logger_set(QuietLogger);

    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    if (avr == nullptr || avr_init(avr) != 0) {
        std::fprintf(stderr, "simavr has no ATmega328P\n");
        return 1;
    }
    avr->log = LOG_ERROR;
    std::string loadError;
    const auto bootStart = LoadMemories(avr, *options, loadError);
    if (!bootStart) {
        std::fprintf(stderr, "%s\n", loadError.c_str());
        return 1;
    }
    avr->frequency = kFrequency;
    // The BOOTRST fuse: reset starts the boot section, which simavr does not know.
    avr->reset_pc = *bootStart;
    avr->pc = *bootStart;
    avr->sleep = NoSleep;

    std::string ptyError;
    auto terminal = Pseudoterminal::Open(ptyError);
    if (!terminal) {
        std::fprintf(stderr, "%s\n", ptyError.c_str());
        return 1;
    }
    std::unique_ptr<SymbolicLink> link;
    if (!options->link.empty() &&
        !(link = SymbolicLink::Create(options->link, terminal->SlavePath(), ptyError))) {
        std::fprintf(stderr, "%s\n", ptyError.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<Trace> trace;
    if (!options->trace.empty() && !(trace = Trace::Create(options->trace, start))) {
        std::fprintf(stderr, "cannot create %s\n", options->trace.c_str());
        return 1;
    }
    std::FILE* txLog = nullptr;
    if (!options->txLog.empty() && (txLog = std::fopen(options->txLog.c_str(), "wb")) == nullptr) {
        std::fprintf(stderr, "cannot create %s\n", options->txLog.c_str());
        return 1;
    }

    StrictFlash flash;
    ResetWatch watch;
    PacedUart uart;
    if (!flash.Attach(avr, *bootStart, kRwwEnd) ||
        !uart.Attach(avr, terminal->Master(), options->hostBaud, trace.get(), txLog, [&] {
            return start + std::chrono::nanoseconds(watch.Cycles(avr) * 1000000000ull / kFrequency);
        })) {
        std::fprintf(stderr, "simavr's ATmega328P lacks self-programming or UART0\n");
        return 1;
    }
    uart.CorruptByte(options->corruptByte);
    watch.io.kind = "kestrune-reset-watch";
    watch.io.reset = ResetWatch::OnReset;
    watch.flash = &flash;
    watch.uart = &uart;
    avr_register_io(avr, &watch.io);

    std::printf("pty %s\n", terminal->SlavePath().c_str());
    std::fflush(stdout);

    const avr_cycle_count_t serviceEvery = options->realTime ? kServiceRealTime : kServiceFree;
    avr_cycle_count_t nextService = 0;
    double worstLag = 0;  // real time: how far the simulation fell behind the wall clock
    bool running = true;
    bool crashed = false;  // e.g. an application that is no program: not the harness's fault
    while (!stopRequested) {
        if (running) {
            if (flash.HaltedUntil() > avr->cycle) StandStill(avr, flash.HaltedUntil());
            flash.CheckInstruction();
            const int state = avr_run(avr);
            if (state == cpu_Crashed) crashed = true;
            if (state == cpu_Done || state == cpu_Crashed) {
                running = false;  // stays put until a reset
                std::fprintf(stderr, "chip %s at pc 0x%04X\n", crashed ? "crashed" : "stopped",
                             static_cast<unsigned>(avr->pc));
            }
            if (avr->cycle < nextService && !watch.seen) continue;
        } else {
            // A stopped chip's time does not pass; only the terminal is looked after.
            timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
        if (watch.seen) watch.Settle(avr);
        nextService = avr->cycle + serviceEvery;
        uart.Service();
        const double wall = Seconds(std::chrono::steady_clock::now() - start);
        if (options->timeout > 0 && wall >= options->timeout) {
            std::fprintf(stderr, "run ended after its time-out of %g s\n", options->timeout);
            break;
        }
        if (resetRequested) {
            resetRequested = 0;
            avr_reset(avr);
            watch.Settle(avr);
            avr_regbit_set(avr, avr->reset_flags.extrf);  // as the reset pin leaves it
            avr->pc = avr->reset_pc;
            avr->state = cpu_Running;
            running = true;
            nextService = avr->cycle + serviceEvery;
        }
        if (options->realTime && running) {
            const double ahead = static_cast<double>(watch.Cycles(avr)) / kFrequency - wall;
            if (ahead > 0) {
                // Wait for the clock, or less when the host writes: its bytes go on the line at
                // once.
                timespec pause{0, static_cast<long>(ahead * 1e9)};
                pollfd line{terminal->Master(), POLLIN, 0};
                if (ppoll(&line, 1, &pause, nullptr) > 0) {
                    if (line.revents & POLLIN)
                        uart.Service();
                    else  // nobody holds the line's other end: only the clock to wait for
                        nanosleep(&pause, nullptr);
                }
            } else if (-ahead > worstLag) {
                worstLag = -ahead;
            }
        }
    }
    uart.Service();

    int status = SaveMemories(avr, *options) ? 0 : 1;
    if (txLog) std::fclose(txLog);
    if (trace) trace->Flush();
    std::fprintf(stderr,
                 "simulated %.3f s in %.3f s; flash faults %u; received bytes lost %lu; "
                 "worst lag behind real time %.1f ms\n",
                 static_cast<double>(watch.Cycles(avr)) / kFrequency,
                 Seconds(std::chrono::steady_clock::now() - start), flash.Faults(), uart.Lost(),
                 worstLag * 1e3);
    if (status == 0 && flash.Faults() > 0) status = 3;
    if (status == 0 && uart.Lost() > 0) status = 4;
    if (status == 0 && crashed) status = 5;
    return status;
}
