// Layout figures for known window sizes, the scroll bars, the scroll and
// wheel messages and MakeRangeVisible. Every pixel size is derived from the
// metrics the control reports, never assumed.
#include <gtest/gtest.h>

#include <algorithm>

#include "HexEditTestSupport.h"

using namespace hexedit_test;

namespace {

// Resizes the control's window (no border: window = client until a scroll
// bar appears) and lets the posted scroll-bar update run.
void ResizeWindow(TestControl& t, int width, int height) {
    ::MoveWindow(t.hwnd(), 10, 10, width, height, TRUE);
    PumpMessages();
}

bool HasStyle(HWND window, DWORD bits) {
    return (::GetWindowLongW(window, GWL_STYLE) & bits) == bits;
}

SCROLLINFO BarInfo(HWND window, int bar) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ::GetScrollInfo(window, bar, &info);
    return info;
}

LRESULT Wheel(TestControl& t, short delta) {
    RECT r{};
    ::GetWindowRect(t.hwnd(), &r);
    return ::SendMessageW(t.hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, delta),
                          MAKELPARAM(r.left + 5, r.top + 5));
}

void VScroll(TestControl& t, WORD code, WORD pos = 0) {
    ::SendMessageW(t.hwnd(), WM_VSCROLL, MAKEWPARAM(code, pos), 0);
}

void HScroll(TestControl& t, WORD code, WORD pos = 0) {
    ::SendMessageW(t.hwnd(), WM_HSCROLL, MAKEWPARAM(code, pos), 0);
}

// A control of `lines` lines of 16 bytes with exactly `visible` whole lines
// in its text rectangle (plus `extra` pixels).
struct LinesControl {
    LinesControl(uint32_t lines, uint32_t visible, int extra = 0) {
        t.SetCountingData(lines * 16);
        lh = static_cast<int>(t.edit.GetLineHeight());
        cw = static_cast<int>(t.edit.GetCharWidth());
        ResizeWindow(t, 400, static_cast<int>(visible) * lh + 2 * HEXEDIT_TEXT_INSET + extra);
    }
    TestControl t;
    int lh = 0;
    int cw = 0;
};

}  // namespace

