// CDialog: the modal loop over a template, initialisation and data
// exchange, default buttons, PreTranslateMessage, the owner and WM_QUIT.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "FrameworkTestResource.h"
#include "framework/Dialog.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr UINT kEndWith = WM_APP + 10;  // wParam: the result

// An edit control that eats WM_CHAR 'x' in PreTranslateMessage.
class CEatingEdit : public CWnd {
public:
    std::vector<WPARAM> preTranslated;
    std::vector<WPARAM> charsHandled;

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message != WM_CHAR) return FALSE;
        preTranslated.push_back(msg->wParam);
        return msg->wParam == 'x';
    }

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
};

const MessageEntry CEatingEdit::messageEntries[] = {
    {WM_CHAR, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         WndAs<CEatingEdit>(w).charsHandled.push_back(wp);
         return 0;
     }},
};
const MessageMap CEatingEdit::messageMap{&CWnd::messageMap, messageEntries};

class CTestDialog : public CDialog {
public:
    CTestDialog(std::function<void(CTestDialog&)> init, HWND owner = nullptr, UINT id = IDD_FW_TEST)
        : CDialog(id, owner), init(std::move(init)) {}

    CEatingEdit first;
    int bindId = IDC_FW_FIRST;
    int initCount = 0;
    int okCount = 0;
    int cancelCount = 0;
    std::vector<WPARAM> dialogPreTranslated;
    std::function<void(CTestDialog&)> onEnd;

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_CHAR) dialogPreTranslated.push_back(msg->wParam);
        return FALSE;
    }

protected:
    BOOL OnInitDialog() override {
        ++initCount;
        CDialog::OnInitDialog();
        if (init) init(*this);
        return TRUE;
    }
    void DoDataExchange() override { DDX_Control(bindId, first); }
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
    std::function<void(CTestDialog&)> init;
};

const MessageEntry CTestDialog::messageEntries[] = {
    {kEndWith, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         auto& self = WndAs<CTestDialog>(w);
         if (self.onEnd) self.onEnd(self);
         self.EndDialog(static_cast<INT_PTR>(wp));
         return 0;
     }},
};
const MessageMap CTestDialog::messageMap{&CDialog::messageMap, messageEntries};

}  // namespace

TEST(FrameworkDialog, InitialisesBindsAndEndsWithTheButtonsResult) {
    HWND window = nullptr;
    bool boundDuringInit = false;
    CTestDialog dialog([&](CTestDialog& d) {
        window = d.GetSafeHwnd();
        boundDuringInit = CWnd::FromHandlePermanent(d.GetDlgItem(IDC_FW_FIRST)) == &d.first;
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(IDOK)));
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.okCount, 1);
    EXPECT_TRUE(boundDuringInit);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dialog.first.GetSafeHwnd(), nullptr);

    // The same object runs again.
    CTestDialog again([](CTestDialog& d) { d.PostMessage(WM_CLOSE); });
    EXPECT_EQ(again.DoModal(), IDCANCEL);  // the system close is Cancel
    EXPECT_EQ(again.cancelCount, 1);
}

TEST(FrameworkDialog, EndDialogDuringInitialisationSkipsTheLoop) {
    CTestDialog dialog([](CTestDialog& d) { d.EndDialog(33); });
    EXPECT_EQ(dialog.DoModal(), 33);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(FrameworkDialog, FailuresReturnMinusOne) {
    CTestDialog missingItem(nullptr);
    missingItem.bindId = IDC_FW_MISSING;
    EXPECT_EQ(missingItem.DoModal(), -1);
    EXPECT_EQ(missingItem.GetSafeHwnd(), nullptr);

    CTestDialog missingTemplate(nullptr, nullptr, 4321);
    EXPECT_EQ(missingTemplate.DoModal(), -1);
    EXPECT_EQ(missingTemplate.initCount, 0);
}

TEST(FrameworkDialog, OwnerIsDisabledWhileTheDialogRuns) {
    const test_support::TestWindow ownerWindow(100, 100);
    HWND owner = ownerWindow.hwnd();
    ASSERT_NE(owner, nullptr);
    BOOL enabledDuring = TRUE;
    CTestDialog dialog([](CTestDialog& d) { d.PostMessage(kEndWith, 9); }, owner);
    dialog.onEnd = [&](CTestDialog&) { enabledDuring = ::IsWindowEnabled(owner); };
    EXPECT_EQ(dialog.DoModal(), 9);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(owner));
}

TEST(FrameworkDialog, PreTranslateMessageRunsFromTheTargetUpToTheDialog) {
    CTestDialog dialog([](CTestDialog& d) {
        HWND edit = d.first.GetSafeHwnd();
        ::PostMessageW(edit, WM_CHAR, 'x', 1);
        ::PostMessageW(edit, WM_CHAR, 'y', 1);
        d.PostMessage(kEndWith, 1);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(dialog.first.preTranslated, (std::vector<WPARAM>{'x', 'y'}));
    EXPECT_EQ(dialog.first.charsHandled, (std::vector<WPARAM>{'y'}));  // 'x' was eaten
    EXPECT_EQ(dialog.dialogPreTranslated,
              (std::vector<WPARAM>{'y'}));  // the dialog after its child
}

TEST(FrameworkDialog, QuitEndsTheDialogAndReachesTheOuterLoop) {
    CTestDialog dialog([](CTestDialog&) { ::PostQuitMessage(5); });
    EXPECT_EQ(dialog.DoModal(), -1);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}
