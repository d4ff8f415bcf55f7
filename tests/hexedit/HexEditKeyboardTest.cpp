// Keyboard and typing: hex digits overwriting one digit at a time, the
// navigation keys with the Shift anchor rule, and, inside a real modal
// dialog, Tab, Enter, Escape and the Ctrl+A/C/V chords.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "HexEditInputSupport.h"
#include "HexEditTestResource.h"
#include "HexEditTestSupport.h"
#include "framework/Dialog.h"

using namespace hexedit_test;

namespace {

std::vector<uint8_t> Bytes(const CHexEditBase& edit) {
    std::vector<uint8_t> out(edit.GetDataSize());
    edit.GetData(out.data(), static_cast<uint32_t>(out.size()));
    return out;
}

void SetZeros(CHexEditBase& edit, uint32_t size) {
    std::vector<uint8_t> zeros(size, 0);
    edit.SetData(zeros.data(), size, true);
}

}  // namespace

TEST(HexEditTyping, TwoDigitsFillAByteAndAdvance) {
    TestControl t;
    SetZeros(t.edit, 20);
    t.edit.SetCaret(3, true);

    EXPECT_EQ(Char(t.hwnd(), L'A'), 0);
    EXPECT_EQ(Bytes(t.edit)[3], 0xA0);
    EXPECT_EQ(t.edit.GetCaretPos(), 3u);
    EXPECT_FALSE(t.edit.IsCaretHighNibble());
    EXPECT_EQ(Char(t.hwnd(), L'5'), 0);
    EXPECT_EQ(Bytes(t.edit)[3], 0xA5);
    EXPECT_EQ(t.edit.GetCaretPos(), 4u);
    EXPECT_TRUE(t.edit.IsCaretHighNibble());

    ASSERT_EQ(t.parent.commands.size(), 2u);
    for (const CommandRecord& r : t.parent.commands) {
        EXPECT_EQ(r.id, kTestControlId);
        EXPECT_EQ(r.code, EN_CHANGE);
        EXPECT_EQ(r.control, t.hwnd());
    }
    Char(t.hwnd(), L'c');
    Char(t.hwnd(), L'9');
    EXPECT_EQ(Bytes(t.edit)[4], 0xC9);
    EXPECT_EQ(Bytes(t.edit)[2], 0x00);
}

TEST(HexEditTyping, TheLastDigitKeepsBeingReplaced) {
    TestControl t;
    SetZeros(t.edit, 10);
    t.edit.SetCaret(9, false);
    Char(t.hwnd(), L'f');
    EXPECT_EQ(Bytes(t.edit)[9], 0x0F);
    EXPECT_EQ(t.edit.GetCaretPos(), 9u);
    EXPECT_FALSE(t.edit.IsCaretHighNibble());
    Char(t.hwnd(), L'3');
    EXPECT_EQ(Bytes(t.edit)[9], 0x03);
    EXPECT_EQ(t.edit.GetCaretPos(), 9u);
    EXPECT_EQ(ChangeCount(t.parent.commands, t.hwnd()), 2);
}

TEST(HexEditTyping, RefusedCharactersChangeNothing) {
    TestControl t;
    t.SetCountingData(10);
    t.edit.SetCaret(4, true);
    const std::vector<uint8_t> before = Bytes(t.edit);
    for (wchar_t c : {L'G', L' ', L'\b', L'g', L'/', L':', L'@', L'`', wchar_t(0xE1),
                      wchar_t(0x131), wchar_t(0x141)})
        EXPECT_EQ(Char(t.hwnd(), c), 1) << int(c);
    EXPECT_EQ(Bytes(t.edit), before);
    EXPECT_EQ(t.edit.GetCaretPos(), 4u);
    EXPECT_TRUE(t.edit.IsCaretHighNibble());
    EXPECT_TRUE(t.parent.commands.empty());

    t.edit.SetReadOnly(true, true);
    EXPECT_EQ(Char(t.hwnd(), L'5'), 1);
    EXPECT_EQ(Bytes(t.edit), before);
    EXPECT_EQ(t.edit.GetCaretPos(), 4u);
    Key(t.hwnd(), VK_RIGHT);  // navigation still works
    EXPECT_FALSE(t.edit.IsCaretHighNibble());
    EXPECT_TRUE(t.parent.commands.empty());

    t.edit.SetReadOnly(false, true);
    const uint8_t none = 0;
    t.edit.SetData(&none, 0, true);
    EXPECT_EQ(Char(t.hwnd(), L'5'), 1);
    t.edit.SetData(nullptr, 0, true);
    EXPECT_EQ(Char(t.hwnd(), L'5'), 1);
    EXPECT_TRUE(t.parent.commands.empty());
}

