// Window classes, the four ways a window comes to be driven by a control
// object, self-deletion, and the small child-control handlers.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "HexEditTestResource.h"
#include "HexEditTestSupport.h"
#include "framework/Dialog.h"
#include "tests/support/FailingAllocator.h"

using namespace hexedit_test;

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// A test dialog: `init` runs in OnInitDialog after the data exchange;
// WM_APP ends the dialog with wParam. OnOK and OnCancel are counted.
class TestDialog : public CDialog {
public:
    TestDialog(UINT id, std::function<void(TestDialog&)> init)
        : CDialog(id), init(std::move(init)) {}

    CHexEditBase member;
    bool bindPlaceholder = false;
    int okCount = 0;
    int cancelCount = 0;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (init) init(*this);
        return FALSE;  // the test sets the focus itself
    }
    void DoDataExchange() override {
        if (bindPlaceholder) DDX_Control(IDC_TEST_PLACEHOLDER, member);
    }
    void OnOK() override {
        ++okCount;
        CDialog::OnOK();
    }
    void OnCancel() override {
        ++cancelCount;
        CDialog::OnCancel();
    }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
    std::function<void(TestDialog&)> init;
};

const MessageEntry TestDialog::messageEntries[] = {
    {WM_APP, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         WndAs<TestDialog>(w).EndDialog(static_cast<INT_PTR>(wp));
         return 0;
     }},
};
const MessageMap TestDialog::messageMap{&CDialog::messageMap, messageEntries};

// Vetoes the creation of every window of one class on this thread.
class CreationVeto {
public:
    explicit CreationVeto(const wchar_t* className) {
        vetoClass = className;
        hook = ::SetWindowsHookExW(WH_CBT, &CreationVeto::Proc, nullptr, ::GetCurrentThreadId());
    }
    ~CreationVeto() {
        ::UnhookWindowsHookEx(hook);
        vetoClass = nullptr;
    }
    CreationVeto(const CreationVeto&) = delete;
    CreationVeto& operator=(const CreationVeto&) = delete;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && vetoClass &&
            ClassOf(reinterpret_cast<HWND>(wParam)) == vetoClass)
            return 1;
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline const wchar_t* vetoClass = nullptr;
    HHOOK hook;
};

int CountChildrenOfClass(HWND parent, const wchar_t* className) {
    struct Search {
        const wchar_t* name;
        int count;
    } search{className, 0};
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (ClassOf(child) == s->name) ++s->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

}  // namespace

TEST(HexEditClasses, RegisteredOnceWithTheirAttributes) {
    CHexEditBase first;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const wchar_t* name : {HEXEDIT_CLASS_NAME, HEXEDIT_AUTO_CLASS_NAME}) {
        WNDCLASSW wc{};
        ASSERT_TRUE(::GetClassInfoW(instance, name, &wc));
        EXPECT_EQ(wc.style, 0x000Bu);
        EXPECT_EQ(wc.hbrBackground, nullptr);
        EXPECT_EQ(wc.hCursor, ::LoadCursorW(nullptr, IDC_IBEAM));
        EXPECT_EQ(wc.hIcon, nullptr);
        EXPECT_EQ(wc.cbClsExtra, 0);
        EXPECT_EQ(wc.cbWndExtra, 0);
    }
    WNDCLASSW wc{};
    ASSERT_TRUE(::GetClassInfoW(instance, HEXEDIT_AUTO_CLASS_NAME, &wc));
    EXPECT_EQ(wc.lpfnWndProc, &CHexEditBase::AutoSubclassWndProc);
    // A second object finds both classes and registers nothing.
    EXPECT_NO_THROW({ CHexEditBase second; });
    EXPECT_NO_THROW(CHexEditBase::RegisterWindowClasses());
}

TEST(HexEditCreation, CreateByCodeBindsTheOwnersObject) {
    const long before = CHexEditBase::GetLiveObjectCount();
    {
        TestControl control;
        ASSERT_TRUE(control.created);
        HWND window = control.hwnd();
        EXPECT_EQ(ClassOf(window), HEXEDIT_CLASS_NAME);
        EXPECT_EQ(CWnd::FromHandlePermanent(window), &control.edit);
        EXPECT_FALSE(control.edit.IsAutoDelete());
        EXPECT_EQ(::GetDlgCtrlID(window), static_cast<int>(kTestControlId));
        EXPECT_EQ(::GetParent(window), control.parent.hwnd());
        EXPECT_TRUE(control.edit.IsMultiLine());

        // The window goes first: the owner's object stays.
        EXPECT_TRUE(control.edit.DestroyWindow());
        EXPECT_EQ(control.edit.GetSafeHwnd(), nullptr);
        EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before + 1);
    }
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
}

