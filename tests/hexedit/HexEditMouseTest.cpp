// Caret, mouse and selection: hit tests, the block caret, focus, press,
// drag, double-click, auto-scroll driven by WM_TIMER, and SetSelection.
#include <gtest/gtest.h>

#include "HexEditInputSupport.h"
#include "HexEditTestSupport.h"

using namespace hexedit_test;

namespace {

constexpr DWORD kSingleLineStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

// Sets the control's client height so that `fullLines` whole lines and a
// partial line of `extra` pixels fit into its text area.
void SetTextLines(TestControl& t, uint32_t fullLines, uint32_t extra, int width = 400) {
    const int height =
        2 * HEXEDIT_TEXT_INSET + static_cast<int>(fullLines * t.edit.GetLineHeight() + extra);
    ::MoveWindow(t.hwnd(), 10, 10, width, height, TRUE);
}

}  // namespace

TEST(HexEditHitTest, CellHalvesAndSeparators) {
    TestControl t;
    t.SetCountingData(100);
    const CHexEditBase& e = t.edit;
    ASSERT_EQ(e.GetBytesPerLine(), 16u);
    const int half = RightHalf(e);
    auto hit = [&](uint32_t row, uint32_t column, Cell cell, int dx) {
        CHexEditBase::HitTestResult r = e.HitTest(CellPoint(e, row, column, cell, dx));
        return std::pair{r.address, r.highNibble};
    };
    EXPECT_EQ(hit(0, 9, Cell::High, 0), std::pair(9u, true));
    EXPECT_EQ(hit(0, 9, Cell::High, half - 1), std::pair(9u, true));
    EXPECT_EQ(hit(0, 9, Cell::High, half), std::pair(9u, false));
    EXPECT_EQ(hit(0, 9, Cell::Low, half - 1), std::pair(9u, false));
    // The separator is split between the two bytes beside it.
    EXPECT_EQ(hit(0, 9, Cell::Separator, half - 1), std::pair(9u, false));
    EXPECT_EQ(hit(0, 9, Cell::Separator, half), std::pair(10u, true));
    EXPECT_EQ(hit(1, 9, Cell::High, 0), std::pair(25u, true));
    // Right of the last byte of a line: that byte's low digit.
    EXPECT_EQ(hit(1, 15, Cell::Separator, half), std::pair(31u, false));
    EXPECT_EQ(hit(1, 15, Cell::Separator, 200), std::pair(31u, false));
}

TEST(HexEditHitTest, SideColumnsAndMargins) {
    TestControl t(600, 240);
    t.SetCountingData(100);
    t.edit.SetShowAddress(true, true);
    t.edit.SetShowAscii(true, true);
    const CHexEditBase& e = t.edit;
    const RECT text = e.GetTextRect();
    const int y = RowMiddle(e, 2);
    auto at = [&](int x) {
        CHexEditBase::HitTestResult r = e.HitTest(POINT{x, y});
        return std::pair{r.address, r.highNibble};
    };
    EXPECT_EQ(at(text.left + 2), std::pair(32u, true));  // address column
    EXPECT_EQ(at(1), std::pair(32u, true));              // left margin
    EXPECT_EQ(at(-500), std::pair(32u, true));
    EXPECT_EQ(at(text.left + e.GetAsciiColumnLeft() + 3), std::pair(47u, false));  // ASCII column
    EXPECT_EQ(at(text.right + 3), std::pair(47u, false));                          // right margin
}

TEST(HexEditHitTest, AboveBelowAndPastTheEnd) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    e.ScrollToLine(3, true);
    ASSERT_EQ(e.GetTopLine(), 3u);
    const RECT text = e.GetTextRect();
    const uint32_t lines = e.GetLinesVisible();
    const int x = CellLeft(e, 6, Cell::High);
    EXPECT_EQ(e.HitTest(POINT{x, text.top - 3}).address, 3u * 16 + 6);
    EXPECT_EQ(e.HitTest(POINT{x, -10000}).address, 3u * 16 + 6);
    // Below the text: the line just after the last painted one.
    EXPECT_EQ(e.HitTest(POINT{x, text.bottom + 20}).address, (3u + lines) * 16 + 6);

    t.SetCountingData(100);  // 6 full lines and 4 bytes
    e.ScrollToLine(0, true);
    CHexEditBase::HitTestResult past = e.HitTest(CellPoint(e, 6, 10, Cell::High));
    EXPECT_EQ(past.address, 99u);
    EXPECT_FALSE(past.highNibble);
    EXPECT_EQ(e.HitTest(POINT{x, text.bottom - 2}).address, 99u);
    EXPECT_FALSE(e.HitTest(POINT{x, text.bottom - 2}).highNibble);

    const uint8_t none = 0;
    e.SetData(&none, 0, true);
    EXPECT_EQ(e.HitTest(POINT{x, text.top}).address, HEXEDIT_NONE);
}

