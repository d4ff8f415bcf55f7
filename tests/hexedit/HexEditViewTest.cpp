// The view that hosts a control over its whole client area.
#include <gtest/gtest.h>

#include "HexEditTestSupport.h"
#include "hexedit/HexEditBaseView.h"

using namespace hexedit_test;

namespace {

RECT ClientOf(HWND window) {
    RECT rect{};
    ::GetClientRect(window, &rect);
    return rect;
}

// The control's window rectangle in the view's client coordinates.
RECT ControlRectInView(HWND view, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, view, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class VetoHexEditClass {
public:
    VetoHexEditClass() {
        hook = ::SetWindowsHookExW(WH_CBT, &Proc, nullptr, ::GetCurrentThreadId());
    }
    ~VetoHexEditClass() { ::UnhookWindowsHookEx(hook); }
    VetoHexEditClass(const VetoHexEditClass&) = delete;
    VetoHexEditClass& operator=(const VetoHexEditClass&) = delete;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            wchar_t name[64] = {};
            ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
            if (lstrcmpW(name, HEXEDIT_CLASS_NAME) == 0) return 1;
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook;
};

}  // namespace

TEST(HexEditView, ControlCoversTheClientAreaAcrossResizes) {
    TestParent parent(700, 500);
    auto view = CHexEditBaseView::CreateObject();
    ASSERT_TRUE(
        view->Create(WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{5, 5, 305, 205}, parent.hwnd(), 1));
    CHexEditBase& edit = view->GetHexEdit();
    HWND control = ::GetDlgItem(view->GetSafeHwnd(), HEXEDIT_VIEW_CONTROL_ID);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control, edit.GetSafeHwnd());
    // Scroll bars the layout shows add their own style bits.
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(control, GWL_STYLE));
    EXPECT_EQ(style & ~static_cast<DWORD>(WS_VSCROLL | WS_HSCROLL), 0x50000004u);
    EXPECT_FALSE(edit.IsAutoDelete());
    edit.SetBytesPerLine(16, true, false);
    edit.SetShowAscii(true, false);
    std::vector<uint8_t> bytes(5000, 0x41);
    edit.SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), false);

    const SIZE sizes[] = {{300, 200}, {520, 340}, {160, 90}, {611, 433}, {300, 200}};
    for (SIZE size : sizes) {
        view->MoveWindow(5, 5, size.cx, size.cy, TRUE);
        RECT client = ClientOf(view->GetSafeHwnd());
        RECT covered = ControlRectInView(view->GetSafeHwnd(), control);
        EXPECT_EQ(covered.left, 0);
        EXPECT_EQ(covered.top, 0);
        EXPECT_EQ(covered.right, client.right) << size.cx;
        EXPECT_EQ(covered.bottom, client.bottom) << size.cy;
        // The control's own layout followed the new size.
        EXPECT_FALSE(edit.IsLayoutDirty());
        RECT text = edit.GetTextRect();
        RECT controlClient = ClientOf(control);
        EXPECT_EQ(text.bottom, controlClient.bottom - 5) << size.cy;
        EXPECT_EQ(edit.GetFullLinesVisible(),
                  static_cast<uint32_t>(text.bottom - text.top) / edit.GetLineHeight());
    }
}

TEST(HexEditView, ControlFailureFailsTheView) {
    TestParent parent;
    auto view = CHexEditBaseView::CreateObject();
    {
        VetoHexEditClass veto;
        EXPECT_FALSE(view->Create(WS_CHILD | WS_VISIBLE, RECT{0, 0, 200, 100}, parent.hwnd(), 1));
    }
    EXPECT_EQ(view->GetSafeHwnd(), nullptr);
    EXPECT_EQ(view->GetHexEdit().GetSafeHwnd(), nullptr);
    EXPECT_EQ(::GetWindow(parent.hwnd(), GW_CHILD), nullptr);
}

TEST(HexEditView, ErasesNothingAndGoesWithItsObject) {
    TestParent parent;
    HWND viewWindow = nullptr;
    HWND control = nullptr;
    {
        CHexEditBaseView view;
        ASSERT_TRUE(view.Create(WS_CHILD | WS_VISIBLE, RECT{0, 0, 200, 100}, parent.hwnd(), 1));
        viewWindow = view.GetSafeHwnd();
        control = view.GetHexEdit().GetSafeHwnd();
        DibSection dib(20, 20);
        dib.Fill(RGB(9, 8, 7));
        EXPECT_EQ(::SendMessageW(viewWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dib.hdc()), 0),
                  TRUE);
        EXPECT_EQ(dib.Pixel(5, 5), RGB(9, 8, 7));
    }
    EXPECT_FALSE(::IsWindow(viewWindow));
    EXPECT_FALSE(::IsWindow(control));
}
