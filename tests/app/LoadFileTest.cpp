// Load File after the file dialog, and the message box it writes to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"

namespace {

// Three bytes 01 02 FF at address 0, then the end record.
const std::string kSmallHex = ":030000000102FFFB\n:00000001FF\n";

std::vector<uint8_t> CodeBufferBytes(DialogHarness& ui) {
    std::vector<uint8_t> bytes;
    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        bytes.resize(dlg.CodeBuffer().GetDataSize());
        dlg.CodeBuffer().GetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    });
    return bytes;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class LoadFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ui.Started()); }

    void ExpectSummary(const std::wstring& path, const wchar_t* size, const wchar_t* checksum) {
        EXPECT_EQ(ui.Text(IDC_FILEPATH), path);
        EXPECT_EQ(ui.Text(IDC_FILESIZE), size);
        EXPECT_EQ(ui.Text(IDC_CHECKSUM), checksum);
    }

    TempFolder files;
    DialogHarness ui;
};

}  // namespace

TEST_F(LoadFile, HexExtensionInAnyCaseIsConverted) {
    for (const wchar_t* name : {L"a.hex", L"b.Hex", L"c.HEX"}) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(name).string());
        const std::wstring path = files.Write(name, kSmallHex);
        ASSERT_TRUE(ui.LoadFile(path));
        ExpectSummary(path, L"3", L"0102");
        EXPECT_EQ(CodeBufferBytes(ui), (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
    }
}

TEST_F(LoadFile, OtherNamesLoadRawEvenWhenTheTextIsHex) {
    for (const wchar_t* name : {L"d.hex.bak", L"e.ihx", L"noextension"}) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(name).string());
        const std::wstring path = files.Write(name, kSmallHex);
        ASSERT_TRUE(ui.LoadFile(path));
        EXPECT_EQ(ui.Text(IDC_FILESIZE), std::to_wstring(kSmallHex.size()));
        EXPECT_EQ(CodeBufferBytes(ui), Bytes(kSmallHex));
    }
}

TEST_F(LoadFile, HexSizeIsTheImageLengthNotTheTextLength) {
    // Two bytes at 0x10: the image runs to 0x12, the gap is 0xFF.
    const std::wstring path = files.Write(L"gap.hex", ":02001000AA55EF\n:00000001FF\n");
    ASSERT_TRUE(ui.LoadFile(path));
    // 16 x 0xFF + 0xAA + 0x55 = 0x0FF0 + 0xFF = 0x10EF
    ExpectSummary(path, L"18", L"10EF");
    std::vector<uint8_t> expected(16, 0xFF);
    expected.push_back(0xAA);
    expected.push_back(0x55);
    EXPECT_EQ(CodeBufferBytes(ui), expected);
}

TEST_F(LoadFile, SizeAndChecksumFormats) {
    const std::wstring small = files.Write(L"small.bin", std::string("\x01\x02\xFF", 3));
    ASSERT_TRUE(ui.LoadFile(small));
    ExpectSummary(small, L"3", L"0102");

    // 258 x 255 = 65790, which is 254 modulo 65536.
    const std::wstring wraps = files.Write(L"wraps.bin", std::string(258, '\xFF'));
    ASSERT_TRUE(ui.LoadFile(wraps));
    ExpectSummary(wraps, L"258", L"00FE");

    const std::wstring empty = files.Write(L"empty.bin", "");
    ASSERT_TRUE(ui.LoadFile(empty));
    ExpectSummary(empty, L"0", L"0000");
    EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
    EXPECT_TRUE(CodeBufferBytes(ui).empty());
}

TEST_F(LoadFile, SuccessClearsEarlierMessagesAndEnablesDownload) {
    ui.RunOnUi([](CDownloaderDlg& dlg) { dlg.AppendMessage("earlier line"); });
    EXPECT_FALSE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
    ASSERT_TRUE(ui.LoadFile(files.Write(L"one.bin", "abc")));
    EXPECT_EQ(ui.Message(), L"Open file ok !");
    EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
}

TEST_F(LoadFile, FailedLoadKeepsThePreviousOne) {
    // Nothing loaded yet: the failure changes nothing but the message box.
    EXPECT_FALSE(ui.LoadFile(files.Path(L"missing.bin")));
    EXPECT_EQ(ui.Message(), L"Can't open file !");
    EXPECT_FALSE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
    ExpectSummary(L"", L"", L"");

    const std::wstring first = files.Write(L"first.bin", std::string("\x01\x02\xFF", 3));
    ASSERT_TRUE(ui.LoadFile(first));
    EXPECT_FALSE(ui.LoadFile(files.Path(L"missing.bin")));
    EXPECT_EQ(ui.Message(), L"Open file ok !Can't open file !");
    // A folder cannot be read as a file either.
    EXPECT_FALSE(ui.LoadFile(files.Path(L"")));
    EXPECT_EQ(ui.Message(), L"Open file ok !Can't open file !Can't open file !");
    ExpectSummary(first, L"3", L"0102");
    EXPECT_EQ(CodeBufferBytes(ui), (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
    EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
}

TEST_F(LoadFile, SecondLoadReplacesEverything) {
    ASSERT_TRUE(ui.LoadFile(files.Write(L"first.bin", std::string(258, '\xFF'))));
    const std::wstring second = files.Write(L"second.hex", kSmallHex);
    ASSERT_TRUE(ui.LoadFile(second));
    ExpectSummary(second, L"3", L"0102");
    EXPECT_EQ(CodeBufferBytes(ui), (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
}

TEST(AppendMessage, AppendsWithoutSeparatorClearsOnNullAndBoundsItsText) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    ui.RunOnUi([](CDownloaderDlg& dlg) {
        dlg.AppendMessage("A");
        dlg.AppendMessage("%s%d", "B", 7);
    });
    EXPECT_EQ(ui.Message(), L"AB7");
    ui.RunOnUi([](CDownloaderDlg& dlg) { dlg.AppendMessage(nullptr); });
    EXPECT_EQ(ui.Message(), L"");

    // Longer than the 1024-byte buffer: cut at 1023 characters, nothing overrun.
    const std::string longText(3000, 'x');
    ui.RunOnUi([&](CDownloaderDlg& dlg) { dlg.AppendMessage("%s", longText.c_str()); });
    EXPECT_EQ(::GetWindowTextLengthW(ui.Item(IDC_MESSAGE)), 1023);

    // Another thread's appends reach the box through the dialog's thread, in order.
    ui.RunOnUi([](CDownloaderDlg& dlg) { dlg.AppendMessage(nullptr); });
    std::thread other([&] {
        CDownloaderDlg* dialog = nullptr;
        ui.RunOnUi([&](CDownloaderDlg& dlg) { dialog = &dlg; });
        dialog->AppendMessage("Download");
        dialog->AppendMessage(".....Success !");
    });
    other.join();
    EXPECT_TRUE(WaitFor([&] { return ui.Message() == L"Download.....Success !"; })) << ui.Message();
}
