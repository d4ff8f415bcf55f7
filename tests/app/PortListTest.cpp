// The port list beyond COM16 and its refresh, under Wine: run-with-target.sh
// links silent lines as COM3, COM17, COM18 and COM100, and COM5 to a device
// that opens but is no serial port; the test registers
// ports under SERIALCOMM as a driver would, and tells the dialog of a device
// change the way the system does.
#include <windows.h>
// After windows.h, whose types it uses.
#include <dbt.h>
#include <gtest/gtest.h>

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

class PortList : public testing::Test {
protected:
    void SetUp() override {
        if (TestPorts() != Names{L"COM3", L"COM5", L"COM17", L"COM18", L"COM100"})
            GTEST_SKIP() << "run through run-with-target.sh";
        ASSERT_TRUE(registry.added);
    }

    Names Listed() { return ListItems(ui.Item(IDC_PORT)); }
    void DeviceChange(WPARAM event) { ::SendMessageW(ui.Dialog(), WM_DEVICECHANGE, event, 0); }

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

    // Gone: the first port is selected, as at start-up.
    registry.Remove(L"COM100");
    DeviceChange(DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(Listed(), (Names{L"COM3", L"COM5", L"COM17", L"COM18"}));
    EXPECT_EQ(ui.Text(IDC_PORT), L"COM3");
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
    EXPECT_EQ(ui.Message(), L"Download.....Open com port error !");
    EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Download");
    for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DOWNLOAD})
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
}
