// The port list beyond COM16 and its refresh, under Wine: run-with-target.sh
// links silent lines as COM3, COM17, COM18 and COM100, and COM5 to a device
// that opens but is no serial port; the test registers
// ports under SERIALCOMM as a driver would, and tells the dialog of a device
// change the way the system does. A second process holds a port open.
#include <windows.h>
// After windows.h, whose types it uses.
#include <dbt.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"

namespace {

using Names = std::vector<std::wstring>;

// Values under SERIALCOMM for the test's ports, removed again at its end.
class RegisteredPorts {
public:
    explicit RegisteredPorts(std::initializer_list<const wchar_t*> ports) {
        // HARDWARE is volatile: a key below it must be volatile too.
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key,
                        nullptr);
        for (const wchar_t* port : ports) added = Add(port) && added;
    }
    ~RegisteredPorts() {
        for (const std::wstring& value : values) RegDeleteValueW(key, value.c_str());
        if (key) RegCloseKey(key);
    }
    bool Add(const std::wstring& port) {
        const std::wstring value = L"\\Device\\KestruneTest" + port;
        values.push_back(value);
        return RegSetValueExW(
                   key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    void Remove(const std::wstring& port) {
        RegDeleteValueW(key, (L"\\Device\\KestruneTest" + port).c_str());
    }

    bool added = true;

private:
    HKEY key = nullptr;
    std::vector<std::wstring> values;
};

void SendDeviceChange(DialogHarness& ui, WPARAM event) {
    ::SendMessageW(ui.Dialog(), WM_DEVICECHANGE, event, 0);
}

// As the user picks a port: the selection, then the list's notification.
void PickPort(DialogHarness& ui, const std::wstring& name) {
    HWND list = ui.Item(IDC_PORT);
    ::SendMessageW(list, CB_SETCURSEL,
                   ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(name.c_str())),
                   0);
    ::SendMessageW(ui.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_PORT, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
}

// Another program (this one, run with --hold-port) holds `port` open while
// this lives. Windows then refuses the port to anyone else; Wine does not.
class PortHolder {
public:
    explicit PortHolder(const std::wstring& port) {
        HANDLE heldEvent = ::CreateEventW(nullptr, TRUE, FALSE, L"KestruneTestPortHeld");
        wchar_t exe[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --hold-port " + port;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (heldEvent && ::CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          nullptr, &startup, &child))
            held = ::WaitForSingleObject(heldEvent, kUiTimeoutMs) == WAIT_OBJECT_0;
        if (heldEvent) ::CloseHandle(heldEvent);
    }
    ~PortHolder() {
        if (!child.hProcess) return;
        ::TerminateProcess(child.hProcess, 0);
        ::WaitForSingleObject(child.hProcess, kUiTimeoutMs);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool held = false;

private:
    PROCESS_INFORMATION child{};
};

class PortList : public testing::Test {
protected:
    void SetUp() override {
        if (TestPorts() != Names{L"COM3", L"COM5", L"COM17", L"COM18", L"COM100"})
            GTEST_SKIP() << "run through run-with-target.sh";
        ASSERT_TRUE(registry.added);
    }

    Names Listed() { return ListItems(ui.Item(IDC_PORT)); }
    void DeviceChange(WPARAM event) { SendDeviceChange(ui, event); }

    // Before the dialog, which lists the ports as it starts. COM250 is
    // registered but absent; COM3 is probed anyway.
    RegisteredPorts registry{L"COM100", L"COM17", L"COM250", L"COM3"};
    DialogHarness ui;
};

}  // namespace

TEST_F(PortList, AddsRegisteredPortsThatOpenInNumberOrderAndRefreshesOnDeviceChanges) {
    ASSERT_TRUE(ui.Started());
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM100"}));
    EXPECT_EQ(ui.Text(IDC_PORT), L"COM3");

    // COM100 opens through "\\.\COM100" and stays selected while it exists.
    ::SendMessageW(ui.Item(IDC_PORT), CB_SETCURSEL, 3, 0);
    ASSERT_TRUE(registry.Add(L"COM18"));
    DeviceChange(DBT_DEVICEQUERYREMOVE);  // not a change of the device set
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM100"}));
    DeviceChange(DBT_DEVICEARRIVAL);
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM18", L"COM100"}));
    EXPECT_EQ(ui.Text(IDC_PORT), L"COM100");

    // Gone: no other port takes its place.
    registry.Remove(L"COM100");
    DeviceChange(DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM18"}));
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_PORT), CB_GETCURSEL, 0, 0), CB_ERR);
}

// COM2 is a link to PORT2 in the scenario's folder, which the test turns
// from a file (a port that opens) into a folder (refused, as Windows refuses
// a port another program holds) and removes (the port is gone); COM4 is a
// silent line. A refresh never selects another port than the user's.
TEST(PortSelection, ARefreshNeverMovesTheSelectionToAnotherPort) {
    if (TestPorts() != Names{L"COM2", L"COM4"}) GTEST_SKIP() << "run through run-with-target.sh";
    const std::wstring port2 = EnvText("KESTRUNE_TEST_WORK") + L"\\port2";
    auto makePort2 = [&] { std::ofstream{std::filesystem::path(port2)}; };
    makePort2();
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.LoadFile(EnvText("KESTRUNE_TEST_IMAGE")));
    HWND list = ui.Item(IDC_PORT);
    auto selected = [&] {
        return ::SendMessageW(list, CB_GETCURSEL, 0, 0) == CB_ERR ? L"" : ui.Text(IDC_PORT);
    };
    ASSERT_EQ(ListItems(list), (Names{L"COM2", L"COM4"}));