TEST(HexEditLayout, MetricsAndColumnGeometry) {
    TestControl t;
    ASSERT_TRUE(t.created);
    t.edit.SetShowAddress(true, false);
    t.edit.SetAddressDigits(6, false);
    t.edit.SetShowAscii(true, false);
    t.SetCountingData(16);
    const auto& e = t.edit;
    ASSERT_FALSE(e.IsLayoutDirty());

    // The metrics come from the font: compare with a DC of our own.
    HDC dc = ::GetDC(t.hwnd());
    HGDIOBJ old = ::SelectObject(dc, e.GetFontHandle());
    INT width = 0;
    SIZE extent{};
    ::GetCharWidthA(dc, '0', '0', &width);
    ::GetTextExtentPoint32A(dc, "0", 1, &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(t.hwnd(), dc);
    const int cw = static_cast<int>(e.GetCharWidth());
    EXPECT_EQ(cw, width);
    EXPECT_EQ(static_cast<int>(e.GetLineHeight()), extent.cy);
    ASSERT_GT(cw, 0);

    RECT client{};
    ::GetClientRect(t.hwnd(), &client);
    const RECT text = e.GetTextRect();
    EXPECT_EQ(text.left, client.left + 5);
    EXPECT_EQ(text.top, client.top + 5);
    EXPECT_EQ(text.right, client.right - 5);
    EXPECT_EQ(text.bottom, client.bottom - 5);

    EXPECT_EQ(e.GetAddressColumnLeft(), 0);
    EXPECT_EQ(e.GetAddressColumnWidth(), 6 * cw + 5);
    EXPECT_EQ(e.GetHexColumnLeft(), 6 * cw + 5);
    EXPECT_EQ(e.GetHexColumnWidth(), 47 * cw + 5);
    EXPECT_EQ(e.GetAsciiColumnLeft(), 6 * cw + 5 + 47 * cw + 5);
    EXPECT_EQ(e.GetAsciiColumnWidth(), 16 * cw);
    EXPECT_EQ(e.GetBytesPerLine(), 16u);

    // Without the ASCII column and the address the content ends at the last
    // hex digit.
    t.edit.SetShowAscii(false, false);
    t.edit.SetShowAddress(false, false);
    EXPECT_EQ(e.GetAsciiColumnLeft(), 0);
    EXPECT_EQ(e.GetAsciiColumnWidth(), 0);
    EXPECT_EQ(e.GetAddressColumnWidth(), 0);
    EXPECT_EQ(e.GetHexColumnLeft(), 0);
}

TEST(HexEditLayout, ExactMultipleOfTheLineHeightAndOnePixelMore) {
    LinesControl c(2, 4);
    const auto& e = c.t.edit;
    EXPECT_EQ(e.GetFullLinesVisible(), 4u);
    EXPECT_EQ(e.GetLinesVisible(), 4u);
    EXPECT_EQ(e.GetLastLineHeight(), c.lh);

    ResizeWindow(c.t, 400, 4 * c.lh + 10 + 1);
    EXPECT_EQ(e.GetFullLinesVisible(), 4u);
    EXPECT_EQ(e.GetLinesVisible(), 5u);
    EXPECT_EQ(e.GetLastLineHeight(), 1);

    // Smaller than the inset: the text rectangle collapses, it never inverts.
    ResizeWindow(c.t, 6, 7);
    const RECT text = e.GetTextRect();
    EXPECT_EQ(text.right, text.left);
    EXPECT_EQ(text.bottom, text.top);
    EXPECT_EQ(e.GetFullLinesVisible(), 0u);
    EXPECT_EQ(e.GetLinesVisible(), 0u);
    EXPECT_GE(e.GetBytesPerLine(), 1u);
}

TEST(HexEditLayout, AutoFitToTheWidth) {
    TestControl t;
    t.edit.SetShowAddress(true, false);
    t.edit.SetAddressDigits(6, false);
    t.edit.SetShowAscii(true, false);
    t.edit.SetBytesPerLine(16, true, false);
    t.SetCountingData(8);
    const int cw = static_cast<int>(t.edit.GetCharWidth());
    const int address = t.edit.GetAddressColumnWidth();
    // Window width for `available` pixels after the address column.
    auto fit = [&](int available) {
        ResizeWindow(t, 2 * HEXEDIT_TEXT_INSET + address + available, 200);
        return t.edit.GetBytesPerLine();
    };
    // With the ASCII column a byte costs 4 cells; the last needs 3 cells
    // and the 5-pixel gap (charWidth 8: 365 pixels give 11, 381 give 12).
    EXPECT_EQ(fit(5 + 11 * 4 * cw + 3 * cw - 1), 11u);
    EXPECT_EQ(fit(5 + 11 * 4 * cw + 3 * cw), 12u);
    EXPECT_EQ(fit(5 + 12 * 4 * cw), 12u);
    EXPECT_EQ(fit(1), 1u);  // too narrow for one byte still gives one

    // Without it, 3 cells a byte and 2 for the last.
    t.edit.SetShowAscii(false, false);
    EXPECT_EQ(fit(7 * 3 * cw + 2 * cw - 1), 7u);
    EXPECT_EQ(fit(7 * 3 * cw + 2 * cw), 8u);

    // The fit is a multi-line feature: the setting itself is kept.
    EXPECT_EQ(t.edit.GetBytesPerLineSetting(), 16u);
}

TEST(HexEditLayout, SingleLineModeShowsEverythingOnOneLine) {
    TestControl t(400, 40, WS_CHILD | WS_VISIBLE);
    ASSERT_TRUE(t.created);
    t.SetCountingData(100);
    const auto& e = t.edit;
    EXPECT_EQ(e.GetBytesPerLine(), 100u);
    EXPECT_EQ(e.GetMaxTopLine(), 0u);
    RECT client{};
    ::GetClientRect(t.hwnd(), &client);
    const RECT text = e.GetTextRect();
    EXPECT_TRUE(::EqualRect(&text, &client));  // no inset
    const uint32_t contentWidth = 299 * e.GetCharWidth();
    EXPECT_EQ(e.GetMaxScrollX(), contentWidth - 400);

    ResizeWindow(t, 400, 40);
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_VSCROLL));
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_HSCROLL));

    t.edit.ScrollToLine(1, true);
    EXPECT_EQ(e.GetTopLine(), 0u);
    t.edit.ScrollToX(35, true);
    EXPECT_EQ(e.GetScrollX(), 35u);
    t.edit.ScrollPixelsBy(-100, true);
    EXPECT_EQ(e.GetScrollX(), 0u);

    // A single-line control with no bytes still has one byte per line.
    t.edit.SetData(nullptr, 0, false);
    HDC dc = ::GetDC(t.hwnd());
    t.edit.RecalcLayout(dc);
    ::ReleaseDC(t.hwnd(), dc);
    EXPECT_EQ(e.GetBytesPerLine(), 1u);
}