TEST(HexEditCreation, DestroyingTheObjectDestroysItsWindow) {
    TestParent parent;
    HWND window = nullptr;
    {
        CHexEditBase edit;
        ASSERT_TRUE(
            edit.Create(nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 50}, parent.hwnd(), 7));
        window = edit.GetSafeHwnd();
        ASSERT_TRUE(::IsWindow(window));
    }
    EXPECT_FALSE(::IsWindow(window));
}

TEST(HexEditCreation, GeneralCreateWithOtherClasses) {
    TestParent parent;
    const long before = CHexEditBase::GetLiveObjectCount();
    {
        // An edit window: messages the control does not take reach the edit.
        CHexEditBase edit;
        ASSERT_TRUE(edit.Create(L"EDIT", L"abc", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 50},
                                parent.hwnd(), 8));
        EXPECT_EQ(CWnd::FromHandlePermanent(edit.GetSafeHwnd()), &edit);
        wchar_t text[8] = {};
        ::GetWindowTextW(edit.GetSafeHwnd(), text, 8);
        EXPECT_STREQ(text, L"abc");
        EXPECT_EQ(edit.SendMessage(WM_GETDLGCODE), static_cast<LRESULT>(DLGC_WANTALLKEYS));
    }
    {
        // The self-creating class, taken by an owner's object: no second object.
        CHexEditBase edit;
        ASSERT_TRUE(edit.Create(HEXEDIT_AUTO_CLASS_NAME, nullptr, WS_CHILD | WS_VISIBLE,
                                RECT{0, 0, 100, 50}, parent.hwnd(), 9));
        EXPECT_EQ(CWnd::FromHandlePermanent(edit.GetSafeHwnd()), &edit);
        EXPECT_FALSE(edit.IsAutoDelete());
        EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before + 1);
    }
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
}

TEST(HexEditCreation, VetoedCreateLeavesTheObjectUnbound) {
    TestParent parent;
    CHexEditBase edit;
    {
        CreationVeto veto(HEXEDIT_CLASS_NAME);
        EXPECT_FALSE(
            edit.Create(nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 50}, parent.hwnd(), 7));
    }
    EXPECT_EQ(edit.GetSafeHwnd(), nullptr);
    EXPECT_EQ(CountChildrenOfClass(parent.hwnd(), HEXEDIT_CLASS_NAME), 0);
    // The object can still make a window afterwards.
    EXPECT_TRUE(edit.Create(nullptr, WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 50}, parent.hwnd(), 7));
}

TEST(HexEditCreation, SelfCreatingWindowOwnsItsObject) {
    CHexEditBase::RegisterWindowClasses();
    TestParent parent;
    const long before = CHexEditBase::GetLiveObjectCount();
    HWND window = ::CreateWindowExW(
        0, HEXEDIT_AUTO_CLASS_NAME, nullptr, WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 200, 100,
        parent.hwnd(), reinterpret_cast<HMENU>(5), ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    auto* object = dynamic_cast<CHexEditBase*>(CWnd::FromHandlePermanent(window));
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->IsAutoDelete());
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before + 1);
    // The object works through its window like any other.
    EXPECT_EQ(::SendMessageW(window, WM_GETDLGCODE, 0, 0), static_cast<LRESULT>(DLGC_WANTALLKEYS));

    ::DestroyWindow(window);
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
}

