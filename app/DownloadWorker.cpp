// Download/Stop: the button's handler on the dialog thread and the worker
// thread that runs one download.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <new>
#include <string>
#include <system_error>

#include "app/DialogMessages.h"
#include "app/DownloaderDlg.h"
#include "image/IntelHex.h"
#include "isp/LinkProtocol.h"
#include "res/resource.h"

namespace {

// At most 253 characters of a control's text, as narrow text.
std::string ReadControlText(HWND control) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 254);
    char narrow[256] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// Leading decimal digits, 0 if there are none; saturates instead of wrapping.
uint32_t ParseBaudRate(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

bool ButtonReadsStop(HWND button) {
    wchar_t text[16] = {};
    ::GetWindowTextW(button, text, 16);
    return std::wstring(text) == L"Stop";
}

}  // namespace

void CDownloaderDlg::OnDownload() {
    if (ButtonReadsStop(GetDlgItem(IDC_DOWNLOAD))) {
        job->progress->store(STOP_REQUEST);
        return;
    }
    // A worker already exists but has not switched the dialog to its
    // running state yet (a double click): the first click's download goes
    // on; the button reads "Stop" as soon as the port is open.
    if (workerActive || closePending) return;
    JoinFinishedWorker();

    // The copy is made here, on the dialog thread, so it cannot race with
    // Load File or with typing in the code buffer, and it is the buffer's
    // content at the moment of the click.
    const uint32_t length = codeBuffer.GetDataSize();
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
    if (!image) return;  // no second copy of the image fits: nothing starts
    codeBuffer.GetData(image.get(), length);

    job->progress->store(0);
    job->length = length;
    job->image = std::move(image);
    abandon = false;
    try {
        worker = std::thread(&CDownloaderDlg::DownloadWorker, this, hwnd);
    } catch (const std::system_error&) {
        job->image.reset();
        return;
    }
    workerActive = true;
}

void CDownloaderDlg::JoinFinishedWorker() {
    // Only called while no worker is active: the last one has reported its
    // end and has nothing left to do but return.
    if (worker.joinable()) worker.join();
}

LRESULT CDownloaderDlg::OnWorkerFinished() {
    workerActive = false;
    if (closePending) EndDialog(closeResult);
    return 0;
}

void CDownloaderDlg::DownloadWorker(HWND dialog) {
    HWND progressBar = ::GetDlgItem(dialog, IDC_PROGRESS);
    HWND pathField = ::GetDlgItem(dialog, IDC_FILEPATH);
    HWND loadButton = ::GetDlgItem(dialog, IDC_LOAD);
    HWND portList = ::GetDlgItem(dialog, IDC_PORT);
    HWND baudList = ::GetDlgItem(dialog, IDC_BAUD);
    HWND downloadButton = ::GetDlgItem(dialog, IDC_DOWNLOAD);
    DownloadJob& record = *job;

    AppendTo(dialog, nullptr);
    AppendTo(dialog, "Download");

    record.baudRate = ParseBaudRate(ReadControlText(baudList));
    record.checksum = ImageChecksum(record.image.get(), record.length);

    // The back end puts the device-namespace prefix in front of names
    // longer than four characters (COM10 and above).
    record.port = OpenSerialPort(ReadControlText(portList));
    if (!record.port) {
        AppendTo(dialog, ".....Open com port error !");
        record.image.reset();
        ::SendMessageW(dialog, WM_KESTRUNE_WORKER_FINISHED, 0, 0);
        return;
    }

    ::EnableWindow(loadButton, FALSE);
    ::EnableWindow(portList, FALSE);
    ::EnableWindow(baudList, FALSE);
    ::ShowWindow(pathField, SW_HIDE);
    ::SendMessageW(progressBar, PBM_SETPOS, 0, 0);
    ::ShowWindow(progressBar, SW_SHOWNORMAL);
    ::SetWindowTextW(downloadButton, L"Stop");

    record.port->Configure(record.baudRate);

    std::atomic<uint8_t>& cell = *record.progress;
    ExchangeHooks hooks;
    hooks.stopRequested = [&] { return abandon.load() || cell.load() == STOP_REQUEST; };
    hooks.progress = [&](uint8_t percent) {
        // A Stop clicked while this block's reply arrived stays pending
        // instead of being overwritten; the next stop test acts on it.
        uint8_t expected = cell.load();
        while (expected != STOP_REQUEST && !cell.compare_exchange_weak(expected, percent)) {
        }
        ::SendMessageW(progressBar, PBM_SETPOS, percent, 0);
    };
    hooks.message = [&](const char* message) { AppendTo(dialog, "%s", message); };
    RunExchange(*record.port, record.image.get(), record.length, record.startAddress,
                record.checksum, hooks);

    ::ShowWindow(progressBar, SW_HIDE);
    ::ShowWindow(pathField, SW_SHOWNORMAL);
    record.image.reset();
    record.port.reset();
    ::EnableWindow(loadButton, TRUE);
    ::EnableWindow(portList, TRUE);
    ::EnableWindow(baudList, TRUE);
    ::SetWindowTextW(downloadButton, L"Download");
    ::SendMessageW(dialog, WM_KESTRUNE_WORKER_FINISHED, 0, 0);
}
