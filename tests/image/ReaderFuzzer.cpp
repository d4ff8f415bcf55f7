// libFuzzer harness for the S-record reader (KESTRUNE_FUZZ_ELF unset) or the
// ELF reader (set), against the model of its rules, on any bytes. An odd
// input length starts the image at the lowest address, an even one at 0, so
// both origins are fuzzed. The heap refuses images above kHeapLimit while
// the reader runs, so its out-of-memory path is fuzzed too.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/Elf.h"
#include "image/SRecord.h"
#include "tests/image/ReaderModel.h"
#include "tests/support/FailingAllocator.h"

namespace {

constexpr size_t kHeapLimit = 256u << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const ImageOrigin origin{size % 2 == 1, 0};
#ifdef KESTRUNE_FUZZ_ELF
    const ReaderModel model = ModelElf(bytes, origin, kHeapLimit);
#else
    const ReaderModel model =
        ModelSRecord(std::string(bytes.begin(), bytes.end()), origin, kHeapLimit);
#endif
    std::vector<uint8_t> buffer = bytes;
    ReaderResult result;
    {
        test_support::ScopedHeapLimit limit(kHeapLimit);
#ifdef KESTRUNE_FUZZ_ELF
        result = ParseElf(buffer, origin);
#else
        result = ParseSRecord(buffer, origin);
#endif
    }
    if (const std::string diff = CompareWithModel(model, result, buffer); !diff.empty()) {
        std::fprintf(stderr, "model disagrees: %s\n", diff.c_str());
        std::abort();
    }
    return 0;
}
