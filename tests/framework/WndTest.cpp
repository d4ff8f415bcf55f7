// CWnd: binding, creation, message tables, forwarding, exceptions, lifetime.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Wnd.h"

namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kSecond = WM_APP + 2;
constexpr UINT kUnlisted = WM_APP + 3;
constexpr UINT kThrow = WM_APP + 4;
constexpr UINT kPassOn = WM_APP + 5;

const wchar_t* TestClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KestruneFrameworkTestWindow";
        ::RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

// A raw window whose own procedure records what reaches it.
struct RawWindow {
    static inline std::vector<UINT> seen;
    static inline WPARAM lastWParam = 0;
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m >= WM_APP) {
            seen.push_back(m);
            lastWParam = wp;
            return 500 + (m - WM_APP);
        }
        return ::DefWindowProcW(w, m, wp, lp);
    }
    RawWindow() {
        static const wchar_t* cls = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &RawWindow::Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KestruneFrameworkRawWindow";
            ::RegisterClassW(&wc);
            return wc.lpszClassName;
        }();
        seen.clear();
        hwnd = ::CreateWindowExW(0, cls, L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    }
    ~RawWindow() {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    }
    HWND hwnd;
};

class CBase : public CWnd {
public:
    std::vector<UINT> handled;
    static inline int liveObjects = 0;
    CBase() { ++liveObjects; }
    ~CBase() override { --liveObjects; }

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
};

const MessageEntry CBase::messageEntries[] = {
    {kFirst, 0, 0, [](CWnd&, WPARAM, LPARAM) -> LRESULT { return 1; }},
    {kSecond, 0, 0, [](CWnd&, WPARAM, LPARAM) -> LRESULT { return 2; }},
    {kThrow, 0, 0,
     [](CWnd&, WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("handler failed"); }},
    {WM_COMMAND, 100, 0, [](CWnd&, WPARAM, LPARAM) -> LRESULT { return 3; }},
    {WM_COMMAND, 100, EN_CHANGE, [](CWnd&, WPARAM, LPARAM) -> LRESULT { return 4; }},
};
const MessageMap CBase::messageMap{&CWnd::messageMap, messageEntries};

class CDerived : public CBase {
public:
    std::vector<UINT> creationMessages;
    void* createParams = nullptr;
    bool deleteItself = false;
    bool sawNcDestroyBeforePostNcDestroy = false;
    static inline bool postNcDestroyRan = false;
    DWORD extraStyle = 0;
    bool refuseCreation = false;

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override {
        cs.style |= extraStyle;
        return refuseCreation ? FALSE : TRUE;
    }
    void PostNcDestroy() override {
        postNcDestroyRan = true;
        sawNcDestroyBeforePostNcDestroy =
            !creationMessages.empty() && creationMessages.back() == WM_NCDESTROY;
        EXPECT_EQ(GetSafeHwnd(), nullptr);
        if (deleteItself) delete this;
    }

private:
    static const MessageEntry messageEntries[];
    LRESULT Record(UINT message, LPARAM lParam) {
        creationMessages.push_back(message);
        if (message == WM_CREATE)
            createParams = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
        return Default();
    }
};

const MessageEntry CDerived::messageEntries[] = {
    {kFirst, 0, 0, [](CWnd&, WPARAM, LPARAM) -> LRESULT { return 10; }},
    {kPassOn, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT { return WndAs<CDerived>(w).Default() + 1; }},
    {WM_NCCREATE, 0, 0,
     [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
         return WndAs<CDerived>(w).Record(WM_NCCREATE, lp);
     }},
    {WM_CREATE, 0, 0,
     [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
         return WndAs<CDerived>(w).Record(WM_CREATE, lp);
     }},
    {WM_NCDESTROY, 0, 0,
     [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
         return WndAs<CDerived>(w).Record(WM_NCDESTROY, lp);
     }},
};
const MessageMap CDerived::messageMap{&CBase::messageMap, messageEntries};

}  // namespace