TEST(HexEditCreation, SelfCreatingWindowFailsCleanlyWithoutAnObject) {
    CHexEditBase::RegisterWindowClasses();
    TestParent parent;
    const long before = CHexEditBase::GetLiveObjectCount();
    const unsigned failuresBefore = test_support::FailedAllocationCount();
    HWND window;
    {
        test_support::ScopedAllocationFailure fail(sizeof(CHexEditBase));
        window =
            ::CreateWindowExW(0, HEXEDIT_AUTO_CLASS_NAME, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200,
                              100, parent.hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    EXPECT_EQ(test_support::FailedAllocationCount(), failuresBefore + 1);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
    EXPECT_EQ(CountChildrenOfClass(parent.hwnd(), HEXEDIT_AUTO_CLASS_NAME), 0);
}

TEST(HexEditCreation, DialogTemplateItemLivesAndDiesWithTheDialog) {
    CHexEditBase::RegisterWindowClasses();
    long during = -1;
    bool autoDelete = false;
    HFONT fontDuring = nullptr;
    TestDialog dialog(IDD_TEST_AUTO, [&](TestDialog& d) {
        HWND item = d.GetDlgItem(IDC_TEST_HEX);
        auto* object = dynamic_cast<CHexEditBase*>(CWnd::FromHandlePermanent(item));
        if (object) {
            autoDelete = object->IsAutoDelete();
            fontDuring = object->GetFontHandle();
        }
        during = CHexEditBase::GetLiveObjectCount();
        d.PostMessage(WM_APP, 42);
    });
    const long before = CHexEditBase::GetLiveObjectCount();  // the dialog's unused member included
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(during, before + 1);
    EXPECT_TRUE(autoDelete);
    // The dialog's own (proportional) font was offered and refused.
    EXPECT_EQ(fontDuring, ::GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before);
}

TEST(HexEditCreation, BindingAnExistingEditWindow) {
    const long before = CHexEditBase::GetLiveObjectCount();
    LRESULT dlgCode = 0;
    HFONT font = nullptr;
    std::wstring text;
    HWND bound = nullptr;
    TestDialog dialog(IDD_TEST_BIND, [&](TestDialog& d) {
        bound = d.member.GetSafeHwnd();
        dlgCode = d.member.SendMessage(WM_GETDLGCODE);
        font = reinterpret_cast<HFONT>(d.member.SendMessage(WM_GETFONT));
        ::SetWindowTextW(bound, L"kept");  // reaches the edit control's own procedure
        wchar_t buffer[16] = {};
        ::GetWindowTextW(bound, buffer, 16);
        text = buffer;
        d.PostMessage(WM_APP, 7);
    });
    dialog.bindPlaceholder = true;
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_NE(bound, nullptr);
    EXPECT_EQ(dlgCode, static_cast<LRESULT>(DLGC_WANTALLKEYS));
    EXPECT_EQ(font, ::GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(text, L"kept");
    // The member outlives its window and is not deleted by it.
    EXPECT_EQ(dialog.member.GetSafeHwnd(), nullptr);
    EXPECT_EQ(CHexEditBase::GetLiveObjectCount(), before + 1);
}

TEST(HexEditDialogKeys, EnterAndEscapeStayInTheControl) {
    CHexEditBase::RegisterWindowClasses();
    for (UINT id : {IDD_TEST_AUTO, IDD_TEST_BIND}) {
        TestDialog dialog(id, [id](TestDialog& d) {
            HWND control = d.GetDlgItem(id == IDD_TEST_AUTO ? IDC_TEST_HEX : IDC_TEST_PLACEHOLDER);
            ::SetFocus(control);
            ::PostMessageW(control, WM_KEYDOWN, VK_RETURN, 1);
            ::PostMessageW(control, WM_KEYDOWN, VK_ESCAPE, 1);
            d.PostMessage(WM_APP, 5);
        });
        dialog.bindPlaceholder = id == IDD_TEST_BIND;
        EXPECT_EQ(dialog.DoModal(), 5) << id;
        EXPECT_EQ(dialog.okCount, 0) << id;
        EXPECT_EQ(dialog.cancelCount, 0) << id;
    }
}

// The same keys in an ordinary edit of the same dialog do reach the buttons,
// so the test above can tell the difference.
TEST(HexEditDialogKeys, AnOrdinaryEditLetsThemThrough) {
    TestDialog enter(IDD_TEST_BIND, [](TestDialog& d) {
        HWND plain = d.GetDlgItem(IDC_TEST_PLAIN_EDIT);
        ::SetFocus(plain);
        ::PostMessageW(plain, WM_KEYDOWN, VK_RETURN, 1);
        d.PostMessage(WM_APP, 5);
    });
    EXPECT_EQ(enter.DoModal(), IDOK);
    EXPECT_EQ(enter.okCount, 1);

    TestDialog escape(IDD_TEST_BIND, [](TestDialog& d) {
        HWND plain = d.GetDlgItem(IDC_TEST_PLAIN_EDIT);
        ::SetFocus(plain);
        ::PostMessageW(plain, WM_KEYDOWN, VK_ESCAPE, 1);
        d.PostMessage(WM_APP, 5);
    });
    EXPECT_EQ(escape.DoModal(), IDCANCEL);
    EXPECT_EQ(escape.cancelCount, 1);
}

TEST(HexEditHandlers, DialogCodeAndErase) {
    TestControl control;
    ASSERT_TRUE(control.created);
    EXPECT_EQ(::SendMessageW(control.hwnd(), WM_GETDLGCODE, VK_RETURN, 0),
              static_cast<LRESULT>(DLGC_WANTALLKEYS));

    DibSection dib(50, 50);
    dib.Fill(RGB(1, 2, 3));
    EXPECT_EQ(::SendMessageW(control.hwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dib.hdc()), 0),
              TRUE);
    EXPECT_EQ(dib.Pixel(10, 10), RGB(1, 2, 3));
}

TEST(HexEditHandlers, FixedPitchFontIsCopied) {
    TestControl control;
    ASSERT_TRUE(control.created);
    HWND window = control.hwnd();
    control.SetCountingData(64);
    const uint32_t stockHeight = control.edit.GetLineHeight();
    EXPECT_EQ(::SendMessageW(window, WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(::GetStockObject(ANSI_FIXED_FONT)));

    HFONT sent = ::CreateFontW(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                               FIXED_PITCH | FF_MODERN, L"Courier New");
    ASSERT_NE(sent, nullptr);
    LOGFONTW sentDescription{};
    ASSERT_TRUE(::GetObjectW(sent, sizeof sentDescription, &sentDescription));
    ::ValidateRect(window, nullptr);
    EXPECT_EQ(::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(sent), TRUE), 0);
    EXPECT_TRUE(HasUpdateRegion(window));
    EXPECT_TRUE(control.edit.IsLayoutDirty());

    HFONT held = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    EXPECT_NE(held, sent);
    ::DeleteObject(sent);
    LOGFONTW heldDescription{};
    ASSERT_EQ(::GetObjectW(held, sizeof heldDescription, &heldDescription),
              static_cast<int>(sizeof heldDescription));
    EXPECT_EQ(heldDescription.lfHeight, sentDescription.lfHeight);
    EXPECT_STREQ(heldDescription.lfFaceName, sentDescription.lfFaceName);

    // The next layout measures the new font.
    CClientDC dc(window);
    control.edit.RecalcLayout(dc);
    EXPECT_GT(control.edit.GetLineHeight(), stockHeight);
}

TEST(HexEditHandlers, OtherFontsAreIgnored) {
    TestControl control;
    ASSERT_TRUE(control.created);
    HWND window = control.hwnd();
    HFONT stock = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    HFONT variable = ::CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                                   VARIABLE_PITCH | FF_SWISS, L"Arial");
    HFONT defaultPitch = ::CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                                       DEFAULT_PITCH, L"Arial");
    const HFONT offers[] = {variable, defaultPitch, nullptr, reinterpret_cast<HFONT>(0x7654)};
    for (HFONT offer : offers) {
        CClientDC dc(window);
        control.edit.RecalcLayout(dc);
        ::ValidateRect(window, nullptr);
        ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(offer), FALSE);
        EXPECT_EQ(::SendMessageW(window, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(stock));
        // Still marked for a new layout, and no repaint without the flag.
        EXPECT_TRUE(control.edit.IsLayoutDirty());
        EXPECT_FALSE(HasUpdateRegion(window));
    }
    ::DeleteObject(variable);
    ::DeleteObject(defaultPitch);
}

