// libFuzzer harness: ParseIntelHex and the firmware-file loader against the
// reader's model, on any bytes. The heap refuses images above kHeapLimit
// while the code under test runs, so the out-of-memory path is fuzzed too
// and no input can make the fuzzer itself run out of memory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "tests/image/HexModel.h"
#include "tests/support/FailingAllocator.h"

namespace {

constexpr size_t kHeapLimit = 256u << 10;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "model disagrees: %s\n", what.c_str());
    std::abort();
}

// Two files of this process's own, removed when the fuzzer exits (libFuzzer
// ends with exit(), which runs this destructor).
struct ScratchFiles {
    const std::string stem = (std::filesystem::temp_directory_path() / "kestrune-fuzz-").string() +
                             std::to_string(::getpid());
    ~ScratchFiles() {
        std::error_code ignored;
        std::filesystem::remove(stem + ".hex", ignored);
        std::filesystem::remove(stem + ".bin", ignored);
    }
};

std::filesystem::path Scratch(const char* extension) {
    static const ScratchFiles files;
    return files.stem + extension;
}

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size && std::fwrite(data, 1, size, file) != size)) Fail("cannot write scratch");
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ModelResult model = ModelParse(text, kHeapLimit);

    std::vector<uint8_t> buffer(data, data + size);
    HexResult result;
    {
        test_support::ScopedHeapLimit limit(kHeapLimit);
        result = ParseIntelHex(buffer);
    }
    if (const std::string diff = CompareWithModel(text, result, buffer, kHeapLimit); !diff.empty())
        Fail(diff);

    // The loader: the same verdict for a .hex file, the bytes as they are otherwise.
    const auto hexPath = Scratch(".hex");
    const auto binPath = Scratch(".bin");
    WriteFile(hexPath, data, size);
    WriteFile(binPath, data, size);
    std::vector<uint8_t> image = {0xA5};
    std::vector<uint8_t> raw;
    FirmwareLoad hexLoad;
    FirmwareLoad rawLoad;
    {
        test_support::ScopedHeapLimit limit(kHeapLimit);
        hexLoad = LoadFirmwareFile(hexPath, image);
        rawLoad = LoadFirmwareFile(binPath, raw);
    }
    const LoadStatus expected = model.result.status == HexStatus::Whole ? LoadStatus::Ok
                                : model.result.status == HexStatus::Damaged
                                    ? LoadStatus::Damaged
                                    : LoadStatus::OutOfMemory;
    if (hexLoad.status != expected || hexLoad.read.line != model.result.line)
        Fail("loader verdict on the .hex file");
    if (image != (expected == LoadStatus::Ok ? model.image : std::vector<uint8_t>{0xA5}))
        Fail("loader image of the .hex file");
    if (rawLoad.status != LoadStatus::Ok || raw != std::vector<uint8_t>(data, data + size))
        Fail("loader bytes of the .bin file");
    return 0;
}
