// RecalcLayout: the geometry every other part of the control works with,
// computed from the window size, the font and the display options.
#include "hexedit/HexEditBase.h"

#include <cstdint>

namespace {

// Column widths are kept below this so that every sum of columns, insets and
// window coordinates stays within 32-bit signed arithmetic.
constexpr int64_t kMaxColumnWidth = 0x3FFFFFFF;

uint32_t FitBytes(int32_t available, uint32_t cellsPerByte, uint32_t cellsForLast, uint32_t charWidth) {
    if (available < 0) return 1;
    uint32_t a = static_cast<uint32_t>(available);
    uint32_t step = cellsPerByte * charWidth;
    uint32_t count = a / step;
    if (a % step >= cellsForLast * charWidth) ++count;
    return count;
}

}  // namespace

void CHexEditBase::RecalcLayout(HDC dc) {
    layoutDirty = false;
    const bool multiLine = IsMultiLine();
    {
        CSelectObject selectFont(dc, font.GetSafeHandle());
        INT width = 0;
        SIZE extent{};
        charWidth = ::GetCharWidthA(dc, '0', '0', &width) && width > 0 ? static_cast<uint32_t>(width) : 0;
        lineHeight = ::GetTextExtentPoint32A(dc, "0", 1, &extent) && extent.cy > 0 ? static_cast<uint32_t>(extent.cy) : 0;
    }
    // A DC that cannot measure (no window, no display) must not lead to a
    // division by zero below; one pixel keeps the geometry defined.
    if (charWidth == 0) charWidth = 1;
    if (lineHeight == 0) lineHeight = 1;

    textRect = RECT{};
    if (hwnd) ::GetClientRect(hwnd, &textRect);
    if (multiLine) {
        textRect.left += HEXEDIT_TEXT_INSET;
        textRect.top += HEXEDIT_TEXT_INSET;
        textRect.right -= HEXEDIT_TEXT_INSET;
        textRect.bottom -= HEXEDIT_TEXT_INSET;
        if (textRect.right < textRect.left) textRect.right = textRect.left;
        if (textRect.bottom < textRect.top) textRect.bottom = textRect.top;
    }

    const uint32_t height = static_cast<uint32_t>(textRect.bottom - textRect.top);
    fullLinesVisible = height / lineHeight;
    if (const uint32_t rest = height % lineHeight; rest > 0) {
        lastLineHeight = static_cast<int32_t>(rest);
        linesVisible = fullLinesVisible + 1;
    } else {
        lastLineHeight = static_cast<int32_t>(lineHeight);
        linesVisible = fullLinesVisible;
    }

    addressColumnLeft = 0;
    addressColumnWidth = showAddress ? static_cast<int32_t>(addressDigits * charWidth) + HEXEDIT_TEXT_INSET : 0;

    uint32_t count;
    if (autoBytesPerLine && multiLine) {
        int32_t available = textRect.right - addressColumnWidth - textRect.left;
        count = showAscii ? FitBytes(available - HEXEDIT_TEXT_INSET, 4, 3, charWidth)
                          : FitBytes(available, 3, 2, charWidth);
    } else {
        count = bytesPerLineSetting;
    }
    if (!multiLine) count = dataSize;
    if (count == 0) count = 1;
    // Absurd settings (or a huge single-line buffer) are capped so the
    // column widths stay representable.
    const uint64_t maxCount = static_cast<uint64_t>(kMaxColumnWidth) / (4ull * charWidth);
    if (count > maxCount) count = static_cast<uint32_t>(maxCount);
    bytesPerLine = count;

    const int64_t hexTextWidth = (3ll * bytesPerLine - 1) * charWidth;
    hexColumnLeft = addressColumnLeft + addressColumnWidth;
    hexColumnWidth = static_cast<int32_t>(hexTextWidth + HEXEDIT_TEXT_INSET);
    int64_t contentWidth;
    if (showAscii) {
        asciiColumnLeft = hexColumnLeft + hexColumnWidth;
        asciiColumnWidth = static_cast<int32_t>(static_cast<int64_t>(bytesPerLine) * charWidth);
        contentWidth = static_cast<int64_t>(asciiColumnLeft) + asciiColumnWidth;
    } else {
        asciiColumnLeft = 0;
        asciiColumnWidth = 0;
        contentWidth = hexColumnLeft + hexTextWidth;
    }

    const uint64_t totalLines = (static_cast<uint64_t>(dataSize) + bytesPerLine - 1) / bytesPerLine;
    maxTopLine = totalLines > fullLinesVisible ? static_cast<uint32_t>(totalLines - fullLinesVisible) : 0;
    if (topLine > maxTopLine) topLine = maxTopLine;

    const int64_t visibleWidth = static_cast<int64_t>(textRect.right) - textRect.left;
    maxScrollX = contentWidth > visibleWidth ? static_cast<uint32_t>(contentWidth - visibleWidth) : 0;
    if (scrollX > maxScrollX) scrollX = maxScrollX;

    if (hwnd) ::PostMessageA(hwnd, WM_HEXEDIT_UPDATESCROLLBARS, 0, 0);
}