namespace {
bool menuLoopSeen = false;
void CALLBACK EndAnyMenu(HWND, UINT, UINT_PTR, DWORD) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (::GetGUIThreadInfo(::GetCurrentThreadId(), &info) &&
        (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)))
        menuLoopSeen = true;
    ::EndMenu();
}
}  // namespace

TEST(HexEditHandlers, RightClickShowsNoMenu) {
    TestControl control;
    ASSERT_TRUE(control.created);
    POINT screen{30, 30};
    ::ClientToScreen(control.hwnd(), &screen);
    ::SendMessageW(control.hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control.hwnd()),
                   MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(control.parent.contextMenus, 0);  // not passed up to the parent

    // A bound edit control would open its own edit menu; a timer ends any
    // menu loop, and records it, should one start.
    TestDialog dialog(IDD_TEST_BIND, [&](TestDialog& d) {
        menuLoopSeen = false;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &EndAnyMenu);
        POINT p{20, 20};
        ::ClientToScreen(d.member.GetSafeHwnd(), &p);
        d.member.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(d.member.GetSafeHwnd()),
                             MAKELPARAM(p.x, p.y));
        ::KillTimer(nullptr, timer);
        d.PostMessage(WM_APP, 1);
    });
    dialog.bindPlaceholder = true;
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_FALSE(menuLoopSeen);
}
