// Drives the real dialog through one successful download for the README's
// screenshot (tools/screenshot.sh): loads a firmware file, downloads it into
// COM1, reports where the dialog is on the screen, and keeps it open until
// the picture has been taken.
//   app_screenshot_driver FIRMWARE STATE_FILE
// Writes "left top right bottom" of the dialog to STATE_FILE, then waits for
// STATE_FILE.done. Exit status 0 only after a successful download.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: app_screenshot_driver FIRMWARE STATE_FILE\n");
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    const std::wstring firmware = argv[1];
    const std::filesystem::path state = argv[2];
    DialogHarness ui;
    if (!ui.Started() || !ui.LoadFile(firmware)) {
        std::fprintf(stderr, "the firmware file did not load\n");
        return 1;
    }
    HWND ports = ui.Item(IDC_PORT);
    const LRESULT com1 = ::SendMessageW(ports, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(L"COM1"));
    if (com1 == CB_ERR) {
        std::fprintf(stderr, "COM1 is not listed\n");
        return 1;
    }
    ::SendMessageW(ports, CB_SETCURSEL, com1, 0);
    if (!ui.Click(IDC_DOWNLOAD) || !WaitFor([&] { return !ui.DownloadActive(); }, 180000)) {
        std::fprintf(stderr, "the download did not end\n");
        return 1;
    }
    if (ui.Message() != L"Download.....Success !") {
        std::fprintf(stderr, "the download failed\n");
        return 1;
    }

    RECT frame{};
    ::GetWindowRect(ui.Dialog(), &frame);
    {
        std::ofstream out(state);
        out << frame.left << ' ' << frame.top << ' ' << frame.right << ' ' << frame.bottom << '\n';
    }
    std::filesystem::path done = state;
    done += ".done";
    WaitFor([&] { return std::filesystem::exists(done); }, 120000);
    return ui.CloseWith(WM_COMMAND, IDCANCEL) ? 0 : 1;
}
