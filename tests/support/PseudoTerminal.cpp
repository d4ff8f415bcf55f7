#include "tests/support/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace test_support {

PseudoTerminal::PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    if (const char* name = ptsname(master)) slavePath = name;
}

PseudoTerminal::~PseudoTerminal() {
    if (master >= 0) close(master);
}

bool PseudoTerminal::Send(const std::vector<uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<uint8_t> PseudoTerminal::Receive(std::size_t count,
                                             std::chrono::milliseconds patience) const {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd waiter{master, POLLIN, 0};
        if (poll(&waiter, 1, 50) <= 0) continue;
        uint8_t chunk[4096];
        const ssize_t n = read(master, chunk, std::min(sizeof chunk, count - bytes.size()));
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

}  // namespace test_support
