// The main dialog as it starts: port probe, baud list, code buffer set-up,
// system menu and About box, icon.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"

namespace {

// The About box the dialog's thread opened, found among its windows.
HWND FindAboutBox(HWND owner) {
    HWND found = nullptr;
    const DWORD thread = ::GetWindowThreadProcessId(owner, nullptr);
    WaitFor([&] {
        ::EnumThreadWindows(
            thread,
            [](HWND window, LPARAM param) -> BOOL {
                wchar_t caption[64] = {};
                ::GetWindowTextW(window, caption, 64);
                if (std::wstring(caption) == L"\u95DC\u65BC Kestrune") {
                    *reinterpret_cast<HWND*>(param) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found != nullptr;
    });
    return found;
}

}  // namespace

// Run with COM3 and COM11 linked to open lines and nothing else.
TEST(StartUp, ListsOpenablePortsShortAndSelectsTheFirst) {
    ASSERT_EQ(TestPorts(), (std::vector<std::wstring>{L"COM3", L"COM11"}));
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    EXPECT_EQ(ListItems(ui.Item(IDC_PORT)), (std::vector<std::wstring>{L"COM3", L"COM11"}));
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_PORT), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ui.Text(IDC_PORT), L"COM3");
}

TEST(StartUp, ControlsBaudListAndCodeBuffer) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    EXPECT_EQ(ListItems(ui.Item(IDC_BAUD)),
              (std::vector<std::wstring>{L"1200", L"2400", L"4800", L"9600", L"14400", L"19200",
                                         L"38400", L"57600", L"115200"}));
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_BAUD), CB_GETCURSEL, 0, 0), 8);
    EXPECT_EQ(ui.Text(IDC_BAUD), L"115200");

    EXPECT_FALSE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
    for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDCANCEL, IDC_CODE_BUFFER})
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
    EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Download");
    for (int id : {IDC_MESSAGE, IDC_FILEPATH, IDC_FILESIZE, IDC_CHECKSUM})
        EXPECT_EQ(ui.Text(id), L"") << id;
    wchar_t caption[32] = {};
    ::GetWindowTextW(ui.Dialog(), caption, 32);
    EXPECT_STREQ(caption, L"Kestrune");

    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        CHexEditBase& code = dlg.CodeBuffer();
        // The template's edit window became the hex edit control.
        EXPECT_EQ(CWnd::FromHandlePermanent(ui.Item(IDC_CODE_BUFFER)), &code);
        EXPECT_TRUE(code.IsShowAddress());
        EXPECT_EQ(code.GetAddressDigits(), 6u);
        EXPECT_TRUE(code.IsShowAscii());
        EXPECT_EQ(code.GetBytesPerLineSetting(), 16u);
        EXPECT_FALSE(code.IsAutoBytesPerLine());
        const COLORREF grey = RGB(200, 200, 200);
        for (COLORREF back : {code.GetAddressBackColour(), code.GetAsciiBackColour(),
                              code.GetHexBackColour(), code.GetBackgroundColour()})
            EXPECT_EQ(back, grey);
        for (COLORREF text :
             {code.GetAddressTextColour(), code.GetAsciiTextColour(), code.GetHexTextColour()})
            EXPECT_EQ(text, RGB(0, 0, 0));
        EXPECT_FALSE(code.IsReadOnly());
        EXPECT_EQ(code.GetDataSize(), 0u);

        const DownloadJob& job = dlg.Job();
        EXPECT_EQ(job.startAddress, 0u);
        EXPECT_EQ(job.image, nullptr);
        EXPECT_EQ(job.progress->load(), 0);
    });
}

TEST(StartUp, SystemMenuOpensAboutBoxAndKeepsOtherCommands) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    HMENU menu = ::GetSystemMenu(ui.Dialog(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUT));
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"\u95DC\u65BC Kestrune(&A)...");
    EXPECT_TRUE(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

    // The low four bits of a system command are the system's own.
    ::PostMessageW(ui.Dialog(), WM_SYSCOMMAND, IDM_ABOUT | 0x3, 0);
    HWND about = FindAboutBox(ui.Dialog());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(::GetWindow(about, GW_OWNER), ui.Dialog());
    wchar_t line[64] = {};
    HWND child = ::GetWindow(about, GW_CHILD);  // the icon, then the texts
    child = ::GetWindow(child, GW_HWNDNEXT);
    ::GetWindowTextW(child, line, 64);
    EXPECT_STREQ(line, L"Kestrune Version 1.0");
    ::GetWindowTextW(::GetDlgItem(about, IDOK), line, 64);
    EXPECT_STREQ(line, L"\u78BA\u5B9A");
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(about); }));
    EXPECT_TRUE(::IsWindowEnabled(ui.Dialog()));

    ::SendMessageW(ui.Dialog(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitFor([&] { return ::IsIconic(ui.Dialog()) != FALSE; }));
    // Painting while minimised draws the icon; it must not disturb the dialog.
    ::RedrawWindow(ui.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ::SendMessageW(ui.Dialog(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(ui.Dialog()); }));
    EXPECT_EQ(CWnd::GetDispatchFailureCount(), 0u) << CWnd::GetLastDispatchFailure();
}

TEST(StartUp, IconForCaptionAndDragging) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(ui.Dialog(), WM_QUERYDRAGICON, 0, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(ui.Dialog(), WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(ui.Dialog(), WM_GETICON, ICON_SMALL, 0)),
              icon);
}

TEST(StartUp, ExitEndsTheDialog) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.CloseWith(WM_COMMAND, IDCANCEL));
    EXPECT_EQ(ui.Result(), IDCANCEL);
}
