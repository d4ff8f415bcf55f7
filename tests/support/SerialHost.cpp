#include "tests/support/SerialHost.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/Sum16.h"

namespace test_support {

SerialHost::SerialHost(const std::string& path)
    : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
}

SerialHost::~SerialHost() {
    if (fd >= 0) close(fd);
}

bool SerialHost::Write(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    for (int stalls = 0; done < bytes.size() && stalls < 5000;) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            ++stalls;
            poll(nullptr, 0, 1);
        }
    }
    return done == bytes.size();
}

std::vector<uint8_t> SerialHost::Read(std::size_t count, std::chrono::milliseconds patience) const {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        uint8_t b = 0;
        if (read(fd, &b, 1) == 1) bytes.push_back(b);
    }
    return bytes;
}

bool SerialHost::WaitFor(const std::vector<uint8_t>& frame,
                         std::chrono::milliseconds patience) const {
    std::vector<uint8_t> seen;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto b = Read(1, std::chrono::milliseconds(50));
        seen.insert(seen.end(), b.begin(), b.end());
        if (seen.size() >= frame.size() &&
            std::equal(frame.begin(), frame.end(), seen.end() - frame.size()))
            return true;
    }
    return false;
}

}  // namespace test_support
