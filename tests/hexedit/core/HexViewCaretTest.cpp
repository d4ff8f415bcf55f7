// The edit position: caret box, hit test, moves by keys, selection order,
// and the drag's auto-scroll.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "hexedit/core/HexViewCaret.h"

using namespace hexview;

namespace {

// 16 bytes per line, 7 x 12 cells, text from (5, 5); 10 lines and 6 px of one more.
Layout Standard(uint32_t dataSize = 1000) {
    LayoutOptions options;
    options.multiLine = true;
    return ComputeLayout(7, 12, {0, 0, 200, 136}, options, dataSize);
}

}  // namespace

TEST(HexViewCaret, BoxOverTheDigitCutToTheTextArea) {
    const Layout l = Standard();
    struct Case {
        uint32_t topLine, scrollX;
        CaretSpot spot;
        std::optional<CaretBox> box;
    };
    const Case cases[] = {
        {0, 0, {0, true}, CaretBox{5, 6, 7, 11}},
        {0, 0, {17, false}, CaretBox{5 + 4 * 7, 18, 7, 11}},
        {2, 0, {2 * 16 + 10 * 16, true}, CaretBox{5, 126, 7, 5}},  // partial last line
        {2, 0, {16, true}, std::nullopt},                          // above the view
        {0, 0, {11 * 16, true}, std::nullopt},                     // below it
        {0, 5, {0, true}, CaretBox{3, 6, 4, 11}},                  // cut at the left
        {0, 10, {0, true}, std::nullopt},                          // wholly left of it
        {0, 0, {15, false}, std::nullopt},                         // right of it
    };
    for (const Case& c : cases)
        EXPECT_EQ(CaretBoxFor(l, c.topLine, c.scrollX, c.spot), c.box) << c.spot.address;
    EXPECT_EQ(CaretBoxFor(Layout{}, 0, 0, {0, true}), std::nullopt);
}

TEST(HexViewCaret, HitTestTakesTheNearestDigitEdge) {
    const Layout l = Standard(100);
    struct Case {
        ViewPoint point;
        CaretSpot spot;
    };
    const Case cases[] = {
        {{5, 10}, {0, true}},
        {{5 + 3, 10}, {0, true}},
        {{5 + 4, 10}, {0, false}},
        {{5 + 3 * 7 + 4, 20}, {17, false}},  // right half of a high digit
        {{-50, -50}, {0, true}},             // kept to the text
        {{1000, 10}, {15, false}},           // beyond the line
        {{5, 130}, {99, false}},             // beyond the data
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTest(l, 0, 0, 100, c.point), c.spot) << c.point.x << "," << c.point.y;
    EXPECT_EQ(HitTest(l, 0, 0, 0, {5, 10}).address, kNone);
    EXPECT_EQ(HitTest(Layout{}, 0, 0, 10, {50, 50}), (CaretSpot{0, true}));
}

TEST(HexViewCaret, MovesStopAtTheEnds) {
    struct Case {
        uint32_t from;
        int32_t delta;
        bool high;
        CaretSpot to;
    };
    const Case cases[] = {
        {5, 3, true, {8, true}},
        {5, 100, true, {99, false}},
        {5, -6, false, {0, true}},
        {5, -5, false, {0, false}},
        {500, 0, true, {99, true}},
        {500, -1, true, {98, true}},
        {0, kEndDelta, false, {99, false}},
        {99, kHomeDelta, true, {0, true}},
        {0, INT32_MIN, false, {0, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveCaret(c.from, 100, c.delta, c.high), c.to) << c.from << " by " << c.delta;
    EXPECT_EQ(MoveCaret(7, 0, 1, false), (CaretSpot{7, false}));
}

TEST(HexViewCaret, KeysToMoves) {
    struct Case {
        NavKey key;
        bool high;
        uint32_t linesVisible;
        CaretMove move;
    };
    const Case cases[] = {
        {NavKey::Left, true, 5, {-1, false}},
        {NavKey::Left, false, 5, {0, true}},
        {NavKey::Right, true, 5, {0, false}},
        {NavKey::Right, false, 5, {1, true}},
        {NavKey::Up, false, 5, {-16, false}},
        {NavKey::Down, true, 5, {16, true}},
        {NavKey::Home, false, 5, {kHomeDelta, true}},
        {NavKey::End, true, 5, {kEndDelta, false}},
        {NavKey::PageDown, true, 11, {160, true}},
        {NavKey::PageUp, false, 11, {-160, false}},
        // Fewer than two painted lines: no page, and never a move backwards.
        {NavKey::PageDown, true, 1, {0, true}},
        {NavKey::PageDown, true, 0, {0, true}},
        {NavKey::PageUp, true, 0, {0, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveForKey(c.key, c.high, 16, c.linesVisible), c.move)
            << static_cast<int>(c.key) << " lines " << c.linesVisible;
    EXPECT_EQ(MoveForKey(NavKey::PageDown, true, 0x3FFFFFFF, 100).delta, INT32_MAX);
}

TEST(HexViewCaret, SelectionsAreOrderedAndInsideTheData) {
    EXPECT_EQ(ClampSelection(7, 3, 10), (Selection{3, 7}));
    EXPECT_EQ(ClampSelection(3, 70, 10), (Selection{3, 9}));
    EXPECT_EQ(ClampSelection(70, 3, 10), (Selection{3, 9}));
    EXPECT_EQ(ClampSelection(kNone, 70, 10), (Selection{kNone, 9}));
    EXPECT_EQ(ClampSelection(2, 3, 0), (Selection{kNone, kNone}));
    EXPECT_EQ(SpanBetween(9, 4), (Selection{4, 9}));
}

TEST(HexViewCaret, DragScrollPaceAndDragBox) {
    const ViewRect text{5, 5, 195, 131};
    struct Case {
        ViewPoint point;
        DragScroll scroll;
    };
    const Case cases[] = {
        {{50, 50}, {}},
        {{50, 4}, {true, -1, 7}},
        {{50, 1}, {true, -1, 6}},
        {{50, -100}, {true, -1, 1}},
        {{50, 140}, {true, 1, 5}},
        {{50, 131}, {true, 0, 0}},
        {{300, 50}, {true, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(DragScrollFor(text, c.point), c.scroll) << c.point.y;
    const ViewRect box = DragStartBox({10, 20}, 5, 4);
    EXPECT_EQ(box.left, 8);
    EXPECT_EQ(box.right, 13);
    EXPECT_EQ(box.top, 18);
    EXPECT_EQ(box.bottom, 22);
}
