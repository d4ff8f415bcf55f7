#include "app/DownloaderApp.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "app/DownloaderDlg.h"

BOOL CDownloaderApp::InitInstance() {
    // The version 6 common controls (selected by the manifest) need this
    // before the first dialog that holds one, here the progress bar.
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    CDownloaderDlg dialog;
    dialog.DoModal();
    return FALSE;
}
