// The system caret: a solid block over the hex digit that typing replaces,
// shown only while the control has the focus and the digit is in view.
#include "hexedit/HexEditBase.h"

void CHexEditBase::SetCaret(uint32_t address, bool highNibble) {
    caretPos = address;
    caretHighNibble = highNibble;
    if (!data || dataSize == 0) return;
    // Without a window there is neither a client area to measure nor a caret
    // to place: the layout waits for the window's first size or paint.
    if (!IsWindow()) return;
    EnsureLayout();

    const auto box = hexview::CaretBoxFor(layout, topLine, scrollX, {address, highNibble});
    if (!box || ::GetFocus() != hwnd) {
        RemoveCaret();
        return;
    }
    EnsureCaretShape(box->height, box->width);
    ::SetCaretPos(box->x, box->y);
    ::ShowCaret(hwnd);
}

void CHexEditBase::SetCaretAt(POINT point) {
    const HitTestResult hit = HitTest(point);
    SetCaret(hit.address, hit.highNibble);
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
    if (::GetGUIThreadInfo(::GetCurrentThreadId(), &info) && info.hwndCaret &&
        info.hwndCaret != hwnd)
        return;
    ::DestroyCaret();
}