TEST(FrameworkWnd, TablesAreWalkedDerivedFirstThenBase) {
    CDerived object;
    ASSERT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    EXPECT_EQ(object.SendMessage(kFirst), 10);    // the derived entry hides the base one
    EXPECT_EQ(object.SendMessage(kSecond), 2);    // found in the base table
    EXPECT_EQ(object.SendMessage(kUnlisted), 0);  // the window's own procedure (DefWindowProc)
}

TEST(FrameworkWnd, CommandEntriesMatchIdAndNotificationCode) {
    CBase object;
    ASSERT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    EXPECT_EQ(object.SendMessage(WM_COMMAND, MAKEWPARAM(100, 0)), 3);  // menu or button click
    EXPECT_EQ(object.SendMessage(WM_COMMAND, MAKEWPARAM(100, 1)), 3);  // accelerator
    EXPECT_EQ(object.SendMessage(WM_COMMAND, MAKEWPARAM(100, EN_CHANGE)), 4);  // notification entry
    EXPECT_EQ(object.SendMessage(WM_COMMAND, MAKEWPARAM(100, EN_KILLFOCUS)), 0);
    EXPECT_EQ(object.SendMessage(WM_COMMAND, MAKEWPARAM(101, 0)), 0);
}

TEST(FrameworkWnd, SubclassingKeepsThePreviousProcedure) {
    RawWindow raw;
    ASSERT_TRUE(raw.hwnd);
    const LONG_PTR original = ::GetWindowLongPtrW(raw.hwnd, GWLP_WNDPROC);
    CDerived object;
    ASSERT_TRUE(object.SubclassWindow(raw.hwnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(raw.hwnd), &object);

    EXPECT_EQ(::SendMessageW(raw.hwnd, kFirst, 0, 0), 10);
    EXPECT_EQ(::SendMessageW(raw.hwnd, kUnlisted, 0, 0), 503);  // forwarded
    EXPECT_EQ(::SendMessageW(raw.hwnd, kPassOn, 77, 0), 506);   // Default() with the same arguments
    EXPECT_EQ(RawWindow::lastWParam, 77u);
    EXPECT_EQ(RawWindow::seen, (std::vector<UINT>{kUnlisted, kPassOn}));

    // One object per window and one window per object.
    CBase other;
    EXPECT_FALSE(other.SubclassWindow(raw.hwnd));
    RawWindow second;
    EXPECT_FALSE(object.SubclassWindow(second.hwnd));
    EXPECT_FALSE(other.SubclassWindow(nullptr));

    EXPECT_EQ(object.UnsubclassWindow(), raw.hwnd);
    EXPECT_EQ(::GetWindowLongPtrW(raw.hwnd, GWLP_WNDPROC), original);
    EXPECT_EQ(CWnd::FromHandlePermanent(raw.hwnd), nullptr);
    EXPECT_EQ(::SendMessageW(raw.hwnd, kFirst, 0, 0), 501);
}

TEST(FrameworkWnd, DestroyingTheObjectGivesTheWindowBack) {
    RawWindow raw;
    {
        CDerived object;
        ASSERT_TRUE(object.SubclassWindow(raw.hwnd));
    }
    EXPECT_TRUE(::IsWindow(raw.hwnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(raw.hwnd), nullptr);
    EXPECT_EQ(::SendMessageW(raw.hwnd, kFirst, 0, 0), 501);
}

TEST(FrameworkWnd, ExceptionsStopAtTheWindowProcedure) {
    CBase object;
    ASSERT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    const unsigned before = CWnd::GetDispatchFailureCount();
    EXPECT_EQ(object.SendMessage(kThrow), 0);
    EXPECT_EQ(CWnd::GetDispatchFailureCount(), before + 1);
    const std::string failure = CWnd::GetLastDispatchFailure();
    EXPECT_NE(failure.find("handler failed"), std::string::npos) << failure;
    EXPECT_NE(failure.find("8004"), std::string::npos) << failure;
    EXPECT_EQ(object.SendMessage(kSecond), 2);  // the window goes on working
}

TEST(FrameworkWnd, CreateBindsBeforeTheFirstMessage) {
    CDerived object;
    int context = 0;
    object.extraStyle = WS_BORDER;
    ASSERT_TRUE(object.Create(TestClass(), L"title", WS_POPUP, RECT{10, 20, 110, 70}, nullptr, 0,
                              &context));
    ASSERT_GE(object.creationMessages.size(), 2u);
    EXPECT_EQ(object.creationMessages[0], WM_NCCREATE);
    EXPECT_EQ(object.creationMessages[1], WM_CREATE);
    EXPECT_EQ(object.createParams, &context);
    EXPECT_TRUE(object.GetStyle() & WS_BORDER);  // PreCreateWindow changed the style
    RECT rect{};
    ::GetWindowRect(object, &rect);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.bottom - rect.top, 50);
    EXPECT_FALSE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 10, 10}, nullptr,
                               0));  // already bound
}