TEST(HexEditLayout, EmptyBufferHasNoScrollRange) {
    TestControl t;
    const uint8_t none = 0;
    t.edit.SetData(&none, 0, false);
    ResizeWindow(t, 400, 200);
    const auto& e = t.edit;
    EXPECT_FALSE(e.IsLayoutDirty());
    EXPECT_GE(e.GetBytesPerLine(), 1u);
    EXPECT_EQ(e.GetMaxTopLine(), 0u);
    EXPECT_EQ(e.GetMaxScrollX(), 0u);
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_VSCROLL));
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_HSCROLL));
    // Columns wider than the window still give a horizontal range.
    ResizeWindow(t, 40, 200);
    EXPECT_GT(e.GetMaxScrollX(), 0u);
    EXPECT_EQ(e.GetMaxTopLine(), 0u);
}

TEST(HexEditScrollBars, VerticalBarForSevenLinesWithFiveVisible) {
    TestControl t;
    t.SetCountingData(100);
    const int lh = static_cast<int>(t.edit.GetLineHeight());
    ResizeWindow(t, 400, 5 * lh + 10);
    const auto& e = t.edit;
    EXPECT_EQ(e.GetFullLinesVisible(), 5u);
    EXPECT_EQ(e.GetMaxTopLine(), 2u);
    EXPECT_TRUE(HasStyle(t.hwnd(), WS_VSCROLL));
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_HSCROLL));
    SCROLLINFO v = BarInfo(t.hwnd(), SB_VERT);
    EXPECT_EQ(v.nMin, 0);
    EXPECT_EQ(v.nMax, 6);
    EXPECT_EQ(v.nPage, 5u);
    EXPECT_EQ(v.nPos, 0);

    t.edit.ScrollToLine(100, true);  // clamped
    EXPECT_EQ(e.GetTopLine(), 2u);
    EXPECT_EQ(BarInfo(t.hwnd(), SB_VERT).nPos, 2);

    // A taller window takes all seven lines: no range, no bar, top 0.
    ResizeWindow(t, 400, 8 * lh + 10);
    EXPECT_EQ(e.GetMaxTopLine(), 0u);
    EXPECT_EQ(e.GetTopLine(), 0u);
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_VSCROLL));
}

TEST(HexEditScrollBars, EnlargingUntilTheContentFitsHidesTheHorizontalBar) {
    TestControl t;
    t.edit.SetShowAddress(true, false);
    t.edit.SetShowAscii(true, false);
    t.SetCountingData(32);
    const auto& e = t.edit;
    const int content = e.GetAsciiColumnLeft() + e.GetAsciiColumnWidth();
    ResizeWindow(t, content / 2, 200);
    ASSERT_GT(e.GetMaxScrollX(), 0u);
    EXPECT_TRUE(HasStyle(t.hwnd(), WS_HSCROLL));
    const RECT text = e.GetTextRect();
    SCROLLINFO h = BarInfo(t.hwnd(), SB_HORZ);
    EXPECT_EQ(h.nMin, 0);
    EXPECT_EQ(h.nPage, static_cast<UINT>(text.right - text.left));
    EXPECT_EQ(h.nMax, static_cast<int>(e.GetMaxScrollX()) + (text.right - text.left) - 1);
    EXPECT_EQ(e.GetMaxScrollX(), static_cast<uint32_t>(content - (text.right - text.left)));

    t.edit.ScrollToX(e.GetMaxScrollX(), true);
    EXPECT_GT(e.GetScrollX(), 0u);
    EXPECT_EQ(BarInfo(t.hwnd(), SB_HORZ).nPos, static_cast<int>(e.GetScrollX()));

    ResizeWindow(t, content + 2 * HEXEDIT_TEXT_INSET, 200);
    EXPECT_EQ(e.GetMaxScrollX(), 0u);
    EXPECT_EQ(e.GetScrollX(), 0u);
    EXPECT_FALSE(HasStyle(t.hwnd(), WS_HSCROLL));
}

