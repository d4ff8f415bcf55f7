#include "app/DownloaderDlg.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/DialogMessages.h"
#include "framework/Gdi.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kGrey = RGB(200, 200, 200);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;
constexpr const wchar_t* kBaudRates[] = {L"1200",  L"2400",  L"4800",  L"9600",  L"14400",
                                         L"19200", L"38400", L"57600", L"115200"};
constexpr int kDefaultBaudIndex = 8;  // 115200

}  // namespace

const MessageEntry CDownloaderDlg::messageEntries[] = {
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
    {WM_COMMAND, IDC_DOWNLOAD, BN_CLICKED,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDownloaderDlg>(w).OnDownload();
         return 0;
     }},
    {WM_KESTRUNE_APPEND_TEXT, 0, 0,
     [](CWnd& w, WPARAM, LPARAM lParam) -> LRESULT {
         return WndAs<CDownloaderDlg>(w).OnAppendText(reinterpret_cast<const wchar_t*>(lParam));
     }},
    {WM_KESTRUNE_WORKER_FINISHED, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         return WndAs<CDownloaderDlg>(w).OnWorkerFinished();
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
    // Normally the worker has long finished (the dialog waits for it before
    // closing). If the window was destroyed some other way, its handles are
    // gone, so the worker's window calls fail at once and it cannot block on
    // this thread; ask it to stop and let it end before its record goes.
    if (worker.joinable()) {
        abandon = true;
        job->progress->store(STOP_REQUEST);
        worker.join();
    }
}

void CDownloaderDlg::DoDataExchange() {
    DDX_Control(IDC_CODE_BUFFER, codeBuffer);
}

BOOL CDownloaderDlg::OnInitDialog() {
    CDialog::OnInitDialog();

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
    ConfigureCodeBuffer();
    ::EnableWindow(GetDlgItem(IDC_DOWNLOAD), FALSE);
    return TRUE;
}

void CDownloaderDlg::ProbePorts() {
    HWND portList = GetDlgItem(IDC_PORT);
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        // COM10 and above exist only in the device namespace.
        char name[32];
        std::snprintf(name, sizeof name, n < 10 ? "COM%d" : "\\\\.\\COM%d", n);
        HANDLE port = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (port == INVALID_HANDLE_VALUE) continue;
        ::CloseHandle(port);
        wchar_t shortName[16];
        std::swprintf(shortName, 16, L"COM%d", n);
        ::SendMessageW(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shortName));
    }
    ::SendMessageW(portList, CB_SETCURSEL, 0, 0);
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
    va_list args;
    va_start(args, format);
    AppendMessageTo(hwnd, format, args);
    va_end(args);
}

void CDownloaderDlg::AppendTo(HWND dialog, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendMessageTo(dialog, format, args);
    va_end(args);
}

void CDownloaderDlg::AppendMessageTo(HWND dialog, const char* format, va_list args) {
    if (!format) {
        ::SendMessageW(dialog, WM_KESTRUNE_APPEND_TEXT, 0, 0);
        return;
    }
    char text[1024];
    if (std::vsnprintf(text, sizeof text, format, args) < 0) return;  // bad format: box unchanged

    wchar_t wide[1024];
    if (::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 1024) <= 0) return;
    // Sent, not done here: the three edit messages of an append must not
    // interleave with another thread's append.
    ::SendMessageW(dialog, WM_KESTRUNE_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(wide));
}

LRESULT CDownloaderDlg::OnAppendText(const wchar_t* text) {
    HWND box = GetDlgItem(IDC_MESSAGE);
    if (!text) {
        ::SetWindowTextW(box, L"");
        return 0;
    }
    const LRESULT end = ::GetWindowTextLengthW(box);
    ::SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), -1);
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    return 0;
}

void CDownloaderDlg::OnOK() {
    CloseWhenIdle(IDOK);
}

void CDownloaderDlg::OnCancel() {
    CloseWhenIdle(IDCANCEL);
}

void CDownloaderDlg::CloseWhenIdle(INT_PTR result) {
    if (!workerActive) {
        EndDialog(result);
        return;
    }
    // The worker still uses the controls: stop it and close when it reports
    // that it has restored them. Meanwhile the modal loop keeps running, so
    // its synchronous calls are served.
    closePending = true;
    closeResult = result;
    abandon = true;
    job->progress->store(STOP_REQUEST);
}
