// What --serial costs each board, in milliseconds: stamping the number into
// the board's copy of a 64 KiB image with the checksum of the stamped copy,
// and taking a number from the counter file (lock, read, write a temporary
// file, flush it, rename, flush the folder, unlock). The counter lives in a
// folder beside this program, on the disk the build is on (not a RAM
// folder, where a flush costs nothing).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "cli/SerialCounter.h"
#include "cli/SerialFormat.h"
#include "image/ImageChecksum.h"

namespace {

std::filesystem::path folder;

void BM_StampAndChecksum(benchmark::State& state) {
    std::vector<uint8_t> image(64 * 1024, 0xFF);
    const SerialFormat format = *ParseSerialFormat("u32le");
    uint64_t number = 0;
    for (auto _ : state) {
        format.Write(++number, image.data() + 0x100);
        benchmark::DoNotOptimize(ImageChecksum(image.data(), image.size()));
    }
}
BENCHMARK(BM_StampAndChecksum)->Unit(benchmark::kMillisecond);

void BM_DurableTake(benchmark::State& state) {
    std::filesystem::remove(folder / "counter");
    SerialCounter counter(folder / "counter", "counter", *ParseSerialFormat("u64le"), "u64le");
    if (counter.Prepare(1)) {
        state.SkipWithError("the counter could not be made");
        return;
    }
    CounterProblem problem;
    for (auto _ : state) {
        if (!counter.Take(problem)) {
            state.SkipWithError(problem.reason.c_str());
            break;
        }
    }
}
BENCHMARK(BM_DurableTake)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    folder = std::filesystem::absolute(argv[0]).parent_path() / "serial-number-bench";
    std::filesystem::create_directories(folder);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
