// CDownloaderDlg: the main dialog (template IDD_MAIN). It lists the COM
// ports and baud rates, loads a firmware file into the code buffer, and runs
// one download at a time on a worker thread, with Download/Stop, the message
// box and the progress bar.
//
// Threads: every control is read and changed on the dialog's thread only.
// The port, baud rate and image are taken when Download is clicked; the
// worker then queues its requests (running state, progress, messages, its
// end) and the dialog carries them out, so neither thread ever waits for the
// other. Closing the dialog during a download asks the worker to stop and
// ends the dialog once the worker has ended and the controls are restored.
//
// The dialog never changes the port under the user: a refresh of the list
// keeps the selected port (listed even when it is busy), or leaves no
// selection, and Download disabled, when it is gone. Load File is refused
// from the Download click until the download has ended. The port and baud
// rate of a successful download and the folder of a loaded file are
// remembered (UserSettings) and chosen again at the next start. The hex view
// gets a font scaled to the window's DPI, anew when the DPI changes.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdarg>
#include <memory>
#include <string>
#include <thread>

#include "app/UserSettings.h"
#include "app/WorkerRequestQueue.h"
#include "framework/Dialog.h"
#include "hexedit/HexEditBase.h"
#include "isp/DownloadJob.h"

// Where the dialog stands with its one download.
enum class DownloadState {
    Idle,      // no worker
    Starting,  // worker started, port not open yet; the button still reads "Download"
    Running,   // port open, the button reads "Stop"
    Stopping,  // Stop clicked; the worker stops at its next stop test
    Closing,   // the dialog was asked to close; it ends when the worker has
};

class CDownloaderDlg : public CDialog {
public:
    explicit CDownloaderDlg(HWND owner = nullptr);
    ~CDownloaderDlg() override;

    // printf-style: appends the formatted text (at most 1023 bytes) to the
    // message box with no separator; a null format clears the box. Any
    // thread may call it while the dialog exists; from another thread the
    // text is queued and appears once the dialog's thread gets to it.
    void AppendMessage(const char* format, ...);

    // Load File after the file dialog: reads `path` (Intel HEX when its
    // extension is HEX in any case, raw otherwise) into the code buffer and
    // shows path, size and checksum. On failure (the file cannot be read, a
    // damaged HEX record, not enough memory) the message box says why and
    // the previous load stays in force entirely. Refused, changing nothing,
    // while a download is active.
    bool LoadFile(const std::wstring& path);
    // A file to load as the dialog starts (the program's argument); a
    // relative path is taken from the current folder.
    void SetStartFile(const std::wstring& path);

    const DownloadJob& Job() const { return *job; }
    CHexEditBase& CodeBuffer() { return codeBuffer; }
    DownloadState GetDownloadState() const { return state; }
    // A worker exists (from the click that started it until it has ended and
    // the dialog is restored).
    bool IsDownloadActive() const { return state != DownloadState::Idle; }

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(UINT id, LPARAM param);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnLoadFile();
    void OnDropFiles(HDROP drop);
    void OnDownload();
    void OnPortSelected();
    void OnDpiChanged(UINT dpi, const RECT* suggested);

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];

    // Lists the ports that open now; selects nothing.
    void ProbePorts();
    // Lists the ports anew. The selected port stays selected while it exists,
    // listed even when it does not open now; when it is gone nothing is
    // selected until the user picks a port.
    void RefreshPortList();
    // Download is enabled once a file is loaded, unless the selected port went away.
    void UpdateDownloadButton();
    // The remembered port (when listed, else the first) and baud rate.
    void SelectStartChoices();
    // After a successful download: its port and baud rate are remembered.
    void RememberDownloadChoices();
    void RememberFolderOf(const std::wstring& path);
    // The code buffer's font for `dpi`: the stock one at 96 DPI, else scaled.
    void ScaleCodeBufferFont(UINT dpi);
    // Arrival, removal or a changed device node: the port list is refreshed,
    // or after the download when one runs.
    void OnDeviceChange(UINT event);
    void FillBaudRates();
    void ConfigureCodeBuffer();
    void AppendText(const wchar_t* text);
    // Accepts dropped files and loads the start file, if any.
    void InitFileLoading();
    // Ends the dialog now, or after the worker when a download runs.
    void CloseWhenIdle(INT_PTR result);
    void OnDestroy();

    // The worker's requests, carried out on this thread.
    void OnWorkerRequests();
    void ShowRunningState(bool running);
    void OnWorkerEnded(bool restore, bool succeeded);
    // The download is over and the dialog is idle again: the point where
    // anything held back during a download is done (a close request first).
    void OnDownloadEnded(bool closeRequested);

    std::unique_ptr<DownloadJob> job;
    CHexEditBase codeBuffer;
    HICON icon = nullptr;
    std::wstring startFile;

    DownloadState state = DownloadState::Idle;
    INT_PTR closeResult = IDCANCEL;  // for Closing
    WorkerRequestQueue requests;
    std::thread worker;
    bool portListStale = false;  // a device changed during a download
    bool imageLoaded = false;
    bool portGone = false;  // the selected port went away; the user has not picked another
    std::wstring downloadPort, downloadBaud;  // as the lists showed them at the click
    CUserSettings settings;
};
