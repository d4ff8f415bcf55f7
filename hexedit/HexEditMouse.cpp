// Pointer behaviour of the control: mapping points to digits, focus, press,
// drag with auto-scroll, release, double-click, and the selection setter.
#include <algorithm>
#include <cstdint>

#include "hexedit/HexEditBase.h"
#include "hexedit/HexEditLayoutGuard.h"

namespace {

// Delay in timer ticks between two auto-scroll steps for a pointer `distance`
// pixels beyond the text area: 7 close to the edge, down to 1 far away.
uint16_t AutoScrollDelayFor(int64_t distance) {
    return static_cast<uint16_t>(7 - std::min<int64_t>((distance + 1) / 5, 6));
}

}  // namespace

CHexEditBase::HitTestResult CHexEditBase::HitTest(POINT point) const {
    if (dataSize == 0) return {HEXEDIT_NONE, false};
    // Before the first layout nothing is on screen; the first byte is the
    // only sensible answer.
    if (charWidth == 0 || lineHeight == 0 || bytesPerLine == 0) return {0, true};

    // Half a cell added: a point in the right half of a cell counts as the
    // next cell, so the nearest cell edge wins.
    int64_t x = static_cast<int64_t>(point.x) - textRect.left + scrollX + charWidth / 2;
    int64_t y = static_cast<int64_t>(point.y) - textRect.top;
    y = std::clamp<int64_t>(y, 0, static_cast<int64_t>(lineHeight) * linesVisible);
    const int64_t hexRight =
        static_cast<int64_t>(hexColumnLeft) + hexColumnWidth - HEXEDIT_TEXT_INSET;
    x = std::clamp<int64_t>(x, hexColumnLeft, std::max<int64_t>(hexColumnLeft, hexRight));

    const uint64_t cell = static_cast<uint64_t>(x - hexColumnLeft) / charWidth;
    const uint64_t line = static_cast<uint64_t>(topLine) + static_cast<uint64_t>(y) / lineHeight;
    const uint64_t address = line * bytesPerLine + cell / 3;
    if (address >= dataSize) return {dataSize - 1, false};
    return {static_cast<uint32_t>(address), cell % 3 == 0};
}

void CHexEditBase::SetSelection(uint32_t start, uint32_t end, bool makeVisible, bool repaint) {
    if (start == selectionStart && end == selectionEnd) return;
    const uint32_t last = dataSize == 0 ? HEXEDIT_NONE : dataSize - 1;
    if (end != HEXEDIT_NONE && end >= dataSize) end = last;
    if (start != HEXEDIT_NONE && start >= dataSize) start = last;
    // Copy, paste and painting rely on start <= end: a reversed pair from
    // an outside caller is stored in order.
    if (start != HEXEDIT_NONE && end != HEXEDIT_NONE && start > end) std::swap(start, end);
    selectionEnd = end;
    selectionStart = start;
    if (makeVisible && start != HEXEDIT_NONE && end != HEXEDIT_NONE && EnsureHexEditLayout(*this))
        MakeRangeVisible(start, end, false);
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
    EnsureHexEditLayout(*this);
    const HitTestResult hit = HitTest(point);
    SetCaret(hit.address, hit.highNibble);

    const int cx = ::GetSystemMetrics(SM_CXDRAG);
    const int cy = ::GetSystemMetrics(SM_CYDRAG);
    dragStartRect = RECT{point.x - (cx >> 1), point.y - (cy >> 1), point.x + (cx >> 1) + (cx & 1),
                         point.y + (cy >> 1) + (cy & 1)};

    selectionStart = HEXEDIT_NONE;
    selectionAnchor = caretPos;
    ::SetCapture(hwnd);
}

void CHexEditBase::OnMouseMove(UINT flags, POINT point) {
    if (!data || !(flags & MK_LBUTTON) || selectionAnchor == HEXEDIT_NONE) return;
    if (::PtInRect(&dragStartRect, point)) return;
    // An empty box: every later move of this drag counts.
    dragStartRect = RECT{-1, -1, -1, -1};
    EnsureHexEditLayout(*this);

    if (IsMultiLine() && !::PtInRect(&textRect, point)) {
        if (point.y < textRect.top)
            StartAutoScroll(point, -1,
                            AutoScrollDelayFor(static_cast<int64_t>(textRect.top) - point.y));
        else if (point.y > textRect.bottom)
            StartAutoScroll(point, +1,
                            AutoScrollDelayFor(static_cast<int64_t>(point.y) - textRect.bottom));
        // Beside the text area a running timer keeps its direction.
        autoScrollPoint = point;
    } else {
        StopAutoScroll();
    }

    const HitTestResult hit = HitTest(point);
    SetCaret(hit.address, hit.highNibble);
    selectionStart = std::min(selectionAnchor, caretPos);
    selectionEnd = std::max(selectionAnchor, caretPos);
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
    EnsureHexEditLayout(*this);
    const HitTestResult hit = HitTest(autoScrollPoint);
    SetCaret(hit.address, hit.highNibble);
    if (selectionAnchor != HEXEDIT_NONE) {
        selectionStart = std::min(selectionAnchor, caretPos);
        selectionEnd = std::max(selectionAnchor, caretPos);
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
    EnsureHexEditLayout(*this);
    const HitTestResult hit = HitTest(point);
    SetCaret(hit.address, hit.highNibble);
    // An empty block gives no byte to select.
    if (caretPos < dataSize) {
        selectionStart = caretPos;
        selectionEnd = caretPos;
    }
    Repaint();
}
