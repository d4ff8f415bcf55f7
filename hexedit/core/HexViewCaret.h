// The edit position of the hex view and how it moves: where the caret box
// goes on screen, which digit a point hits, caret moves by keys, the
// selection kept in order and inside the data, and the pace of the
// auto-scroll while a drag is held outside the text area.
#pragma once

#include <cstdint>
#include <optional>

#include "hexedit/core/HexViewLayout.h"

namespace hexview {

// A byte and which of its two hex digits (true: the high-order one).
struct CaretSpot {
    uint32_t address = 0;
    bool highNibble = true;
    bool operator==(const CaretSpot&) const = default;
};

// The system caret's rectangle: a block over the digit, cut to the text area
// widened by two pixels either side.
struct CaretBox {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const CaretBox&) const = default;
};

// Empty when the digit is not on screen.
std::optional<CaretBox> CaretBoxFor(const Layout& layout, uint32_t topLine, uint32_t scrollX,
                                    CaretSpot spot);

// The digit nearest to a point of the client area, with the point kept to
// the painted lines and the hex column; address kNone without data.
CaretSpot HitTest(const Layout& layout, uint32_t topLine, uint32_t scrollX, uint32_t dataSize,
                  ViewPoint point);

// Moves the caret by `delta` bytes, stopping at the ends of the data (the
// last byte's low digit, the first byte's high digit). A caret outside the
// data moves from the last byte. Without data the spot is returned unchanged.
CaretSpot MoveCaret(uint32_t caretPos, uint32_t dataSize, int32_t delta, bool highNibble);

// Relative deltas for Home and End: beyond any buffer, so they stop at the
// ends.
inline constexpr int32_t kHomeDelta = -0x08000000;
inline constexpr int32_t kEndDelta = 0x07FFFFFF;

enum class NavKey { PageUp, PageDown, Home, End, Left, Right, Up, Down };

// The move a key asks for; the page keys move by the painted lines less one
// (and not at all when fewer than two lines are painted).
struct CaretMove {
    int32_t delta = 0;
    bool highNibble = true;
    bool operator==(const CaretMove&) const = default;
};
CaretMove MoveForKey(NavKey key, bool caretHighNibble, uint32_t bytesPerLine,
                     uint32_t linesVisible);

struct Selection {
    uint32_t start = kNone;
    uint32_t end = kNone;
    bool operator==(const Selection&) const = default;
};
// Ends past the data go to the last byte and a reversed pair is put in
// order; kNone ends stay kNone.
Selection ClampSelection(uint32_t start, uint32_t end, uint32_t dataSize);
// The selection between a drag's or Shift's anchor and the caret.
inline Selection SpanBetween(uint32_t anchor, uint32_t caret) {
    return anchor < caret ? Selection{anchor, caret} : Selection{caret, anchor};
}

// The rectangle a pressed button must leave before a move counts as a drag,
// `cx` x `cy` pixels centred on the point.
ViewRect DragStartBox(ViewPoint point, int32_t cx, int32_t cy);

// How a drag at `point` scrolls: lines -1 above the text area, +1 below it,
// 0 beside it; delay in timer ticks between two steps (7 close to the edge,
// down to 1 far away). outside is false inside the text area.
struct DragScroll {
    bool outside = false;
    int32_t lines = 0;
    uint16_t delay = 0;
    bool operator==(const DragScroll&) const = default;
};
DragScroll DragScrollFor(const ViewRect& textRect, ViewPoint point);

}  // namespace hexview
