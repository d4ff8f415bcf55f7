// Painting, checked on pixels: the control paints into a 32-bit DIB section
// through the same routine WM_PAINT uses, and text is compared with the
// same strings drawn by GDI with the control's font into a reference DIB.
// Positions come from the layout the control reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "HexEditTestSupport.h"

using namespace hexedit_test;

namespace {

// Colours unlike every default, so each pixel tells which member painted it.
constexpr COLORREF kBackground = RGB(201, 202, 203);
constexpr COLORREF kAddressBack = RGB(60, 10, 20);
constexpr COLORREF kAddressText = RGB(250, 90, 10);
constexpr COLORREF kHexBack = RGB(170, 220, 180);
constexpr COLORREF kHexText = RGB(10, 20, 230);
constexpr COLORREF kAsciiBack = RGB(5, 30, 5);
constexpr COLORREF kAsciiText = RGB(30, 240, 60);
constexpr UINT kFormat = DT_SINGLELINE | DT_NOPREFIX;

void ResizeWindow(TestControl& t, int width, int height) {
    ::MoveWindow(t.hwnd(), 10, 10, width, height, TRUE);
    PumpMessages();
}

// Stores a selection no setter would store (reversed, past the data), to
// see that painting stays defined.
struct RawSelection : CHexEditBase {
    static void Set(CHexEditBase& edit, uint32_t start, uint32_t end) {
        edit.*(&RawSelection::selectionStart) = start;
        edit.*(&RawSelection::selectionEnd) = end;
    }
};

struct PaintedControl {
    explicit PaintedControl(DWORD style = WS_CHILD | WS_VISIBLE | HEXEDIT_STYLE_MULTILINE)
        : t(400, 240, style) {
        // Room for every window size the tests use, all of it on screen.
        ::MoveWindow(t.parent.hwnd(), 20, 20, 900, 700, TRUE);
        auto& e = t.edit;
        e.SetBackgroundColour(kBackground, false);
        e.SetAddressColours(kAddressBack, kAddressText, false);
        e.SetHexColours(kHexBack, kHexText, false);
        e.SetAsciiColours(kAsciiBack, kAsciiText, false);
    }
    // Shows address (6 digits) and ASCII, and sizes the window to the
    // content plus `slack` pixels, with `lines` lines and a half.
    void Standard(const std::vector<uint8_t>& bytes, uint32_t lines = 5, int slack = 20) {
        auto& e = t.edit;
        e.SetShowAddress(true, false);
        e.SetAddressDigits(6, false);
        e.SetShowAscii(true, false);
        e.SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
        Fit(lines, slack);
    }
    void Fit(uint32_t lines, int slack) {
        auto& e = t.edit;
        HDC dc = ::GetDC(t.hwnd());
        e.RecalcLayout(dc);
        ::ReleaseDC(t.hwnd(), dc);
        const int content = e.GetAsciiColumnLeft() + e.GetAsciiColumnWidth();
        const int lh = static_cast<int>(e.GetLineHeight());
        ResizeWindow(t, content + 2 * HEXEDIT_TEXT_INSET + slack,
                     static_cast<int>(lines) * lh + lh / 2 + 2 * HEXEDIT_TEXT_INSET);
    }
    std::unique_ptr<DibSection> Paint() {
        RECT client{};
        ::GetClientRect(t.hwnd(), &client);
        auto dib = std::make_unique<DibSection>(client.right, client.bottom);
        dib->Fill(RGB(1, 1, 1));
        t.edit.Paint(dib->hdc());
        return dib;
    }

    int Cw() const { return static_cast<int>(t.edit.GetCharWidth()); }
    int Lh() const { return static_cast<int>(t.edit.GetLineHeight()); }
    RECT Text() const { return t.edit.GetTextRect(); }
    int Scroll() const { return static_cast<int>(t.edit.GetScrollX()); }
    int BandTop(int line) const { return Text().top + line * Lh(); }
    int AddressLeft() const { return Text().left + t.edit.GetAddressColumnLeft() - Scroll(); }
    int HexLeft() const { return Text().left + t.edit.GetHexColumnLeft() - Scroll(); }
    int AsciiLeft() const { return Text().left + t.edit.GetAsciiColumnLeft() - Scroll(); }

