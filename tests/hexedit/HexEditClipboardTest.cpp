// Clipboard: copy in both formats with the exact text layout, paste of
// "BinaryData" blocks (including blocks another program could have written
// badly), and select-all; reached through the standard edit commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "HexEditInputSupport.h"
#include "HexEditTestSupport.h"

using namespace hexedit_test;

namespace {

void Command(HWND control, UINT id) {
    ::SendMessageW(control, WM_COMMAND, id, 0);
}
void Copy(HWND control) {
    Command(control, HEXEDIT_ID_EDIT_COPY);
}
void Paste(HWND control) {
    Command(control, HEXEDIT_ID_EDIT_PASTE);
}
void SelectAll(HWND control) {
    Command(control, HEXEDIT_ID_EDIT_SELECT_ALL);
}

UINT BinaryFormat() {
    return ::RegisterClipboardFormatW(L"BinaryData");
}

// Replaces the clipboard's content with one block in one format.
void PutBlock(UINT format, const void* bytes, size_t size) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
    ASSERT_NE(block, nullptr);
    std::memcpy(::GlobalLock(block), bytes, size);
    ::GlobalUnlock(block);
    EXPECT_NE(::SetClipboardData(format, block), nullptr);
    ::CloseClipboard();
}

// A "BinaryData" block whose count field says `count` and which holds `bytes`.
void PutBinary(uint32_t count, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> block(4);
    std::memcpy(block.data(), &count, 4);
    block.insert(block.end(), bytes.begin(), bytes.end());
    PutBlock(BinaryFormat(), block.data(), block.size());
}

void PutText(const std::string& text) {
    PutBlock(CF_TEXT, text.c_str(), text.size() + 1);
}

std::vector<uint8_t> ReadBlock(UINT format) {
    std::vector<uint8_t> out;
    if (!::OpenClipboard(nullptr)) return out;
    if (HANDLE block = ::GetClipboardData(format)) {
        const SIZE_T size = ::GlobalSize(block);
        if (const auto* bytes = static_cast<const uint8_t*>(::GlobalLock(block))) {
            out.assign(bytes, bytes + size);
            ::GlobalUnlock(block);
        }
    }
    ::CloseClipboard();
    return out;
}

std::string ReadText() {
    std::vector<uint8_t> block = ReadBlock(CF_TEXT);
    return std::string(block.begin(), std::find(block.begin(), block.end(), 0));
}

// Hex pairs of the byte values first..last separated by spaces.
std::string Pairs(unsigned first, unsigned last) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned v = first; v <= last; ++v) {
        if (v != first) out += ' ';
        out += digits[(v >> 4) & 15];
        out += digits[v & 15];
    }
    return out;
}

std::vector<uint8_t> Bytes(const CHexEditBase& edit) {
    std::vector<uint8_t> out(edit.GetDataSize());
    edit.GetData(out.data(), static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace

TEST(HexEditCopy, ThreeBytesGiveOneLineAndTheExactBlock) {
    TestControl t;
    std::vector<uint8_t> image(32, 0);
    image[5] = 0x41;
    image[6] = 0x42;
    image[7] = 0x0A;
    t.edit.SetData(image.data(), 32, true);
    t.edit.SetSelection(5, 7, false, true);
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(), "41 42 0A\n");
    EXPECT_EQ(ReadBlock(BinaryFormat()), (std::vector<uint8_t>{3, 0, 0, 0, 0x41, 0x42, 0x0A}));
}

TEST(HexEditCopy, TextFollowsTheRowsBeyondOneLineAndAByte) {
    TestControl t;
    t.SetCountingData(100);
    CHexEditBase& e = t.edit;
    e.SetCaret(50, false);
    const std::string indent(42, ' ');

    e.SetSelection(14, 33, false, true);  // 20 bytes: aligned to the view's rows
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(),
              indent + Pairs(14, 15) + "\n" + Pairs(16, 31) + "\n" + Pairs(32, 33) + "\n");
    std::vector<uint8_t> block = ReadBlock(BinaryFormat());
    ASSERT_EQ(block.size(), 24u);
    EXPECT_EQ(block[0], 20);
    EXPECT_EQ(block[4], 14);
    EXPECT_EQ(block[23], 33);

    e.SetSelection(14, 30, false, true);  // 17 bytes: a full line from the start, then one
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(), Pairs(14, 29) + "\n" + Pairs(30, 30) + "\n");

    e.SetSelection(14, 31, false, true);  // 18 bytes: aligned again
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(), indent + Pairs(14, 15) + "\n" + Pairs(16, 31) + "\n");

    e.SetSelection(0, 99, false, true);
    Copy(t.hwnd());
    std::string all;
    for (unsigned line = 0; line < 6; ++line) all += Pairs(line * 16, line * 16 + 15) + "\n";
    EXPECT_EQ(ReadText(), all + Pairs(96, 99) + "\n");

    // Copy changes neither the selection nor the caret.
    EXPECT_EQ(SelectionOf(e), (Selection{0, 99}));
    EXPECT_EQ(e.GetCaretPos(), 50u);
}

TEST(HexEditCopy, NothingSelectedLeavesTheClipboardAlone) {
    TestControl t;
    t.SetCountingData(100);
    PutText("sentinel");
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(), "sentinel");
    // A press drops the start only; that is no selection either.
    t.edit.SetSelection(3, 9, false, false);
    Press(t.hwnd(), CellPoint(t.edit, 0, 1, Cell::High));
    Release(t.hwnd(), CellPoint(t.edit, 0, 1, Cell::High));
    Copy(t.hwnd());
    EXPECT_EQ(ReadText(), "sentinel");
    EXPECT_TRUE(ReadBlock(BinaryFormat()).empty());
}

