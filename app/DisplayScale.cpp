#include "app/DisplayScale.h"

namespace {

// Looked up by name: none of these exists on Windows 7.
template <class Function>
Function UserFunction(const char* name) {
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user, name)))
                : nullptr;
}

using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, which older headers lack.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

UINT SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return kDefaultDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

void EnsureDpiAwareness() {
    if (::IsProcessDPIAware()) return;
    if (auto setContext =
            UserFunction<SetProcessDpiAwarenessContextFn>("SetProcessDpiAwarenessContext"))
        if (setContext(kPerMonitorAwareV2)) return;
    ::SetProcessDPIAware();
}

UINT WindowDpi(HWND window) {
    if (auto forWindow = UserFunction<GetDpiForWindowFn>("GetDpiForWindow"))
        if (const UINT dpi = forWindow(window)) return dpi;
    return SystemDpi();
}

HFONT CreateScaledFixedFont(UINT dpi) {
    if (dpi == kDefaultDpi || dpi == 0) return nullptr;
    HDC screen = ::GetDC(nullptr);
    if (!screen) return nullptr;
    // The stock font is a bitmap font of one size; a scalable face keeps the
    // glyphs sharp at any multiple of its cell.
    TEXTMETRICW stock{};
    HGDIOBJ old = ::SelectObject(screen, ::GetStockObject(ANSI_FIXED_FONT));
    const int stockCell =
        ::GetTextMetricsW(screen, &stock) && stock.tmHeight > 0 ? stock.tmHeight : 12;
    ::SelectObject(screen, old);
    const int cell = ::MulDiv(stockCell, static_cast<int>(dpi), kDefaultDpi);

    LOGFONTW scaled{};
    scaled.lfWeight = FW_NORMAL;
    scaled.lfCharSet = ANSI_CHARSET;
    scaled.lfOutPrecision = OUT_TT_PRECIS;
    scaled.lfQuality = CLEARTYPE_QUALITY;
    scaled.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(scaled.lfFaceName, L"Courier New", LF_FACESIZE);

    HFONT font = nullptr;
    // An outline font rounds its cell to whole pixels per em, which can come
    // out a pixel short: the first height whose cell is at least the scaled
    // stock cell is taken.
    for (int tries = 0; tries < 4 && !font; ++tries) {
        scaled.lfHeight = cell + tries;
        HFONT candidate = ::CreateFontIndirectW(&scaled);
        if (!candidate) break;
        old = ::SelectObject(screen, candidate);
        TEXTMETRICW metrics{};
        const bool measured = ::GetTextMetricsW(screen, &metrics) != 0;
        ::SelectObject(screen, old);
        // The mapper may still have chosen a proportional face: refused, the
        // control's columns need one advance for every character
        // (TMPF_FIXED_PITCH set means a variable pitch).
        if (!measured || (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH)) {
            ::DeleteObject(candidate);
            break;
        }
        if (metrics.tmHeight >= cell)
            font = candidate;
        else
            ::DeleteObject(candidate);
    }
    ::ReleaseDC(nullptr, screen);
    return font;
}