TEST(HexEditCaret, BlockOverTheDigitUnderThePress) {
    TestControl t;
    t.SetCountingData(100);
    ::SetFocus(t.hwnd());
    CHexEditBase& e = t.edit;
    const int top = e.GetTextRect().top;
    const int lh = static_cast<int>(e.GetLineHeight());

    Press(t.hwnd(), CellPoint(e, 0, 9, Cell::High, 1));
    Release(t.hwnd(), CellPoint(e, 0, 9, Cell::High, 1));
    EXPECT_EQ(e.GetCaretPos(), 9u);
    EXPECT_TRUE(e.IsCaretHighNibble());
    EXPECT_EQ(CaretWindow(), t.hwnd());
    EXPECT_EQ(CaretPoint().x, CellLeft(e, 9, Cell::High));
    EXPECT_EQ(CaretPoint().y, top + 1);
    EXPECT_EQ(e.GetCaretWidth(), static_cast<int>(e.GetCharWidth()));
    EXPECT_EQ(e.GetCaretHeight(), lh - 1);

    e.SetCaret(17, false);
    EXPECT_EQ(CaretPoint().x, CellLeft(e, 1, Cell::Low));
    EXPECT_EQ(CaretPoint().y, top + lh + 1);
}

TEST(HexEditCaret, PartialLastLineIsShorter) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    const uint32_t lh = e.GetLineHeight();
    ASSERT_GE(lh, 4u);
    SetTextLines(t, 5, lh / 2);
    ASSERT_EQ(e.GetLinesVisible(), 6u);
    ASSERT_EQ(e.GetLastLineHeight(), static_cast<int32_t>(lh / 2));
    ::SetFocus(t.hwnd());

    e.SetCaret(5 * 16 + 2, true);
    EXPECT_TRUE(e.IsCaretCreated());
    EXPECT_EQ(e.GetCaretHeight(), static_cast<int>(lh / 2) - 1);
    EXPECT_EQ(CaretPoint().y, e.GetTextRect().top + static_cast<int>(5 * lh) + 1);

    e.SetCaret(2, true);  // a whole line again: the caret is made anew
    EXPECT_EQ(e.GetCaretHeight(), static_cast<int>(lh) - 1);

    e.SetCaret(6 * 16, true);  // below the painted lines
    EXPECT_FALSE(e.IsCaretCreated());
    EXPECT_NE(CaretWindow(), t.hwnd());
}

TEST(HexEditCaret, ClippedTwoPixelsOutsideTheTextArea) {
    TestControl t(150, 240);
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    const int cw = static_cast<int>(e.GetCharWidth());
    ASSERT_GE(cw, 4);
    ::SetFocus(t.hwnd());
    const RECT text = e.GetTextRect();

    // Byte 0's high digit half scrolled out on the left.
    e.SetCaret(0, true);
    e.ScrollToX(static_cast<UINT>(2 + cw / 2), true);
    ASSERT_EQ(e.GetScrollX(), static_cast<uint32_t>(2 + cw / 2));
    EXPECT_TRUE(e.IsCaretCreated());
    EXPECT_EQ(CaretPoint().x, text.left - 2);
    EXPECT_EQ(e.GetCaretWidth(), cw - cw / 2);

    // Wholly left of the area: no caret.
    e.ScrollToX(static_cast<UINT>(cw + 2), true);
    EXPECT_FALSE(e.IsCaretCreated());

    // A digit starting one pixel inside the right edge: cut 2 pixels beyond it.
    e.ScrollToX(0, true);
    const int unscrolled = CellLeft(e, 15, Cell::High);
    e.SetCaret(15, true);
    e.ScrollToX(static_cast<UINT>(unscrolled - (text.right - 1)), true);
    ASSERT_EQ(CellLeft(e, 15, Cell::High), text.right - 1);
    EXPECT_TRUE(e.IsCaretCreated());
    EXPECT_EQ(CaretPoint().x, text.right - 1);
    EXPECT_EQ(e.GetCaretWidth(), 3);
}

