#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "cli/DurableFile.h"

namespace {

bool Failed(const char* what, std::string& why) {
    why = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

ExclusiveLock::~ExclusiveLock() {
    if (handle >= 0) close(static_cast<int>(handle));
}

bool ExclusiveLock::Open(const std::filesystem::path& path, std::string& why) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Failed("cannot open its lock file", why);
    handle = fd;
    return true;
}

bool ExclusiveLock::Lock(std::chrono::milliseconds patience, std::string& why) {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return Failed("cannot be locked", why);
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
    if (locked) flock(static_cast<int>(handle), LOCK_UN);
    locked = false;
}

ReadStatus ReadSmallFile(const std::filesystem::path& path, size_t limit, std::string& text,
                         std::string& why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadStatus::Missing;
        Failed("cannot be read", why);
        return ReadStatus::Failed;
    }
    text.assign(limit + 1, '\0');
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = read(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Failed("cannot be read", why);
            close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    text.resize(done);
    return ReadStatus::Ok;
}

bool ReplaceDurably(const std::filesystem::path& path, const std::string& text, std::string& why) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Failed("cannot be written", why);
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const int writeError = errno;
    close(fd);
    if (!written) {
        errno = writeError;
        return Failed("cannot be written", why);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) return Failed("cannot be replaced", why);
    // The rename itself is only durable once the folder that names the file is.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return Failed("its folder cannot be flushed", why);
    const bool flushed = fsync(dir) == 0;
    close(dir);
    return flushed || Failed("its folder cannot be flushed", why);
}
