// Download/Stop: the button's handler and the worker's requests on the
// dialog thread, and the worker thread that runs one download.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "app/DialogMessages.h"
#include "app/DownloaderDlg.h"
#include "image/ImageChecksum.h"
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

// A control's text as it is shown.
std::wstring ControlText(HWND control) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 256);
    return text;
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

void QueueMessage(WorkerRequestQueue& requests, const char* message) {
    // The outcome messages are plain ASCII.
    std::wstring text;
    for (const char* c = message; *c; ++c) text += static_cast<wchar_t>(*c);
    requests.Push(WorkerRequest::Message(text.c_str()));
}

// The worker thread: everything it needs was put into `job` by the click,
// and everything it has to show goes through `requests`. It owns no window
// and touches none.
void DownloadWorker(DownloadJob& job, std::string portName, WorkerRequestQueue& requests) {
    requests.Push(WorkerRequest::Message(nullptr));
    requests.Push(WorkerRequest::Message(L"Download"));
    job.checksum = ImageChecksum(job.image.get(), job.length);

    // The back end puts the device-namespace prefix in front of names
    // longer than four characters (COM10 and above). A port whose set-up
    // the driver refuses is closed again and fails like one that is absent,
    // before the dialog switches to its running state.
    PortError why;
    job.port = OpenConfiguredPort(portName, job.baudRate, why);
    if (!job.port) {
        QueueMessage(requests, ".....Open com port error !");
        // The system's reason on a line of its own, so a port that another
        // program holds is told from one that is absent.
        if (!why.text.empty())
            QueueMessage(requests, ("\r\n" + portName + ": " + why.text).c_str());
        job.image.reset();
        requests.Push(WorkerRequest::Ended(false));
        return;
    }

    requests.Push(WorkerRequest::Running());

    std::atomic<uint8_t>& cell = *job.progress;
    ExchangeHooks hooks;
    hooks.stopRequested = [&] { return cell.load() == STOP_REQUEST; };
    hooks.progress = [&](uint8_t percent) {
        // A Stop clicked while this block's reply arrived stays pending
        // instead of being overwritten; the next stop test acts on it.
        uint8_t expected = cell.load();
        while (expected != STOP_REQUEST && !cell.compare_exchange_weak(expected, percent)) {
        }
        requests.Push(WorkerRequest::Progress(percent));
    };
    // "Success !" is shown as the blocks are done; a target that then rejects
    // the image it received adds its Verify Error on a line of its own.
    bool messageShown = false;
    std::string lineReason;  // why no board answered or how the flash differs, below the outcome
    hooks.noAnswer = [&](const LineBytes& seen) {
        lineReason = NoAnswerReason(seen, job.baudRate);
    };
    hooks.verifyProblem = [&](const std::string& reason) { lineReason = reason; };
    hooks.message = [&](const char* message) {
        if (std::exchange(messageShown, true)) QueueMessage(requests, "\r\nDownload");
        QueueMessage(requests, message);
        if (!lineReason.empty())
            QueueMessage(requests, ("\r\n" + std::exchange(lineReason, {})).c_str());
    };
    const Outcome outcome =
        RunExchange(*job.port, job.image.get(), job.length, job.startAddress, job.checksum, hooks);

    job.image.reset();
    // Closed before the dialog is restored, so a new download can open it.
    job.port.reset();
    requests.Push(WorkerRequest::Ended(true, outcome == Outcome::Success));
}

}  // namespace