TEST(HexEditCaret, HiddenWithoutFocusAndBackOnTheSameDigit) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetCaret(12, false);
    EXPECT_FALSE(e.IsCaretCreated());  // no focus yet

    ::SetFocus(t.hwnd());
    ASSERT_TRUE(e.IsCaretCreated());
    const POINT shown = CaretPoint();
    EXPECT_EQ(shown.x, CellLeft(e, 12, Cell::Low));

    ::SetFocus(t.parent.hwnd());
    EXPECT_FALSE(e.IsCaretCreated());
    EXPECT_NE(CaretWindow(), t.hwnd());

    ::SetFocus(t.hwnd());
    EXPECT_TRUE(e.IsCaretCreated());
    EXPECT_EQ(CaretWindow(), t.hwnd());
    EXPECT_EQ(e.GetCaretPos(), 12u);
    EXPECT_FALSE(e.IsCaretHighNibble());
    EXPECT_EQ(CaretPoint().x, shown.x);
    EXPECT_EQ(CaretPoint().y, shown.y);
}

TEST(HexEditMouse, PressAndReleaseInsideTheDragBoxSelectNothing) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    const POINT p = CellPoint(e, 1, 4, Cell::High, 1);
    Press(t.hwnd(), p);
    EXPECT_EQ(::GetFocus(), t.hwnd());
    EXPECT_EQ(::GetCapture(), t.hwnd());
    const RECT box = e.GetDragStartRect();
    const int cx = ::GetSystemMetrics(SM_CXDRAG);
    EXPECT_EQ(box.left, p.x - cx / 2);
    EXPECT_EQ(box.right, p.x + cx / 2 + cx % 2);

    DragTo(t.hwnd(), POINT{box.right - 1, box.bottom - 1});
    Release(t.hwnd(), POINT{box.right - 1, box.bottom - 1});
    EXPECT_FALSE(e.HasSelection());
    EXPECT_EQ(e.GetCaretPos(), 20u);
    EXPECT_TRUE(e.IsCaretHighNibble());
    EXPECT_EQ(e.GetSelectionAnchor(), 20u);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST(HexEditMouse, DragSelectsInBothDirections) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetSelection(50, 60, false, false);
    Press(t.hwnd(), CellPoint(e, 1, 4, Cell::High));  // byte 20
    EXPECT_FALSE(e.HasSelection());                   // a press drops the old selection

    DragTo(t.hwnd(), CellPoint(e, 0, 5, Cell::High));
    EXPECT_EQ(SelectionOf(e), (Selection{5, 20}));
    EXPECT_EQ(e.GetCaretPos(), 5u);
    DragTo(t.hwnd(), CellPoint(e, 1, 4, Cell::Low));
    EXPECT_EQ(SelectionOf(e), (Selection{20, 20}));  // never empty while dragging
    DragTo(t.hwnd(), CellPoint(e, 2, 5, Cell::High));
    EXPECT_EQ(SelectionOf(e), (Selection{20, 37}));
    // Moves without the button change nothing.
    ::SendMessageW(t.hwnd(), WM_MOUSEMOVE, 0, PointParam(CellPoint(e, 0, 0, Cell::High)));
    EXPECT_EQ(SelectionOf(e), (Selection{20, 37}));

    Release(t.hwnd(), CellPoint(e, 2, 5, Cell::High));
    EXPECT_EQ(SelectionOf(e), (Selection{20, 37}));
    EXPECT_EQ(e.GetSelectionAnchor(), 20u);
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
}

