// The file operations the serial number counter relies on, per platform:
// an exclusive lock between threads and processes on a lock file, reading a
// small file, and replacing a file so that its new content survives a crash
// or a power loss once the call has returned.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

// An exclusive lock on a file that is never renamed or removed (flock on
// POSIX, LockFileEx on Windows). Each object holds its own handle, so two
// objects in one process exclude each other as two processes do.
class ExclusiveLock {
public:
    ExclusiveLock() = default;
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

    // Opens `path`, creating it when missing. False with the reason otherwise.
    bool Open(const std::filesystem::path& path, std::string& why);
    // Waits at most `patience` for the lock. False with the reason otherwise.
    bool Lock(std::chrono::milliseconds patience, std::string& why);
    void Unlock();

private:
    intptr_t handle = -1;
    bool locked = false;
};

enum class ReadStatus { Ok, Missing, Failed };

// At most `limit` bytes of `path` into `text`; a longer file is read up to
// `limit` + 1 bytes so the caller can tell it is too long.
ReadStatus ReadSmallFile(const std::filesystem::path& path, size_t limit, std::string& text,
                         std::string& why);

// Writes `text` to `path`.tmp, flushes it to the disk, renames it over `path`
// and flushes the folder (Windows: a write-through move), so that `path` holds
// either the old or the new content, never a mix, and the new one for good.
bool ReplaceDurably(const std::filesystem::path& path, const std::string& text, std::string& why);
