// CAboutDlg: the About box (template IDD_ABOUT), opened from the system menu.
#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner = nullptr);
};
