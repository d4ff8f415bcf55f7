// Scrolling: the window's standard scroll bars, the scroll and wheel
// messages, and the scroll setters. Positions are clamped to the ranges of
// the layout; the rules are those of hexedit/core/HexViewScroll.
#include <algorithm>

#include "hexedit/HexEditBase.h"
#include "hexedit/core/HexViewScroll.h"

namespace {

hexview::ScrollCommand CommandOf(UINT code) {
    switch (code) {
        case SB_LINEUP:
            return hexview::ScrollCommand::LineBack;
        case SB_LINEDOWN:
            return hexview::ScrollCommand::LineForward;
        case SB_PAGEUP:
            return hexview::ScrollCommand::PageBack;
        case SB_PAGEDOWN:
            return hexview::ScrollCommand::PageForward;
        default:
            return hexview::ScrollCommand::Other;
    }
}

void SetBar(HWND window, int bar, const hexview::ScrollBarFields& fields) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nPage = fields.page;
    info.nMax = fields.max;
    info.nPos = fields.pos;
    ::SetScrollInfo(window, bar, &info, TRUE);
}

// The thumb's position during a drag, all 32 bits of it (the message
// carries only 16).
bool TrackPosition(HWND window, int bar, UINT& position) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    if (!::GetScrollInfo(window, bar, &info)) return false;
    position = hexview::ClampToUint(info.nTrackPos);
    return true;
}

}  // namespace

void CHexEditBase::UpdateScrollBars() {
    if (!IsMultiLine()) return;
    // Showing or hiding a bar changes the client area and so re-enters
    // OnSize, which lays out again; every value below is therefore read
    // after the calls that may change it.
    if (layout.maxTopLine > 0) {
        ::ShowScrollBar(hwnd, SB_VERT, TRUE);
        ::EnableScrollBar(hwnd, SB_VERT, ESB_ENABLE_BOTH);
        const hexview::ScrollBarFields bar = hexview::VerticalBar(layout, topLine);
        topLine = std::min(topLine, layout.maxTopLine);
        SetBar(hwnd, SB_VERT, bar);
    } else {
        ::ShowScrollBar(hwnd, SB_VERT, FALSE);
    }

    if (layout.maxScrollX > 0) {
        ::EnableScrollBar(hwnd, SB_HORZ, ESB_ENABLE_BOTH);
        ::ShowScrollBar(hwnd, SB_HORZ, TRUE);
        const hexview::ScrollBarFields bar = hexview::HorizontalBar(layout, scrollX);
        scrollX = std::min(scrollX, layout.maxScrollX);
        SetBar(hwnd, SB_HORZ, bar);
    } else {
        ::ShowScrollBar(hwnd, SB_HORZ, FALSE);
    }
}

void CHexEditBase::ScrollToLine(UINT line, bool repaint) {
    // A single-line control shows its one line only; the top never moves.
    if (!IsMultiLine()) return;
    line = std::min(line, layout.maxTopLine);
    ::SetScrollPos(hwnd, SB_VERT, hexview::ClampToInt(line), TRUE);
    const bool changed = line != topLine;
    topLine = line;
    if (changed && repaint && IsWindow()) Invalidate(TRUE);
    // Always: the caret follows the new top line or leaves with its byte.
    SetCaret(caretPos, caretHighNibble);
}

void CHexEditBase::ScrollToX(UINT x, bool repaint) {
    x = std::min(x, layout.maxScrollX);
    ::SetScrollPos(hwnd, SB_HORZ, hexview::ClampToInt(x), TRUE);
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

void CHexEditBase::ScrollLinesBy(int lines, bool repaint) {
    ScrollToLine(hexview::ClampedSum(topLine, lines), repaint);
}

void CHexEditBase::ScrollPixelsBy(int pixels, bool repaint) {
    ScrollToX(hexview::ClampedSum(scrollX, pixels), repaint);
}

void CHexEditBase::MakeRangeVisible(UINT first, UINT last, bool repaint) {
    const hexview::ScrollTarget target =
        hexview::MakeVisible(layout, topLine, scrollX, first, last);
    if (target.topLine) ScrollToLine(*target.topLine, false);
    if (target.scrollX) ScrollToX(*target.scrollX, false);
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
    UINT track = 0;
    if (code == SB_THUMBTRACK) {
        if (TrackPosition(hwnd, SB_VERT, track)) ScrollToLine(track, true);
    } else if (const auto command = CommandOf(code); command != hexview::ScrollCommand::Other) {
        ScrollToLine(hexview::ClampedSum(topLine, hexview::VerticalStep(command, layout)), true);
    }
}

void CHexEditBase::OnHScroll(UINT code, UINT, HWND) {
    if (!data) return;
    UINT track = 0;
    if (code == SB_THUMBTRACK) {
        if (TrackPosition(hwnd, SB_HORZ, track)) ScrollToX(track, true);
    } else if (const auto command = CommandOf(code); command != hexview::ScrollCommand::Other) {
        ScrollToX(hexview::ClampedSum(scrollX, hexview::HorizontalStep(command, layout)), true);
    }
}

BOOL CHexEditBase::OnMouseWheel(UINT, short zDelta, POINT) {
    ScrollLinesBy(hexview::WheelLines(zDelta), true);
    return TRUE;
}

LRESULT CHexEditBase::OnUpdateScrollBars(WPARAM, LPARAM) {
    UpdateScrollBars();
    return 0;
}
