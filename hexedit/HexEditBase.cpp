// The control object: construction, the data buffer, options and colours,
// and the notification to the parent.
#include "hexedit/HexEditBase.h"

#include <cstring>
#include <new>

#include "framework/ResourceException.h"

CHexEditBase::CHexEditBase() {
    inactiveSelectionTextColour = ::GetSysColor(COLOR_WINDOWTEXT);
    inactiveSelectionBackColour = ::GetSysColor(COLOR_BTNFACE);
    selectionTextColour = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    selectionBackColour = ::GetSysColor(COLOR_HIGHLIGHT);
    HFONT stock = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    if (!stock) throw CResourceException("no stock fixed font");
    font.SetBorrowed(stock);
    clipboardFormat = ::RegisterClipboardFormatW(L"BinaryData");
    RegisterWindowClasses();
    liveObjects.fetch_add(1);
}

std::atomic<long> CHexEditBase::liveObjects{0};

long CHexEditBase::GetLiveObjectCount() {
    return liveObjects.load();
}

CHexEditBase::~CHexEditBase() {
    liveObjects.fetch_sub(1);
    // Handlers that still run while the window goes see an empty control.
    data.reset();
    dataSize = 0;
    font.DeleteObject();
    if (IsWindow()) ::DestroyWindow(hwnd);
}

std::unique_ptr<CHexEditBase> CHexEditBase::CreateObject() {
    return std::make_unique<CHexEditBase>();
}

void CHexEditBase::Repaint() {
    if (IsWindow()) Invalidate(TRUE);
}

void CHexEditBase::LayoutChanged(bool repaint) {
    layoutDirty = true;
    if (!IsWindow()) return;
    SetCaret(caretPos, caretHighNibble);
    if (repaint) Invalidate(TRUE);
}

bool CHexEditBase::SetData(const uint8_t* source, uint32_t size, bool repaint) {
    // The copy is made before the old buffer goes, so a failed allocation
    // leaves the control exactly as it was.
    std::unique_ptr<uint8_t[]> copy;
    if (source) {
        copy.reset(new (std::nothrow) uint8_t[size]);
        if (!copy) return false;
        if (size) std::memcpy(copy.get(), source, size);
    }
    selectionAnchor = HEXEDIT_NONE;
    selectionStart = HEXEDIT_NONE;
    selectionEnd = HEXEDIT_NONE;
    data = std::move(copy);
    ownsData = data != nullptr;
    dataSize = data ? size : 0;
    layoutDirty = true;
    if (repaint) Repaint();
    SetCaret(0, true);
    return true;
}

uint32_t CHexEditBase::GetData(uint8_t* dest, uint32_t maxSize) const {
    if (!data) return 0;
    uint32_t count = maxSize < dataSize ? maxSize : dataSize;
    if (count && dest) std::memcpy(dest, data.get(), count);
    return dataSize;
}

void CHexEditBase::SetBytesPerLine(uint32_t count, bool autoFit, bool repaint) {
    if (count == bytesPerLineSetting && autoFit == autoBytesPerLine) return;
    bytesPerLineSetting = count;
    autoBytesPerLine = autoFit;
    LayoutChanged(repaint);
}

void CHexEditBase::SetAddressDigits(uint8_t digits, bool repaint) {
    addressDigits = digits;
    LayoutChanged(repaint);
}

void CHexEditBase::SetShowAddress(bool show, bool repaint) {
    if (show == showAddress) return;
    showAddress = show;
    LayoutChanged(repaint);
}

void CHexEditBase::SetShowAscii(bool show, bool repaint) {
    if (show == showAscii) return;
    showAscii = show;
    LayoutChanged(repaint);
}

void CHexEditBase::SetReadOnly(bool readOnlyNow, bool repaint) {
    readOnly = readOnlyNow;
    if (repaint) Repaint();
}

void CHexEditBase::SetAddressColours(COLORREF back, COLORREF text, bool repaint) {
    addressBackColour = back;
    addressTextColour = text;
    if (repaint) Repaint();
}

void CHexEditBase::SetAsciiColours(COLORREF back, COLORREF text, bool repaint) {
    asciiBackColour = back;
    asciiTextColour = text;
    if (repaint) Repaint();
}

void CHexEditBase::SetHexColours(COLORREF back, COLORREF text, bool repaint) {
    hexBackColour = back;
    hexTextColour = text;
    if (repaint) Repaint();
}

void CHexEditBase::SetBackgroundColour(COLORREF colour, bool repaint) {
    backgroundColour = colour;
    if (repaint) Repaint();
}

void CHexEditBase::NotifyParent(uint32_t code) {
    if (!hwnd) return;
    HWND parent = ::GetParent(hwnd);
    if (!parent) return;
    WPARAM wParam = MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(hwnd)), static_cast<WORD>(code));
    ::SendMessageW(parent, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(hwnd));
}
