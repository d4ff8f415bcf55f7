// What the dialog remembers between runs (HKCU\Software\Kestrune): the port
// and baud rate of a successful download, the folder of a loaded file.
// run-with-target.sh links a silent line as COM2 and a target as COM4.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commdlg.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/UserSettings.h"
#include "res/resource.h"
#include "tests/app/DialogHarness.h"
#include "tests/support/TempFolder.h"

namespace {

using Names = std::vector<std::wstring>;

FILETIME LastWrite() {
    FILETIME written{};
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Kestrune", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, &written);
        ::RegCloseKey(key);
    }
    return written;
}

// The folder Load File's dialog shows when it opens, then the dialog is cancelled.
std::wstring LoadFileDialogFolder(DialogHarness& ui) {
    ::PostMessageW(ui.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_LOAD, BN_CLICKED), 0);
    HWND picker = nullptr;
    WaitFor([&] {
        picker = ::GetLastActivePopup(ui.Dialog());
        return picker && picker != ui.Dialog() && ::IsWindowVisible(picker);
    });
    wchar_t folder[MAX_PATH] = {};
    if (picker && picker != ui.Dialog()) {
        ::SendMessageW(picker, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
        ::PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
        WaitFor([&] { return !::IsWindow(picker); });
    }
    return folder;
}

std::wstring FolderOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

class RememberedChoices : public testing::Test {
protected:
    void SetUp() override {
        if (TestPorts() != Names{L"COM2", L"COM4"})
            GTEST_SKIP() << "run through run-with-target.sh";
        ForgetRememberedChoices();
    }
    void TearDown() override { ForgetRememberedChoices(); }

    std::wstring image = EnvText("KESTRUNE_TEST_IMAGE");
    CUserSettings settings;
};

}  // namespace

TEST_F(RememberedChoices, ASuccessfulDownloadIsChosenAgainAtTheNextStart) {
    {
        DialogHarness first;
        ASSERT_TRUE(first.Started());
        EXPECT_EQ(first.Text(IDC_PORT), L"COM2");
        EXPECT_EQ(first.Text(IDC_BAUD), L"115200");
        ASSERT_TRUE(first.LoadFile(image));
        ::SendMessageW(first.Item(IDC_PORT), CB_SETCURSEL, 1, 0);  // COM4
        ::SendMessageW(first.Item(IDC_BAUD), CB_SETCURSEL, 7, 0);  // 57600
        ASSERT_TRUE(first.Click(IDC_DOWNLOAD));
        ASSERT_TRUE(WaitFor([&] { return !first.DownloadActive(); }));
        ASSERT_EQ(first.Message(), L"Download.....Success !");
    }
    EXPECT_EQ(settings.ReadText(kSettingPort), L"COM4");
    EXPECT_EQ(settings.ReadNumber(kSettingBaudRate), 57600u);
    EXPECT_EQ(settings.ReadText(kSettingFolder), FolderOf(image));

    DialogHarness next(true);
    ASSERT_TRUE(next.Started());
    EXPECT_EQ(next.Text(IDC_PORT), L"COM4");
    EXPECT_EQ(next.Text(IDC_BAUD), L"57600");
    EXPECT_EQ(::CompareStringOrdinal(LoadFileDialogFolder(next).c_str(), -1,
                                     FolderOf(image).c_str(), -1, TRUE),
              CSTR_EQUAL);
}

// A remembered value that is not listed, or not of its type, is passed over.
TEST_F(RememberedChoices, UnusableValuesLeaveTheDefaults) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kestrune", 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD four = 4;
    auto set = [&](const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    };
    for (bool wrongType : {false, true}) {
        SCOPED_TRACE(wrongType);
        if (wrongType) {
            set(kSettingPort, REG_DWORD, &four, sizeof four);
            set(kSettingBaudRate, REG_SZ, L"57600", 12);
            set(kSettingFolder, REG_DWORD, &four, sizeof four);
        } else {  // COM9 is not listed, nor is 4 baud
            set(kSettingPort, REG_SZ, L"COM9", 10);
            set(kSettingBaudRate, REG_DWORD, &four, sizeof four);
        }
        DialogHarness ui(true);
        ASSERT_TRUE(ui.Started());
        EXPECT_EQ(ui.Text(IDC_PORT), L"COM2");
        EXPECT_EQ(ui.Text(IDC_BAUD), L"115200");
    }
    ::RegCloseKey(key);
}

// Loading from the remembered folder writes nothing; from another folder it
// writes that one. A registry that refuses writes changes nothing else.
TEST_F(RememberedChoices, WritesOnlyChangesAndNeverFailsTheDialog) {
    test_support::TempFolder other;
    const std::wstring elsewhere = other.Write(L"other.bin", "ab");
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.LoadFile(image));
    struct Load {
        std::wstring path;
        bool writes;
    };
    for (const Load& load : {Load{image, false}, Load{elsewhere, true}}) {
        const FILETIME before = LastWrite();
        ::Sleep(50);
        ASSERT_TRUE(ui.LoadFile(load.path));
        const FILETIME after = LastWrite();
        EXPECT_EQ(::CompareFileTime(&before, &after) != 0, load.writes);
        EXPECT_EQ(settings.ReadText(kSettingFolder), FolderOf(load.path));
    }

    // The user's hive replaced by a key this process may only read.
    HKEY readOnly = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &readOnly),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, readOnly), ERROR_SUCCESS);
    const bool loaded = ui.LoadFile(image);
    const std::wstring message = ui.Message();
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(readOnly);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(message, L"Open file ok !");
    EXPECT_EQ(settings.ReadText(kSettingFolder), FolderOf(elsewhere));
}
