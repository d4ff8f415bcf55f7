#include "app/DownloaderApp.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <shellapi.h>

#include "app/DisplayScale.h"
#include "app/DownloaderDlg.h"

BOOL CDownloaderApp::InitInstance() {
    // The manifest asks for it; this covers a copy of the program without one.
    EnsureDpiAwareness();
    // The version 6 common controls (selected by the manifest) need this
    // before the first dialog that holds one, here the progress bar.
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    CDownloaderDlg dialog;
    // Kestrune.exe FILE loads FILE at start-up; further arguments are ignored.
    int count = 0;
    if (LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        if (count > 1 && args[1][0] != L'\0') dialog.SetStartFile(args[1]);
        ::LocalFree(args);
    }
    dialog.DoModal();
    return FALSE;
}