    PickPort(ui, L"COM4");
    {
        PortHolder holder(L"COM4");
        ASSERT_TRUE(holder.held);
        SendDeviceChange(ui, DBT_DEVNODES_CHANGED);
        EXPECT_EQ(selected(), L"COM4");
    }

    PickPort(ui, L"COM2");
    ASSERT_TRUE(::DeleteFileW(port2.c_str()) && ::CreateDirectoryW(port2.c_str(), nullptr));
    SendDeviceChange(ui, DBT_DEVNODES_CHANGED);
    EXPECT_EQ(ListItems(list), (Names{L"COM2", L"COM4"}));
    EXPECT_EQ(selected(), L"COM2");
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return !ui.DownloadActive(); }));
    // The outcome, then why the port did not open.
    const std::wstring message = ui.Message();
    EXPECT_EQ(message.rfind(L"Download.....Open com port error !\r\nCOM2: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::wstring(L"Download.....Open com port error !\r\nCOM2: ").size());

    // Gone, and back again: no selection until the user picks a port.
    ASSERT_TRUE(::RemoveDirectoryW(port2.c_str()));
    for (WPARAM event : {DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL}) {
        SCOPED_TRACE(event);
        SendDeviceChange(ui, event);
        EXPECT_EQ(ListItems(list),
                  event == DBT_DEVICEARRIVAL ? (Names{L"COM2", L"COM4"}) : (Names{L"COM4"}));
        EXPECT_EQ(selected(), L"");
        EXPECT_FALSE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
        makePort2();
    }
    PickPort(ui, L"COM4");
    EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
}

TEST_F(PortList, AChangeDuringADownloadIsAppliedWhenItEnds) {
    const std::wstring image = EnvText("KESTRUNE_TEST_IMAGE");
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.LoadFile(image));
    ::SendMessageW(ui.Item(IDC_PORT), CB_SETCURSEL, 2, 0);  // COM17: a silent line
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return ui.Text(IDC_DOWNLOAD) == L"Stop"; }));

    ASSERT_TRUE(registry.Add(L"COM18"));
    DeviceChange(DBT_DEVNODES_CHANGED);
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM100"}));

    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return !ui.DownloadActive(); }));
    EXPECT_EQ(ui.Message(), L"Download.....User stop !");
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM18", L"COM100"}));
    EXPECT_EQ(ui.Text(IDC_PORT), L"COM17");
}

// COM5 opens, but the driver refuses its set-up: the same message as a port
// that does not open, at once, and the dialog is left as it was.
TEST_F(PortList, APortWhoseSetUpFailsIsAnOpenErrorAtOnce) {
    const std::wstring image = EnvText("KESTRUNE_TEST_IMAGE");
    ASSERT_FALSE(image.empty());
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.LoadFile(image));
    ::SendMessageW(ui.Item(IDC_PORT), CB_SETCURSEL, 1, 0);
    ASSERT_EQ(ui.Text(IDC_PORT), L"COM5");
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return !ui.DownloadActive(); }));
    EXPECT_EQ(ui.MessageFirstLine(), L"Download.....Open com port error !");
    EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Download");
    for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DOWNLOAD})
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
}
