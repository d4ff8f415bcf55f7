// Looks at a packaged Windows program the way a user would: prints the
// strings of its version resource and, with --dialog, starts it, waits for
// its main dialog, presses Exit and reports how the process ended.
//   dist_probe PROGRAM.exe [--dialog]
// Exit status 0 when everything asked for was seen, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kBoundMs = 60000;  // generous: a fresh Wine prefix on a loaded machine

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

bool PrintVersionResource(const wchar_t* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        std::printf("no version resource\n");
        return false;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return false;
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
        std::printf("no translation in the version resource\n");
        return false;
    }
    bool complete = true;
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName",
                                L"FileDescription", L"OriginalFilename", L"LegalCopyright"}) {
        wchar_t query[128];
        swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                 translation->codePage, name);
        wchar_t* value = nullptr;
        UINT chars = 0;
        const bool found =
            VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &chars) &&
            chars > 0;
        std::printf("%s: %s\n", Utf8(name).c_str(), found ? Utf8(value).c_str() : "(missing)");
        complete = complete && found;
    }
    return complete;
}

struct Search {
    DWORD processId;
    HWND dialog;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770") {
        search->dialog = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

bool RunDialogAndExit(const wchar_t* path) {
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("cannot start the program (error %lu)\n", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    Search search{process.dwProcessId, nullptr};
    for (DWORD waited = 0; !search.dialog && waited < kBoundMs; waited += 100) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    }
    bool ok = false;
    if (!search.dialog) {
        std::printf("no dialog appeared\n");
    } else {
        const HWND exitButton = GetDlgItem(search.dialog, IDCANCEL);
        std::printf("dialog: %s\n", Utf8(WindowText(search.dialog)).c_str());
        std::printf("button: %s\n", Utf8(WindowText(exitButton)).c_str());
        PostMessageW(search.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(exitButton));
        if (WaitForSingleObject(process.hProcess, kBoundMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            std::printf("exit code: %lu\n", code);
            ok = code == 0;
        } else {
            std::printf("still running after Exit\n");
        }
    }
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::wstring(argv[2]) != L"--dialog")) {
        std::fprintf(stderr, "usage: dist_probe PROGRAM.exe [--dialog]\n");
        return 2;
    }
    bool ok = PrintVersionResource(argv[1]);
    if (argc == 3) ok = RunDialogAndExit(argv[1]) && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
