// The control object: construction values, the data buffer, the option and
// colour setters, and the notification to the parent.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "HexEditTestSupport.h"
#include "tests/support/FailingAllocator.h"

using namespace hexedit_test;

namespace {

std::vector<uint8_t> ReadAll(const CHexEditBase& edit, uint32_t maxSize,
                             uint32_t* result = nullptr) {
    std::vector<uint8_t> out(maxSize + 4, 0xEE);
    uint32_t r = edit.GetData(out.data(), maxSize);
    if (result) *result = r;
    return out;
}

}  // namespace

TEST(HexEditObject, ConstructionValues) {
    CHexEditBase edit;
    EXPECT_FALSE(edit.IsAutoDelete());
    EXPECT_TRUE(edit.OwnsData());
    EXPECT_EQ(edit.GetDataPointer(), nullptr);
    EXPECT_EQ(edit.GetDataSize(), 0u);
    EXPECT_TRUE(edit.IsLayoutDirty());
    EXPECT_EQ(edit.GetBytesPerLine(), 0u);  // the layout block starts zeroed
    EXPECT_EQ(edit.GetLineHeight(), 0u);
    RECT zero{};
    RECT text = edit.GetTextRect();
    EXPECT_EQ(std::memcmp(&text, &zero, sizeof zero), 0);
    EXPECT_EQ(edit.GetBytesPerLineSetting(), 16u);
    EXPECT_EQ(edit.GetAddressDigits(), 8u);
    EXPECT_EQ(edit.GetSelectionStart(), HEXEDIT_NONE);
    EXPECT_EQ(edit.GetSelectionEnd(), HEXEDIT_NONE);
    EXPECT_EQ(edit.GetSelectionAnchor(), HEXEDIT_NONE);
    EXPECT_EQ(edit.GetCaretPos(), 0u);
    EXPECT_TRUE(edit.IsCaretHighNibble());
    EXPECT_FALSE(edit.IsCaretCreated());
    EXPECT_FALSE(edit.IsAutoBytesPerLine());
    EXPECT_FALSE(edit.IsShowAddress());
    EXPECT_FALSE(edit.IsShowAscii());
    EXPECT_FALSE(edit.IsReadOnly());
    EXPECT_FALSE(edit.IsAutoScrollTimerOn());
    EXPECT_EQ(edit.GetAddressBackColour(), 0x0000005Au);
    EXPECT_EQ(edit.GetAddressTextColour(), 0x000000FFu);
    EXPECT_EQ(edit.GetAsciiBackColour(), 0x00001400u);
    EXPECT_EQ(edit.GetAsciiTextColour(), 0x0000FF00u);
    EXPECT_EQ(edit.GetHexTextColour(), 0x00FF0000u);
    EXPECT_EQ(edit.GetHexBackColour(), 0x00BED2B4u);
    EXPECT_EQ(edit.GetBackgroundColour(), 0x00D2D2D2u);
    EXPECT_EQ(edit.GetInactiveSelectionTextColour(), ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(edit.GetInactiveSelectionBackColour(), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(edit.GetSelectionTextColour(), ::GetSysColor(COLOR_HIGHLIGHTTEXT));
    EXPECT_EQ(edit.GetSelectionBackColour(), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(edit.GetFontHandle(), ::GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(edit.GetClipboardFormat(), ::RegisterClipboardFormatW(L"BinaryData"));
    EXPECT_GE(edit.GetClipboardFormat(), 0xC000u);
}

TEST(HexEditObject, LiveObjectCountFollowsConstructionAndDestruction) {
    const long before = CHexEditBase::GetLiveObjectCount();
    {
        auto object = CHexEditBase::CreateObject();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before + 1);
    }
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
}

TEST(HexEditData, NullSourceEmptiesTheControl) {
    CHexEditBase edit;
    const uint8_t bytes[] = {1, 2, 3};
    edit.SetData(bytes, 3, false);
    edit.SetData(nullptr, 1234, false);
    EXPECT_EQ(edit.GetDataSize(), 0u);
    EXPECT_EQ(edit.GetDataPointer(), nullptr);
    EXPECT_FALSE(edit.OwnsData());
    uint32_t result = 99;
    auto out = ReadAll(edit, 8, &result);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(HexEditData, EmptyButAllocatedBuffer) {
    CHexEditBase edit;
    const uint8_t byte = 0x55;
    edit.SetData(&byte, 0, false);
    EXPECT_EQ(edit.GetDataSize(), 0u);
    EXPECT_NE(edit.GetDataPointer(), nullptr);
    EXPECT_TRUE(edit.OwnsData());
    uint32_t result = 99;
    auto out = ReadAll(edit, 8, &result);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(HexEditData, KeepsItsOwnCopy) {
    CHexEditBase edit;
    auto source = std::make_unique<uint8_t[]>(10);
    for (int i = 0; i < 10; ++i) source[i] = static_cast<uint8_t>(0xA0 + i);
    edit.SetData(source.get(), 10, false);
    EXPECT_NE(edit.GetDataPointer(), source.get());
    source[0] = 0x00;
    source.reset();

    uint32_t result = 0;
    auto out = ReadAll(edit, 10, &result);
    EXPECT_EQ(result, 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0xA0 + i) << i;
    EXPECT_EQ(out[10], 0xEE);  // nothing written past maxSize
}

TEST(HexEditData, TruncatedReadReportsTheFullSize) {
    CHexEditBase edit;
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    edit.SetData(bytes, 10, false);
    uint32_t result = 0;
    auto out = ReadAll(edit, 4, &result);
    EXPECT_EQ(result, 10u);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(out[4], 0xEE);
    EXPECT_EQ(edit.GetData(nullptr, 0), 10u);
}

TEST(HexEditData, ResetsSelectionAndCaretButNotTheScrollPosition) {
    TestControl control(400, 100);
    ASSERT_TRUE(control.created);
    control.SetCountingData(4096);
    control.edit.SetSelection(3, 9, false, false);
    control.edit.SetCaret(20, false);
    control.edit.ScrollToLine(40, false);
    const uint32_t top = control.edit.GetTopLine();
    ASSERT_GT(top, 0u);

    control.SetCountingData(4096);
    EXPECT_EQ(control.edit.GetSelectionStart(), HEXEDIT_NONE);
    EXPECT_EQ(control.edit.GetSelectionEnd(), HEXEDIT_NONE);
    EXPECT_EQ(control.edit.GetSelectionAnchor(), HEXEDIT_NONE);
    EXPECT_EQ(control.edit.GetCaretPos(), 0u);
    EXPECT_TRUE(control.edit.IsCaretHighNibble());
    EXPECT_EQ(control.edit.GetTopLine(), top);

    // A shorter image is clamped by the next layout.
    control.SetCountingData(32);
    EXPECT_EQ(control.edit.GetTopLine(), 0u);
}

TEST(HexEditData, FailedAllocationKeepsTheOldContents) {
    CHexEditBase edit;
    const uint8_t old[] = {9, 8, 7};
    edit.SetData(old, 3, false);
    std::vector<uint8_t> bigger(123457, 0x11);
    const unsigned failuresBefore = test_support::FailedAllocationCount();
    {
        test_support::ScopedAllocationFailure fail(bigger.size());
        edit.SetData(bigger.data(), static_cast<uint32_t>(bigger.size()), false);
    }
    EXPECT_EQ(test_support::FailedAllocationCount(), failuresBefore + 1);
    EXPECT_EQ(edit.GetDataSize(), 3u);
    uint32_t result = 0;
    auto out = ReadAll(edit, 3, &result);
    EXPECT_EQ(result, 3u);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[2], 7);
}

TEST(HexEditData, RepaintFlagDecidesTheInvalidation) {
    TestControl control;
    ASSERT_TRUE(control.created);
    const uint8_t bytes[] = {1, 2, 3};
    ::ValidateRect(control.hwnd(), nullptr);
    control.edit.SetData(bytes, 3, false);
    EXPECT_FALSE(HasUpdateRegion(control.hwnd()));
    control.edit.SetData(bytes, 3, true);
    EXPECT_TRUE(HasUpdateRegion(control.hwnd()));
}

TEST(HexEditOptions, SettersBeforeTheWindowOnlyStore) {
    CHexEditBase edit;
    edit.SetBytesPerLine(8, true, true);
    edit.SetAddressDigits(6, true);
    edit.SetShowAddress(true, true);
    edit.SetShowAscii(true, true);
    edit.SetReadOnly(true, true);
    edit.SetAddressColours(1, 2, true);
    edit.SetAsciiColours(3, 4, true);
    edit.SetHexColours(5, 6, true);
    edit.SetBackgroundColour(7, true);
    EXPECT_EQ(edit.GetBytesPerLineSetting(), 8u);
    EXPECT_TRUE(edit.IsAutoBytesPerLine());
    EXPECT_EQ(edit.GetAddressDigits(), 6u);
    EXPECT_TRUE(edit.IsShowAddress());
    EXPECT_TRUE(edit.IsShowAscii());
    EXPECT_TRUE(edit.IsReadOnly());
    EXPECT_EQ(edit.GetAddressBackColour(), 1u);
    EXPECT_EQ(edit.GetAddressTextColour(), 2u);
    EXPECT_EQ(edit.GetAsciiBackColour(), 3u);
    EXPECT_EQ(edit.GetAsciiTextColour(), 4u);
    EXPECT_EQ(edit.GetHexBackColour(), 5u);
    EXPECT_EQ(edit.GetHexTextColour(), 6u);
    EXPECT_EQ(edit.GetBackgroundColour(), 7u);
    EXPECT_TRUE(edit.IsLayoutDirty());
    EXPECT_EQ(edit.GetBytesPerLine(), 0u);  // nothing computed yet

    // Data before the window: the layout waits for the window.
    const uint8_t bytes[] = {1, 2, 3, 4};
    edit.SetData(bytes, 4, true);
    EXPECT_TRUE(edit.IsLayoutDirty());
    EXPECT_EQ(edit.GetCaretPos(), 0u);
    TestParent parent;
    ASSERT_TRUE(edit.Create(nullptr, WS_CHILD | WS_VISIBLE | HEXEDIT_STYLE_MULTILINE,
                            RECT{0, 0, 300, 200}, parent.hwnd(), 1));
    edit.SetCaret(1, true);
    EXPECT_FALSE(edit.IsLayoutDirty());
    EXPECT_EQ(edit.GetBytesPerLine(), 8u);
    EXPECT_EQ(edit.GetTextRect().right, 295);
}

// With a window but no data the caret placement computes nothing, so the
// layout stays dirty and the invalidation is all that is visible.
TEST(HexEditOptions, LayoutSettersWithoutData) {
    TestControl control;
    ASSERT_TRUE(control.created);
    CHexEditBase& edit = control.edit;
    HWND window = control.hwnd();
    CClientDC dc(window);

    struct Case {
        const char* name;
        void (*apply)(CHexEditBase&, bool repaint);
        bool changes;  // false: the unchanged test returns at once
    };
    const Case cases[] = {
        {"bytes per line unchanged",
         [](CHexEditBase& e, bool r) { e.SetBytesPerLine(16, false, r); }, false},
        {"bytes per line",
         [](CHexEditBase& e, bool r) {
             e.SetBytesPerLine(e.GetBytesPerLineSetting() + 1, false, r);
         },
         true},
        {"auto fit only",
         [](CHexEditBase& e, bool r) {
             e.SetBytesPerLine(e.GetBytesPerLineSetting(), !e.IsAutoBytesPerLine(), r);
         },
         true},
        {"show address unchanged",
         [](CHexEditBase& e, bool r) { e.SetShowAddress(e.IsShowAddress(), r); }, false},
        {"show address", [](CHexEditBase& e, bool r) { e.SetShowAddress(!e.IsShowAddress(), r); },
         true},
        {"show ascii unchanged",
         [](CHexEditBase& e, bool r) { e.SetShowAscii(e.IsShowAscii(), r); }, false},
        {"show ascii", [](CHexEditBase& e, bool r) { e.SetShowAscii(!e.IsShowAscii(), r); }, true},
        {"address digits, same value",
         [](CHexEditBase& e, bool r) {
             e.SetAddressDigits(static_cast<uint8_t>(e.GetAddressDigits()), r);
         },
         true},
    };
    for (const Case& c : cases) {
        for (bool repaint : {false, true}) {
            edit.RecalcLayout(dc);
            ASSERT_FALSE(edit.IsLayoutDirty());
            ::ValidateRect(window, nullptr);
            c.apply(edit, repaint);
            EXPECT_EQ(edit.IsLayoutDirty(), c.changes) << c.name << " repaint " << repaint;
            EXPECT_EQ(HasUpdateRegion(window), c.changes && repaint)
                << c.name << " repaint " << repaint;
        }
    }
}

// With data the caret placement recomputes the layout at once.
TEST(HexEditOptions, LayoutSettersWithDataRecomputeAtOnce) {
    TestControl control;
    ASSERT_TRUE(control.created);
    control.SetCountingData(300);
    CHexEditBase& edit = control.edit;
    ASSERT_FALSE(edit.IsLayoutDirty());
    ASSERT_EQ(edit.GetBytesPerLine(), 16u);

    edit.SetBytesPerLine(8, false, true);
    EXPECT_FALSE(edit.IsLayoutDirty());
    EXPECT_EQ(edit.GetBytesPerLine(), 8u);

    const int32_t hexLeftWithoutAddress = edit.GetHexColumnLeft();
    edit.SetShowAddress(true, false);
    EXPECT_EQ(edit.GetHexColumnLeft(),
              hexLeftWithoutAddress + static_cast<int32_t>(8 * edit.GetCharWidth()) + 5);
    edit.SetAddressDigits(4, false);
    EXPECT_EQ(edit.GetAddressColumnWidth(), static_cast<int32_t>(4 * edit.GetCharWidth()) + 5);
    edit.SetShowAscii(true, false);
    EXPECT_EQ(edit.GetAsciiColumnLeft(), edit.GetHexColumnLeft() + edit.GetHexColumnWidth());
}

TEST(HexEditOptions, ColourAndReadOnlySettersChangeNoLayout) {
    TestControl control;
    ASSERT_TRUE(control.created);
    CHexEditBase& edit = control.edit;
    HWND window = control.hwnd();
    CClientDC dc(window);
    void (*const setters[])(CHexEditBase&, bool) = {
        [](CHexEditBase& e, bool r) { e.SetAddressColours(RGB(1, 2, 3), RGB(4, 5, 6), r); },
        [](CHexEditBase& e, bool r) { e.SetAsciiColours(RGB(7, 8, 9), RGB(10, 11, 12), r); },
        [](CHexEditBase& e, bool r) { e.SetHexColours(RGB(13, 14, 15), RGB(16, 17, 18), r); },
        [](CHexEditBase& e, bool r) { e.SetBackgroundColour(RGB(19, 20, 21), r); },
        [](CHexEditBase& e, bool r) { e.SetReadOnly(!e.IsReadOnly(), r); },
    };
    for (auto setter : setters) {
        for (bool repaint : {false, true}) {
            edit.RecalcLayout(dc);
            ::ValidateRect(window, nullptr);
            setter(edit, repaint);
            EXPECT_FALSE(edit.IsLayoutDirty());
            EXPECT_EQ(HasUpdateRegion(window), repaint);
        }
    }
    EXPECT_EQ(edit.GetAddressBackColour(), RGB(1, 2, 3));
    EXPECT_EQ(edit.GetAddressTextColour(), RGB(4, 5, 6));
    EXPECT_EQ(edit.GetAsciiBackColour(), RGB(7, 8, 9));
    EXPECT_EQ(edit.GetAsciiTextColour(), RGB(10, 11, 12));
    EXPECT_EQ(edit.GetHexBackColour(), RGB(13, 14, 15));
    EXPECT_EQ(edit.GetHexTextColour(), RGB(16, 17, 18));
    EXPECT_EQ(edit.GetBackgroundColour(), RGB(19, 20, 21));
}

TEST(HexEditNotify, SendsCommandWithIdCodeAndHandle) {
    TestControl control;
    ASSERT_TRUE(control.created);
    control.edit.NotifyParent(EN_CHANGE);
    control.edit.NotifyParent(0x12345);  // each half is cut to 16 bits
    ASSERT_EQ(control.parent.commands.size(), 2u);
    EXPECT_EQ(control.parent.commands[0].id, kTestControlId);
    EXPECT_EQ(control.parent.commands[0].code, EN_CHANGE);
    EXPECT_EQ(control.parent.commands[0].control, control.hwnd());
    EXPECT_EQ(control.parent.commands[1].code, 0x2345);
}

// Settings no one would choose still give a layout whose columns fit in
// signed 32-bit pixels, and a zero setting still shows one byte per line.
TEST(HexEditOptions, ExtremeBytesPerLineStaysRepresentable) {
    TestControl control;
    ASSERT_TRUE(control.created);
    CHexEditBase& edit = control.edit;
    control.SetCountingData(1000);
    edit.SetShowAscii(true, false);
    edit.SetShowAddress(true, false);

    edit.SetBytesPerLine(0, false, false);
    EXPECT_EQ(edit.GetBytesPerLine(), 1u);
    EXPECT_EQ(edit.GetMaxTopLine(), 1000u - edit.GetFullLinesVisible());

    edit.SetBytesPerLine(0xFFFFFFFFu, false, false);
    EXPECT_GE(edit.GetBytesPerLine(), 1000u);  // the whole buffer on one line
    EXPECT_GT(edit.GetHexColumnWidth(), 0);
    EXPECT_GT(edit.GetAsciiColumnLeft(), edit.GetHexColumnLeft());
    const int64_t contentRight =
        static_cast<int64_t>(edit.GetAsciiColumnLeft()) + edit.GetAsciiColumnWidth();
    EXPECT_LT(contentRight, int64_t{0x7FFFFFFF});
    EXPECT_EQ(edit.GetMaxTopLine(), 0u);
    EXPECT_EQ(static_cast<int64_t>(edit.GetMaxScrollX()),
              contentRight - (edit.GetTextRect().right - edit.GetTextRect().left));
}
