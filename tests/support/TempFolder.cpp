#include "tests/support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace test_support {

TempFolder::TempFolder(const std::string& prefix) {
    // Unique among processes (the clock) and within one (the counter); a
    // name that exists already is never reused.
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / (prefix + "-" + std::to_string(stamp) +
                                                          "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            root = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

fs::path TempFolder::Write(const fs::path& name, const std::string& bytes) const {
    fs::path path = root / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace test_support
