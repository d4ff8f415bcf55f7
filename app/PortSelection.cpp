// The port list: the probe at start-up, the refresh after a device change,
// and the rule that keeps the user's port selected.
#include <windows.h>
// After windows.h, whose types it uses.
#include <dbt.h>

#include <string>

#include "app/DownloaderDlg.h"
#include "isp/port/PortEnumeration.h"
#include "isp/port/PortName.h"
#include "res/resource.h"

namespace {

// Port names are plain ASCII letters and digits.
std::string Narrow(const std::wstring& name) {
    return std::string(name.begin(), name.end());
}

// The port exists although it did not open: registered by its driver, or
// (COM1 to COM16, which are probed whether registered or not) refused for a
// reason other than its absence, as when another program holds it.
bool PortStillPresent(const std::wstring& name) {
    const std::string narrow = Narrow(name);
    for (const std::string& registered : RegisteredPorts())
        if (registered == narrow) return true;
    bool probed = false;
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n)
        probed = probed || narrow == "COM" + std::to_string(n);
    if (!probed) return false;
    HANDLE port =
        ::CreateFileA(DevicePathForPort(narrow).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        ::CloseHandle(port);  // free again since the probe
        return true;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
           error != ERROR_INVALID_NAME;
}

// Inserts `name` in port list order; its index.
LRESULT InsertInOrder(HWND list, const std::wstring& name) {
    const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    LRESULT at = 0;
    for (; at < count; ++at) {
        wchar_t item[64] = {};
        if (::SendMessageW(list, CB_GETLBTEXTLEN, at, 0) < 64)
            ::SendMessageW(list, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(item));
        if (PortNameLess(Narrow(name), Narrow(item))) break;
    }
    return ::SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(at),
                          reinterpret_cast<LPARAM>(name.c_str()));
}

}  // namespace

void CDownloaderDlg::ProbePorts() {
    HWND portList = GetDlgItem(IDC_PORT);
    ::SendMessageW(portList, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : ListOpenablePorts()) {
        const std::wstring wide(name.begin(), name.end());
        ::SendMessageW(portList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
}

void CDownloaderDlg::RefreshPortList() {
    HWND portList = GetDlgItem(IDC_PORT);
    std::wstring selected;
    if (::SendMessageW(portList, CB_GETCURSEL, 0, 0) != CB_ERR) {
        wchar_t text[256] = {};
        ::GetWindowTextW(portList, text, 256);
        selected = text;
    }
    ProbePorts();
    LRESULT index = CB_ERR;
    if (!selected.empty()) {
        index = ::SendMessageW(portList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(selected.c_str()));
        // Busy now (another program holds it): still the user's board, and
        // the next download says why it cannot open it.
        if (index == CB_ERR && PortStillPresent(selected))
            index = InsertInOrder(portList, selected);
        portGone = index == CB_ERR;
    } else if (!portGone) {
        index = 0;  // nothing was chosen yet: the first port, as at start-up
    }
    ::SendMessageW(portList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    UpdateDownloadButton();
}

void CDownloaderDlg::OnPortSelected() {
    if (::SendMessageW(GetDlgItem(IDC_PORT), CB_GETCURSEL, 0, 0) == CB_ERR) return;
    portGone = false;
    UpdateDownloadButton();
}

void CDownloaderDlg::UpdateDownloadButton() {
    // During a download the button is Stop and stays enabled.
    if (state != DownloadState::Idle) return;
    ::EnableWindow(GetDlgItem(IDC_DOWNLOAD), imageLoaded && !portGone);
}

void CDownloaderDlg::OnDeviceChange(UINT event) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE &&
        event != DBT_DEVNODES_CHANGED)
        return;
    // The list is disabled while a download runs, and a probe must not
    // compete with the worker for its port: OnDownloadEnded catches up.
    if (IsDownloadActive()) {
        portListStale = true;
        return;
    }
    RefreshPortList();
}
