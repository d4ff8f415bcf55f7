// Process entry: the one application object runs the dialog and the
// process ends when InitInstance returns.
#include "app/DownloaderApp.h"
#include "framework/ResourceException.h"

namespace {
CDownloaderApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        if (theApp.InitInstance()) return 1;
    } catch (const CResourceException&) {
        // The code buffer could not get its font or window class: there is
        // no dialog to show, so the program ends.
        return 2;
    }
    return 0;
}
