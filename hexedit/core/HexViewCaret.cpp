#include "hexedit/core/HexViewCaret.h"

#include <algorithm>

namespace hexview {

namespace {

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t SaturatedDelta(int64_t delta) {
    return ToInt32(delta);
}

uint16_t DelayFor(int64_t distance) {
    return static_cast<uint16_t>(7 - std::clamp<int64_t>((distance + 1) / 5, 0, 6));
}

}  // namespace

std::optional<CaretBox> CaretBoxFor(const Layout& layout, uint32_t topLine, uint32_t scrollX,
                                    CaretSpot spot) {
    if (!layout.IsUsable()) return std::nullopt;
    const uint64_t n = layout.bytesPerLine;
    const uint64_t firstShown = uint64_t{topLine} * n;
    const uint64_t pastShown = (uint64_t{topLine} + layout.linesVisible) * n;
    if (spot.address < firstShown || spot.address >= pastShown) return std::nullopt;

    const uint64_t relative = spot.address - firstShown;
    const auto row = static_cast<uint32_t>(relative / n);
    const auto column = static_cast<int64_t>(relative % n);
    const int64_t height = row == layout.linesVisible - 1 ? int64_t{layout.lastLineHeight}
                                                          : int64_t{layout.lineHeight};
    const ViewRect& text = layout.textRect;
    const int64_t cw = layout.charWidth;
    int64_t x = int64_t{text.left} + layout.hexColumnLeft - int64_t{scrollX} +
                cw * (3 * column + (spot.highNibble ? 0 : 1));
    const int64_t y = int64_t{text.top} + int64_t{row} * layout.lineHeight + 1;

    const int64_t minX = int64_t{text.left} - 2;
    const int64_t maxX = int64_t{text.right} + 2;
    if (x + cw <= minX || x > text.right) return std::nullopt;
    int64_t width = cw;
    if (x < minX) {
        width = x + cw - minX;
        x = minX;
    }
    if (x + width > maxX) width = maxX - x;
    return CaretBox{ToInt32(x), ToInt32(y), ToInt32(width), ToInt32(height - 1)};
}

CaretSpot HitTest(const Layout& layout, uint32_t topLine, uint32_t scrollX, uint32_t dataSize,
                  ViewPoint point) {
    if (dataSize == 0) return {kNone, false};
    // Before the first layout nothing is on screen; the first byte is the
    // only sensible answer.
    if (!layout.IsUsable()) return {0, true};

    const int64_t cw = layout.charWidth;
    // Half a cell added: a point in the right half of a cell counts as the
    // next cell, so the nearest cell edge wins.
    int64_t x = int64_t{point.x} - layout.textRect.left + scrollX + cw / 2;
    int64_t y = int64_t{point.y} - layout.textRect.top;
    y = std::clamp<int64_t>(y, 0, int64_t{layout.lineHeight} * layout.linesVisible);
    const int64_t hexLeft = layout.hexColumnLeft;
    const int64_t hexRight = hexLeft + layout.hexColumnWidth - kTextInset;
    x = std::clamp<int64_t>(x, hexLeft, std::max(hexLeft, hexRight));

    const uint64_t cell = static_cast<uint64_t>(x - hexLeft) / layout.charWidth;
    const uint64_t line = uint64_t{topLine} + static_cast<uint64_t>(y) / layout.lineHeight;
    const uint64_t address = line * layout.bytesPerLine + cell / 3;
    if (address >= dataSize) return {dataSize - 1, false};
    return {static_cast<uint32_t>(address), cell % 3 == 0};
}

CaretSpot MoveCaret(uint32_t caretPos, uint32_t dataSize, int32_t delta, bool highNibble) {
    if (dataSize == 0) return {caretPos, highNibble};
    const uint64_t from = std::min<uint64_t>(caretPos, dataSize - 1);
    uint64_t target = from;
    if (delta > 0) {
        target = from + static_cast<uint64_t>(delta);
        if (target >= dataSize) {
            target = dataSize - 1;
            highNibble = false;
        }
    } else if (delta < 0) {
        const auto back = static_cast<uint64_t>(-static_cast<int64_t>(delta));
        if (back > from) {
            target = 0;
            highNibble = true;
        } else {
            target = from - back;
        }
    }
    return {static_cast<uint32_t>(target), highNibble};
}

CaretMove MoveForKey(NavKey key, bool caretHighNibble, uint32_t bytesPerLine,
                     uint32_t linesVisible) {
    const int64_t line = bytesPerLine;
    // With no whole line painted there is no page to move by; 0, never back.
    const int64_t page = (std::max<int64_t>(linesVisible, 1) - 1) * line;
    switch (key) {
        case NavKey::PageUp:
            return {SaturatedDelta(-page), caretHighNibble};
        case NavKey::PageDown:
            return {SaturatedDelta(page), caretHighNibble};
        case NavKey::Home:
            return {kHomeDelta, true};
        case NavKey::End:
            return {kEndDelta, false};
        case NavKey::Left:
            return caretHighNibble ? CaretMove{-1, false} : CaretMove{0, true};
        case NavKey::Right:
            return caretHighNibble ? CaretMove{0, false} : CaretMove{1, true};
        case NavKey::Up:
            return {SaturatedDelta(-line), caretHighNibble};
        case NavKey::Down:
            return {SaturatedDelta(line), caretHighNibble};
    }
    return {0, caretHighNibble};
}

Selection ClampSelection(uint32_t start, uint32_t end, uint32_t dataSize) {
    const uint32_t last = dataSize == 0 ? kNone : dataSize - 1;
    if (end != kNone && end >= dataSize) end = last;
    if (start != kNone && start >= dataSize) start = last;
    // Copy, paste and painting rely on start <= end.
    if (start != kNone && end != kNone && start > end) std::swap(start, end);
    return {start, end};
}

ViewRect DragStartBox(ViewPoint p, int32_t cx, int32_t cy) {
    const int64_t halfX = cx >> 1;
    const int64_t halfY = cy >> 1;
    return {ToInt32(p.x - halfX), ToInt32(p.y - halfY), ToInt32(p.x + halfX + (cx & 1)),
            ToInt32(p.y + halfY + (cy & 1))};
}

DragScroll DragScrollFor(const ViewRect& text, ViewPoint p) {
    if (Contains(text, p)) return {};
    if (p.y < text.top) return {true, -1, DelayFor(int64_t{text.top} - p.y)};
    if (p.y > text.bottom) return {true, 1, DelayFor(int64_t{p.y} - text.bottom)};
    return {true, 0, 0};
}

}  // namespace hexview
