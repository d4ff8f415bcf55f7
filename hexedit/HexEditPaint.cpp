// Painting: the whole client area is drawn off-screen (background, address,
// hex and ASCII columns) and copied to the window with one BitBlt.
//
// Only the visible lines are drawn, and on each line only the bytes that
// can reach the clipping region (plus one either side), so the cost of a
// paint depends on the window size, not on the size of the data. Fills are
// cut to the clipping region as well, which keeps every coordinate handed
// to GDI near the window even for a line many millions of pixels wide.
#include <algorithm>
#include <cstdint>
#include <string>

#include "hexedit/HexEditBase.h"
#include "hexedit/core/HexViewText.h"

namespace {

constexpr UINT kTextFormat = DT_SINGLELINE | DT_NOPREFIX;  // left and top aligned

// The horizontal extent of the clipping region, in window x.
struct ClipSpan {
    int64_t left;
    int64_t right;
};

// Cuts a window x into the clipping span widened by one pixel, so the result
// is a small coordinate that draws exactly what the full one would have.
int Cut(int64_t x, const ClipSpan& clip) {
    return static_cast<int>(std::clamp(x, clip.left - 1, clip.right + 1));
}

void FillCut(HDC dc, int64_t left, int top, int64_t right, int bottom, HBRUSH brush,
             const ClipSpan& clip) {
    RECT rect{Cut(left, clip), top, Cut(right, clip), bottom};
    if (rect.left < rect.right && rect.top < rect.bottom) ::FillRect(dc, &rect, brush);
}

void FillSolid(HDC dc, int64_t left, int top, int64_t right, int bottom, COLORREF colour,
               const ClipSpan& clip) {
    CBrush brush(::CreateSolidBrush(colour));
    if (brush) FillCut(dc, left, top, right, bottom, brush.get(), clip);
}

// Draws `text` with its first character at window x `left`; the rectangle
// ends at `right` (cut to the clipping span).
void DrawRun(HDC dc, const std::wstring& text, int64_t left, int top, int64_t right, int bottom,
             const ClipSpan& clip) {
    if (text.empty()) return;
    RECT rect{static_cast<int>(left), top, Cut(right, clip), bottom};
    if (rect.left >= rect.right) return;
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, kTextFormat);
}

bool VisibleColumns(int64_t origin, int64_t cellWidth, uint32_t count, const ClipSpan& clip,
                    uint32_t& first, uint32_t& last) {
    return hexview::VisibleColumns(origin, cellWidth, count, clip.left, clip.right, first, last);
}

}  // namespace

// What every column needs to walk the painted lines.
namespace {

struct LineWalk {
    uint64_t topLine;
    uint32_t linesVisible;
    uint32_t bytesPerLine;
    uint32_t dataSize;
    int top;
    int lineHeight;

    // Line i of the painted lines; false past the end of the data.
    bool Line(uint32_t i, uint64_t& firstByte, uint32_t& count) const {
        firstByte = (topLine + i) * bytesPerLine;
        if (firstByte >= dataSize) return false;
        count = static_cast<uint32_t>(std::min<uint64_t>(bytesPerLine, dataSize - firstByte));
        return true;
    }
    int BandTop(uint32_t i) const { return top + static_cast<int>(i) * lineHeight; }
};

}  // namespace

void CHexEditBase::OnPaint() {
    CPaintDC paintDC(hwnd);
    RECT client{};
    GetClientRect(&client);
    CMemoryDC memoryDC(paintDC, client.right, client.bottom);
    if (memoryDC.IsValid()) {
        Paint(memoryDC);
        ::BitBlt(paintDC, 0, 0, client.right, client.bottom, memoryDC, 0, 0, SRCCOPY);
    } else {
        // Without an off-screen bitmap, drawing directly still shows the
        // control, only not flicker-free.
        Paint(paintDC);
    }
}

