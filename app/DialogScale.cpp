// The dialog at display scales other than 100%: the template scales with the
// dialog font, as Windows scales every dialog; the code buffer's fixed font
// is scaled here, at start-up and whenever the window moves to a monitor of
// another scale.
#include <windows.h>

#include "app/DisplayScale.h"
#include "app/DownloaderDlg.h"

void CDownloaderDlg::ScaleCodeBufferFont(UINT dpi) {
    HFONT scaled = CreateScaledFixedFont(dpi);
    // The control keeps its own copy of a font it is given, and the stock
    // font itself; either way this one can go at once.
    HGDIOBJ font = scaled ? scaled : ::GetStockObject(ANSI_FIXED_FONT);
    codeBuffer.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (scaled) ::DeleteObject(scaled);
}

void CDownloaderDlg::OnDpiChanged(UINT dpi, const RECT* suggested) {
    // Default processing first: with per-monitor (v2) awareness the dialog
    // manager rescales the template's controls and fonts there.
    Default();
    if (suggested)
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    ScaleCodeBufferFont(dpi);
}
