// The edit position: caret box, hit test and moves by keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "hexedit/core/HexViewCaret.h"

using namespace hexview;

namespace {

// 16 bytes per line, 7 x 12 cells, text from (5, 5); 10 lines and 6 px of one more.
const Layout kView =
    ComputeLayout(7, 12, {0, 0, 200, 136}, {true, false, false, false, 8, 16}, 100);

}  // namespace

TEST(HexViewCaret, BoxOverTheDigitCutToTheTextArea) {
    struct Case {
        uint32_t scrollX;
        CaretSpot spot;
        std::optional<CaretBox> box;
    };
    const Case cases[] = {
        {0, {17, false}, CaretBox{5 + 4 * 7, 18, 7, 11}},
        {0, {160, true}, CaretBox{5, 126, 7, 5}},  // the partial last line
        {0, {176, true}, std::nullopt},            // below the view
        {5, {0, true}, CaretBox{3, 6, 4, 11}},     // cut at the left
        {10, {0, true}, std::nullopt},             // wholly left of it
        {0, {15, false}, std::nullopt},            // right of it
    };
    for (const Case& c : cases)
        EXPECT_EQ(CaretBoxFor(kView, 0, c.scrollX, c.spot), c.box) << c.spot.address;
    EXPECT_EQ(CaretBoxFor(Layout{}, 0, 0, {0, true}), std::nullopt);
}

TEST(HexViewCaret, HitTestTakesTheNearestDigitEdge) {
    struct Case {
        ViewPoint point;
        CaretSpot spot;
    };
    const Case cases[] = {
        {{5 + 3, 10}, {0, true}}, {{5 + 4, 10}, {0, false}},  // halves of a digit
        {{-50, -50}, {0, true}},  {{1000, 10}, {15, false}},  // kept to the text
        {{5, 130}, {99, false}},                              // beyond the data
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTest(kView, 0, 0, 100, c.point), c.spot) << c.point.x << "," << c.point.y;
    EXPECT_EQ(HitTest(kView, 0, 0, 0, {5, 10}).address, kNone);
    EXPECT_EQ(HitTest(Layout{}, 0, 0, 10, {50, 50}), (CaretSpot{0, true}));
}

TEST(HexViewCaret, KeysToMovesAndMovesToTheEnds) {
    struct Case {
        NavKey key;
        uint32_t linesVisible;
        CaretMove move;
    };
    const Case cases[] = {
        {NavKey::Left, 5, {-1, false}},
        {NavKey::Right, 5, {0, false}},
        {NavKey::Up, 5, {-16, true}},
        {NavKey::PageDown, 11, {160, true}},
        // Fewer than two painted lines: no page, and never a move backwards.
        {NavKey::PageDown, 1, {0, true}},
        {NavKey::PageDown, 0, {0, true}},
        {NavKey::PageUp, 0, {0, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveForKey(c.key, true, 16, c.linesVisible), c.move)
            << static_cast<int>(c.key) << " with lines " << c.linesVisible;
    EXPECT_EQ(MoveForKey(NavKey::PageDown, true, 0x3FFFFFFF, 100).delta, INT32_MAX);

    EXPECT_EQ(MoveCaret(5, 100, INT32_MAX, true), (CaretSpot{99, false}));
    EXPECT_EQ(MoveCaret(5, 100, INT32_MIN, false), (CaretSpot{0, true}));
    EXPECT_EQ(MoveCaret(500, 100, -1, true), (CaretSpot{98, true}));  // from outside the data
    EXPECT_EQ(MoveCaret(7, 0, 1, false), (CaretSpot{7, false}));
}