void CHexEditBase::Paint(HDC dc) {
    // Whatever is selected into dc (font, clipping, colours, modes) is given
    // back as it was.
    const int saved = ::SaveDC(dc);
    {
        CSelectObject selectFont(dc, font.GetSafeHandle());
        if (layoutDirty) RecalcLayout(dc);
        const RECT textRect = GetTextRect();

        RECT client{};
        if (hwnd) GetClientRect(&client);
        CBrush background(::CreateSolidBrush(backgroundColour));
        if (background) ::FillRect(dc, &client, background.get());

        CRgn clip(
            ::CreateRectRgn(textRect.left - 2, textRect.top, textRect.right + 2, textRect.bottom));
        if (clip) ::SelectClipRgn(dc, clip.get());

        if (showAddress) PaintAddressColumn(dc);
        PaintHexColumn(dc);
        if (showAscii) PaintAsciiColumn(dc);

        ::SelectClipRgn(dc, nullptr);
    }
    if (saved) ::RestoreDC(dc, saved);
}

void CHexEditBase::PaintAddressColumn(HDC dc) {
    if (dataSize == 0 || !data) return;

    const RECT textRect = GetTextRect();
    const ClipSpan clip{static_cast<int64_t>(textRect.left) - 2,
                        static_cast<int64_t>(textRect.right) + 2};
    const int64_t left = static_cast<int64_t>(textRect.left) + layout.addressColumnLeft - scrollX;
    const int64_t right = left + layout.addressColumnWidth - HEXEDIT_TEXT_INSET;
    FillSolid(dc, left, textRect.top, right, textRect.bottom, addressBackColour, clip);
    // Labels wholly outside the clip show nothing; skipping them also keeps
    // far-away coordinates out of DrawText.
    if (right < clip.left || left > clip.right) return;

    ::SetBkMode(dc, OPAQUE);
    ::SetTextColor(dc, addressTextColour);
    ::SetBkColor(dc, addressBackColour);

    const LineWalk walk{topLine,  layout.linesVisible, layout.bytesPerLine,
                        dataSize, textRect.top,        static_cast<int>(layout.lineHeight)};
    char label[hexview::kMaxLabelDigits];
    std::wstring text;
    text.reserve(hexview::kMaxLabelDigits);
    uint64_t firstByte;
    uint32_t count;
    for (uint32_t i = 0; i < walk.linesVisible && walk.Line(i, firstByte, count); ++i) {
        const size_t length =
            hexview::FormatAddress(static_cast<uint32_t>(firstByte), addressDigits, label);
        text.assign(label, label + length);
        DrawRun(dc, text, left, walk.BandTop(i), right, walk.BandTop(i) + walk.lineHeight, clip);
    }
}