TEST(HexEditTyping, ShiftHeldTypingExtendsTheSelection) {
    TestControl t;
    SetZeros(t.edit, 20);
    t.edit.SetCaret(3, true);
    {
        ScopedKeys shift{VK_SHIFT};
        Key(t.hwnd(), VK_SHIFT);
        Char(t.hwnd(), L'A');
        EXPECT_EQ(SelectionOf(t.edit), (Selection{3, 3}));
        Char(t.hwnd(), L'B');
        EXPECT_EQ(SelectionOf(t.edit), (Selection{3, 4}));
    }
    Char(t.hwnd(), L'1');
    EXPECT_FALSE(t.edit.HasSelection());
    EXPECT_EQ(t.edit.GetSelectionAnchor(), HEXEDIT_NONE);
    EXPECT_EQ(Bytes(t.edit)[3], 0xAB);
    EXPECT_EQ(Bytes(t.edit)[4], 0x10);
}

TEST(HexEditKeys, ArrowsStepByDigitAndStopAtTheEnds) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetCaret(5, true);
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(5u, false));
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(6u, true));
    Key(t.hwnd(), VK_LEFT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(5u, false));
    Key(t.hwnd(), VK_LEFT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(5u, true));

    e.SetSelection(2, 5, false, false);
    e.SetCaret(0, true);
    Key(t.hwnd(), VK_LEFT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(0u, true));
    EXPECT_FALSE(e.HasSelection());

    e.SetSelection(2, 5, false, false);
    e.SetCaret(99, false);
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(99u, false));
    EXPECT_FALSE(e.HasSelection());

    // Ctrl is not looked at: Ctrl+Left is Left.
    ScopedKeys ctrl{VK_CONTROL};
    Key(t.hwnd(), VK_LEFT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(99u, true));
}

TEST(HexEditKeys, ShiftRightThreeTimesFromByteFive) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetCaret(5, true);
    ScopedKeys shift{VK_SHIFT};
    Key(t.hwnd(), VK_SHIFT);
    EXPECT_EQ(e.GetSelectionAnchor(), 5u);
    EXPECT_FALSE(e.HasSelection());
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(SelectionOf(e), (Selection{5, 5}));
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(SelectionOf(e), (Selection{5, 6}));
    Key(t.hwnd(), VK_RIGHT);
    EXPECT_EQ(SelectionOf(e), (Selection{5, 6}));
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(6u, false));
}

TEST(HexEditKeys, HomeAndEndReachTheEndsOfTheData) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    ::SetFocus(t.hwnd());
    e.SetCaret(40, false);
    {
        ScopedKeys shift{VK_SHIFT};
        Key(t.hwnd(), VK_SHIFT);
        Key(t.hwnd(), VK_HOME);
    }
    EXPECT_EQ(SelectionOf(e), (Selection{0, 40}));
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(0u, true));

    Key(t.hwnd(), VK_END);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(999u, false));
    EXPECT_FALSE(e.HasSelection());
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);
    // The move scrolled the last byte into view and the caret shows on it.
    EXPECT_EQ(e.GetTopLine(), e.GetMaxTopLine());
    EXPECT_TRUE(e.IsCaretCreated());
    Key(t.hwnd(), VK_HOME);
    EXPECT_EQ(e.GetTopLine(), 0u);
    EXPECT_TRUE(e.IsCaretCreated());
}

TEST(HexEditKeys, PageKeysMoveByThePaintedLinesLessOne) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    const uint32_t lh = e.GetLineHeight();
    ::MoveWindow(t.hwnd(), 10, 10, 400, 2 * HEXEDIT_TEXT_INSET + static_cast<int>(10 * lh + lh / 2),
                 TRUE);
    ASSERT_EQ(e.GetLinesVisible(), 11u);
    ASSERT_EQ(e.GetFullLinesVisible(), 10u);

    e.SetCaret(0, true);
    Key(t.hwnd(), VK_NEXT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(160u, true));
    e.SetCaret(950, true);
    Key(t.hwnd(), VK_NEXT);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(999u, false));
    Key(t.hwnd(), VK_PRIOR);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(839u, false));
    e.SetCaret(100, true);
    Key(t.hwnd(), VK_PRIOR);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(0u, true));
}

