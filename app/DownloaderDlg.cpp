#include "app/DownloaderDlg.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/DialogMessages.h"
#include "app/DisplayScale.h"
#include "framework/Gdi.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kGrey = RGB(200, 200, 200);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr const wchar_t* kBaudRates[] = {L"1200",  L"2400",  L"4800",  L"9600",  L"14400",
                                         L"19200", L"38400", L"57600", L"115200"};
constexpr int kDefaultBaudIndex = 8;  // 115200

}  // namespace

const MessageEntry CDownloaderDlg::messageEntries[] = {
    {WM_DEVICECHANGE, 0, 0,
     [](CWnd& w, WPARAM wParam, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDeviceChange(static_cast<UINT>(wParam));
         return TRUE;
     }},
    {WM_SYSCOMMAND, 0, 0,
     [](CWnd& w, WPARAM wParam, LPARAM lParam) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnSysCommand(static_cast<UINT>(wParam), lParam);
         return 0;
     }},
    {WM_PAINT, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnPaint();
         return 0;
     }},
    {WM_QUERYDRAGICON, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         return reinterpret_cast<LRESULT>(WndAs<CDownloaderDlg>(w).OnQueryDragIcon());
     }},
    {WM_COMMAND, IDC_LOAD, BN_CLICKED,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnLoadFile();
         return 0;
     }},
    {WM_DROPFILES, 0, 0,
     [](CWnd& w, WPARAM wParam, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDropFiles(reinterpret_cast<HDROP>(wParam));
         return 0;
     }},
    {WM_COMMAND, IDC_PORT, CBN_SELCHANGE,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnPortSelected();
         return 0;
     }},
    {WM_DPICHANGED, 0, 0,
     [](CWnd& w, WPARAM wParam, LPARAM lParam) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDpiChanged(LOWORD(wParam), reinterpret_cast<RECT*>(lParam));
         return 0;
     }},
    {WM_COMMAND, IDC_DOWNLOAD, BN_CLICKED,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDownload();
         return 0;
     }},
    {WM_KESTRUNE_WORKER_REQUESTS, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnWorkerRequests();
         return 0;
     }},
    {WM_DESTROY, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDestroy();
         return 0;
     }},
};

const MessageMap CDownloaderDlg::messageMap{&CDialog::messageMap, messageEntries};

CDownloaderDlg::CDownloaderDlg(HWND owner)
    : CDialog(IDD_MAIN, owner),
      icon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN))) {
    // Last, once the code buffer (which may throw) exists: every field zero,
    // the progress/stop cell allocated with it and holding 0.
    job = std::make_unique<DownloadJob>();
}

CDownloaderDlg::~CDownloaderDlg() {
    // Normally the worker has long ended (the dialog waits for it before
    // closing). If the window went some other way, the worker can no longer
    // reach it: ask it to stop and let it end before its record goes.
    if (worker.joinable()) {
        job->progress->store(STOP_REQUEST);
        worker.join();
    }
}

void CDownloaderDlg::DoDataExchange() {
    DDX_Control(IDC_CODE_BUFFER, codeBuffer);
}

BOOL CDownloaderDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    requests.SetTarget(hwnd, WM_KESTRUNE_WORKER_REQUESTS);

    if (HMENU systemMenu = ::GetSystemMenu(hwnd, FALSE)) {
        wchar_t text[256] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUT_MENU, text, 256) > 0 &&
            text[0] != 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUT, text);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    ProbePorts();
    FillBaudRates();
    SelectStartChoices();
    ConfigureCodeBuffer();
    ScaleCodeBufferFont(WindowDpi(hwnd));
    ::EnableWindow(GetDlgItem(IDC_DOWNLOAD), FALSE);
    InitFileLoading();
    return TRUE;
}

void CDownloaderDlg::FillBaudRates() {
    HWND baudList = GetDlgItem(IDC_BAUD);
    for (const wchar_t* rate : kBaudRates)
        ::SendMessageW(baudList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate));
    ::SendMessageW(baudList, CB_SETCURSEL, kDefaultBaudIndex, 0);
}

void CDownloaderDlg::ConfigureCodeBuffer() {
    codeBuffer.SetShowAddress(true, true);
    codeBuffer.SetAddressDigits(6, true);
    codeBuffer.SetShowAscii(true, true);
    codeBuffer.SetBytesPerLine(16, false, true);
    codeBuffer.SetAddressColours(kGrey, kBlack, true);
    codeBuffer.SetAsciiColours(kGrey, kBlack, true);
    codeBuffer.SetHexColours(kGrey, kBlack, true);
    codeBuffer.SetBackgroundColour(kGrey, true);
    codeBuffer.SetReadOnly(false, true);
}

void CDownloaderDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) == IDM_ABOUT) {
        CAboutDlg about(hwnd);
        about.DoModal();
        return;
    }
    Default();
}

void CDownloaderDlg::OnPaint() {
    if (!::IsIconic(hwnd)) {
        Default();
        return;
    }
    CPaintDC dc(hwnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT client{};
    GetClientRect(&client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
}

HICON CDownloaderDlg::OnQueryDragIcon() {
    return icon;
}

void CDownloaderDlg::AppendMessage(const char* format, ...) {
    std::wstring text;
    if (format) {
        char narrow[1024];
        va_list args;
        va_start(args, format);
        const int formatted = std::vsnprintf(narrow, sizeof narrow, format, args);
        va_end(args);
        if (formatted < 0) return;  // bad format: box unchanged
        wchar_t wide[1024];
        if (::MultiByteToWideChar(CP_UTF8, 0, narrow, -1, wide, 1024) <= 0) return;
        text = wide;
    }
    if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) {
        AppendText(format ? text.c_str() : nullptr);
        return;
    }
    // Queued with the worker's requests, so the box is only ever written here.
    requests.Push(WorkerRequest::Message(format ? text.c_str() : nullptr));
}

void CDownloaderDlg::AppendText(const wchar_t* text) {
    HWND box = GetDlgItem(IDC_MESSAGE);
    if (!text) {
        ::SetWindowTextW(box, L"");
        return;
    }
    const LRESULT end = ::GetWindowTextLengthW(box);
    ::SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), -1);
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void CDownloaderDlg::OnOK() {
    CloseWhenIdle(IDOK);
}

void CDownloaderDlg::OnCancel() {
    CloseWhenIdle(IDCANCEL);
}

void CDownloaderDlg::CloseWhenIdle(INT_PTR result) {
    if (state == DownloadState::Idle) {
        EndDialog(result);
        return;
    }
    // The worker still runs: stop it, and end once it has ended and the
    // controls are restored. The modal loop meanwhile carries out its requests.
    state = DownloadState::Closing;
    closeResult = result;
    job->progress->store(STOP_REQUEST);
}

void CDownloaderDlg::OnDestroy() {
    // No wake-up may reach this window's handle once it is gone.
    requests.SetTarget(nullptr, 0);
    if (state != DownloadState::Idle) job->progress->store(STOP_REQUEST);
    Default();
}
