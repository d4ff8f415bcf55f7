#include "target/Pseudoterminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

std::unique_ptr<Pseudoterminal> Pseudoterminal::Open(std::string& error) {
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return nullptr;
    }
    const char* name = nullptr;
    termios raw{};
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || (name = ptsname(fd)) == nullptr) {
        error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    // The terminal settings belong to the pair; raw mode here means the
    // host's bytes are neither echoed nor edited before it configures the line.
    if (tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return std::unique_ptr<Pseudoterminal>(new Pseudoterminal(fd, name));
}

Pseudoterminal::~Pseudoterminal() {
    if (master >= 0) close(master);
}

void Pseudoterminal::HangUp() {
    if (master >= 0) close(master);
    master = -1;
}

namespace {

std::string ReadLink(const std::string& path) {
    std::vector<char> buffer(4096);
    ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::unique_ptr<SymbolicLink> SymbolicLink::Create(const std::string& path,
                                                   const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a symbolic link";
        return nullptr;
    }
    // Make the new link beside the old one and rename it over: the name is
    // never missing for a host that looks it up meanwhile.
    const std::string temporary = path + ".kestrune-target-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot create link " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return nullptr;
    }
    return std::unique_ptr<SymbolicLink>(new SymbolicLink(path, target));
}

SymbolicLink::~SymbolicLink() {
    if (ReadLink(path) == target) unlink(path.c_str());
}
