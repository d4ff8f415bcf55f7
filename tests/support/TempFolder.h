// A folder of its own under the system's temporary folder, made empty when
// the object is created and removed with everything in it when it goes.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "kestrune-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return root; }
    std::filesystem::path Path(const std::filesystem::path& name) const { return root / name; }
    // Writes `bytes` to the file `name` in the folder; returns its path.
    std::filesystem::path Write(const std::filesystem::path& name, const std::string& bytes) const;

private:
    std::filesystem::path root;
};

}  // namespace test_support