TEST(HexEditMouse, DoubleClickSelectsTheByteUnderThePointer) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    const POINT p = CellPoint(e, 0, 7, Cell::Low, 1);
    Press(t.hwnd(), p);
    Release(t.hwnd(), p);
    DoubleClick(t.hwnd(), p);
    Release(t.hwnd(), p);
    EXPECT_EQ(SelectionOf(e), (Selection{7, 7}));
    EXPECT_EQ(e.GetCaretPos(), 7u);
    EXPECT_FALSE(e.IsCaretHighNibble());
    EXPECT_EQ(e.GetSelectionAnchor(), 7u);
}

TEST(HexEditMouse, WithoutBytesAPressOnlyTakesTheFocus) {
    TestControl t;
    CHexEditBase& e = t.edit;
    ::SetFocus(t.parent.hwnd());
    Press(t.hwnd(), POINT{30, 30});
    EXPECT_EQ(::GetFocus(), t.hwnd());
    EXPECT_EQ(::GetCapture(), nullptr);
    DoubleClick(t.hwnd(), POINT{30, 30});
    EXPECT_FALSE(e.HasSelection());

    const uint8_t none = 0;
    e.SetData(&none, 0, true);
    Press(t.hwnd(), POINT{30, 30});
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);
    DragTo(t.hwnd(), POINT{200, 200});
    DoubleClick(t.hwnd(), POINT{30, 30});
    Release(t.hwnd(), POINT{200, 200});
    EXPECT_FALSE(e.HasSelection());
    EXPECT_FALSE(e.IsCaretCreated());
}

TEST(HexEditAutoScroll, OneLineEveryDelayPlusOneTicksUntilTheTop) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    e.ScrollToLine(10, true);
    ASSERT_EQ(e.GetTopLine(), 10u);
    const RECT text = e.GetTextRect();

    Press(t.hwnd(), CellPoint(e, 2, 3, Cell::High));  // byte 12 * 16 + 3
    const POINT above{CellLeft(e, 6, Cell::High), text.top - 30};
    DragTo(t.hwnd(), above);
    ASSERT_TRUE(e.IsAutoScrollTimerOn());
    EXPECT_EQ(e.GetAutoScrollLines(), -1);
    EXPECT_EQ(e.GetAutoScrollDelay(), 1);
    EXPECT_EQ(SelectionOf(e), (Selection{10 * 16 + 6, 12 * 16 + 3}));

    for (uint32_t line = 10; line > 0; --line) {
        Tick(t.hwnd());
        EXPECT_EQ(e.GetTopLine(), line) << "first tick of a step only counts down";
        Tick(t.hwnd());
        EXPECT_EQ(e.GetTopLine(), line - 1);
        EXPECT_EQ(SelectionOf(e), (Selection{(line - 1) * 16 + 6, 12 * 16 + 3}));
    }
    Tick(t.hwnd());
    Tick(t.hwnd());
    EXPECT_EQ(e.GetTopLine(), 0u);
    EXPECT_EQ(SelectionOf(e), (Selection{6, 12 * 16 + 3}));
    EXPECT_EQ(e.GetCaretPos(), 6u);

    // Beside the text area the running timer goes on; back inside it stops.
    DragTo(t.hwnd(), POINT{text.right + 20, RowMiddle(e, 1)});
    EXPECT_TRUE(e.IsAutoScrollTimerOn());
    EXPECT_EQ(e.GetAutoScrollLines(), -1);
    DragTo(t.hwnd(), CellPoint(e, 1, 1, Cell::High));
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
    Release(t.hwnd(), CellPoint(e, 1, 1, Cell::High));
}

