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
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(kSignals)]{};
std::atomic<int> interrupts{0};

// The first Ctrl+C asks for a stop. A second one, or a request to end, ends
// the program the usual way, after the open ports got their settings back.
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
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
#endif
}

StopOnCtrlC::~StopOnCtrlC() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
#endif
    stopCell = nullptr;
}
