// Helpers for tests that drive a real hex edit control under Wine: a control
// with data in a parent window that records notifications, a 32-bit DIB
// section to paint into, and key state for Shift/Ctrl.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "hexedit/HexEditBase.h"
#include "tests/support/TestWindow.h"

namespace hexedit_test {

using test_support::CommandRecord;
using test_support::PumpMessages;
// The control's parent: it records the notifications the control sends.
using TestParent = test_support::TestWindow;

inline constexpr UINT kTestControlId = 1006;

// A multi-line control created by code inside a TestParent, with a client
// area of width x height (no border).
struct TestControl {
    explicit TestControl(int width = 400, int height = 240,
                         DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | HEXEDIT_STYLE_MULTILINE)
        : parent(width + 60, height + 80) {
        RECT rect{10, 10, 10 + width, 10 + height};
        created = edit.Create(nullptr, style, rect, parent.hwnd(), kTestControlId);
    }
    // Fills the control with `size` bytes 0, 1, 2, ... (mod 256).
    void SetCountingData(uint32_t size, bool repaint = true) {
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
        edit.SetData(bytes.data(), size, repaint);
    }
    HWND hwnd() const { return edit.GetSafeHwnd(); }

    TestParent parent;
    CHexEditBase edit;
    BOOL created = FALSE;
};

// A top-down 32-bit DIB section selected into its own memory DC.
class DibSection {
public:
    DibSection(int width, int height) : width(width), height(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = ::CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        previous = ::SelectObject(dc, bitmap);
    }
    ~DibSection() {
        ::SelectObject(dc, previous);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;

    HDC hdc() const { return dc; }
    int Width() const { return width; }
    int Height() const { return height; }
    // The pixel as a COLORREF (0x00BBGGRR).
    COLORREF Pixel(int x, int y) const {
        ::GdiFlush();
        uint32_t p = pixels[static_cast<size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    void Fill(COLORREF colour) {
        ::GdiFlush();
        uint32_t p = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) pixels[i] = p;
    }

private:
    int width;
    int height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* pixels = nullptr;
};

// Holds virtual keys down for GetKeyState of this thread while it lives.
class ScopedKeys {
public:
    explicit ScopedKeys(std::initializer_list<int> keys) : keys(keys) { Set(0x80); }
    ~ScopedKeys() { Set(0); }
    ScopedKeys(const ScopedKeys&) = delete;
    ScopedKeys& operator=(const ScopedKeys&) = delete;

private:
    void Set(BYTE value) {
        BYTE state[256];
        ::GetKeyboardState(state);
        for (int key : keys) state[key] = value;
        ::SetKeyboardState(state);
    }
    std::vector<int> keys;
};

// True when the window has a non-empty update region.
inline bool HasUpdateRegion(HWND window) {
    RECT rect{};
    return ::GetUpdateRect(window, &rect, FALSE) != FALSE;
}

}  // namespace hexedit_test
