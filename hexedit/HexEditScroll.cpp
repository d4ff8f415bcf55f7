// Scrolling: the two scroll positions (topLine in lines, scrollX in pixels),
// the window's standard scroll bars, the scroll and wheel messages, and
// MakeRangeVisible. Positions are clamped to the ranges RecalcLayout set.
#include "hexedit/HexEditBase.h"

#include <climits>
#include <cstdint>

namespace {

constexpr int kWheelNotch = 120;

// Relative scrolls are summed in 64 bits so that neither a large position
// nor a large step wraps; below 0 stops at 0, above the 32-bit range is
// handed on as the largest position (the callee clamps it to its range).
UINT ClampedSum(uint32_t position, int delta) {
    const int64_t sum = static_cast<int64_t>(position) + delta;
    if (sum < 0) return 0;
    if (sum > UINT_MAX) return UINT_MAX;
    return static_cast<UINT>(sum);
}

UINT ClampToUint(int64_t value) {
    if (value < 0) return 0;
    if (value > UINT_MAX) return UINT_MAX;
    return static_cast<UINT>(value);
}

// Scroll bar fields are signed 32-bit.
int ClampToInt(uint64_t value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

}  // namespace

void CHexEditBase::UpdateScrollBars() {
    if (!IsMultiLine()) return;

    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    // Showing or hiding a bar changes the client area and so re-enters
    // OnSize, which lays out again; every value below is therefore read
    // after the calls that may change it.
    if (maxTopLine > 0) {
        ::ShowScrollBar(hwnd, SB_VERT, TRUE);
        ::EnableScrollBar(hwnd, SB_VERT, ESB_ENABLE_BOTH);
        info.nPage = fullLinesVisible;
        info.nMax = ClampToInt(static_cast<uint64_t>(maxTopLine) + fullLinesVisible - 1);
        if (topLine > maxTopLine) topLine = maxTopLine;
        info.nPos = ClampToInt(topLine);
        ::SetScrollInfo(hwnd, SB_VERT, &info, TRUE);
    } else {
        ::ShowScrollBar(hwnd, SB_VERT, FALSE);
    }

    if (maxScrollX > 0) {
        ::EnableScrollBar(hwnd, SB_HORZ, ESB_ENABLE_BOTH);
        ::ShowScrollBar(hwnd, SB_HORZ, TRUE);
        const uint32_t width = static_cast<uint32_t>(textRect.right - textRect.left);
        info.nPage = width;
        info.nMax = ClampToInt(static_cast<uint64_t>(maxScrollX) + width - 1);
        if (scrollX > maxScrollX) scrollX = maxScrollX;
        info.nPos = ClampToInt(scrollX);
        ::SetScrollInfo(hwnd, SB_HORZ, &info, TRUE);
    } else {
        ::ShowScrollBar(hwnd, SB_HORZ, FALSE);
    }
}

void CHexEditBase::ScrollToLine(UINT line, bool repaint) {
    // A single-line control shows its one line only; the top never moves.
    if (!IsMultiLine()) return;
    if (line > maxTopLine) line = maxTopLine;
    ::SetScrollPos(hwnd, SB_VERT, ClampToInt(line), TRUE);
    const bool changed = line != topLine;
    topLine = line;
    if (changed && repaint && IsWindow()) Invalidate(TRUE);
    // Always: the caret follows the new top line or leaves with its byte.
    SetCaret(caretPos, caretHighNibble);
}

void CHexEditBase::ScrollToX(UINT x, bool repaint) {
    if (x > maxScrollX) x = maxScrollX;
    ::SetScrollPos(hwnd, SB_HORZ, ClampToInt(x), TRUE);
    if (x != scrollX && repaint) {
        scrollX = x;
        if (IsWindow()) {
            Invalidate(TRUE);
            SetCaret(caretPos, caretHighNibble);
        }
    }
    // Without repaint the caller re-places the caret itself.
    scrollX = x;
}

void CHexEditBase::ScrollLinesBy(int lines, bool repaint) { ScrollToLine(ClampedSum(topLine, lines), repaint); }

void CHexEditBase::ScrollPixelsBy(int pixels, bool repaint) { ScrollToX(ClampedSum(scrollX, pixels), repaint); }

void CHexEditBase::MakeRangeVisible(UINT first, UINT last, bool repaint) {
    // Callers pass first <= last; a reversed pair means the same bytes.
    if (first > last) {
        const UINT swap = first;
        first = last;
        last = swap;
    }
    const uint64_t n = bytesPerLine ? bytesPerLine : 1;
    // 64-bit: in single-line mode a line holds the whole buffer, and the
    // visible byte count can exceed 32 bits.
    const uint64_t e = topLine * n;
    const uint64_t f = fullLinesVisible * n;
    // The line of `first` at the top, or the line of `last` on the bottom
    // whole line; where the second is used, last >= f holds.
    const UINT lineOfFirst = ClampToUint(static_cast<int64_t>(first / n));
    const auto lineOfLastAtBottom = [&] { return ClampToUint(static_cast<int64_t>((last + n - f) / n)); };

    if (!(first <= e && last >= e + f)) {
        if (static_cast<uint64_t>(last - first) > f) {
            if (e < first)
                ScrollToLine(lineOfFirst, false);
            else if (e + f > last)
                ScrollToLine(lineOfLastAtBottom(), false);
        } else {
            if (first < e)
                ScrollToLine(lineOfFirst, false);
            else if (last >= e + f)
                ScrollToLine(lineOfLastAtBottom(), false);
        }
    }

    const int64_t origin = static_cast<int64_t>(textRect.left) + hexColumnLeft - static_cast<int64_t>(scrollX);
    int64_t xs = origin + 3 * static_cast<int64_t>(first % n) * charWidth;
    int64_t xe = origin + (3 * static_cast<int64_t>(last % n) + 2) * charWidth;
    if (xs > xe) {
        const int64_t swap = xs;
        xs = xe;
        xe = swap;
    }
    if (xs <= textRect.left && xe >= textRect.right) {
        // The range already spans the whole width.
    } else if (xs < textRect.left) {
        ScrollToX(ClampToUint(static_cast<int64_t>(scrollX) + xs - textRect.left), false);
    } else if (xe >= textRect.right) {
        ScrollToX(ClampToUint(static_cast<int64_t>(scrollX) + xe - textRect.right + textRect.left), false);
    }

    if (repaint && IsWindow()) Invalidate(TRUE);
}

void CHexEditBase::OnSize(UINT, int, int) {
    Default();
    {
        CClientDC dc(hwnd);
        RecalcLayout(dc);
    }
    SetCaret(caretPos, caretHighNibble);
    UpdateScrollBars();
}

void CHexEditBase::OnVScroll(UINT code, UINT, HWND) {
    if (!data) return;
    const int page = ClampToInt(fullLinesVisible);
    switch (code) {
    case SB_LINEUP: ScrollLinesBy(-1, true); break;
    case SB_LINEDOWN: ScrollLinesBy(1, true); break;
    case SB_PAGEUP: ScrollLinesBy(-page, true); break;
    case SB_PAGEDOWN: ScrollLinesBy(page, true); break;
    case SB_THUMBTRACK: {
        // The message carries only 16 bits of the position; the bar's
        // track position has all 32.
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (::GetScrollInfo(hwnd, SB_VERT, &info)) ScrollToLine(ClampToUint(info.nTrackPos), true);
        break;
    }
    default: break;
    }
}

void CHexEditBase::OnHScroll(UINT code, UINT pos, HWND) {
    if (!data) return;
    const int step = ClampToInt(charWidth);
    const int page = static_cast<int>(textRect.right - textRect.left);
    switch (code) {
    case SB_LINELEFT: ScrollPixelsBy(-step, true); break;
    case SB_LINERIGHT: ScrollPixelsBy(step, true); break;
    case SB_PAGELEFT: ScrollPixelsBy(-page, true); break;
    case SB_PAGERIGHT: ScrollPixelsBy(page, true); break;
    case SB_THUMBTRACK: ScrollToX(pos, true); break;
    default: break;
    }
}

BOOL CHexEditBase::OnMouseWheel(UINT, short zDelta, POINT) {
    // One line per whole notch, truncated toward zero; partial notches are
    // dropped, not accumulated. Away from the user (positive) scrolls up.
    ScrollLinesBy(zDelta / -kWheelNotch, true);
    return TRUE;
}

LRESULT CHexEditBase::OnUpdateScrollBars(WPARAM, LPARAM) {
    UpdateScrollBars();
    return 0;
}
