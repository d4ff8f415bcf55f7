// Pointer behaviour of the control: mapping points to digits, focus, press,
// drag with auto-scroll, release, double-click, and the selection setter.
#include "hexedit/HexEditBase.h"

namespace {

hexview::ViewPoint ViewPointOf(POINT p) {
    return {p.x, p.y};
}

RECT RectOf(const hexview::ViewRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

}  // namespace

CHexEditBase::HitTestResult CHexEditBase::HitTest(POINT point) const {
    const hexview::CaretSpot spot =
        hexview::HitTest(layout, topLine, scrollX, dataSize, ViewPointOf(point));
    return {spot.address, spot.highNibble};
}

void CHexEditBase::SetSelection(uint32_t start, uint32_t end, bool makeVisible, bool repaint) {
    if (start == selectionStart && end == selectionEnd) return;
    const hexview::Selection stored = hexview::ClampSelection(start, end, dataSize);
    selectionEnd = stored.end;
    selectionStart = stored.start;
    if (makeVisible && stored.start != HEXEDIT_NONE && stored.end != HEXEDIT_NONE && EnsureLayout())
        MakeRangeVisible(stored.start, stored.end, false);
    if (repaint) Repaint();
}

void CHexEditBase::StartAutoScroll(POINT point, int lines, uint16_t delay) {
    if (!data || dataSize == 0) return;
    autoScrollPoint = point;
    autoScrollLines = lines;
    autoScrollDelay = delay;
    if (autoScrollTimerOn || !IsMultiLine()) return;
    autoScrollTimerOn = true;
    autoScrollCountdown = delay;
    ::SetTimer(hwnd, HEXEDIT_AUTOSCROLL_TIMER, HEXEDIT_AUTOSCROLL_INTERVAL_MS, nullptr);
}

void CHexEditBase::StopAutoScroll() {
    if (!autoScrollTimerOn) return;
    autoScrollTimerOn = false;
    ::KillTimer(hwnd, HEXEDIT_AUTOSCROLL_TIMER);
}

void CHexEditBase::OnSetFocus(HWND) {
    if (!data) return;
    SetCaret(caretPos, caretHighNibble);
    Repaint();
}

void CHexEditBase::OnKillFocus(HWND) {
    RemoveCaret();
    Default();
    Repaint();
}

void CHexEditBase::OnLButtonDown(UINT, POINT point) {
    ::SetFocus(hwnd);
    if (!data) return;
    EnsureLayout();
    SetCaretAt(point);
    dragStartRect = RectOf(hexview::DragStartBox(ViewPointOf(point), ::GetSystemMetrics(SM_CXDRAG),
                                                 ::GetSystemMetrics(SM_CYDRAG)));

    selectionStart = HEXEDIT_NONE;
    selectionAnchor = caretPos;
    ::SetCapture(hwnd);
}

void CHexEditBase::OnMouseMove(UINT flags, POINT point) {
    if (!data || !(flags & MK_LBUTTON) || selectionAnchor == HEXEDIT_NONE) return;
    if (::PtInRect(&dragStartRect, point)) return;
    // An empty box: every later move of this drag counts.
    dragStartRect = RECT{-1, -1, -1, -1};
    EnsureLayout();

    const hexview::DragScroll drag = hexview::DragScrollFor(layout.textRect, ViewPointOf(point));
    if (IsMultiLine() && drag.outside) {
        if (drag.lines != 0) StartAutoScroll(point, drag.lines, drag.delay);
        // Beside the text area a running timer keeps its direction.
        autoScrollPoint = point;
    } else {
        StopAutoScroll();
    }

    SetCaretAt(point);
    const hexview::Selection span = hexview::SpanBetween(selectionAnchor, caretPos);
    selectionStart = span.start;
    selectionEnd = span.end;
    Repaint();
}

void CHexEditBase::OnTimer(UINT_PTR id) {
    if (!data || dataSize == 0 || !autoScrollTimerOn || id != HEXEDIT_AUTOSCROLL_TIMER) return;
    // A drag that lost the mouse capture without a release (another window
    // took it) has ended: the view must not go on scrolling by itself.
    if (::GetCapture() != hwnd) {
        StopAutoScroll();
        return;
    }
    if (autoScrollCountdown > 0) {
        --autoScrollCountdown;
        return;
    }
    autoScrollCountdown = autoScrollDelay;
    ScrollLinesBy(autoScrollLines, false);
    EnsureLayout();
    SetCaretAt(autoScrollPoint);
    if (selectionAnchor != HEXEDIT_NONE) {
        const hexview::Selection span = hexview::SpanBetween(selectionAnchor, caretPos);
        selectionStart = span.start;
        selectionEnd = span.end;
    }
    Repaint();
}

void CHexEditBase::OnLButtonUp(UINT, POINT) {
    if (::GetCapture() == hwnd) ::ReleaseCapture();
    StopAutoScroll();
    Repaint();
}

void CHexEditBase::OnLButtonDblClk(UINT, POINT point) {
    ::SetFocus(hwnd);
    if (!data) return;
    EnsureLayout();
    SetCaretAt(point);
    // An empty block gives no byte to select.
    if (caretPos < dataSize) {
        selectionStart = caretPos;
        selectionEnd = caretPos;
    }
    Repaint();
}
