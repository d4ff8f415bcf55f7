// Downloads from the real dialog into kestrune-target (or a silent line)
// linked as COMn in the test's Wine prefix; run-with-target.sh sets up the
// lines and afterwards checks what the target received.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "res/resource.h"
#include "tests/app/DialogHarness.h"
#include "tests/support/FailingAllocator.h"
#include "tests/support/TempFolder.h"

namespace {

class Download : public testing::Test {
protected:
    void SetUp() override {
        image = EnvText("KESTRUNE_TEST_IMAGE");
        if (image.empty()) GTEST_SKIP() << "run through run-with-target.sh";
        ASSERT_TRUE(ui.Started());
        ASSERT_TRUE(ui.LoadFile(image));
    }

    void SelectPort(const std::wstring& name) {
        const LRESULT index =
            ::SendMessageW(ui.Item(IDC_PORT), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(name.c_str()));
        ASSERT_NE(index, CB_ERR) << "port not listed";
        ::SendMessageW(ui.Item(IDC_PORT), CB_SETCURSEL, index, 0);
    }

    bool WaitForOutcome() {
        return WaitFor([&] { return !ui.DownloadActive(); });
    }

    void ExpectRunningState() {
        EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Stop");
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDC_DOWNLOAD)));
        for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD})
            EXPECT_FALSE(::IsWindowEnabled(ui.Item(id))) << id;
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(IDCANCEL)));
        EXPECT_TRUE(::IsWindowVisible(ui.Item(IDC_PROGRESS)));
        EXPECT_FALSE(::IsWindowVisible(ui.Item(IDC_FILEPATH)));
    }

    void ExpectIdleAfterDownload() {
        EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Download");
        for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DOWNLOAD, IDCANCEL})
            EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
        EXPECT_FALSE(::IsWindowVisible(ui.Item(IDC_PROGRESS)));
        EXPECT_TRUE(::IsWindowVisible(ui.Item(IDC_FILEPATH)));
    }

    std::wstring image;
    DialogHarness ui;
};

// The worker restored the dialog before the dialog went away.
void ExpectRestoredBeforeClosing(const DialogHarness& dialog) {
    const auto& final = dialog.Final();
    ASSERT_TRUE(final.captured);
    EXPECT_EQ(final.message, L"Download.....User stop !");
    EXPECT_EQ(final.button, L"Download");
    EXPECT_TRUE(final.loadEnabled);
    EXPECT_TRUE(final.pathVisible);
    EXPECT_FALSE(final.progressVisible);
}

}  // namespace

// One target on the only port, pacing the line at 9600 baud, expecting the image.
TEST_F(Download, SendsTheImageShowsProgressAndRestoresTheDialog) {
    ASSERT_EQ(TestPorts().size(), 1u);
    ::SendMessageW(ui.Item(IDC_BAUD), CB_SETCURSEL, 3, 0);  // 9600, as the target paces
    test_support::TempFolder files;
    const std::wstring other = files.Write(L"other.bin", std::string(100, '\x5A'));

    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        // Two clicks before the worker could switch the button to "Stop"
        // (the port is still being opened): still one download, of the image
        // that was in the code buffer at the first click, and no other file
        // can be loaded meanwhile.
        HWND button = ::GetDlgItem(dlg.GetSafeHwnd(), IDC_DOWNLOAD);
        const WPARAM click = MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED);
        ::SendMessageW(dlg.GetSafeHwnd(), WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
        ::SendMessageW(dlg.GetSafeHwnd(), WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
        EXPECT_EQ(dlg.GetDownloadState(), DownloadState::Starting);
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg.GetSafeHwnd(), IDC_LOAD)));
        EXPECT_FALSE(dlg.LoadFile(other));
    });

    ASSERT_TRUE(WaitFor([&] { return ui.Text(IDC_DOWNLOAD) == L"Stop"; }));
    ExpectRunningState();
    // The worker never waits for the dialog: while the dialog's thread is
    // busy the transfer goes on, and the bar catches up afterwards.
    bool advanced = false;
    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        advanced = WaitFor([&] { return dlg.Job().progress->load() >= 50; }, 30000);
    });
    EXPECT_TRUE(advanced);
    bool sawPartialProgress = false;
    ASSERT_TRUE(WaitFor([&] {
        const LRESULT position = ::SendMessageW(ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0);
        sawPartialProgress |= position > 0 && position < 100;
        return !ui.DownloadActive();
    }));
    EXPECT_TRUE(sawPartialProgress);
    EXPECT_EQ(ui.Message(), L"Download.....Success !");
    ExpectIdleAfterDownload();
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(ui.Cell(), 100);
    EXPECT_EQ(ui.Text(IDC_FILEPATH), image);
    EXPECT_TRUE(ui.LoadFile(other));  // once the download has ended
}

// A silent line first, then a real target expecting the image.
TEST_F(Download, StopDuringReadyWaitThenDownloadAgain) {
    const auto ports = TestPorts();
    ASSERT_EQ(ports.size(), 2u);
    SelectPort(ports[0]);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
        ASSERT_TRUE(WaitFor([&] { return ui.Text(IDC_DOWNLOAD) == L"Stop"; }));
        ExpectRunningState();
        // Still waiting for Ready a while later: the earlier stop is not
        // left behind in the cell.
        ::Sleep(500);
        EXPECT_EQ(ui.Message(), L"Download");
        EXPECT_EQ(ui.Cell(), 0);
        ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
        const ULONGLONG clicked = ::GetTickCount64();
        ASSERT_TRUE(WaitForOutcome());
        // One read time-out is 20 ms; allow for a loaded machine.
        EXPECT_LT(::GetTickCount64() - clicked, 5000u);
        EXPECT_EQ(ui.Message(), L"Download.....User stop !");
        ExpectIdleAfterDownload();
        EXPECT_EQ(ui.Cell(), STOP_REQUEST);
    }

    SelectPort(ports[1]);
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.Message(), L"Download.....Success !");
    ExpectIdleAfterDownload();
    EXPECT_EQ(ui.Cell(), 100);
}

