// ParseSRecord and ParseElf on the image ParseIntelHexBench's text describes
// (16 MiB with gaps): as S3 records of 32 bytes (about 40 MB of text), and
// as an ELF file with one loadable segment. Reports MB/s of input; registered
// into the same program as BM_ParseIntelHex.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/HexGenerator.h"
#include "image/Elf.h"
#include "image/SRecord.h"

namespace {

constexpr uint32_t kImageLength = 16u << 20;

const std::vector<uint8_t>& Image() {
    static const std::vector<uint8_t> image = GenerateIntelHex(kImageLength, 20240501, true).image;
    return image;
}

std::vector<uint8_t> SRecordText() {
    const std::vector<uint8_t>& image = Image();
    std::vector<uint8_t> text;
    text.reserve(image.size() * 5 / 2 + 64);
    static const char digits[] = "0123456789ABCDEF";
    for (uint32_t address = 0; address < image.size(); address += 32) {
        const uint32_t count = std::min<uint32_t>(32, uint32_t(image.size()) - address);
        uint8_t record[40] = {uint8_t(count + 5), uint8_t(address >> 24), uint8_t(address >> 16),
                              uint8_t(address >> 8), uint8_t(address)};
        std::memcpy(record + 5, image.data() + address, count);
        uint8_t sum = 0;
        for (uint32_t i = 0; i < count + 5; ++i) sum = uint8_t(sum + record[i]);
        record[count + 5] = uint8_t(~sum);
        text.push_back('S');
        text.push_back('3');
        for (uint32_t i = 0; i < count + 6; ++i) {
            text.push_back(uint8_t(digits[record[i] >> 4]));
            text.push_back(uint8_t(digits[record[i] & 0x0F]));
        }
        text.push_back('\r');
        text.push_back('\n');
    }
    const char* end = "S70500000000FA\r\n";
    text.insert(text.end(), end, end + std::strlen(end));
    return text;
}

// ELF32, little-endian: the header, one PT_LOAD entry, the image.
std::vector<uint8_t> ElfFile() {
    const std::vector<uint8_t>& image = Image();
    std::vector<uint8_t> file(84 + image.size(), 0);
    const auto put = [&](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) file[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    std::memcpy(file.data(),
                "\x7F"
                "ELF\x01\x01\x01",
                7);
    put(16, 2, 2);
    put(18, 40, 2);
    put(20, 1, 4);
    put(28, 52, 4);
    put(40, 52, 2);
    put(42, 32, 2);
    put(44, 1, 2);
    put(52, 1, 4);
    put(56, 84, 4);
    put(64, 0, 4);
    put(68, uint32_t(image.size()), 4);
    put(72, uint32_t(image.size()), 4);
    std::memcpy(file.data() + 84, image.data(), image.size());
    return file;
}

template <typename Parse>
void ParseBench(benchmark::State& state, const std::vector<uint8_t>& input, Parse parse) {
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint8_t> buffer(input);
        state.ResumeTiming();
        const ReaderResult result = parse(buffer);
        benchmark::DoNotOptimize(buffer.data());
        state.PauseTiming();
        if (result.status != ReaderStatus::Whole || buffer != Image()) {
            state.SkipWithError("the input did not convert to its image");
            break;
        }
        buffer = {};
        state.ResumeTiming();
    }
    state.counters["input_MB_per_s"] = benchmark::Counter(
        double(state.iterations()) * double(input.size()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["input_MB"] = double(input.size()) / 1e6;
}

void BM_ParseSRecord(benchmark::State& state) {
    static const std::vector<uint8_t> text = SRecordText();
    ParseBench(state, text, [](std::vector<uint8_t>& b) { return ParseSRecord(b); });
}
BENCHMARK(BM_ParseSRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseElf(benchmark::State& state) {
    static const std::vector<uint8_t> file = ElfFile();
    ParseBench(state, file, [](std::vector<uint8_t>& b) { return ParseElf(b); });
}
BENCHMARK(BM_ParseElf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
