#include "cli/StopOnCtrlC.h"

#include "isp/DownloadJob.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
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
struct sigaction previous {};

extern "C" void OnInterrupt(int) {
    if (stopCell) stopCell->store(STOP_REQUEST);
}
#endif

}  // namespace

StopOnCtrlC::StopOnCtrlC(std::atomic<uint8_t>& cell) {
    stopCell = &cell;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &previous);
#endif
}

StopOnCtrlC::~StopOnCtrlC() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    sigaction(SIGINT, &previous, nullptr);
#endif
    stopCell = nullptr;
}
