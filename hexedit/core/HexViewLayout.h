// The geometry of the hex view: where the address, hex and ASCII columns
// lie and how many lines fit, computed from the cell size of the font, the
// client area and the display options. Everything else in the view (caret,
// hit test, scrolling, painting) works from one Layout.
#pragma once

#include <cstdint>

namespace hexview {

inline constexpr uint32_t kNone = 0xFFFFFFFFu;  // "no position"
inline constexpr int32_t kTextInset = 5;        // multi-line inset and column gap

// Window coordinates; right and bottom are exclusive.
struct ViewRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct ViewPoint {
    int32_t x = 0;
    int32_t y = 0;
};

inline bool Contains(const ViewRect& rect, ViewPoint p) {
    return p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
}

struct LayoutOptions {
    bool multiLine = false;
    bool showAddress = false;
    bool showAscii = false;
    bool autoBytesPerLine = false;
    uint32_t addressDigits = 8;
    uint32_t bytesPerLineSetting = 16;
};

struct Layout {
    uint32_t fullLinesVisible = 0;
    int32_t lastLineHeight = 0;  // height of the last painted line
    uint32_t linesVisible = 0;   // painted lines, a partial last one included
    uint32_t lineHeight = 0;
    uint32_t charWidth = 0;
    uint32_t bytesPerLine = 0;
    int32_t hexColumnLeft = 0;  // columns are relative to textRect.left
    int32_t hexColumnWidth = 0;
    int32_t asciiColumnLeft = 0;
    int32_t asciiColumnWidth = 0;
    int32_t addressColumnLeft = 0;
    int32_t addressColumnWidth = 0;
    ViewRect textRect{};
    uint32_t maxTopLine = 0;
    uint32_t maxScrollX = 0;

    // False before the first layout: nothing may divide by these yet.
    bool IsUsable() const { return bytesPerLine > 0 && charWidth > 0 && lineHeight > 0; }
};

// charWidth and lineHeight are the measured cell size (0 when the font could
// not be measured); client is the window's client rectangle.
Layout ComputeLayout(uint32_t charWidth, uint32_t lineHeight, const ViewRect& client,
                     const LayoutOptions& options, uint32_t dataSize);

}  // namespace hexview
