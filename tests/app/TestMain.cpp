// The dialog tests need the common controls as the program initialises them.
// Run with --hold-port COMn, the program is the other process a test needs.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "isp/port/PortName.h"

int main(int argc, char** argv) {
    // Another program for the tests: holds the port open (no sharing) until
    // it is ended, for at most two minutes.
    if (argc == 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        HANDLE port =
            ::CreateFileA(DevicePathForPort(argv[2]).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE) return 1;
        if (HANDLE held = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"KestruneTestPortHeld"))
            ::SetEvent(held);
        ::Sleep(120000);
        return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
