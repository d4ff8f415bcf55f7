// What the dialog remembers between runs, and where it uses it: the port and
// baud rate of the last successful download, chosen again at start-up, and
// the folder of the last loaded file, where Load File's dialog opens.
#include <windows.h>

#include <string>

#include "app/DownloaderDlg.h"
#include "res/resource.h"

namespace {

// Selects the entry whose text is `text`; false when it is not listed.
bool SelectListed(HWND list, const std::wstring& text) {
    if (text.empty()) return false;
    const LRESULT index = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str()));
    return index != CB_ERR && ::SendMessageW(list, CB_SETCURSEL, index, 0) != CB_ERR;
}

}  // namespace

void CDownloaderDlg::SelectStartChoices() {
    if (!SelectListed(GetDlgItem(IDC_PORT), settings.ReadText(kSettingPort)))
        ::SendMessageW(GetDlgItem(IDC_PORT), CB_SETCURSEL, 0, 0);
    // The baud list already shows its default; a remembered rate that is not
    // one of the list's leaves it so.
    if (const DWORD baud = settings.ReadNumber(kSettingBaudRate))
        SelectListed(GetDlgItem(IDC_BAUD), std::to_wstring(baud));
}

void CDownloaderDlg::RememberDownloadChoices() {
    if (!downloadPort.empty()) settings.WriteText(kSettingPort, downloadPort);
    const unsigned long baud = std::wcstoul(downloadBaud.c_str(), nullptr, 10);
    if (baud > 0 && baud <= 0xFFFFFFFFul) settings.WriteNumber(kSettingBaudRate, baud);
}

void CDownloaderDlg::RememberFolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return;
    // "C:\" keeps its separator: "C:" alone would mean the drive's current folder.
    const std::wstring folder = path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
    if (!folder.empty()) settings.WriteText(kSettingFolder, folder);
}