void CDownloaderDlg::OnDownload() {
    switch (state) {
        case DownloadState::Running:
        case DownloadState::Stopping:  // a further click asks again
            job->progress->store(STOP_REQUEST);
            state = DownloadState::Stopping;
            return;
        case DownloadState::Starting:
            // A second click before the port is open (a double click): the
            // first click's download goes on; the button reads "Stop" once
            // the port is open.
        case DownloadState::Closing:
            return;
        case DownloadState::Idle:
            break;
    }

    // Everything the worker needs is taken now, on the dialog thread: the
    // image is the code buffer's content at the moment of the click, and
    // nothing the user does later can race with the worker.
    const uint32_t length = codeBuffer.GetDataSize();
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
    if (!image) {
        // No second copy of the image fits: nothing starts, the dialog stays ready.
        AppendMessage(nullptr);
        AppendMessage("Not enough memory for the download !");
        return;
    }
    codeBuffer.GetData(image.get(), length);
    std::string portName = ReadControlText(GetDlgItem(IDC_PORT));
    downloadPort = ControlText(GetDlgItem(IDC_PORT));
    downloadBaud = ControlText(GetDlgItem(IDC_BAUD));

    job->progress->store(0);
    job->baudRate = ParseBaudRate(ReadControlText(GetDlgItem(IDC_BAUD)));
    job->length = length;
    job->image = std::move(image);
    try {
        worker =
            std::thread(DownloadWorker, std::ref(*job), std::move(portName), std::ref(requests));
    } catch (const std::system_error& error) {
        job->image.reset();
        AppendMessage(nullptr);
        AppendMessage("Can't start the download: %s !", error.code().message().c_str());
        return;
    } catch (const std::bad_alloc&) {
        job->image.reset();
        AppendMessage(nullptr);
        AppendMessage("Not enough memory for the download !");
        return;
    }
    state = DownloadState::Starting;
    // From here until the download has ended no other file may be loaded.
    ::EnableWindow(GetDlgItem(IDC_LOAD), FALSE);
}

void CDownloaderDlg::OnWorkerRequests() {
    for (const WorkerRequest& request : requests.Take()) {
        switch (request.kind) {
            case WorkerRequest::Kind::ShowRunning:
                ShowRunningState(true);
                if (state == DownloadState::Starting) state = DownloadState::Running;
                break;
            case WorkerRequest::Kind::Progress:
                ::SendMessageW(GetDlgItem(IDC_PROGRESS), PBM_SETPOS, request.percent, 0);
                break;
            case WorkerRequest::Kind::Message:
                AppendText(request.text.c_str());
                break;
            case WorkerRequest::Kind::ClearMessages:
                AppendText(nullptr);
                break;
            case WorkerRequest::Kind::Ended:
                OnWorkerEnded(request.restore, request.succeeded);
                break;
        }
    }
}

void CDownloaderDlg::ShowRunningState(bool running) {
    HWND progressBar = GetDlgItem(IDC_PROGRESS);
    HWND pathField = GetDlgItem(IDC_FILEPATH);
    if (running) {
        for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD}) ::EnableWindow(GetDlgItem(id), FALSE);
        ::ShowWindow(pathField, SW_HIDE);
        ::SendMessageW(progressBar, PBM_SETPOS, 0, 0);
        ::ShowWindow(progressBar, SW_SHOWNORMAL);
        ::SetWindowTextW(GetDlgItem(IDC_DOWNLOAD), L"Stop");
    } else {
        ::ShowWindow(progressBar, SW_HIDE);
        ::ShowWindow(pathField, SW_SHOWNORMAL);
        for (int id : {IDC_LOAD, IDC_PORT, IDC_BAUD}) ::EnableWindow(GetDlgItem(id), TRUE);
        ::SetWindowTextW(GetDlgItem(IDC_DOWNLOAD), L"Download");
    }
}

void CDownloaderDlg::OnWorkerEnded(bool restore, bool succeeded) {
    if (restore) ShowRunningState(false);
    ::EnableWindow(GetDlgItem(IDC_LOAD), TRUE);
    // The worker's last act was to queue this request: it is returning.
    if (worker.joinable()) worker.join();
    if (succeeded) RememberDownloadChoices();
    const DownloadState ended = std::exchange(state, DownloadState::Idle);
    OnDownloadEnded(ended == DownloadState::Closing);
}

void CDownloaderDlg::OnDownloadEnded(bool closeRequested) {
    if (closeRequested) {
        EndDialog(closeResult);
        return;
    }
    if (portListStale) {
        portListStale = false;
        RefreshPortList();
    }
}