    TestControl t;
};

std::vector<uint8_t> Counting(uint32_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

// `area` cut to the DIB, so no check reads outside the bitmap.
RECT Inside(const DibSection& dib, RECT area) {
    RECT bounds{0, 0, dib.Width(), dib.Height()};
    RECT cut{};
    ::IntersectRect(&cut, &bounds, &area);
    return cut;
}

int CountColour(const DibSection& dib, RECT area, COLORREF colour) {
    area = Inside(dib, area);
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (dib.Pixel(x, y) == colour) ++count;
    return count;
}

bool AllColour(const DibSection& dib, RECT area, COLORREF colour) {
    area = Inside(dib, area);
    if (::IsRectEmpty(&area)) return false;  // nothing to look at proves nothing
    return CountColour(dib, area, colour) == (area.right - area.left) * (area.bottom - area.top);
}

// `text` drawn by GDI with `font` at (x, y) on `back`, transparent or
// opaque, into a DIB of the given size.
std::unique_ptr<DibSection> Reference(int width, int height, HFONT font, const std::wstring& text,
                                      int x, int y, int lineHeight, COLORREF back, COLORREF colour,
                                      bool opaque) {
    auto dib = std::make_unique<DibSection>(width, height);
    dib->Fill(back);
    HDC dc = dib->hdc();
    HGDIOBJ old = ::SelectObject(dc, font);
    ::SetBkMode(dc, opaque ? OPAQUE : TRANSPARENT);
    ::SetBkColor(dc, back);
    ::SetTextColor(dc, colour);
    RECT rect{x, y, width, y + lineHeight};
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, kFormat);
    ::SelectObject(dc, old);
    return dib;
}

// The pixels of `area` that differ between two DIBs.
int Differences(const DibSection& a, const DibSection& b, RECT area) {
    area = Inside(a, area);
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) ++count;
    return count;
}

// Compares the run of `text` (one cell per character) at (x, y) with a
// reference rendering, from row `fromRow` of the band on.
int TextDifferences(const PaintedControl& p, const DibSection& dib, const std::wstring& text, int x,
                    int y, COLORREF back, COLORREF colour, bool opaque, int fromRow = 0) {
    auto ref = Reference(dib.Width(), dib.Height(), p.t.edit.GetFontHandle(), text, x, y, p.Lh(),
                         back, colour, opaque);
    const int right = x + static_cast<int>(text.size()) * p.Cw();
    return Differences(dib, *ref, RECT{x, y + fromRow, right, y + p.Lh()});
}

