// Layout and scrolling of the hex view from cell sizes and client areas.
#include <gtest/gtest.h>

#include <cstdint>

#include "hexedit/core/HexViewLayout.h"
#include "hexedit/core/HexViewScroll.h"

using namespace hexview;

TEST(HexViewLayout, LinesColumnsAndRanges) {
    struct Case {
        const char* name;
        uint32_t cell;  // square cells of cell x (cell + 5)
        int32_t width, height;
        LayoutOptions options;
        uint32_t dataSize, bytesPerLine, fullLines, lines, asciiLeft, maxTopLine, maxScrollX;
    };
    const LayoutOptions fixed{true, true, true, false, 4, 16};
    const LayoutOptions fitHex{true, false, false, true, 8, 16};
    const LayoutOptions fitAscii{true, false, true, true, 8, 16};
    const LayoutOptions single{false, false, false, false, 8, 16};
    const Case cases[] = {
        // Address 4 x 7 + 5, hex 47 x 7 + 5, ASCII 16 x 7: 479 px in 390.
        {"fixed", 7, 400, 136, fixed, 320, 16, 10, 11, 367, 10, 479 - 390},
        // 200 px: 9 bytes of 21 px and 11 px over, a tenth needs 14.
        {"fit hex", 7, 210, 60, fitHex, 100, 9, 4, 5, 0, 8, 0},
        // 195 px: 6 bytes of 28 px and 27 over, a seventh needs 21.
        {"fit ascii", 7, 210, 60, fitAscii, 100, 7, 4, 5, 145, 11, 0},
        {"fit into nothing", 7, 8, 8, fitHex, 10, 1, 0, 0, 0, 10, 14},
        {"single line", 7, 100, 12, single, 40, 40, 1, 1, 0, 0, 833 - 100},
        {"unmeasured font", 0, 30, 30, single, 3, 3, 30, 30, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const uint32_t lineHeight = c.cell ? c.cell + 5 : 0;
        const Layout l =
            ComputeLayout(c.cell, lineHeight, {0, 0, c.width, c.height}, c.options, c.dataSize);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(l.bytesPerLine, c.bytesPerLine);
        EXPECT_EQ(l.fullLinesVisible, c.fullLines);
        EXPECT_EQ(l.linesVisible, c.lines);
        EXPECT_EQ(static_cast<uint32_t>(l.asciiColumnLeft), c.asciiLeft);
        EXPECT_EQ(l.maxTopLine, c.maxTopLine);
        EXPECT_EQ(l.maxScrollX, c.maxScrollX);
    }
}

TEST(HexViewLayout, AbsurdInputStaysRepresentable) {
    // UBSan watches the arithmetic; the results must still be usable.
    const ViewRect rects[] = {{}, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {5, 5, -5, -5}};
    for (uint32_t cell : {1u, UINT32_MAX}) {
        for (const ViewRect& rect : rects) {
            for (bool multiLine : {false, true}) {
                const LayoutOptions options{multiLine,  true,       true,
                                            !multiLine, UINT32_MAX, UINT32_MAX};
                const Layout l = ComputeLayout(cell, cell, rect, options, UINT32_MAX);
                EXPECT_TRUE(l.IsUsable());
                EXPECT_GE(l.textRect.right, l.textRect.left);
                EXPECT_GE(l.asciiColumnLeft, l.hexColumnLeft);
            }
        }
    }
    EXPECT_EQ(ClampedSum(7, INT64_MIN), 0u);
    EXPECT_EQ(ClampedSum(UINT32_MAX - 1, INT64_MAX), UINT32_MAX);
}

TEST(HexViewScroll, MakeVisibleScrollsOnlyAsFarAsNeeded) {
    // 10 lines of 16 bytes, 190 px of a 339 px line.
    const Layout l =
        ComputeLayout(7, 12, {0, 0, 200, 130}, {true, false, false, false, 8, 16}, 1600);
    struct Case {
        uint32_t scrollX, first, last;
        std::optional<uint32_t> wantTop, wantX;
    };
    const Case cases[] = {
        // the view's top line is 20
        {0, 320, 323, {}, {}},   // already in view
        {0, 81, 81, 5, {}},      // above: to the top
        {0, 640, 640, 31, {}},   // below: to the bottom line
        {0, 640, 320, {}, {}},   // reversed, covering the view
        {0, 160, 400, 16, {}},   // taller, ending in view: to the bottom
        {0, 400, 960, 25, {}},   // taller, starting below: to the top
        {0, 335, 335, {}, 144},  // right of the view
        {100, 320, 320, {}, 0},  // left of it
    };
    for (const Case& c : cases) {
        const ScrollTarget t = MakeVisible(l, 20, c.scrollX, c.first, c.last);
        EXPECT_EQ(t.topLine, c.wantTop) << c.first << ".." << c.last;
        EXPECT_EQ(t.scrollX, c.wantX) << c.first << ".." << c.last;
    }
}