TEST(HexEditPaste, OverTheCaretStopsAtTheEndOfTheData) {
    TestControl t;
    std::vector<uint8_t> zeros(12, 0);
    t.edit.SetData(zeros.data(), 12, true);
    t.edit.SetCaret(5, true);
    PutBinary(10, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9});
    Paste(t.hwnd());
    EXPECT_EQ(Bytes(t.edit),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
    EXPECT_EQ(SelectionOf(t.edit), (Selection{5, 11}));
    EXPECT_EQ(t.edit.GetCaretPos(), 11u);
    EXPECT_FALSE(t.edit.IsCaretHighNibble());
    EXPECT_EQ(ChangeCount(t.parent.commands, t.hwnd()), 1);
}

TEST(HexEditPaste, OverASelectionFromItsStartForTheBlocksCount) {
    TestControl t;
    t.SetCountingData(20);
    t.edit.SetSelection(2, 3, false, true);
    PutBinary(4, {0xB0, 0xB1, 0xB2, 0xB3});
    Paste(t.hwnd());
    const std::vector<uint8_t> now = Bytes(t.edit);
    EXPECT_EQ(std::vector<uint8_t>(now.begin(), now.begin() + 7),
              (std::vector<uint8_t>{0, 1, 0xB0, 0xB1, 0xB2, 0xB3, 6}));
    EXPECT_EQ(SelectionOf(t.edit), (Selection{2, 5}));
    EXPECT_EQ(t.edit.GetCaretPos(), 5u);
    EXPECT_EQ(t.edit.GetSelectionAnchor(), HEXEDIT_NONE);
}

TEST(HexEditPaste, ACountBeyondTheBlockIsNotTrusted) {
    TestControl t;
    t.SetCountingData(64);
    t.edit.SetCaret(3, true);
    PutBinary(1000, {0xC0, 0xC1, 0xC2});
    const size_t held = ReadBlock(BinaryFormat()).size() - 4;  // what the clipboard really holds
    ASSERT_GE(held, 3u);
    Paste(t.hwnd());
    const std::vector<uint8_t> now = Bytes(t.edit);
    EXPECT_EQ(now[3], 0xC0);
    EXPECT_EQ(now[5], 0xC2);
    for (size_t i = 3 + held; i < 64; ++i) EXPECT_EQ(now[i], i) << i;
    EXPECT_EQ(SelectionOf(t.edit), (Selection{3, static_cast<uint32_t>(3 + held - 1)}));
    EXPECT_EQ(ChangeCount(t.parent.commands, t.hwnd()), 1);
}

TEST(HexEditPaste, NothingHappensWithoutUsableBinaryData) {
    TestControl t;
    t.SetCountingData(20);
    CHexEditBase& e = t.edit;
    e.SetSelection(4, 6, false, true);
    e.SetCaret(6, false);
    const std::vector<uint8_t> before = Bytes(e);
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(Bytes(e), before) << what;
        EXPECT_EQ(SelectionOf(e), (Selection{4, 6})) << what;
        EXPECT_EQ(e.GetCaretPos(), 6u) << what;
        EXPECT_TRUE(t.parent.commands.empty()) << what;
    };

    PutBinary(0, {0xEE, 0xEE});
    Paste(t.hwnd());
    unchanged("zero count");

    const uint8_t shortBlock[2] = {1, 0};
    PutBlock(BinaryFormat(), shortBlock, sizeof shortBlock);
    Paste(t.hwnd());
    unchanged("block shorter than its count field");

    PutText("41 42 43\n");
    Paste(t.hwnd());
    unchanged("text only");

    PutBinary(2, {0xEE, 0xEE});
    e.SetReadOnly(true, true);
    Paste(t.hwnd());
    unchanged("read-only");
    e.SetReadOnly(false, true);

    e.SetData(nullptr, 0, true);
    Paste(t.hwnd());
    EXPECT_EQ(e.GetDataSize(), 0u);
    EXPECT_TRUE(t.parent.commands.empty());
}

TEST(HexEditPaste, CopyThenPasteInPlaceStillReportsTheChange) {
    TestControl t;
    t.SetCountingData(40);
    const std::vector<uint8_t> before = Bytes(t.edit);
    t.edit.SetSelection(10, 19, false, true);
    Copy(t.hwnd());
    Paste(t.hwnd());
    EXPECT_EQ(Bytes(t.edit), before);
    EXPECT_EQ(SelectionOf(t.edit), (Selection{10, 19}));
    EXPECT_EQ(t.edit.GetCaretPos(), 19u);
    EXPECT_EQ(ChangeCount(t.parent.commands, t.hwnd()), 1);
}

TEST(HexEditSelectAll, SelectsEverythingAndKeepsTheView) {
    TestControl t;
    t.SetCountingData(1000);
    CHexEditBase& e = t.edit;
    e.ScrollToLine(7, true);
    e.SetCaret(130, false);
    SelectAll(t.hwnd());
    EXPECT_EQ(SelectionOf(e), (Selection{0, 999}));
    EXPECT_EQ(e.GetTopLine(), 7u);
    EXPECT_EQ(e.GetCaretPos(), 130u);
    EXPECT_FALSE(e.IsCaretHighNibble());
    EXPECT_EQ(e.GetSelectionAnchor(), HEXEDIT_NONE);

    const uint8_t none = 0;
    e.SetData(&none, 0, true);
    SelectAll(t.hwnd());
    EXPECT_FALSE(e.HasSelection());
}