TEST(HexEditAutoScroll, DelayFollowsTheDistanceBeyondTheEdge) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    e.ScrollToLine(10, true);
    const RECT text = e.GetTextRect();
    const int x = CellLeft(e, 2, Cell::High);
    Press(t.hwnd(), CellPoint(e, 3, 3, Cell::High));
    const struct {
        int distance;
        uint16_t delay;
    } table[] = {{1, 7},  {3, 7},  {4, 6},  {8, 6},  {9, 5},  {13, 5}, {14, 4},
                 {18, 4}, {19, 3}, {23, 3}, {24, 2}, {28, 2}, {29, 1}, {300, 1}};
    for (const auto& row : table) {
        DragTo(t.hwnd(), POINT{x, text.top - row.distance});
        EXPECT_EQ(e.GetAutoScrollDelay(), row.delay) << "above by " << row.distance;
        EXPECT_EQ(e.GetAutoScrollLines(), -1);
        DragTo(t.hwnd(), POINT{x, text.bottom + row.distance});
        EXPECT_EQ(e.GetAutoScrollDelay(), row.delay) << "below by " << row.distance;
        EXPECT_EQ(e.GetAutoScrollLines(), +1);
    }
    EXPECT_EQ(e.GetAutoScrollPoint().y, text.bottom + 300);
    // The countdown of a running timer is not restarted by later moves.
    EXPECT_EQ(e.GetAutoScrollCountdown(), 7);

    Release(t.hwnd(), POINT{x, text.bottom + 300});
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
    const uint32_t top = e.GetTopLine();
    Tick(t.hwnd());
    EXPECT_EQ(e.GetTopLine(), top);
}

TEST(HexEditAutoScroll, ForeignTicksAndALostCapture) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    const RECT text = e.GetTextRect();
    Press(t.hwnd(), CellPoint(e, 3, 3, Cell::High));
    DragTo(t.hwnd(), POINT{CellLeft(e, 3, Cell::High), text.bottom + 40});
    ASSERT_TRUE(e.IsAutoScrollTimerOn());
    const uint16_t countdown = e.GetAutoScrollCountdown();
    Tick(t.hwnd(), 5);
    EXPECT_EQ(e.GetAutoScrollCountdown(), countdown);
    EXPECT_EQ(e.GetTopLine(), 0u);

    // Another window took the mouse: the drag is over, no more scrolling.
    ::ReleaseCapture();
    for (int i = 0; i < 4; ++i) Tick(t.hwnd());
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
    EXPECT_EQ(e.GetTopLine(), 0u);
}

TEST(HexEditAutoScroll, NoneInSingleLineModeButMovesStillSelect) {
    TestControl t(400, 30, kSingleLineStyle);
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    ASSERT_FALSE(e.IsMultiLine());
    Press(t.hwnd(), CellPoint(e, 0, 10, Cell::High));
    DragTo(t.hwnd(), POINT{-100, -50});
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
    EXPECT_EQ(SelectionOf(e), (Selection{0, 10}));
    DragTo(t.hwnd(), POINT{20000, 500});
    EXPECT_FALSE(e.IsAutoScrollTimerOn());
    EXPECT_EQ(SelectionOf(e), (Selection{10, 99}));
    Release(t.hwnd(), POINT{20000, 500});
}

TEST(HexEditSelection, SetSelectionClampsOrdersAndSkipsRepeats) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetCaret(4, false);
    PumpMessages();
    ::ValidateRect(t.hwnd(), nullptr);

    e.SetSelection(3, 1000, false, true);
    EXPECT_EQ(SelectionOf(e), (Selection{3, 99}));
    EXPECT_TRUE(HasUpdateRegion(t.hwnd()));
    ::ValidateRect(t.hwnd(), nullptr);
    e.SetSelection(3, 99, true, true);
    EXPECT_FALSE(HasUpdateRegion(t.hwnd()));

    e.SetSelection(20, 5, false, false);  // a reversed pair is stored in order
    EXPECT_EQ(SelectionOf(e), (Selection{5, 20}));
    e.SetSelection(HEXEDIT_NONE, 7, false, false);
    EXPECT_FALSE(e.HasSelection());
    e.SetSelection(HEXEDIT_NONE, HEXEDIT_NONE, false, false);
    EXPECT_FALSE(e.HasSelection());
    EXPECT_EQ(e.GetCaretPos(), 4u);
    EXPECT_FALSE(e.IsCaretHighNibble());
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);
}

TEST(HexEditSelection, MakeVisibleScrollsTheRangeIntoView) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    e.SetSelection(800, 810, false, false);
    EXPECT_EQ(e.GetTopLine(), 0u);
    e.SetSelection(800, 811, true, false);
    const uint32_t top = e.GetTopLine();
    EXPECT_LE(top, 800u / 16);
    EXPECT_GT(top + e.GetFullLinesVisible(), 811u / 16);
}
