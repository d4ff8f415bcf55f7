#include "hexedit/core/HexViewLayout.h"

#include <algorithm>

namespace hexview {

namespace {

// Column widths are kept below this so that every sum of columns, insets and
// window coordinates stays within 32-bit signed arithmetic.
constexpr int64_t kMaxColumnWidth = 0x3FFFFFFF;
// A cell larger than this is no font; it is measured as this much.
constexpr uint32_t kMaxCell = 0xFFFF;

uint32_t CellSize(uint32_t measured) {
    return std::clamp<uint32_t>(measured, 1, kMaxCell);
}

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// How many bytes of `cellsPerByte` cells fit into `available` pixels when the
// last byte needs only `cellsForLast` cells.
uint32_t FitBytes(int64_t available, uint32_t cellsPerByte, uint32_t cellsForLast,
                  uint32_t charWidth) {
    if (available < 0) return 1;
    const int64_t step = int64_t{cellsPerByte} * charWidth;
    int64_t count = available / step;
    if (available % step >= int64_t{cellsForLast} * charWidth) ++count;
    return static_cast<uint32_t>(std::min<int64_t>(count, UINT32_MAX));
}

}  // namespace

Layout ComputeLayout(uint32_t measuredCharWidth, uint32_t measuredLineHeight,
                     const ViewRect& client, const LayoutOptions& options, uint32_t dataSize) {
    Layout l;
    // A DC that cannot measure (no window, no display) must not lead to a
    // division by zero; one pixel keeps the geometry defined.
    l.charWidth = CellSize(measuredCharWidth);
    l.lineHeight = CellSize(measuredLineHeight);
    const int64_t cw = l.charWidth;

    l.textRect = client;
    if (options.multiLine) {
        ViewRect& t = l.textRect;
        t.left = ToInt32(int64_t{t.left} + kTextInset);
        t.top = ToInt32(int64_t{t.top} + kTextInset);
        t.right = ToInt32(int64_t{t.right} - kTextInset);
        t.bottom = ToInt32(int64_t{t.bottom} - kTextInset);
    }
    l.textRect.right = std::max(l.textRect.right, l.textRect.left);
    l.textRect.bottom = std::max(l.textRect.bottom, l.textRect.top);

    const uint64_t height = static_cast<uint64_t>(int64_t{l.textRect.bottom} - l.textRect.top);
    l.fullLinesVisible = static_cast<uint32_t>(height / l.lineHeight);
    if (const uint64_t rest = height % l.lineHeight; rest > 0) {
        l.lastLineHeight = static_cast<int32_t>(rest);
        l.linesVisible = l.fullLinesVisible + 1;
    } else {
        l.lastLineHeight = static_cast<int32_t>(l.lineHeight);
        l.linesVisible = l.fullLinesVisible;
    }

    l.addressColumnLeft = 0;
    l.addressColumnWidth =
        options.showAddress
            ? static_cast<int32_t>(
                  std::min<int64_t>(int64_t{options.addressDigits} * cw, kMaxColumnWidth) +
                  kTextInset)
            : 0;

    uint32_t count = options.bytesPerLineSetting;
    if (options.autoBytesPerLine && options.multiLine) {
        const int64_t available =
            int64_t{l.textRect.right} - l.addressColumnWidth - l.textRect.left;
        count = options.showAscii ? FitBytes(available - kTextInset, 4, 3, l.charWidth)
                                  : FitBytes(available, 3, 2, l.charWidth);
    }
    if (!options.multiLine) count = dataSize;
    // Absurd settings (or a huge single-line buffer) are capped so the
    // column widths stay representable.
    const uint32_t maxCount = static_cast<uint32_t>(kMaxColumnWidth / (4 * cw));
    l.bytesPerLine = std::clamp<uint32_t>(count, 1, maxCount);

    const int64_t hexTextWidth = (3 * int64_t{l.bytesPerLine} - 1) * cw;
    l.hexColumnLeft = l.addressColumnLeft + l.addressColumnWidth;
    l.hexColumnWidth = static_cast<int32_t>(hexTextWidth + kTextInset);
    int64_t contentWidth = l.hexColumnLeft + hexTextWidth;
    if (options.showAscii) {
        l.asciiColumnLeft = l.hexColumnLeft + l.hexColumnWidth;
        l.asciiColumnWidth = static_cast<int32_t>(int64_t{l.bytesPerLine} * cw);
        contentWidth = int64_t{l.asciiColumnLeft} + l.asciiColumnWidth;
    }

    const uint64_t totalLines = (uint64_t{dataSize} + l.bytesPerLine - 1) / l.bytesPerLine;
    l.maxTopLine = totalLines > l.fullLinesVisible
                       ? static_cast<uint32_t>(totalLines - l.fullLinesVisible)
                       : 0;
    const int64_t visibleWidth = int64_t{l.textRect.right} - l.textRect.left;
    l.maxScrollX =
        contentWidth > visibleWidth ? static_cast<uint32_t>(contentWidth - visibleWidth) : 0;
    return l;
}

}  // namespace hexview
