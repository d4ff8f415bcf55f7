// Load File after the file dialog, from the command line and by a drop, and
// the message box it writes to.
#include <gtest/gtest.h>
// After windows.h (through the harness), whose types it uses.
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"
#include "tests/support/FailingAllocator.h"
#include "tests/support/TempFolder.h"

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

// What the shell hands a window when files are dropped on it.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    HGLOBAL block =
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& path : paths) {
        path.copy(names, path.size());
        names += path.size() + 1;
    }
    ::GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

class LoadFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ui.Started()); }

    void ExpectSummary(const std::wstring& path, const wchar_t* size, const wchar_t* checksum) {
        EXPECT_EQ(ui.Text(IDC_FILEPATH), path);
        EXPECT_EQ(ui.Text(IDC_FILESIZE), size);
        EXPECT_EQ(ui.Text(IDC_CHECKSUM), checksum);
    }

    test_support::TempFolder files;
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
    for (const wchar_t* name : {L"d.hex.bak", L"e.hx", L"noextension"}) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(name).string());
        const std::wstring path = files.Write(name, kSmallHex);
        ASSERT_TRUE(ui.LoadFile(path));
        EXPECT_EQ(ui.Text(IDC_FILESIZE), std::to_wstring(kSmallHex.size()));
        EXPECT_EQ(CodeBufferBytes(ui), Bytes(kSmallHex));
    }
}

// Each format's verdict in the message box; a file cut before its end record
// loads with a warning.
TEST_F(LoadFile, EveryFormatLoadsAndSaysWhatItFound) {
    const struct {
        const wchar_t* name;
        std::string bytes;
        bool loads;
        const wchar_t* message;
    } cases[] = {
        {L"a.ihx", kSmallHex, true, L"Open file ok !"},
        {L"cut.hex", ":030000000102FFFB\n", true,
         L"Open file ok !No end record: the file may be cut short !"},
        {L"b.S19", "S1060000010203F3\nS9030000FC\n", true, L"Open file ok !"},
        {L"c.srec", "S1060000010203F4\n", false, L"Bad S-record at line 1 !"},
        {L"d.elf", "not ELF", false, L"Bad ELF file: not an ELF file !"},
        {L"e.s19", "S 1060000010203F3\n", false, L"Bad S-record at line 1 !"},
        // Data at both ends of the address space: the reason on a line of its own.
        {L"far.hex", ":0100000001FE\n:02000004FFFFFC\n:01FF000002FE\n:00000001FF\n", false,
         L"Bad HEX file !\r\nthe data reach from 0x00000000 to 0xFFFFFF00 (4 GiB): a stray "
         L"record, or an image that needs --origin?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(c.name).string());
        EXPECT_EQ(ui.LoadFile(files.Write(c.name, c.bytes)), c.loads);
        // A load clears the box; a refusal adds to it.
        const std::wstring message = ui.Message();
        EXPECT_TRUE(c.loads ? message == c.message : message.ends_with(c.message))
            << message.size();
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

// A damaged HEX file, or an image that cannot be held (by the reader or by
// the code buffer's copy), leaves everything of the previous load in force.
TEST_F(LoadFile, RefusedFilesKeepThePreviousLoadEntirely) {
    const std::wstring first = files.Write(L"first.hex", kSmallHex);
    ASSERT_TRUE(ui.LoadFile(first));
    std::wstring expected = L"Open file ok !";
    auto expectFirstInForce = [&](const wchar_t* appended) {
        expected += appended;
        EXPECT_EQ(ui.Message(), expected);
        ExpectSummary(first, L"3", L"0102");
        EXPECT_EQ(CodeBufferBytes(ui), (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
    };
    // A wrong checksum on line 2; a non-digit on line 4 (a blank line and CR LF ends).
    EXPECT_FALSE(ui.LoadFile(files.Write(L"sum.hex", ":0100000001FE\n:0100010002FD\n")));
    expectFirstInForce(L"Bad HEX record at line 2 !");
    EXPECT_FALSE(
        ui.LoadFile(files.Write(L"digit.HEX", ":0100000001FE\r\n\r\n; note\r\n:01000100G2FC\r\n")));
    expectFirstInForce(L"Bad HEX record at line 4 !");

    // 12345 bytes: the reader's buffer cannot be had, then only the code buffer's copy.
    const std::wstring big = files.Write(L"big.bin", std::string(12345, '\x5A'));
    for (unsigned spare : {0u, 1u}) {
        SCOPED_TRACE(spare);
        bool loaded = true;
        ui.RunOnUi([&](CDownloaderDlg& dlg) {
            test_support::ScopedAllocationFailure failure(12345, spare);
            loaded = dlg.LoadFile(big);
        });
        EXPECT_FALSE(loaded);
        expectFirstInForce(L"Not enough memory for the file !");
    }
    ASSERT_TRUE(ui.LoadFile(big));  // with the heap back, the same file loads
    EXPECT_EQ(ui.Text(IDC_FILESIZE), L"12345");
}

// A dropped file loads as Load File would; only the first of several counts,
// and none while a download runs (COM3 is a silent line here).
TEST_F(LoadFile, DroppedFileLoadsUnlessADownloadRuns) {
    const std::wstring first = files.Write(L"drop.hex", kSmallHex);
    const std::wstring second = files.Write(L"other.bin", "ab");
    ::SendMessageW(ui.Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({first, second})),
                   0);
    EXPECT_EQ(ui.Message(), L"Open file ok !");
    ExpectSummary(first, L"3", L"0102");

    ::SendMessageW(ui.Dialog(), WM_DROPFILES,
                   reinterpret_cast<WPARAM>(MakeDrop({files.Write(L"bad.hex", ":00000006FA\n")})),
                   0);
    EXPECT_EQ(ui.Message(), L"Open file ok !Bad HEX record at line 1 !");

    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return ui.Text(IDC_DOWNLOAD) == L"Stop"; }));
    ::SendMessageW(ui.Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({second})), 0);
    ExpectSummary(first, L"3", L"0102");
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));  // Stop
    ASSERT_TRUE(WaitFor([&] { return !ui.DownloadActive(); }));
    ::SendMessageW(ui.Dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({second})), 0);
    ExpectSummary(second, L"2", L"00C3");
}