std::wstring HexText(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (size_t i = from; i < from + count; ++i) {
        if (i > from) text.push_back(L' ');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

}  // namespace

TEST(HexEditPaint, ThreeColumnsWithTheirColours) {
    PaintedControl p;
    ASSERT_TRUE(p.t.created);
    p.Standard(Counting(40));
    auto dib = p.Paint();
    const RECT text = p.Text();
    const int cw = p.Cw();
    const int below = p.BandTop(3) + 1;  // a row under the last line of data

    // Margins and the space right of the last column keep the background.
    EXPECT_TRUE(AllColour(*dib, RECT{0, 0, dib->Width(), text.top}, kBackground));
    EXPECT_TRUE(AllColour(*dib, RECT{0, text.bottom, dib->Width(), dib->Height()}, kBackground));
    EXPECT_TRUE(AllColour(*dib, RECT{0, text.top, text.left, text.bottom}, kBackground));
    const int asciiRight = p.AsciiLeft() + 16 * cw;
    EXPECT_TRUE(
        AllColour(*dib, RECT{asciiRight, text.top, dib->Width(), text.bottom}, kBackground));

    // Column backgrounds run the full text height, below the data too,
    // with the 5-pixel gaps after the address and hex columns.
    const int addressRight = p.AddressLeft() + 6 * cw;
    const int hexRight = p.HexLeft() + 47 * cw;
    EXPECT_TRUE(
        AllColour(*dib, RECT{p.AddressLeft(), below, addressRight, text.bottom}, kAddressBack));
    EXPECT_TRUE(
        AllColour(*dib, RECT{addressRight, text.top, p.HexLeft(), text.bottom}, kBackground));
    EXPECT_TRUE(AllColour(*dib, RECT{p.HexLeft(), below, hexRight, text.bottom}, kHexBack));
    EXPECT_TRUE(AllColour(*dib, RECT{hexRight, text.top, p.AsciiLeft(), text.bottom}, kBackground));
    EXPECT_TRUE(AllColour(*dib, RECT{p.AsciiLeft(), below, asciiRight, text.bottom}, kAsciiBack));
    EXPECT_EQ(p.HexLeft() - addressRight, 5);
    EXPECT_EQ(p.AsciiLeft() - hexRight, 5);

    // Text of each column in its own colour.
    const RECT band0{0, p.BandTop(0), dib->Width(), p.BandTop(1)};
    EXPECT_GT(CountColour(*dib, RECT{p.AddressLeft(), band0.top, addressRight, band0.bottom},
                          kAddressText),
              0);
    EXPECT_GT(CountColour(*dib, RECT{p.HexLeft(), band0.top, hexRight, band0.bottom}, kHexText), 0);
    EXPECT_GT(
        CountColour(*dib, RECT{p.AsciiLeft(), band0.top, asciiRight, band0.bottom}, kAsciiText), 0);
    EXPECT_EQ(CountColour(*dib, band0, RGB(1, 1, 1)), 0);  // every pixel was painted
}

TEST(HexEditPaint, AddressLabelsHexTextAndTheShortLastLine) {
    PaintedControl p;
    const auto bytes = Counting(40);
    p.Standard(bytes);
    auto dib = p.Paint();
    const int cw = p.Cw();

    const wchar_t* labels[] = {L"000000", L"000010", L"000020"};
    for (int line = 0; line < 3; ++line) {
        EXPECT_EQ(TextDifferences(p, *dib, labels[line], p.AddressLeft(), p.BandTop(line),
                                  kAddressBack, kAddressText, true),
                  0)
            << "label of line " << line;
        const size_t count = line < 2 ? 16 : 8;
        EXPECT_EQ(TextDifferences(p, *dib, HexText(bytes, line * 16, count), p.HexLeft(),
                                  p.BandTop(line), kHexBack, kHexText, false),
                  0)
            << "hex text of line " << line;
    }
    // The third line holds 8 bytes: 23 characters, then only the background.
    EXPECT_TRUE(AllColour(
        *dib, RECT{p.HexLeft() + 23 * cw, p.BandTop(2), p.HexLeft() + 47 * cw, p.BandTop(3)},
        kHexBack));
    EXPECT_TRUE(AllColour(
        *dib, RECT{p.AsciiLeft() + 8 * cw, p.BandTop(2), p.AsciiLeft() + 16 * cw, p.BandTop(3)},
        kAsciiBack));
    // No fourth label.
    EXPECT_TRUE(AllColour(
        *dib, RECT{p.AddressLeft(), p.BandTop(3), p.AddressLeft() + 6 * cw, p.Text().bottom},
        kAddressBack));
}

TEST(HexEditPaint, AsciiColumnShowsPrintableBytesOnly) {
    PaintedControl p;
    const std::vector<uint8_t> bytes{0x41, 0x7E, 0x20, 0x7F, 0x80, 0x0A, 0x00, 0x26, 0xFF};
    p.Standard(bytes);
    auto dib = p.Paint();
    // The ampersand is shown literally, not taken as a prefix.
    EXPECT_EQ(TextDifferences(p, *dib, L"A~ ....&.", p.AsciiLeft(), p.BandTop(0), kAsciiBack,
                              kAsciiText, true),
              0);
    EXPECT_NE(TextDifferences(p, *dib, L"A~ ....&.", p.AsciiLeft(), p.BandTop(0), kAsciiBack,
                              kAsciiText, true) +
                  TextDifferences(p, *dib, L"A~ .....", p.AsciiLeft(), p.BandTop(0), kAsciiBack,
                                  kAsciiText, true),
              0);
}

TEST(HexEditPaint, SelectionAcrossALineBreakWithTheFocus) {
    PaintedControl p;
    const auto bytes = Counting(40);
    p.Standard(bytes);
    auto& e = p.t.edit;
    ::SetFocus(p.t.hwnd());
    ASSERT_EQ(::GetFocus(), p.t.hwnd());
    e.SetSelection(14, 17, false, false);  // columns 14, 15 of line 0 and 0, 1 of line 1
    auto dib = p.Paint();
    const int cw = p.Cw();
    const COLORREF back = e.GetSelectionBackColour();
    const COLORREF textColour = e.GetSelectionTextColour();

    struct Run {
        int line, c0, c1;
        size_t firstByte;
    };
    for (const Run& run : {Run{0, 14, 15, 14}, Run{1, 0, 1, 16}}) {
        const int top = p.BandTop(run.line);
        const int bottom = top + p.Lh();
        const int x0 = p.HexLeft() + 3 * run.c0 * cw;
        const int x1 = p.HexLeft() + (3 * run.c1 + 2) * cw;
        // One pixel lower at the top, one pixel wider on the right.
        EXPECT_EQ(CountColour(*dib, RECT{x0 - 1, top, x1 + 2, top + 1}, back), 0) << run.line;
        EXPECT_TRUE(AllColour(*dib, RECT{x1, top + 1, x1 + 1, bottom}, back)) << run.line;
        EXPECT_EQ(CountColour(*dib, RECT{x1 + 1, top, x1 + 2, bottom}, back), 0) << run.line;
        EXPECT_EQ(CountColour(*dib, RECT{x0 - 1, top, x0, bottom}, back), 0) << run.line;
        // The selected digits, in the selection text colour on the fill.
        EXPECT_EQ(TextDifferences(p, *dib, HexText(bytes, run.firstByte, run.c1 - run.c0 + 1), x0,
                                  top, back, textColour, false, 1),
                  0)
            << run.line;
        EXPECT_EQ(CountColour(*dib, RECT{x0, top, x1 + 1, bottom}, kHexText), 0) << run.line;
    }
    // Outside the run: plain hex text, no fill.
    EXPECT_EQ(
        CountColour(*dib, RECT{p.HexLeft(), p.BandTop(0), p.HexLeft() + 42 * cw - 1, p.BandTop(1)},
                    back),
        0);
    EXPECT_EQ(TextDifferences(p, *dib, HexText(bytes, 0, 14), p.HexLeft(), p.BandTop(0), kHexBack,
                              kHexText, false),
              0);
    EXPECT_EQ(TextDifferences(p, *dib, HexText(bytes, 18, 14), p.HexLeft() + 6 * cw, p.BandTop(1),
                              kHexBack, kHexText, false),
              0);
    EXPECT_EQ(CountColour(*dib, RECT{0, p.BandTop(2), dib->Width(), p.Text().bottom}, back), 0);
    // The ASCII column shows no selection.
    EXPECT_EQ(
        CountColour(*dib, RECT{p.AsciiLeft(), p.Text().top, dib->Width(), p.Text().bottom}, back),
        0);
}

TEST(HexEditPaint, SelectionWithoutTheFocus) {
    const auto bytes = Counting(40);
    {
        // Multi-line: still shown, in the inactive colours.
        PaintedControl p;
        p.Standard(bytes);
        auto& e = p.t.edit;
        ::SetFocus(p.t.parent.hwnd());
        ASSERT_NE(::GetFocus(), p.t.hwnd());
        e.SetSelection(3, 3, false, false);
        auto dib = p.Paint();
        const int x0 = p.HexLeft() + 9 * p.Cw();
        const int x1 = x0 + 2 * p.Cw();
        const int top = p.BandTop(0);
        EXPECT_TRUE(AllColour(*dib, RECT{x1, top + 1, x1 + 1, top + p.Lh()},
                              e.GetInactiveSelectionBackColour()));
        EXPECT_EQ(TextDifferences(p, *dib, L"03", x0, top, e.GetInactiveSelectionBackColour(),
                                  e.GetInactiveSelectionTextColour(), false, 1),
                  0);
        EXPECT_EQ(
            CountColour(*dib, RECT{0, 0, dib->Width(), dib->Height()}, e.GetSelectionBackColour()),
            0);
    }
    {
        // Single-line: not marked at all; with the focus it is.
        PaintedControl p(WS_CHILD | WS_VISIBLE);
        p.t.edit.SetData(bytes.data(), 40, false);
        ::SetFocus(p.t.parent.hwnd());
        auto plain = p.Paint();
        p.t.edit.SetSelection(3, 20, false, false);
        auto unfocused = p.Paint();
        const RECT all{0, 0, plain->Width(), plain->Height()};
        EXPECT_EQ(Differences(*plain, *unfocused, all), 0);
        ::SetFocus(p.t.hwnd());
        auto focused = p.Paint();
        EXPECT_GT(CountColour(*focused, all, p.t.edit.GetSelectionBackColour()), 0);
    }
}

TEST(HexEditPaint, OutOfOrderOrOversizedSelectionStaysInsideTheData) {
    PaintedControl p;
    const auto bytes = Counting(40);
    p.Standard(bytes);
    ::SetFocus(p.t.hwnd());
    p.t.edit.SetSelection(14, 17, false, false);
    auto ordered = p.Paint();
    // Reversed ends mark the same bytes.
    RawSelection::Set(p.t.edit, 17, 14);
    auto reversed = p.Paint();
    const RECT all{0, 0, ordered->Width(), ordered->Height()};
    EXPECT_EQ(Differences(*ordered, *reversed, all), 0);
    // An end far past the data marks up to the last byte and nothing more.
    RawSelection::Set(p.t.edit, 30, 0xFFFFFFF0u);
    auto past = p.Paint();
    const COLORREF back = p.t.edit.GetSelectionBackColour();
    const int lastX1 = p.HexLeft() + (3 * 7 + 2) * p.Cw();
    EXPECT_TRUE(AllColour(*past, RECT{lastX1, p.BandTop(2) + 1, lastX1 + 1, p.BandTop(3)}, back));
    EXPECT_EQ(
        CountColour(*past, RECT{lastX1 + 1, p.BandTop(2), past->Width(), past->Height()}, back), 0);
}

TEST(HexEditPaint, ScrolledRightCutsTheAddressColumnAtTheTextRectangle) {
    PaintedControl p;
    const auto bytes = Counting(32);
    p.Standard(bytes, 4, 0);
    const int cw = p.Cw();
    ResizeWindow(p.t, 20 * cw, 5 * p.Lh() + 10);
    p.t.edit.ScrollToX(2 * cw, false);
    ASSERT_EQ(p.Scroll(), 2 * cw);
    auto dib = p.Paint();
    const RECT text = p.Text();
    const int below = p.BandTop(2);
    EXPECT_EQ(p.AddressLeft(), text.left - 2 * cw);
    // Up to 2 pixels left of the text rectangle show, nothing further.
    EXPECT_TRUE(AllColour(*dib, RECT{0, text.top, text.left - 2, text.bottom}, kBackground));
    EXPECT_TRUE(AllColour(*dib, RECT{text.left - 2, below, p.AddressLeft() + 6 * cw, text.bottom},
                          kAddressBack));
    auto label = Reference(dib->Width(), dib->Height(), p.t.edit.GetFontHandle(), L"000010",
                           p.AddressLeft(), p.BandTop(1), p.Lh(), kAddressBack, kAddressText, true);
    EXPECT_EQ(
        Differences(*dib, *label,
                    RECT{text.left - 2, p.BandTop(1), p.AddressLeft() + 6 * cw, p.BandTop(2)}),
        0);
    // And the same on the right, where the hex column runs on.
    ASSERT_GT(p.HexLeft() + 47 * cw, text.right + 2);
    EXPECT_TRUE(
        AllColour(*dib, RECT{text.right - 4, below, text.right + 2, text.bottom}, kHexBack));
    EXPECT_TRUE(AllColour(*dib, RECT{text.right + 2, 0, dib->Width(), dib->Height()}, kBackground));
}

TEST(HexEditPaint, EmptyDataShowsOnlyTheBackground) {
    PaintedControl p;
    p.t.edit.SetShowAddress(true, false);
    p.t.edit.SetShowAscii(true, false);
    const uint8_t none = 0;
    p.t.edit.SetData(&none, 0, false);
    auto allocated = p.Paint();
    const RECT all{0, 0, allocated->Width(), allocated->Height()};
    EXPECT_TRUE(AllColour(*allocated, all, kBackground));
    p.t.edit.SetData(nullptr, 0, false);
    auto absent = p.Paint();
    EXPECT_TRUE(AllColour(*absent, all, kBackground));
}

TEST(HexEditPaint, LongAddressDigitsAndFarLines) {
    PaintedControl p;
    const auto bytes = Counting(1 << 20);
    p.Standard(bytes);
    p.t.edit.ScrollToLine(0xFFFFFFFFu, false);
    ASSERT_EQ(p.t.edit.GetTopLine(), p.t.edit.GetMaxTopLine());
    auto dib = p.Paint();
    // The bottom whole line is the last: 0x0FFFF0.
    const int lastLine = static_cast<int>(p.t.edit.GetFullLinesVisible()) - 1;
    EXPECT_EQ(TextDifferences(p, *dib, L"0FFFF0", p.AddressLeft(), p.BandTop(lastLine),
                              kAddressBack, kAddressText, true),
              0);
    EXPECT_EQ(TextDifferences(p, *dib, HexText(bytes, 0xFFFF0, 16), p.HexLeft(),
                              p.BandTop(lastLine), kHexBack, kHexText, false),
              0);

    // Labels never grow beyond 31 digits, however many are asked for.
    p.t.edit.SetAddressDigits(200, false);
    auto wide = p.Paint();
    const std::wstring label31 = std::wstring(26, L'0') + L"FFFF0";
    EXPECT_EQ(TextDifferences(p, *wide, label31, p.AddressLeft(), p.BandTop(lastLine), kAddressBack,
                              kAddressText, true),
              0);
    const int afterLabel = p.AddressLeft() + 31 * p.Cw();
    ASSERT_LT(afterLabel, p.Text().right);
    EXPECT_TRUE(AllColour(*wide, RECT{afterLabel, p.BandTop(0), p.Text().right, p.Text().bottom},
                          kAddressBack));
}

TEST(HexEditPaint, SingleLineWithAMillionBytesScrolledToTheEnd) {
    PaintedControl p(WS_CHILD | WS_VISIBLE);
    const auto bytes = Counting(1 << 20);
    p.t.edit.SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
    p.t.edit.ScrollToX(0xFFFFFFFFu, false);
    ASSERT_EQ(p.t.edit.GetScrollX(), p.t.edit.GetMaxScrollX());
    auto dib = p.Paint();
    const int cw = p.Cw();
    const RECT text = p.Text();
    // The last byte's low digit ends at the right edge of the text.
    EXPECT_EQ(TextDifferences(p, *dib, L"FD FE FF", text.right - 8 * cw, p.BandTop(0), kHexBack,
                              kHexText, false),
              0);
    // Scrolled so that the left edge cuts through byte 1's low digit: the
    // visible part of that digit shows, and the bytes after it.
    const int scroll = 4 * cw + 2;
    p.t.edit.ScrollToX(scroll, false);
    auto start = p.Paint();
    auto ref =
        Reference(start->Width(), start->Height(), p.t.edit.GetFontHandle(), HexText(bytes, 1, 9),
                  text.left + 3 * cw - scroll, p.BandTop(0), p.Lh(), kHexBack, kHexText, false);
    const int refLeft = text.left + 3 * cw - scroll;
    EXPECT_EQ(Differences(*start, *ref,
                          RECT{text.left - 2, p.BandTop(0), refLeft + 26 * cw, p.BandTop(1)}),
              0);
}

TEST(HexEditPaint, WindowShowsWhatThePaintRoutineDraws) {
    PaintedControl p;
    p.Standard(Counting(40));
    ::SetFocus(p.t.parent.hwnd());  // no caret in the picture
    auto expected = p.Paint();

    ::InvalidateRect(p.t.hwnd(), nullptr, TRUE);
    ::UpdateWindow(p.t.hwnd());
    DibSection screen(expected->Width(), expected->Height());
    HDC windowDC = ::GetDC(p.t.hwnd());
    ::BitBlt(screen.hdc(), 0, 0, screen.Width(), screen.Height(), windowDC, 0, 0, SRCCOPY);
    ::ReleaseDC(p.t.hwnd(), windowDC);
    EXPECT_EQ(Differences(*expected, screen, RECT{0, 0, screen.Width(), screen.Height()}), 0);
    EXPECT_FALSE(HasUpdateRegion(p.t.hwnd()));
}

TEST(HexEditPaint, LeavesTheTargetDCAsItWas) {
    PaintedControl p;
    p.Standard(Counting(40));
    ::SetFocus(p.t.hwnd());
    p.t.edit.SetSelection(2, 5, false, false);
    DibSection dib(100, 100);
    HDC dc = dib.hdc();
    HGDIOBJ font = ::GetCurrentObject(dc, OBJ_FONT);
    ::SetTextColor(dc, RGB(1, 2, 3));
    ::SetBkColor(dc, RGB(4, 5, 6));
    ::SetBkMode(dc, OPAQUE);
    p.t.edit.Paint(dc);
    EXPECT_EQ(::GetCurrentObject(dc, OBJ_FONT), font);
    EXPECT_EQ(::GetTextColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(::GetBkColor(dc), RGB(4, 5, 6));
    EXPECT_EQ(::GetBkMode(dc), OPAQUE);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetClipRgn(dc, region), 0);  // no clipping region left behind
    ::DeleteObject(region);
}
