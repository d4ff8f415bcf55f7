#include "cli/StopOnCtrlC.h"

#include "isp/DownloadJob.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <iterator>

#include "isp/port/SerialPortPosix.h"
#endif

namespace {

// A lock-free atomic store is safe in a signal handler and in the console
// control thread Windows starts for Ctrl+C.
std::atomic<uint8_t>* stopCell = nullptr;
static_assert(std::atomic<uint8_t>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && stopCell) {
        stopCell->store(STOP_REQUEST);
        return TRUE;
    }
    return FALSE;
}
#else
// Every signal whose default action ends the program while a port may be
// open: SIGPIPE comes from a write to a reader that went away
// (`download --json | head`), SIGQUIT from Ctrl+\.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
struct sigaction previous[std::size(kSignals)]{};
bool caught[std::size(kSignals)]{};
std::atomic<int> interrupts{0};

// The first Ctrl+C asks for a stop. A second one, or any other of the
// signals, ends the program the usual way (the default action, so the parent
// sees the signal) after the open ports got their settings back and were
// released. Only async-signal-safe calls here.
extern "C" void OnSignal(int signal) {
    if (signal == SIGINT && interrupts.fetch_add(1) == 0) {
        if (stopCell) stopCell->store(STOP_REQUEST);
        return;
    }
    RestoreSerialLinesNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

StopOnCtrlC::StopOnCtrlC(std::atomic<uint8_t>& cell) {
    stopCell = &cell;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    interrupts = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], nullptr, &previous[i]);
        // A pipe whose end was ignored by the caller stays ignored: writes
        // then fail instead of ending the program.
        caught[i] = !(kSignals[i] == SIGPIPE && previous[i].sa_handler == SIG_IGN);
        if (caught[i]) sigaction(kSignals[i], &action, nullptr);
    }
#endif
}

StopOnCtrlC::~StopOnCtrlC() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (caught[i]) sigaction(kSignals[i], &previous[i], nullptr);
#endif
    stopCell = nullptr;
}