// No COM link at all.
TEST_F(Download, OpenErrorWithNoPortLeavesTheDialogAsItWas) {
    ASSERT_TRUE(TestPorts().empty());
    EXPECT_EQ(::SendMessageW(ui.Item(IDC_PORT), CB_GETCOUNT, 0, 0), 0);
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.MessageFirstLine(), L"Download.....Open com port error !");
    EXPECT_EQ(ui.Text(IDC_DOWNLOAD), L"Download");
    for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DOWNLOAD, IDCANCEL})
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
    // Nothing was switched: both controls of the shared rectangle are as created.
    EXPECT_TRUE(::IsWindowVisible(ui.Item(IDC_FILEPATH)));
    EXPECT_TRUE(::IsWindowVisible(ui.Item(IDC_PROGRESS)));

    // And again: the failed worker has gone, a new one starts.
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.MessageFirstLine(), L"Download.....Open com port error !");
}

// No second copy of the image can be had: the click says so and starts
// nothing; the dialog stays ready for the next click.
TEST_F(Download, AClickThatCannotStartSaysWhyAndStaysReady) {
    ASSERT_TRUE(ui.RunOnUi([&](CDownloaderDlg& dlg) {
        test_support::ScopedAllocationFailure failure(300);  // the image's size
        ::SendMessageW(dlg.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
    }));
    EXPECT_FALSE(ui.DownloadActive());
    EXPECT_EQ(ui.Message(), L"Not enough memory for the download !");
    for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD, IDC_DOWNLOAD})
        EXPECT_TRUE(::IsWindowEnabled(ui.Item(id))) << id;
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.MessageFirstLine(), L"Download.....Open com port error !");
}

// A target that rejects block 2.
TEST_F(Download, RejectedBlockEndsWithProgramError) {
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.Message(), L"Download.....Program Error !");
    ExpectIdleAfterDownload();
    EXPECT_EQ(ui.Cell(), 12);  // the last acknowledged block: 128 of 1000 bytes
}

// Every block acknowledged, then the target's check fails: its verdict goes below.
TEST_F(Download, RejectedImageShowsVerifyErrorBelowSuccess) {
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_EQ(ui.Message(), L"Download.....Success !\r\nDownload.....Verify Error !");
    ExpectIdleAfterDownload();
    EXPECT_EQ(ui.Cell(), 100);
}

// A silent line: the worker waits for Ready when the dialog is closed.
TEST_F(Download, ClosingDuringTheReadyWaitStopsTheWorkerFirst) {
    const auto ports = TestPorts();
    ASSERT_FALSE(ports.empty());
    struct Close {
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    };
    // Exit, the close box, Enter (the OK command).
    for (Close close : {Close{WM_COMMAND, IDCANCEL, IDCANCEL}, Close{WM_CLOSE, 0, IDCANCEL},
                        Close{WM_COMMAND, IDOK, IDOK}}) {
        SCOPED_TRACE(close.message);
        DialogHarness dialog;
        ASSERT_TRUE(dialog.Started());
        ASSERT_TRUE(dialog.LoadFile(image));
        ASSERT_TRUE(dialog.Click(IDC_DOWNLOAD));
        ASSERT_TRUE(WaitFor([&] { return dialog.Text(IDC_DOWNLOAD) == L"Stop"; }));
        ASSERT_TRUE(dialog.CloseWith(close.message, close.wParam));
        EXPECT_EQ(dialog.Result(), close.result);
        ExpectRestoredBeforeClosing(dialog);
    }

    // Escape, pressed on the focused Exit button.
    DialogHarness dialog;
    ASSERT_TRUE(dialog.Started());
    ASSERT_TRUE(dialog.LoadFile(image));
    ASSERT_TRUE(dialog.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(WaitFor([&] { return dialog.Text(IDC_DOWNLOAD) == L"Stop"; }));
    dialog.RunOnUi(
        [](CDownloaderDlg& dlg) { ::SetFocus(::GetDlgItem(dlg.GetSafeHwnd(), IDCANCEL)); });
    ASSERT_TRUE(dialog.CloseWith(WM_KEYDOWN, VK_ESCAPE, dialog.Item(IDCANCEL)));
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    ExpectRestoredBeforeClosing(dialog);
    EXPECT_EQ(CWnd::GetDispatchFailureCount(), 0u) << CWnd::GetLastDispatchFailure();
}

// A target pacing a long image at 9600 baud; the dialog closes mid-transfer.
TEST_F(Download, ClosingMidTransferEndsCleanly) {
    const auto ports = TestPorts();
    ASSERT_EQ(ports.size(), 1u);
    ::SendMessageW(ui.Item(IDC_BAUD), CB_SETCURSEL, 3, 0);
    ASSERT_TRUE(ui.Click(IDC_DOWNLOAD));
    ASSERT_TRUE(
        WaitFor([&] { return ::SendMessageW(ui.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0) >= 5; }));
    const ULONGLONG closing = ::GetTickCount64();
    ASSERT_TRUE(ui.CloseWith(WM_COMMAND, IDCANCEL));
    EXPECT_EQ(ui.Result(), IDCANCEL);
    // The worker stops at its next acknowledgement wait, long before the
    // transfer could have finished. (The target reports that the host closed
    // the line mid-transfer.)
    EXPECT_LT(::GetTickCount64() - closing, 15000u);
    ExpectRestoredBeforeClosing(ui);
}
