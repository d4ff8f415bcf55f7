#include "hexedit/core/HexViewScroll.h"

#include <algorithm>
#include <utility>

namespace hexview {

uint32_t ClampToUint(int64_t value) {
    return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, UINT32_MAX));
}

uint32_t ClampedSum(uint32_t position, int64_t delta) {
    // Saturating: a delta near the int64 limits must not overflow the sum.
    delta = std::clamp<int64_t>(delta, -int64_t{UINT32_MAX}, int64_t{UINT32_MAX});
    return ClampToUint(int64_t{position} + delta);
}

int32_t ClampToInt(uint64_t value) {
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

ScrollBarFields VerticalBar(const Layout& layout, uint32_t topLine) {
    if (layout.maxTopLine == 0) return {};
    return {true, layout.fullLinesVisible,
            ClampToInt(uint64_t{layout.maxTopLine} + layout.fullLinesVisible - 1),
            ClampToInt(std::min(topLine, layout.maxTopLine))};
}

ScrollBarFields HorizontalBar(const Layout& layout, uint32_t scrollX) {
    if (layout.maxScrollX == 0) return {};
    const auto width = static_cast<uint32_t>(int64_t{layout.textRect.right} - layout.textRect.left);
    return {true, width, ClampToInt(uint64_t{layout.maxScrollX} + width - 1),
            ClampToInt(std::min(scrollX, layout.maxScrollX))};
}

namespace {

// The signed distance of one scroll command, given a line's and a page's size.
int64_t Step(ScrollCommand command, int64_t line, int64_t page) {
    switch (command) {
        case ScrollCommand::LineBack:
            return -line;
        case ScrollCommand::LineForward:
            return line;
        case ScrollCommand::PageBack:
            return -page;
        case ScrollCommand::PageForward:
            return page;
        case ScrollCommand::Other:
            break;
    }
    return 0;
}

}  // namespace

int64_t VerticalStep(ScrollCommand command, const Layout& layout) {
    return Step(command, 1, ClampToInt(layout.fullLinesVisible));
}

int64_t HorizontalStep(ScrollCommand command, const Layout& layout) {
    return Step(command, ClampToInt(layout.charWidth),
                int64_t{layout.textRect.right} - layout.textRect.left);
}

int32_t WheelLines(int32_t wheelDelta) {
    return wheelDelta / -120;
}

ScrollTarget MakeVisible(const Layout& layout, uint32_t topLine, uint32_t scrollX, uint32_t first,
                         uint32_t last) {
    if (first > last) std::swap(first, last);
    ScrollTarget target;
    const uint64_t n = layout.bytesPerLine ? layout.bytesPerLine : 1;
    // 64-bit: in single-line mode a line holds the whole buffer, and the
    // visible byte count can exceed 32 bits.
    const uint64_t e = topLine * n;
    const uint64_t f = layout.fullLinesVisible * n;
    // The line of `first` at the top, or the line of `last` on the bottom
    // whole line; where the second is used, last >= f holds.
    const uint32_t lineOfFirst = static_cast<uint32_t>(first / n);
    const auto lineOfLastAtBottom = [&] {
        return ClampToUint(static_cast<int64_t>((last + n - std::min<uint64_t>(f, last + n)) / n));
    };

    if (!(first <= e && last >= e + f)) {
        if (uint64_t{last} - first > f) {
            if (e < first)
                target.topLine = lineOfFirst;
            else if (e + f > last)
                target.topLine = lineOfLastAtBottom();
        } else {
            if (first < e)
                target.topLine = lineOfFirst;
            else if (last >= e + f)
                target.topLine = lineOfLastAtBottom();
        }
    }

    const ViewRect& text = layout.textRect;
    const int64_t cw = layout.charWidth;
    const int64_t origin = int64_t{text.left} + layout.hexColumnLeft - int64_t{scrollX};
    int64_t xs = origin + 3 * static_cast<int64_t>(first % n) * cw;
    int64_t xe = origin + (3 * static_cast<int64_t>(last % n) + 2) * cw;
    if (xs > xe) std::swap(xs, xe);
    if (xs <= text.left && xe >= text.right) {
        // The range already spans the whole width.
    } else if (xs < text.left) {
        target.scrollX = ClampToUint(int64_t{scrollX} + xs - text.left);
    } else if (xe >= text.right) {
        target.scrollX = ClampToUint(int64_t{scrollX} + xe - text.right + text.left);
    }
    return target;
}

}  // namespace hexview
