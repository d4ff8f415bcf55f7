// The system caret: a solid block over the hex digit that typing replaces,
// shown only while the control has the focus and the digit is in view.
#include "hexedit/HexEditBase.h"

#include <cstdint>

void CHexEditBase::SetCaret(uint32_t address, bool highNibble) {
    caretPos = address;
    caretHighNibble = highNibble;
    if (!data || dataSize == 0) return;
    // Without a window there is neither a client area to measure nor a caret
    // to place: the layout waits for the window's first size or paint.
    if (!IsWindow()) return;
    if (layoutDirty) {
        CClientDC dc(hwnd);
        RecalcLayout(dc);
    }

    const uint64_t firstShown = static_cast<uint64_t>(topLine) * bytesPerLine;
    const uint64_t pastShown = (static_cast<uint64_t>(topLine) + linesVisible) * bytesPerLine;
    if (address < firstShown || address >= pastShown || ::GetFocus() != hwnd) {
        RemoveCaret();
        return;
    }

    const uint64_t relative = address - firstShown;
    const uint32_t row = static_cast<uint32_t>(relative / bytesPerLine);
    const uint32_t column = static_cast<uint32_t>(relative % bytesPerLine);
    const int32_t height = row == linesVisible - 1 ? lastLineHeight : static_cast<int32_t>(lineHeight);

    int64_t x = static_cast<int64_t>(textRect.left) + hexColumnLeft - scrollX +
                static_cast<int64_t>(charWidth) * (3ll * column + (highNibble ? 0 : 1));
    const int64_t y = static_cast<int64_t>(textRect.top) + static_cast<int64_t>(row) * lineHeight + 1;

    const int64_t minX = static_cast<int64_t>(textRect.left) - 2;
    if (x + charWidth <= minX || x > textRect.right) {
        RemoveCaret();
        return;
    }
    int64_t width = charWidth;
    if (x < minX) {
        width = x + charWidth - minX;
        x = minX;
    }
    if (x + width > static_cast<int64_t>(textRect.right) + 2) width = static_cast<int64_t>(textRect.right) + 2 - x;

    EnsureCaretShape(height - 1, static_cast<int>(width));
    ::SetCaretPos(static_cast<int>(x), static_cast<int>(y));
    ::ShowCaret(hwnd);
}

void CHexEditBase::EnsureCaretShape(int height, int width) {
    if (caretCreated && height == caretHeight && width == caretWidth) return;
    caretHeight = height;
    caretWidth = width;
    caretCreated = true;
    ::CreateCaret(hwnd, nullptr, width, height);
}

void CHexEditBase::RemoveCaret() {
    caretCreated = false;
    // The system caret belongs to the thread, not the window: never destroy
    // the caret of another control that has the focus.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (::GetGUIThreadInfo(::GetCurrentThreadId(), &info) && info.hwndCaret && info.hwndCaret != hwnd) return;
    ::DestroyCaret();
}