void CHexEditBase::PaintHexColumn(HDC dc) {
    if (dataSize == 0 || !data) return;

    const RECT textRect = GetTextRect();
    const ClipSpan clip{static_cast<int64_t>(textRect.left) - 2,
                        static_cast<int64_t>(textRect.right) + 2};
    const int64_t cw = layout.charWidth;
    const int64_t left = static_cast<int64_t>(textRect.left) + layout.hexColumnLeft - scrollX;
    const int64_t right = left + layout.hexColumnWidth - HEXEDIT_TEXT_INSET;
    FillSolid(dc, left, textRect.top, right, textRect.bottom, hexBackColour, clip);

    ::SetBkMode(dc, TRANSPARENT);

    // The selection is shown with the focus in either mode, and without it
    // only in multi-line mode (in inactive colours).
    const bool focused = hwnd && ::GetFocus() == hwnd;
    const bool showSelection = HasSelection() && (focused || IsMultiLine());
    const COLORREF selectionBack = focused ? selectionBackColour : inactiveSelectionBackColour;
    const COLORREF selectionText = focused ? selectionTextColour : inactiveSelectionTextColour;
    // Callers store start <= end; a reversed pair still marks the bytes
    // between the two.
    const uint64_t selFirst = std::min(selectionStart, selectionEnd);
    const uint64_t selLast = std::max(selectionStart, selectionEnd);
    CBrush selectionBrush;

    const LineWalk walk{topLine,  layout.linesVisible, layout.bytesPerLine,
                        dataSize, textRect.top,        static_cast<int>(layout.lineHeight)};
    std::wstring text;
    uint64_t firstByte;
    uint32_t count;
    for (uint32_t i = 0; i < walk.linesVisible && walk.Line(i, firstByte, count); ++i) {
        uint32_t v0, v1;
        if (!VisibleColumns(left, 3 * cw, count, clip, v0, v1)) continue;
        const int top = walk.BandTop(i);
        const int bottom = top + walk.lineHeight;

        const auto build = [&](uint32_t from, uint32_t to) {
            text.clear();
            hexview::AppendHexCells(text, data.get() + firstByte, from, to, count);
        };
        build(v0, v1);
        ::SetTextColor(dc, hexTextColour);
        DrawRun(dc, text, left + 3 * v0 * cw, top, right, bottom, clip);

        if (!showSelection) continue;
        const uint64_t lineLast = firstByte + count - 1;
        if (selLast < firstByte || selFirst > lineLast) continue;
        const uint32_t c0 = selFirst > firstByte ? static_cast<uint32_t>(selFirst - firstByte) : 0;
        const uint32_t c1 =
            selLast < lineLast ? static_cast<uint32_t>(selLast - firstByte) : count - 1;
        // From the high digit of c0 to the low digit of c1; the fill is one
        // pixel lower at the top and one pixel wider on the right.
        const int64_t x0 = left + 3 * c0 * cw;
        const int64_t x1 = left + (3 * static_cast<int64_t>(c1) + 2) * cw;
        if (!selectionBrush) selectionBrush.reset(::CreateSolidBrush(selectionBack));
        if (selectionBrush) FillCut(dc, x0, top + 1, x1 + 1, bottom, selectionBrush.get(), clip);

        const uint32_t r0 = std::max(c0, v0);
        const uint32_t r1 = std::min(c1, v1);
        if (r0 > r1) continue;
        build(r0, r1);
        if (r1 == c1 && !text.empty() && text.back() == L' ') text.pop_back();
        ::SetTextColor(dc, selectionText);
        DrawRun(dc, text, left + 3 * r0 * cw, top, x1, bottom, clip);
    }
}

void CHexEditBase::PaintAsciiColumn(HDC dc) {
    if (dataSize == 0 || !data) return;

    const RECT textRect = GetTextRect();
    const ClipSpan clip{static_cast<int64_t>(textRect.left) - 2,
                        static_cast<int64_t>(textRect.right) + 2};
    const int64_t cw = layout.charWidth;
    const int64_t left = static_cast<int64_t>(textRect.left) + layout.asciiColumnLeft - scrollX;
    const int64_t right = left + layout.asciiColumnWidth;
    FillSolid(dc, left, textRect.top, right, textRect.bottom, asciiBackColour, clip);

    ::SetBkMode(dc, OPAQUE);
    ::SetTextColor(dc, asciiTextColour);
    ::SetBkColor(dc, asciiBackColour);

    const LineWalk walk{topLine,  layout.linesVisible, layout.bytesPerLine,
                        dataSize, textRect.top,        static_cast<int>(layout.lineHeight)};
    std::wstring text;
    uint64_t firstByte;
    uint32_t count;
    for (uint32_t i = 0; i < walk.linesVisible && walk.Line(i, firstByte, count); ++i) {
        uint32_t v0, v1;
        if (!VisibleColumns(left, cw, count, clip, v0, v1)) continue;
        text.clear();
        for (uint32_t c = v0; c <= v1; ++c)
            text.push_back(static_cast<wchar_t>(hexview::AsciiCell(data[firstByte + c])));
        const int top = walk.BandTop(i);
        DrawRun(dc, text, left + v0 * cw, top, right, top + walk.lineHeight, clip);
    }
}