TEST(HexEditScrollBars, SizesAroundTheBarThresholdsSettle) {
    // Showing or hiding a bar resizes the client area and lays out again
    // from inside the bar update; around the thresholds this must settle,
    // with each bar shown exactly when its range is not empty.
    TestControl t;
    t.edit.SetShowAddress(true, false);
    t.edit.SetShowAscii(true, false);
    t.edit.SetBytesPerLine(16, true, false);
    t.SetCountingData(160);
    const int cw = static_cast<int>(t.edit.GetCharWidth());
    const int lh = static_cast<int>(t.edit.GetLineHeight());
    const int bar = ::GetSystemMetrics(SM_CXVSCROLL);
    const int width16 =
        2 * HEXEDIT_TEXT_INSET + t.edit.GetAsciiColumnLeft() + t.edit.GetAsciiColumnWidth();
    for (int width = width16 - bar - cw; width <= width16 + cw; width += 3) {
        for (int height = 10 * lh + 10 - bar - 2; height <= 10 * lh + 10 + 2; height += 2) {
            ResizeWindow(t, width, height);
            const auto& e = t.edit;
            EXPECT_EQ(HasStyle(t.hwnd(), WS_VSCROLL), e.GetMaxTopLine() > 0)
                << width << "x" << height;
            EXPECT_EQ(HasStyle(t.hwnd(), WS_HSCROLL), e.GetMaxScrollX() > 0)
                << width << "x" << height;
            RECT client{};
            ::GetClientRect(t.hwnd(), &client);
            EXPECT_EQ(e.GetTextRect().right, std::max<LONG>(client.right - 5, 5))
                << width << "x" << height;
            EXPECT_EQ(e.GetTextRect().bottom, std::max<LONG>(client.bottom - 5, 5))
                << width << "x" << height;
        }
    }
}

TEST(HexEditScrolling, WheelScrollsWholeNotchesOnly) {
    LinesControl c(100, 5);
    const auto& e = c.t.edit;
    c.t.edit.ScrollToLine(10, false);
    ASSERT_EQ(e.GetTopLine(), 10u);

    EXPECT_EQ(Wheel(c.t, 120), TRUE);
    EXPECT_EQ(e.GetTopLine(), 9u);  // away from the user: up
    Wheel(c.t, -240);
    EXPECT_EQ(e.GetTopLine(), 11u);
    Wheel(c.t, 60);
    EXPECT_EQ(e.GetTopLine(), 11u);
    Wheel(c.t, 60);  // two half notches do not add up
    EXPECT_EQ(e.GetTopLine(), 11u);
    Wheel(c.t, -119);
    EXPECT_EQ(e.GetTopLine(), 11u);
    Wheel(c.t, -359);  // truncated toward zero
    EXPECT_EQ(e.GetTopLine(), 13u);
    Wheel(c.t, 120 * 50);  // stops at the top
    EXPECT_EQ(e.GetTopLine(), 0u);
}

TEST(HexEditScrolling, VerticalScrollCodes) {
    LinesControl c(100, 5);
    const auto& e = c.t.edit;
    VScroll(c.t, SB_LINEDOWN);
    EXPECT_EQ(e.GetTopLine(), 1u);
    VScroll(c.t, SB_PAGEDOWN);
    EXPECT_EQ(e.GetTopLine(), 6u);
    VScroll(c.t, SB_LINEUP);
    EXPECT_EQ(e.GetTopLine(), 5u);
    VScroll(c.t, SB_PAGEUP);
    EXPECT_EQ(e.GetTopLine(), 0u);
    VScroll(c.t, SB_PAGEUP);
    EXPECT_EQ(e.GetTopLine(), 0u);
    VScroll(c.t, SB_LINEUP);
    EXPECT_EQ(e.GetTopLine(), 0u);
    for (WORD ignored : {SB_THUMBPOSITION, SB_TOP, SB_BOTTOM, SB_ENDSCROLL}) {
        VScroll(c.t, ignored, 50);
        EXPECT_EQ(e.GetTopLine(), 0u) << ignored;
    }
    for (int i = 0; i < 30; ++i) VScroll(c.t, SB_PAGEDOWN);
    EXPECT_EQ(e.GetTopLine(), e.GetMaxTopLine());
    EXPECT_EQ(e.GetMaxTopLine(), 95u);

    // Without data every scroll message is ignored.
    c.t.edit.SetData(nullptr, 0, false);
    const uint32_t before = e.GetTopLine();
    VScroll(c.t, SB_LINEUP);
    HScroll(c.t, SB_LINERIGHT);
    EXPECT_EQ(e.GetTopLine(), before);
}

