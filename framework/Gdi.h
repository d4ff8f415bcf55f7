// Small RAII types over GDI: each owns exactly one handle or one selection
// and gives it back in its destructor, except the non-owning handles.
#pragma once

#include <windows.h>

#include <utility>

// One GDI object of kind H (HFONT, HBRUSH, HBITMAP, HRGN). As in WTL, the
// plain name owns its object and deletes it (CFont); the "Handle" name only
// refers to one that lives elsewhere, a stock object for example, and never
// deletes it (CFontHandle).
template <class H, bool Owns>
class CGdiObjectT {
public:
    CGdiObjectT() = default;
    explicit CGdiObjectT(H handle) : handle(handle) {}
    ~CGdiObjectT() { reset(); }
    CGdiObjectT(CGdiObjectT&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    CGdiObjectT& operator=(CGdiObjectT&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle, nullptr));
        return *this;
    }
    CGdiObjectT(const CGdiObjectT&) = delete;
    CGdiObjectT& operator=(const CGdiObjectT&) = delete;

    H get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset(H replacement = nullptr) {
        if (Owns && handle) ::DeleteObject(handle);
        handle = replacement;
    }
    H release() { return std::exchange(handle, nullptr); }

private:
    H handle = nullptr;
};

using CFont = CGdiObjectT<HFONT, true>;
using CBrush = CGdiObjectT<HBRUSH, true>;
using CBitmap = CGdiObjectT<HBITMAP, true>;
using CRgn = CGdiObjectT<HRGN, true>;
using CFontHandle = CGdiObjectT<HFONT, false>;

// A font slot that holds either a borrowed font (a stock object) or one it
// owns; only an owned font is deleted.
class CFontSlot {
public:
    HFONT GetSafeHandle() const { return owned ? owned.get() : borrowed.get(); }
    explicit operator bool() const { return GetSafeHandle() != nullptr; }
    bool IsOwned() const { return static_cast<bool>(owned); }
    void SetBorrowed(HFONT font) {
        owned.reset();
        borrowed.reset(font);
    }
    void SetOwned(HFONT font) {
        owned.reset(font);
        borrowed.reset();
    }
    // Deletes an owned font, forgets a borrowed one.
    void DeleteObject() { SetBorrowed(nullptr); }

private:
    CFont owned;
    CFontHandle borrowed;
};

// Selects an object into a DC and selects the previous one back on exit.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object)
        : dc(dc), previous(object ? ::SelectObject(dc, object) : nullptr) {}
    ~CSelectObject() {
        if (previous && previous != HGDI_ERROR) ::SelectObject(dc, previous);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC dc;
    HGDIOBJ previous;
};

// BeginPaint/EndPaint for one WM_PAINT.
class CPaintDC {
public:
    explicit CPaintDC(HWND window) : window(window), dc(::BeginPaint(window, &ps)) {}
    ~CPaintDC() { ::EndPaint(window, &ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return dc; }
    operator HDC() const { return dc; }
    const PAINTSTRUCT& Paint() const { return ps; }

private:
    HWND window;
    PAINTSTRUCT ps{};
    HDC dc;
};

// GetDC/ReleaseDC of a window's client area.
class CClientDC {
public:
    explicit CClientDC(HWND window) : window(window), dc(::GetDC(window)) {}
    ~CClientDC() {
        if (dc) ::ReleaseDC(window, dc);
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    HDC GetSafeHdc() const { return dc; }
    operator HDC() const { return dc; }

private:
    HWND window;
    HDC dc;
};

// An off-screen DC compatible with `reference`, with a compatible bitmap of
// width x height selected into it. IsValid() is false when either could not
// be created; drawing into an invalid one is harmless and shows nothing.
class CMemoryDC {
public:
    CMemoryDC(HDC reference, int width, int height)
        : dc(::CreateCompatibleDC(reference)),
          bitmap(dc ? ::CreateCompatibleBitmap(reference, width > 0 ? width : 1,
                                               height > 0 ? height : 1)
                    : nullptr),
          previous(dc && bitmap ? ::SelectObject(dc, bitmap.get()) : nullptr) {}
    ~CMemoryDC() {
        if (previous) ::SelectObject(dc, previous);
        bitmap.reset();
        if (dc) ::DeleteDC(dc);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;
    bool IsValid() const { return dc && bitmap && previous; }
    HDC GetSafeHdc() const { return dc; }
    operator HDC() const { return dc; }

private:
    HDC dc;
    CBitmap bitmap;
    HGDIOBJ previous;
};