TEST(HexEditKeys, PageKeysWithNoLinePaintedStay) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    for (int height : {2 * HEXEDIT_TEXT_INSET, 2 * HEXEDIT_TEXT_INSET + 1}) {
        ::MoveWindow(t.hwnd(), 10, 10, 400, height, TRUE);
        ASSERT_LE(e.GetLinesVisible(), 1u);
        e.SetCaret(100, true);
        for (UINT key : {VK_NEXT, VK_PRIOR}) {
            Key(t.hwnd(), key);
            EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(100u, true))
                << "height " << height << " key " << key;
        }
    }
}

TEST(HexEditKeys, UpAndDownKeepTheColumnUntilAnEnd) {
    TestControl t;
    t.SetCountingData(100);  // the last line holds bytes 96..99
    CHexEditBase& e = t.edit;
    e.SetCaret(82, true);
    Key(t.hwnd(), VK_DOWN);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(98u, true));
    Key(t.hwnd(), VK_DOWN);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(99u, false));
    e.SetCaret(90, true);
    Key(t.hwnd(), VK_DOWN);  // the line below ends in an earlier column
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(99u, false));

    e.SetCaret(20, false);
    Key(t.hwnd(), VK_UP);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(4u, false));
    Key(t.hwnd(), VK_UP);
    EXPECT_EQ(std::pair(e.GetCaretPos(), e.IsCaretHighNibble()), std::pair(0u, true));
}

TEST(HexEditKeys, WithoutBytesKeysDoNothing) {
    TestControl t;
    CHexEditBase& e = t.edit;
    ScopedKeys shift{VK_SHIFT};
    for (UINT key : {VK_SHIFT, VK_RIGHT, VK_DOWN, VK_END, VK_NEXT, VK_HOME}) Key(t.hwnd(), key);
    EXPECT_EQ(e.GetCaretPos(), 0u);
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);
    EXPECT_FALSE(e.HasSelection());

    const uint8_t none = 0;
    e.SetData(&none, 0, true);
    for (UINT key : {VK_SHIFT, VK_RIGHT, VK_END, VK_PRIOR}) Key(t.hwnd(), key);
    EXPECT_EQ(e.GetCaretPos(), 0u);
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);
    EXPECT_FALSE(e.HasSelection());
}

namespace {

// A dialog that runs a list of steps from its own modal loop: each step may
// post messages; the next step runs once those have gone through the loop.
class StepDialog : public CDialog {
public:
    explicit StepDialog(std::deque<std::function<void(StepDialog&)>> steps)
        : CDialog(IDD_TEST_BIND), steps(std::move(steps)) {}

    CHexEditBase member;
    int okCount = 0;
    int cancelCount = 0;
    int changeCount = 0;

    void Next() { PostMessage(kNextStep); }

protected:
    static constexpr UINT kNextStep = WM_APP + 1;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        Next();
        return FALSE;
    }
    void DoDataExchange() override { DDX_Control(IDC_TEST_PLACEHOLDER, member); }
    void OnOK() override { ++okCount; }
    void OnCancel() override { ++cancelCount; }
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
    void RunStep() {
        if (steps.empty()) {
            EndDialog(IDOK);
            return;
        }
        auto step = std::move(steps.front());
        steps.pop_front();
        step(*this);
        Next();
    }
    std::deque<std::function<void(StepDialog&)>> steps;
};

const MessageEntry StepDialog::messageEntries[] = {
    {kNextStep, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<StepDialog>(w).RunStep();
         return 0;
     }},
    {WM_COMMAND, IDC_TEST_PLACEHOLDER, EN_CHANGE,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         ++WndAs<StepDialog>(w).changeCount;
         return 0;
     }},
};
const MessageMap StepDialog::messageMap{&CDialog::messageMap, messageEntries};

