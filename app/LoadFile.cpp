// The Load File command: pick a firmware file, put its image into the code
// buffer, show path, size and checksum.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/DownloaderDlg.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "res/resource.h"

namespace {

// Two entries, each a description and its pattern, ending with an empty string.
constexpr wchar_t kFilter[] =
    L"Intel Hex/Binary (*.hex; *.bin)\0*.hex;*.bin\0All files (*.*)\0*.*\0";

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
    if (!::GetOpenFileNameW(&dialog)) return;
    LoadFile(path.data());
}

bool CDownloaderDlg::LoadFile(const std::wstring& path) {
    // Read and convert first, so that a file that cannot be opened or read,
    // or an image the heap cannot hold, leaves the previous load in place.
    std::vector<uint8_t> image;
    if (LoadFirmwareFile(std::filesystem::path(path), image).status != LoadStatus::Ok) {
        AppendMessage("Can't open file !");
        return false;
    }
    AppendMessage(nullptr);

    const auto size = static_cast<uint32_t>(image.size());
    static const uint8_t emptyImage = 0;  // an empty file still loads as an (empty) image
    codeBuffer.SetData(image.empty() ? &emptyImage : image.data(), size, true);

    ::SetDlgItemTextW(hwnd, IDC_FILEPATH, path.c_str());
    wchar_t text[16];
    // Unsigned: an image of 2 GiB or more must not show a negative size.
    std::swprintf(text, 16, L"%u", static_cast<unsigned>(size));
    ::SetDlgItemTextW(hwnd, IDC_FILESIZE, text);

    const uint32_t summed = std::min<uint32_t>(codeBuffer.GetDataSize(), size);
    std::swprintf(text, 16, L"%04X", static_cast<unsigned>(ImageChecksum(image.data(), summed)));
    ::SetDlgItemTextW(hwnd, IDC_CHECKSUM, text);

    ::EnableWindow(GetDlgItem(IDC_DOWNLOAD), TRUE);
    AppendMessage("Open file ok !");
    return true;
}
