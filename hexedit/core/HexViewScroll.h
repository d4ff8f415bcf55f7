// Scrolling of the hex view: the two positions (the top line, in lines, and
// the horizontal offset, in pixels), the fields of the two scroll bars, the
// steps of the scroll commands, and what to scroll to bring bytes into view.
#pragma once

#include <cstdint>
#include <optional>

#include "hexedit/core/HexViewLayout.h"

namespace hexview {

// Relative scrolls are summed in 64 bits so that neither a large position
// nor a large step wraps: below 0 gives 0, above the 32-bit range the
// largest position (the caller clamps it to its range).
uint32_t ClampedSum(uint32_t position, int64_t delta);
uint32_t ClampToUint(int64_t value);
// Scroll bar fields are signed 32-bit.
int32_t ClampToInt(uint64_t value);

// The fields of one scroll bar; shown is false when its range is empty.
struct ScrollBarFields {
    bool shown = false;
    uint32_t page = 0;
    int32_t max = 0;
    int32_t pos = 0;
};
ScrollBarFields VerticalBar(const Layout& layout, uint32_t topLine);
ScrollBarFields HorizontalBar(const Layout& layout, uint32_t scrollX);

// The commands of a scroll bar, towards the start (Back) or the end.
enum class ScrollCommand { LineBack, LineForward, PageBack, PageForward, Other };
// The relative step of a command: lines for the vertical bar, pixels for the
// horizontal one; 0 for Other.
int64_t VerticalStep(ScrollCommand command, const Layout& layout);
int64_t HorizontalStep(ScrollCommand command, const Layout& layout);

// Lines to scroll for a wheel turn: one per whole notch of 120, truncated
// toward zero; away from the user (positive) scrolls up.
int32_t WheelLines(int32_t wheelDelta);

// What to scroll so that bytes [first, last] (either order) are in view;
// an empty member means that position stays.
struct ScrollTarget {
    std::optional<uint32_t> topLine;
    std::optional<uint32_t> scrollX;
};
ScrollTarget MakeVisible(const Layout& layout, uint32_t topLine, uint32_t scrollX, uint32_t first,
                         uint32_t last);

}  // namespace hexview
