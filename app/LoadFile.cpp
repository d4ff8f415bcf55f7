// The Load File command: pick a firmware file, put its image into the code
// buffer, show path, size and checksum. A file named on the command line or
// dropped on the dialog is loaded the same way.
#include <windows.h>
// After windows.h, whose types they use.
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/DownloaderDlg.h"
#include "image/FirmwareFile.h"
#include "image/ImageChecksum.h"
#include "res/resource.h"

namespace {

// Entries of a description and its pattern, ending with an empty string: every
// format the loader reads first, then each alone, then all files (any other
// name loads as raw binary).
constexpr wchar_t kFilter[] =
    L"Firmware files (*.hex; *.s19; *.elf; *.bin; ...)\0"
    L"*.hex;*.ihx;*.ihex;*.s19;*.s28;*.s37;*.srec;*.mot;*.sx;*.elf;*.axf;*.bin\0"
    L"Intel HEX (*.hex; *.ihx; *.ihex)\0*.hex;*.ihx;*.ihex\0"
    L"Motorola S-record (*.s19; *.s28; *.s37; *.srec; *.mot; *.sx)\0"
    L"*.s19;*.s28;*.s37;*.srec;*.mot;*.sx\0"
    L"ELF (*.elf; *.axf)\0*.elf;*.axf\0"
    L"Binary (*.bin)\0*.bin\0"
    L"All files (*.*)\0*.*\0";

// Long enough for paths beyond MAX_PATH.
constexpr DWORD kPathCapacity = 32768;

}  // namespace

void CDownloaderDlg::OnLoadFile() {
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrDefExt = nullptr;
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    // Where the last file came from; the system's choice when none is known.
    const std::wstring folder = settings.ReadText(kSettingFolder);
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    if (IsDownloadActive() || !::GetOpenFileNameW(&dialog)) return;
    LoadFile(path.data());
}

bool CDownloaderDlg::LoadFile(const std::wstring& path) {
    // From the Download click to the download's end the image on the way to
    // the board and the one shown must stay the same.
    if (IsDownloadActive()) return false;
    // Read, convert and copy into the code buffer first, so that any failure
    // leaves the previous load in force: code buffer, summary and Download.
    std::vector<uint8_t> image;
    const FirmwareLoad load = LoadFirmwareFile(std::filesystem::path(path), image);
    switch (load.status) {
        case LoadStatus::Ok:
            break;
        case LoadStatus::CannotOpen:
            AppendMessage("Can't open file !");
            return false;
        case LoadStatus::Damaged:
            if (load.read.tooWide) {
                // Data that reach too far: the file's two ends, on a line of their own.
                AppendMessage(load.format == FileFormat::IntelHex  ? "Bad HEX file !"
                              : load.format == FileFormat::SRecord ? "Bad S-record file !"
                                                                   : "Bad ELF file !");
                AppendMessage("\r\n%s", load.read.reason.c_str());
            } else if (load.format == FileFormat::IntelHex)
                AppendMessage("Bad HEX record at line %s !",
                              std::to_string(load.read.line).c_str());
            else if (load.format == FileFormat::SRecord)
                AppendMessage("Bad S-record at line %s !", std::to_string(load.read.line).c_str());
            else
                AppendMessage("Bad ELF file: %s !", load.read.reason.c_str());
            return false;
        case LoadStatus::OutOfMemory:
            AppendMessage("Not enough memory for the file !");
            return false;
    }
    const auto size = static_cast<uint32_t>(image.size());
    static const uint8_t emptyImage = 0;  // an empty file still loads as an (empty) image
    if (!codeBuffer.SetData(image.empty() ? &emptyImage : image.data(), size, true)) {
        AppendMessage("Not enough memory for the file !");
        return false;
    }
    AppendMessage(nullptr);

    ::SetDlgItemTextW(hwnd, IDC_FILEPATH, path.c_str());
    wchar_t text[16];
    // Unsigned: an image of 2 GiB or more must not show a negative size.
    std::swprintf(text, 16, L"%u", static_cast<unsigned>(size));
    ::SetDlgItemTextW(hwnd, IDC_FILESIZE, text);
    std::swprintf(text, 16, L"%04X", static_cast<unsigned>(ImageChecksum(image.data(), size)));
    ::SetDlgItemTextW(hwnd, IDC_CHECKSUM, text);

    imageLoaded = true;
    UpdateDownloadButton();
    RememberFolderOf(path);
    AppendMessage("Open file ok !");
    if (!load.read.endRecord) AppendMessage("No end record: the file may be cut short !");
    return true;
}

void CDownloaderDlg::SetStartFile(const std::wstring& path) {
    // The path field shows full paths, as the file dialog gives them.
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length =
        needed ? ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr) : 0;
    startFile = length && length < needed ? full.substr(0, length) : path;
}

void CDownloaderDlg::InitFileLoading() {
    ::DragAcceptFiles(hwnd, TRUE);
    if (!startFile.empty()) LoadFile(startFile);
}

void CDownloaderDlg::OnDropFiles(HDROP drop) {
    // The first file of a drop is loaded; a drop during a download is
    // ignored, as Load File is refused then.
    if (!IsDownloadActive()) {
        const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
        if (length > 0) {
            std::wstring path(length + 1, L'\0');
            if (::DragQueryFileW(drop, 0, path.data(), length + 1) == length) {
                path.resize(length);
                LoadFile(path);
            }
        }
    }
    ::DragFinish(drop);
}
