// The display scale the dialog runs at, on every Windows from 7 on.
//
// Per-monitor awareness comes from the manifest where the system knows it.
// Functions newer than Windows 7 are looked up at run time, never imported,
// so the program still starts there; without them the scale is the
// system-wide one (96 DPI is 100%).
#pragma once

#include <windows.h>

inline constexpr UINT kDefaultDpi = 96;

// Makes the process DPI aware when the manifest did not: per monitor where
// the system offers it, otherwise system wide. Call before any window exists.
void EnsureDpiAwareness();

// The DPI `window` is shown at (its monitor's with per-monitor awareness);
// the system-wide DPI when the system cannot tell per window.
UINT WindowDpi(HWND window);

// The code buffer's font at `dpi`: null at 96 DPI, where the control keeps
// the stock fixed font; otherwise a new fixed-pitch font whose cell is the
// stock font's scaled by dpi / 96 (the caller deletes it). Null when no such
// font can be made.
HFONT CreateScaledFixedFont(UINT dpi);
