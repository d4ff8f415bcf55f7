// CDownloaderApp: starts the program's one modal dialog. InitInstance
// returns false, so the process ends when the dialog closes.
#pragma once

#include <windows.h>

class CDownloaderApp {
public:
    virtual ~CDownloaderApp() = default;
    virtual BOOL InitInstance();
};
