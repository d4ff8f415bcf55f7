// Layout and scrolling of the hex view from cell sizes and client areas.
#include <gtest/gtest.h>

#include <cstdint>

#include "hexedit/core/HexViewLayout.h"
#include "hexedit/core/HexViewScroll.h"

using namespace hexview;

namespace {

// A multi-line view of 16 bytes per line with 7 x 12 cells.
Layout Standard(int32_t width, int32_t height, uint32_t dataSize, bool ascii = true) {
    LayoutOptions options;
    options.multiLine = true;
    options.showAscii = ascii;
    return ComputeLayout(7, 12, {0, 0, width, height}, options, dataSize);
}

}  // namespace

TEST(HexViewLayout, LinesColumnsAndRanges) {
    struct Case {
        const char* name;
        uint32_t cw, lh;
        ViewRect client;
        LayoutOptions options;
        uint32_t dataSize;
        uint32_t bytesPerLine, fullLines, lines;
        int32_t lastLineHeight, hexLeft, asciiLeft;
        uint32_t maxTopLine, maxScrollX;
    };
    const LayoutOptions fixed{true, true, true, false, 4, 16};
    const LayoutOptions fitHex{true, false, false, true, 8, 16};
    const LayoutOptions fitAscii{true, false, true, true, 8, 16};
    const LayoutOptions single{false, false, false, false, 8, 16};
    const Case cases[] = {
        // Address 4 x 7 + 5, hex 47 x 7 + 5, ASCII 16 x 7: 479 px in 390.
        {"fixed", 7, 12, {0, 0, 400, 130}, fixed, 160, 16, 10, 10, 12, 33, 367, 0, 479 - 390},
        {"partial line", 7, 12, {0, 0, 600, 136}, fixed, 320, 16, 10, 11, 6, 33, 367, 10, 0},
        // (210 - 10) / 21 = 9 bytes with 11 px over: one more needs 14.
        {"fit hex", 7, 12, {0, 0, 210, 60}, fitHex, 100, 9, 4, 5, 2, 0, 0, 8, 0},
        // (210 - 10 - 5) = 195 = 6 x 28 + 27: a seventh byte needs 21 of 27.
        {"fit ascii", 7, 12, {0, 0, 210, 60}, fitAscii, 100, 7, 4, 5, 2, 0, 145, 11, 0},
        {"fit into nothing", 7, 12, {0, 0, 8, 8}, fitHex, 10, 1, 0, 0, 12, 0, 0, 10, 14},
        {"single line", 7, 12, {0, 0, 100, 12}, single, 40, 40, 1, 1, 12, 0, 0, 0, 833 - 100},
        {"unmeasured font", 0, 0, {0, 0, 30, 30}, single, 3, 3, 30, 30, 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Layout l = ComputeLayout(c.cw, c.lh, c.client, c.options, c.dataSize);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(l.bytesPerLine, c.bytesPerLine);
        EXPECT_EQ(l.fullLinesVisible, c.fullLines);
        EXPECT_EQ(l.linesVisible, c.lines);
        EXPECT_EQ(l.lastLineHeight, c.lastLineHeight);
        EXPECT_EQ(l.hexColumnLeft, c.hexLeft);
        EXPECT_EQ(l.asciiColumnLeft, c.asciiLeft);
        EXPECT_EQ(l.maxTopLine, c.maxTopLine);
        EXPECT_EQ(l.maxScrollX, c.maxScrollX);
    }
}

TEST(HexViewLayout, AbsurdInputStaysRepresentable) {
    // Huge cells, settings and rectangles: at least one byte per line, and
    // columns that add up without overflow (UBSan watches the arithmetic).
    const ViewRect rects[] = {
        {0, 0, 0, 0}, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {5, 5, -5, -5}};
    for (uint32_t cell : {1u, 0xFFFFu, UINT32_MAX}) {
        for (const ViewRect& rect : rects) {
            for (bool multiLine : {false, true}) {
                const Layout l = ComputeLayout(
                    cell, cell, rect, {multiLine, true, true, !multiLine, UINT32_MAX, UINT32_MAX},
                    UINT32_MAX);
                EXPECT_TRUE(l.IsUsable());
                EXPECT_GE(l.textRect.right, l.textRect.left);
                EXPECT_GE(l.asciiColumnLeft, l.hexColumnLeft);
                EXPECT_GE(l.hexColumnWidth, 0);
            }
        }
    }
}

TEST(HexViewScroll, ClampedSums) {
    EXPECT_EQ(ClampedSum(5, -10), 0u);
    EXPECT_EQ(ClampedSum(5, 10), 15u);
    EXPECT_EQ(ClampedSum(UINT32_MAX - 1, 5), UINT32_MAX);
    EXPECT_EQ(ClampedSum(7, INT64_MIN), 0u);
    EXPECT_EQ(ClampedSum(7, INT64_MAX), UINT32_MAX);
    EXPECT_EQ(ClampToInt(UINT64_MAX), INT32_MAX);
    EXPECT_EQ(WheelLines(-239), 1);
    EXPECT_EQ(WheelLines(240), -2);
}

TEST(HexViewScroll, BarsAndSteps) {
    const Layout l = Standard(300, 130, 16 * 100);  // 10 lines of 100
    const ScrollBarFields vertical = VerticalBar(l, 500);
    EXPECT_TRUE(vertical.shown);
    EXPECT_EQ(vertical.page, 10u);
    EXPECT_EQ(vertical.max, 99);
    EXPECT_EQ(vertical.pos, 90);  // clamped to the range
    EXPECT_FALSE(VerticalBar(Standard(300, 130, 16), 0).shown);
    EXPECT_EQ(HorizontalBar(l, 0).page, 290u);
    EXPECT_EQ(VerticalStep(ScrollCommand::PageBack, l), -10);
    EXPECT_EQ(HorizontalStep(ScrollCommand::LineForward, l), 7);
    EXPECT_EQ(HorizontalStep(ScrollCommand::PageForward, l), 290);
    EXPECT_EQ(VerticalStep(ScrollCommand::Other, l), 0);
}

TEST(HexViewScroll, MakeVisibleScrollsOnlyAsFarAsNeeded) {
    const Layout l = Standard(200, 130, 16 * 100, false);  // 10 lines, 190 px of a 339 px line
    struct Case {
        uint32_t topLine, scrollX, first, last;
        std::optional<uint32_t> wantTop, wantX;
    };
    const Case cases[] = {
        {20, 0, 20 * 16, 20 * 16 + 3, {}, {}},         // already in view
        {20, 0, 5 * 16 + 1, 5 * 16 + 1, 5, {}},        // above: to the top
        {20, 0, 40 * 16, 40 * 16, 31, {}},             // below: to the bottom line
        {20, 0, 40 * 16, 20 * 16, {}, {}},             // reversed, covering the view
        {20, 0, 10 * 16, 25 * 16, 16, {}},             // taller, ending in view: to the bottom
        {20, 0, 25 * 16, 60 * 16, 25, {}},             // taller: its first line at the top
        {20, 0, 20 * 16 + 15, 20 * 16 + 15, {}, 144},  // right of the view
        {20, 100, 20 * 16, 20 * 16, {}, 0},            // left of the view
    };
    for (const Case& c : cases) {
        const ScrollTarget t = MakeVisible(l, c.topLine, c.scrollX, c.first, c.last);
        EXPECT_EQ(t.topLine, c.wantTop) << c.first << ".." << c.last;
        EXPECT_EQ(t.scrollX, c.wantX) << c.first << ".." << c.last;
    }
}