TEST(HexEditScrolling, ThumbTrackUsesTheBarsFullTrackPosition) {
    // More lines than 16 bits can count: the message's position is cut,
    // the bar's track position is not.
    LinesControl c(70000, 5);
    const auto& e = c.t.edit;
    ASSERT_GT(e.GetMaxTopLine(), 66000u);
    c.t.edit.ScrollToLine(66000, false);
    SCROLLINFO track{};
    track.cbSize = sizeof track;
    track.fMask = SIF_TRACKPOS;
    ASSERT_TRUE(::GetScrollInfo(c.t.hwnd(), SB_VERT, &track));
    ASSERT_EQ(track.nTrackPos, 66000);  // outside a drag the track position is the position
    VScroll(c.t, SB_THUMBTRACK, static_cast<WORD>(66000 & 0xFFFF));
    EXPECT_EQ(e.GetTopLine(), 66000u);
    // A 16-bit reading would jump to line 464.
    EXPECT_NE(e.GetTopLine(), 66000u & 0xFFFF);
}

TEST(HexEditScrolling, HorizontalThumbTrackUsesTheBarsFullTrackPosition) {
    // A line wider than 16 bits of pixels.
    TestControl t;
    t.edit.SetBytesPerLine(30000, false, false);
    t.SetCountingData(60000);
    PumpMessages();  // the bars get their ranges
    const auto& e = t.edit;
    ASSERT_GT(e.GetMaxScrollX(), 66000u);
    t.edit.ScrollToX(66000, false);
    HScroll(t, SB_THUMBTRACK, static_cast<WORD>(66000 & 0xFFFF));
    EXPECT_EQ(e.GetScrollX(), 66000u);
}

TEST(HexEditScrolling, PageDownWithNoWholeLineVisibleStays) {
    TestControl t;
    t.SetCountingData(1600);
    const int lh = static_cast<int>(t.edit.GetLineHeight());
    ResizeWindow(t, 400, lh - 1 + 10);
    const auto& e = t.edit;
    ASSERT_EQ(e.GetFullLinesVisible(), 0u);
    ASSERT_EQ(e.GetLinesVisible(), 1u);
    VScroll(t, SB_PAGEDOWN);
    EXPECT_EQ(e.GetTopLine(), 0u);
    VScroll(t, SB_LINEDOWN);
    EXPECT_EQ(e.GetTopLine(), 1u);
}

TEST(HexEditScrolling, HorizontalScrollCodes) {
    TestControl t;
    t.edit.SetShowAddress(true, false);
    t.edit.SetShowAscii(true, false);
    t.SetCountingData(64);
    const auto& e = t.edit;
    ResizeWindow(t, 120, 200);
    const uint32_t cw = e.GetCharWidth();
    const RECT text = e.GetTextRect();
    const uint32_t page = static_cast<uint32_t>(text.right - text.left);
    ASSERT_GT(e.GetMaxScrollX(), 2 * page);

    HScroll(t, SB_LINERIGHT);
    EXPECT_EQ(e.GetScrollX(), cw);
    HScroll(t, SB_PAGERIGHT);
    EXPECT_EQ(e.GetScrollX(), cw + page);
    HScroll(t, SB_LINELEFT);
    EXPECT_EQ(e.GetScrollX(), page);
    HScroll(t, SB_PAGELEFT);
    EXPECT_EQ(e.GetScrollX(), 0u);
    HScroll(t, SB_LINELEFT);
    EXPECT_EQ(e.GetScrollX(), 0u);
    // Thumb tracking follows the bar's track position (outside a drag, the
    // bar's position), never the 16-bit position of the message.
    ::SetScrollPos(t.hwnd(), SB_HORZ, 17, FALSE);
    HScroll(t, SB_THUMBTRACK, 5);
    EXPECT_EQ(e.GetScrollX(), 17u);
    HScroll(t, SB_THUMBPOSITION, 40);
    EXPECT_EQ(e.GetScrollX(), 17u);
    ::SetScrollPos(t.hwnd(), SB_HORZ, 0xFFFFF, FALSE);
    HScroll(t, SB_THUMBTRACK, 0);
    EXPECT_EQ(e.GetScrollX(), e.GetMaxScrollX());
    EXPECT_EQ(BarInfo(t.hwnd(), SB_HORZ).nPos, static_cast<int>(e.GetMaxScrollX()));
}

