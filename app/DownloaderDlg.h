// CDownloaderDlg: the main dialog (template IDD_MAIN). It lists the COM
// ports and baud rates, loads a firmware file into the code buffer, and runs
// one download at a time on a worker thread, with Download/Stop, the message
// box and the progress bar.
//
// Threads: every handler runs on the dialog's thread. The worker touches
// the dialog only through synchronous window messages, so this thread keeps
// dispatching while a download runs and never waits for the worker; closing
// the dialog during a download asks the worker to stop and ends the dialog
// once the worker has restored the controls.
#pragma once

#include <atomic>
#include <cstdarg>
#include <memory>
#include <string>
#include <thread>

#include "framework/Dialog.h"
#include "hexedit/HexEditBase.h"
#include "isp/DownloadJob.h"

class CDownloaderDlg : public CDialog {
public:
    explicit CDownloaderDlg(HWND owner = nullptr);
    ~CDownloaderDlg() override;

    // printf-style: appends the formatted text (at most 1023 bytes) to the
    // message box with no separator; a null format clears the box. Any
    // thread may call it while the dialog exists.
    void AppendMessage(const char* format, ...);

    // Load File after the file dialog: reads `path` (Intel HEX when its
    // extension is HEX in any case, raw otherwise) into the code buffer and
    // shows path, size and checksum. On failure the previous load stays.
    bool LoadFile(const std::wstring& path);

    const DownloadJob& Job() const { return *job; }
    CHexEditBase& CodeBuffer() { return codeBuffer; }
    // A worker exists (from the click that started it until it has restored
    // the dialog).
    bool IsDownloadActive() const { return workerActive; }

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(UINT id, LPARAM param);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnLoadFile();
    void OnDownload();

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];

    // AppendMessage for a given dialog window: the worker passes the handle
    // it took at its start, so it never reads the binding of this object.
    static void AppendMessageTo(HWND dialog, const char* format, va_list args);
    static void AppendTo(HWND dialog, const char* format, ...);

    void ProbePorts();
    void FillBaudRates();
    void ConfigureCodeBuffer();
    // Ends the dialog now, or after the worker when a download runs.
    void CloseWhenIdle(INT_PTR result);
    void JoinFinishedWorker();

    // Private messages the worker sends (synchronously) to this dialog.
    LRESULT OnAppendText(const wchar_t* text);
    LRESULT OnWorkerFinished();

    // The worker thread's routine; it uses only `job`, `abandon` and the
    // window handles of `dialog` and its controls.
    void DownloadWorker(HWND dialog);

    std::unique_ptr<DownloadJob> job;
    CHexEditBase codeBuffer;
    HICON icon = nullptr;

    std::thread worker;
    bool workerActive = false;  // dialog thread only
    bool closePending = false;  // dialog thread only
    INT_PTR closeResult = IDCANCEL;
    // Set when the dialog goes away during a download: unlike the cell, the
    // worker's progress writes cannot undo it.
    std::atomic<bool> abandon{false};
};