// A key press as the keyboard would queue it, with its scan code, so that
// the loop's TranslateMessage makes the character from it.
void PostKey(HWND window, UINT key) {
    const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    ::PostMessageW(window, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
}

void SetKeys(std::initializer_list<int> keys, bool down) {
    BYTE state[256];
    ::GetKeyboardState(state);
    for (int key : keys) state[key] = down ? 0x80 : 0;
    ::SetKeyboardState(state);
}

std::string ClipboardText() {
    std::string text;
    if (!::OpenClipboard(nullptr)) return text;
    if (HANDLE block = ::GetClipboardData(CF_TEXT)) {
        if (const char* chars = static_cast<const char*>(::GlobalLock(block))) {
            text = chars;
            ::GlobalUnlock(block);
        }
    }
    ::CloseClipboard();
    return text;
}

}  // namespace

TEST(HexEditDialogInput, TabAndShiftTabGoToTheNeighbouringTabStops) {
    StepDialog dialog({
        [](StepDialog& d) {
            d.member.SetData(reinterpret_cast<const uint8_t*>("0123456789"), 10, true);
            ::SetFocus(d.member);
            PostKey(d.member, VK_TAB);
        },
        [](StepDialog& d) {
            EXPECT_EQ(::GetFocus(), d.GetDlgItem(IDC_TEST_PLAIN_EDIT));
            ::SetFocus(d.member);
            SetKeys({VK_SHIFT}, true);
            PostKey(d.member, VK_TAB);
        },
        [](StepDialog& d) {
            SetKeys({VK_SHIFT}, false);
            EXPECT_EQ(::GetFocus(), d.GetDlgItem(IDCANCEL));
            // Tab also works without data.
            d.member.SetData(nullptr, 0, true);
            ::SetFocus(d.member);
            PostKey(d.member, VK_TAB);
        },
        [](StepDialog& d) { EXPECT_EQ(::GetFocus(), d.GetDlgItem(IDC_TEST_PLAIN_EDIT)); },
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    SetKeys({VK_SHIFT}, false);
}

TEST(HexEditDialogInput, ChordsDigitsEnterAndEscapeThroughTheModalLoop) {
    std::vector<uint8_t> image(64);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i);
    StepDialog dialog({
        [&](StepDialog& d) {
            d.member.SetData(image.data(), 64, true);
            ::SetFocus(d.member);
            SetKeys({VK_CONTROL}, true);
            PostKey(d.member, 'A');
        },
        [&](StepDialog& d) {
            EXPECT_EQ(SelectionOf(d.member), (Selection{0, 63}));
            PostKey(d.member, 'C');
        },
        [&](StepDialog& d) {
            SetKeys({VK_CONTROL}, false);
            const std::string text = ClipboardText();
            EXPECT_EQ(text.substr(0, 9), "00 01 02 ");
            EXPECT_EQ(text.size(), 4u * 48);  // four lines of 16 pairs, spaces and a line feed
            d.member.SetSelection(HEXEDIT_NONE, HEXEDIT_NONE, false, true);
            d.member.SetCaret(10, true);
            SetKeys({VK_CONTROL}, true);
            PostKey(d.member, 'V');
        },
        [&](StepDialog& d) {
            SetKeys({VK_CONTROL}, false);
            std::vector<uint8_t> now(64);
            d.member.GetData(now.data(), 64);
            for (size_t i = 10; i < 64; ++i) EXPECT_EQ(now[i], i - 10) << i;
            EXPECT_EQ(d.changeCount, 1);
            EXPECT_EQ(SelectionOf(d.member), (Selection{10, 63}));
            d.member.SetCaret(2, true);
            PostKey(d.member, VK_RETURN);
            PostKey(d.member, VK_ESCAPE);
            PostKey(d.member, '7');
            PostKey(d.member, 'E');
        },
        // The characters TranslateMessage made are queued behind this step.
        [](StepDialog&) {},
        [&](StepDialog& d) {
            EXPECT_EQ(d.okCount, 0);
            EXPECT_EQ(d.cancelCount, 0);
            std::vector<uint8_t> now(64);
            d.member.GetData(now.data(), 64);
            EXPECT_EQ(now[2], 0x7E);
            EXPECT_EQ(d.changeCount, 3);
            EXPECT_EQ(d.member.GetCaretPos(), 3u);
            EXPECT_EQ(::GetFocus(), d.member.GetSafeHwnd());
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    SetKeys({VK_CONTROL}, false);
}
