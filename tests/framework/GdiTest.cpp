// The GDI helpers give back exactly what they took.
#include <gtest/gtest.h>

#include "framework/Gdi.h"
#include "tests/support/TestWindow.h"

namespace {

HFONT MakeFont() {
    return ::CreateFontW(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FIXED_PITCH,
                         L"Courier New");
}

}  // namespace

TEST(FrameworkGdi, OwningHandlesDeleteTheirObject) {
    HFONT raw = MakeFont();
    {
        CFont font(raw);
        EXPECT_EQ(::GetObjectType(raw), static_cast<DWORD>(OBJ_FONT));
        CFont moved(std::move(font));
        EXPECT_FALSE(font);
        EXPECT_EQ(moved.get(), raw);
    }
    EXPECT_EQ(::GetObjectType(raw), 0u);

    HBRUSH kept = ::CreateSolidBrush(RGB(1, 2, 3));
    {
        CBrush brush(kept);
        EXPECT_EQ(brush.release(), kept);
    }
    EXPECT_EQ(::GetObjectType(kept), static_cast<DWORD>(OBJ_BRUSH));
    ::DeleteObject(kept);
}

TEST(FrameworkGdi, FontSlotDeletesOnlyWhatItOwns) {
    HFONT borrowed = MakeFont();
    HFONT owned = MakeFont();
    {
        CFontSlot slot;
        slot.SetBorrowed(borrowed);
        EXPECT_FALSE(slot.IsOwned());
        slot.SetOwned(owned);
        EXPECT_EQ(slot.GetSafeHandle(), owned);
        EXPECT_EQ(::GetObjectType(borrowed), static_cast<DWORD>(OBJ_FONT));
        slot.DeleteObject();
        EXPECT_FALSE(slot);
        EXPECT_EQ(::GetObjectType(owned), 0u);
        slot.SetBorrowed(borrowed);
    }
    EXPECT_EQ(::GetObjectType(borrowed), static_cast<DWORD>(OBJ_FONT));
    ::DeleteObject(borrowed);
}

TEST(FrameworkGdi, SelectionAndMemoryDcAreRestored) {
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmapSeen = nullptr;
    {
        CMemoryDC memory(screen, 37, 21);
        ASSERT_TRUE(memory.IsValid());
        bitmapSeen = static_cast<HBITMAP>(::GetCurrentObject(memory, OBJ_BITMAP));
        BITMAP info{};
        ASSERT_TRUE(::GetObjectW(bitmapSeen, sizeof info, &info));
        EXPECT_EQ(info.bmWidth, 37);
        EXPECT_EQ(info.bmHeight, 21);

        HGDIOBJ before = ::GetCurrentObject(memory, OBJ_FONT);
        CFont font(MakeFont());
        {
            CSelectObject select(memory, font.get());
            EXPECT_EQ(::GetCurrentObject(memory, OBJ_FONT), font.get());
        }
        EXPECT_EQ(::GetCurrentObject(memory, OBJ_FONT), before);
    }
    EXPECT_EQ(::GetObjectType(bitmapSeen), 0u);  // the bitmap went with the DC
    ::ReleaseDC(nullptr, screen);
}

TEST(FrameworkGdi, PaintDcValidatesTheWindow) {
    const test_support::TestWindow test(50, 50);
    HWND window = test.hwnd();
    ASSERT_NE(window, nullptr);
    ::InvalidateRect(window, nullptr, TRUE);
    RECT rect{};
    ASSERT_TRUE(::GetUpdateRect(window, &rect, FALSE));
    {
        CPaintDC dc(window);
        EXPECT_NE(dc.GetSafeHdc(), nullptr);
    }
    EXPECT_FALSE(::GetUpdateRect(window, &rect, FALSE));
    {
        CClientDC dc(window);
        EXPECT_NE(dc.GetSafeHdc(), nullptr);
    }
}