TEST(HexEditScrolling, ScrollingInvalidatesOnlyOnChange) {
    LinesControl c(100, 5);
    ::ValidateRect(c.t.hwnd(), nullptr);
    c.t.edit.ScrollToLine(0, true);  // no change
    EXPECT_FALSE(HasUpdateRegion(c.t.hwnd()));
    c.t.edit.ScrollToLine(3, false);  // change without repaint
    EXPECT_FALSE(HasUpdateRegion(c.t.hwnd()));
    EXPECT_EQ(c.t.edit.GetTopLine(), 3u);
    c.t.edit.ScrollLinesBy(2, true);
    EXPECT_TRUE(HasUpdateRegion(c.t.hwnd()));
    EXPECT_EQ(c.t.edit.GetTopLine(), 5u);
    EXPECT_EQ(BarInfo(c.t.hwnd(), SB_VERT).nPos, 5);
}

TEST(HexEditMakeRangeVisible, VerticalRules) {
    LinesControl c(100, 5);
    auto& e = c.t.edit;
    // The first byte of the line below the last whole line: down one line.
    e.MakeRangeVisible(5 * 16, 5 * 16, true);
    EXPECT_EQ(e.GetTopLine(), 1u);
    EXPECT_TRUE(HasUpdateRegion(c.t.hwnd()));
    // A byte on a whole visible line: nothing moves.
    e.MakeRangeVisible(3 * 16 + 7, 3 * 16 + 7, false);
    EXPECT_EQ(e.GetTopLine(), 1u);

    e.ScrollToLine(20, false);
    // A byte above the top line: its line goes to the top.
    e.MakeRangeVisible(12 * 16 + 3, 12 * 16 + 3, false);
    EXPECT_EQ(e.GetTopLine(), 12u);
    // A byte far below: its line becomes the bottom whole line.
    e.MakeRangeVisible(40 * 16 + 15, 40 * 16 + 15, false);
    EXPECT_EQ(e.GetTopLine(), 36u);

    // Longer than the visible lines, starting below the top: start at top.
    e.MakeRangeVisible(50 * 16 + 2, 60 * 16, false);
    EXPECT_EQ(e.GetTopLine(), 50u);
    // Already covering every whole visible line: no change.
    e.MakeRangeVisible(49 * 16, 70 * 16, false);
    EXPECT_EQ(e.GetTopLine(), 50u);
    // Longer, starting above the top and ending inside: end on the bottom.
    e.MakeRangeVisible(10 * 16, 52 * 16 + 1, false);
    EXPECT_EQ(e.GetTopLine(), 48u);
    // A reversed pair is the same range.
    e.MakeRangeVisible(80 * 16, 80 * 16 - 1, false);
    EXPECT_EQ(e.GetTopLine(), 76u);
    // Past the end of the range the top line clamps.
    e.MakeRangeVisible(0xFFFFFFF0u, 0xFFFFFFFFu, false);
    EXPECT_EQ(e.GetTopLine(), e.GetMaxTopLine());
}

TEST(HexEditMakeRangeVisible, HorizontalRules) {
    TestControl t;
    t.edit.SetShowAddress(true, false);
    t.SetCountingData(64);
    auto& e = t.edit;
    const int cw = static_cast<int>(e.GetCharWidth());
    ResizeWindow(t, e.GetHexColumnLeft() + 20 * cw, 200);
    const RECT text = e.GetTextRect();
    const int width = text.right - text.left;
    ASSERT_GT(e.GetMaxScrollX(), 0u);

    // Column 10's low digit right of the text: brought to window x = text
    // width, that is textRect.left short of textRect.right.
    e.MakeRangeVisible(10, 10, false);
    const int xe = e.GetHexColumnLeft() + (3 * 10 + 2) * cw;
    EXPECT_EQ(e.GetScrollX(), static_cast<uint32_t>(xe - width + text.left));
    EXPECT_EQ(text.left + xe - static_cast<int>(e.GetScrollX()), width);
    // Column 0 left of the text: its high digit to the left edge.
    e.MakeRangeVisible(16, 16, false);
    EXPECT_EQ(e.GetScrollX(), static_cast<uint32_t>(e.GetHexColumnLeft()));
    // Visible columns: no change.
    e.MakeRangeVisible(17, 17, false);
    EXPECT_EQ(e.GetScrollX(), static_cast<uint32_t>(e.GetHexColumnLeft()));
    // A range wider than the text leaves the position alone.
    e.ScrollToX(e.GetHexColumnLeft() + cw, false);
    e.MakeRangeVisible(0, 15, false);
    EXPECT_EQ(e.GetScrollX(), static_cast<uint32_t>(e.GetHexColumnLeft() + cw));
}
