// Editing the code buffer by mouse and keyboard through the dialog's own
// message loop, then downloading: the target must receive the edited bytes
// under a header checksum that covers them (run-with-target.sh checks the
// target's verdict), while the dialog's checksum field keeps its load value.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"
#include "tests/support/Sum16.h"

namespace {

std::vector<uint8_t> CodeBufferBytes(DialogHarness& ui) {
    std::vector<uint8_t> bytes;
    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        bytes.resize(dlg.CodeBuffer().GetDataSize());
        dlg.CodeBuffer().GetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    });
    return bytes;
}

// A key as the keyboard queues it, with its scan code, so that the modal
// loop's TranslateMessage makes the character.
void PostKey(HWND window, UINT key) {
    const UINT scan = ::MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    ::PostMessageW(window, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
    ::PostMessageW(window, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

std::wstring ChecksumText(const std::vector<uint8_t>& bytes) {
    wchar_t text[8];
    std::swprintf(text, 8, L"%04X", static_cast<unsigned>(test_support::Sum16(bytes)));
    return text;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(EditDownload, TypedDigitsAreWhatTheTargetReceives) {
    const std::wstring sample = EnvText("KESTRUNE_TEST_SAMPLE");
    const std::wstring work = EnvText("KESTRUNE_TEST_WORK");
    if (sample.empty() || work.empty()) GTEST_SKIP() << "run through run-with-target.sh";

    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.LoadFile(sample));
    const std::wstring loadedChecksum = ui.Text(IDC_CHECKSUM);
    std::vector<uint8_t> expected = CodeBufferBytes(ui);
    ASSERT_GT(expected.size(), 0x40u);
    EXPECT_EQ(loadedChecksum, ChecksumText(expected));

    // A click on the high digit of byte 0x23 (line 2, column 3), computed
    // from the control's own layout.
    HWND code = ui.Item(IDC_CODE_BUFFER);
    POINT click{};
    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        const CHexEditBase& e = dlg.CodeBuffer();
        ASSERT_EQ(e.GetTopLine(), 0u);
        click.x = e.GetTextRect().left + e.GetHexColumnLeft() - static_cast<int>(e.GetScrollX()) +
                  static_cast<int>(9 * e.GetCharWidth()) + 1;
        click.y =
            e.GetTextRect().top + static_cast<int>(2 * e.GetLineHeight() + e.GetLineHeight() / 2);
    });
    // One input at a time, as a person types: the character a key makes is
    // queued by the dialog's loop behind whatever is already waiting.
    auto caretIs = [&](uint32_t address, bool high) {
        return WaitFor([&] {
            bool there = false;
            ui.RunOnUi([&](CDownloaderDlg& dlg) {
                there = dlg.CodeBuffer().GetCaretPos() == address &&
                        dlg.CodeBuffer().IsCaretHighNibble() == high;
            });
            return there;
        });
    };
    ::PostMessageW(code, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(click.x, click.y));
    ::PostMessageW(code, WM_LBUTTONUP, 0, MAKELPARAM(click.x, click.y));
    ASSERT_TRUE(caretIs(0x23, true));
    const uint32_t last = static_cast<uint32_t>(expected.size() - 1);
    const struct {
        UINT key;
        uint32_t address;
        bool high;
    } typing[] = {{'D', 0x23, false},
                  {'E', 0x24, true},
                  {'A', 0x24, false},
                  {'D', 0x25, true},
                  {VK_END, last, false}};  // End: the last byte's low digit
    for (const auto& step : typing) {
        PostKey(code, step.key);
        ASSERT_TRUE(caretIs(step.address, step.high)) << step.key;
    }
    PostKey(code, '7');

    expected[0x23] = 0xDE;
    expected[0x24] = 0xAD;
    expected.back() = static_cast<uint8_t>((expected.back() & 0xF0) | 0x07);
    ASSERT_TRUE(WaitFor([&] { return CodeBufferBytes(ui) == expected; }));
    ASSERT_NE(ChecksumText(expected), loadedChecksum) << "the edits must change the sum";

    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return !ui.DownloadActive(); }));
    EXPECT_EQ(ui.Message(), L"Download.....Success !");
    // The field shows the file as loaded, not the image as sent.
    EXPECT_EQ(ui.Text(IDC_CHECKSUM), loadedChecksum);

    // The target writes what it received when the transfer has ended.
    const std::wstring received = work + L"\\edited.received";
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(received).size() == expected.size(); }));
    EXPECT_EQ(ReadFileBytes(received), expected);
}
