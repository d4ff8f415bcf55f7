// ParseIntelHex on about 40 MB of generated Intel HEX text describing a
// 16 MiB image. Reports MB/s of input text, and what the call holds at its
// peak beyond the text it was given and the image it returns.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/AllocationCounter.h"
#include "bench/HexGenerator.h"
#include "image/IntelHex.h"

namespace {

constexpr uint32_t kImageLength = 16u << 20;

const GeneratedHex& Sample() {
    static const GeneratedHex hex = GenerateIntelHex(kImageLength, 20240501, false);
    return hex;
}

void BM_ParseIntelHex(benchmark::State& state) {
    const std::vector<uint8_t>& text = Sample().text;
    size_t worstExtra = 0;
    size_t allocationsPerCall = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint8_t> buffer(text);  // the call consumes its text
        ResetAllocationPeak();
        const size_t before = CurrentAllocations().liveBytes;
        state.ResumeTiming();

        const HexResult result = ParseIntelHex(buffer);
        benchmark::DoNotOptimize(buffer.data());

        state.PauseTiming();
        const AllocationStats after = CurrentAllocations();
        if (result.status != HexStatus::Whole || buffer.size() != kImageLength) {
            state.SkipWithError("the generated text did not convert to its image");
            break;
        }
        // Peak live bytes during the call, less the text it was handed and the image.
        const size_t held = after.peakBytes - before + text.size();
        worstExtra = std::max(worstExtra, held - text.size() - buffer.size());
        allocationsPerCall = after.allocations;
        buffer = {};
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    // Decimal megabytes of text per second (bytes_per_second above counts in MiB).
    state.counters["text_MB_per_s"] = benchmark::Counter(
        double(state.iterations()) * double(text.size()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["text_MB"] = double(text.size()) / 1e6;
    state.counters["image_MB"] = double(kImageLength) / 1e6;
    state.counters["peak_extra_KB"] = double(worstExtra) / 1e3;
    state.counters["allocs"] = double(allocationsPerCall);
}
BENCHMARK(BM_ParseIntelHex)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