TEST(FrameworkWnd, PreCreateWindowCanRefuse) {
    CDerived object;
    object.refuseCreation = true;
    EXPECT_FALSE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    EXPECT_EQ(object.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(object.creationMessages.empty());
}

TEST(FrameworkWnd, FailedCreationLeavesNothingBound) {
    CDerived object;
    EXPECT_FALSE(
        object.Create(L"NoSuchWindowClassAnywhere", L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    EXPECT_EQ(object.GetSafeHwnd(), nullptr);
    // Nothing pending is left behind for the next window of the thread.
    RawWindow raw;
    EXPECT_EQ(CWnd::FromHandlePermanent(raw.hwnd), nullptr);
    EXPECT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
}

TEST(FrameworkWnd, SelfOwnedObjectEndsAfterItsLastMessage) {
    const int before = CBase::liveObjects;
    auto* object = new CDerived;
    object->deleteItself = true;
    ASSERT_TRUE(object->Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    HWND window = object->GetSafeHwnd();
    CDerived::postNcDestroyRan = false;
    ::DestroyWindow(window);
    EXPECT_TRUE(CDerived::postNcDestroyRan);
    EXPECT_EQ(CBase::liveObjects, before);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
}

TEST(FrameworkWnd, OwnedObjectOutlivesItsWindow) {
    CDerived object;
    ASSERT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
    EXPECT_TRUE(object.DestroyWindow());
    EXPECT_EQ(object.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(object.sawNcDestroyBeforePostNcDestroy);
    EXPECT_FALSE(object.DestroyWindow());
    // And it can take a new window.
    EXPECT_TRUE(object.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 40, 40}, nullptr, 0));
}

namespace {

// A window that creates a child window of its own while being created.
class CNestingParent : public CWnd {
public:
    CBase child;
    BOOL childCreated = FALSE;

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
};

const MessageEntry CNestingParent::messageEntries[] = {
    {WM_CREATE, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         auto& self = WndAs<CNestingParent>(w);
         self.childCreated = self.child.Create(TestClass(), L"", WS_CHILD, RECT{0, 0, 10, 10},
                                               self.GetSafeHwnd(), 3);
         return 0;
     }},
};
const MessageMap CNestingParent::messageMap{&CWnd::messageMap, messageEntries};

}  // namespace

TEST(FrameworkWnd, NestedCreationBindsEachWindowToItsObject) {
    CNestingParent parent;
    ASSERT_TRUE(parent.Create(TestClass(), L"", WS_POPUP, RECT{0, 0, 60, 60}, nullptr, 0));
    EXPECT_TRUE(parent.childCreated);
    EXPECT_EQ(CWnd::FromHandlePermanent(parent.GetSafeHwnd()), &parent);
    EXPECT_EQ(CWnd::FromHandlePermanent(parent.child.GetSafeHwnd()), &parent.child);
    EXPECT_EQ(::GetParent(parent.child.GetSafeHwnd()), parent.GetSafeHwnd());
    EXPECT_EQ(parent.child.SendMessage(kSecond), 2);
}