// Kestrune.exe FILE, run as its own process: FILE loads at start-up with
// Load File's messages; a relative name is shown as a full path.
TEST(LoadFileAtStartUp, ProgramArgumentLoadsLikeLoadFile) {
    const std::wstring exe = EnvText("KESTRUNE_TEST_EXE");
    ASSERT_FALSE(exe.empty());
    test_support::TempFolder files;
    const std::wstring good = files.Write(L"start.hex", kSmallHex);
    files.Write(L"bad.hex", ":0100000001FE\n:01000100G2FC\n");
    const struct {
        std::wstring argument;
        const wchar_t* message;
        std::wstring path;
    } cases[] = {
        {L"start.hex", L"Open file ok !", good},
        {L"bad.hex", L"Bad HEX record at line 2 !", L""},
        {L"missing.hex", L"Can't open file !", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(c.argument).string());
        std::wstring commandLine = L"\"" + exe + L"\" \"" + c.argument + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, files.Path(L"").c_str(), &startup, &process));
        std::pair<DWORD, HWND> found{process.dwProcessId, nullptr};
        auto text = [&](int id) {
            wchar_t buffer[512] = {};
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(::GetDlgItem(found.second, id), WM_GETTEXT, 512,
                                  reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, kUiTimeoutMs,
                                  &ignored);
            return std::wstring(buffer);
        };
        EXPECT_TRUE(WaitFor([&] {
            ::EnumWindows(
                [](HWND window, LPARAM param) -> BOOL {
                    auto* wanted = reinterpret_cast<std::pair<DWORD, HWND>*>(param);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    if (owner != wanted->first || !::GetDlgItem(window, IDC_MESSAGE)) return TRUE;
                    wanted->second = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            return found.second && !text(IDC_MESSAGE).empty();
        }));
        EXPECT_EQ(text(IDC_MESSAGE), c.message);
        EXPECT_EQ(text(IDC_FILEPATH), c.path);
        ::PostMessageW(found.second, WM_CLOSE, 0, 0);
        EXPECT_EQ(::WaitForSingleObject(process.hProcess, kUiTimeoutMs), WAIT_OBJECT_0);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
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
