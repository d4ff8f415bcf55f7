// Input helpers for the caret, mouse, keyboard and clipboard tests: client
// points of hex cells computed from the control's own layout, and real
// mouse and key messages sent to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "hexedit/HexEditBase.h"

namespace hexedit_test {

// Which cell of a byte in the hex column.
enum class Cell { High = 0, Low = 1, Separator = 2 };

// Left edge (client x) of `cell` of the byte in `column`, with the current
// horizontal scroll.
inline int CellLeft(const CHexEditBase& edit, uint32_t column, Cell cell) {
    return edit.GetTextRect().left + edit.GetHexColumnLeft() - static_cast<int>(edit.GetScrollX()) +
           static_cast<int>(edit.GetCharWidth() * (3 * column + static_cast<uint32_t>(cell)));
}

// Client y in the middle of visible line `row`.
inline int RowMiddle(const CHexEditBase& edit, uint32_t row) {
    return edit.GetTextRect().top +
           static_cast<int>(row * edit.GetLineHeight() + edit.GetLineHeight() / 2);
}

// A point `dx` pixels right of the left edge of a cell on a visible row.
inline POINT CellPoint(const CHexEditBase& edit, uint32_t row, uint32_t column, Cell cell,
                       int dx = 0) {
    return POINT{CellLeft(edit, column, cell) + dx, RowMiddle(edit, row)};
}

// First pixel offset in a cell that counts as its right half.
inline int RightHalf(const CHexEditBase& edit) {
    const int width = static_cast<int>(edit.GetCharWidth());
    return width - width / 2;
}

inline LPARAM PointParam(POINT p) {
    return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

inline void Press(HWND window, POINT p) {
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(p));
}
inline void DragTo(HWND window, POINT p) {
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, PointParam(p));
}
inline void Release(HWND window, POINT p) {
    ::SendMessageW(window, WM_LBUTTONUP, 0, PointParam(p));
}
inline void DoubleClick(HWND window, POINT p) {
    ::SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, PointParam(p));
}
inline void Tick(HWND window, UINT_PTR id = HEXEDIT_AUTOSCROLL_TIMER) {
    ::SendMessageW(window, WM_TIMER, id, 0);
}
inline void Key(HWND window, UINT key) {
    ::SendMessageW(window, WM_KEYDOWN, key, 1);
}
inline LRESULT Char(HWND window, wchar_t code) {
    return ::SendMessageW(window, WM_CHAR, code, 1);
}

struct Selection {
    uint32_t start;
    uint32_t end;
    bool operator==(const Selection&) const = default;
};
inline Selection SelectionOf(const CHexEditBase& edit) {
    return {edit.GetSelectionStart(), edit.GetSelectionEnd()};
}

// The system caret of this thread: its window and its position.
inline HWND CaretWindow() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
    return info.hwndCaret;
}
inline POINT CaretPoint() {
    POINT p{-1000, -1000};
    ::GetCaretPos(&p);
    return p;
}

// Counts the EN_CHANGE notifications in a parent's record.
template <class Records>
int ChangeCount(const Records& records, HWND control) {
    int count = 0;
    for (const auto& r : records)
        if (r.code == EN_CHANGE && r.control == control) ++count;
    return count;
}

}  // namespace hexedit_test
