#include <windows.h>

#include <thread>

#include "cli/DurableFile.h"
#include "isp/port/SystemErrorText.h"

namespace {

bool Failed(const char* what, std::string& why, DWORD error = GetLastError()) {
    why = std::string(what) + ": " + SystemErrorText(error);
    return false;
}

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

ExclusiveLock::~ExclusiveLock() {
    Unlock();
    if (handle != -1) CloseHandle(AsHandle(handle));
}

bool ExclusiveLock::Open(const std::filesystem::path& path, std::string& why) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed("cannot open its lock file", why);
    handle = reinterpret_cast<intptr_t>(file);
    return true;
}

bool ExclusiveLock::Lock(std::chrono::milliseconds patience, std::string& why) {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(AsHandle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                       0, &at))
            break;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
            return Failed("cannot be locked", why, error);
        if (std::chrono::steady_clock::now() >= giveUp) {
            why = "cannot be locked: another program has held it for " +
                  std::to_string(patience.count() / 1000) + " s";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    locked = true;
    return true;
}

void ExclusiveLock::Unlock() {
    OVERLAPPED at{};
    if (locked) UnlockFileEx(AsHandle(handle), 0, 1, 0, &at);
    locked = false;
}

ReadStatus ReadSmallFile(const std::filesystem::path& path, size_t limit, std::string& text,
                         std::string& why) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return ReadStatus::Missing;
        Failed("cannot be read", why, error);
        return ReadStatus::Failed;
    }
    text.assign(limit + 1, '\0');
    DWORD done = 0;
    const bool read = ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!read) {
        Failed("cannot be read", why, error);
        return ReadStatus::Failed;
    }
    text.resize(done);
    return ReadStatus::Ok;
}

bool ReplaceDurably(const std::filesystem::path& path, const std::string& text, std::string& why) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed("cannot be written", why);
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) return Failed("cannot be written", why, error);
    // Write-through: the move is on the disk, folder entry included, when it returns.
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Failed("cannot be replaced", why);
    return true;
}
