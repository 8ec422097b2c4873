// CRC-32 throughput of the engine's crc32 against zlib's, over the block sizes the engine
// hands it (an 8 KiB read block, the 32 KiB window) and a large buffer, in steady state:
// the table exists before timing starts, as it does during extraction.
//
//   build/bench/bench/crc_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <stdint.h>
#include <vector>

#include "unzip/unzip.h"

namespace {

// zlib's crc32 is a C function of the same name; the pointer types pick the one meant.
uint32_t (*const engine_crc)(uint32_t, const uint8_t *, unsigned) = crc32;
uLong (*const zlib_crc)(uLong, const Bytef *, uInt) = crc32;

std::vector<uint8_t> testData(size_t size) {
    std::vector<uint8_t> data(size);
    uint32_t x = 0x12345678; // xorshift: incompressible, and the same on every run
    for (auto &b : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = (uint8_t)x;
    }
    return data;
}

void BM_EngineCrc32(benchmark::State &state) {
    auto data = testData((size_t)state.range(0));
    if (get_crc_table() == NULL) {
        state.SkipWithError("no CRC table");
        return;
    }
    uint32_t crc = 0;
    for (auto _ : state) {
        crc = engine_crc(crc, data.data(), (unsigned)data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * state.range(0));
}

void BM_ZlibCrc32(benchmark::State &state) {
    auto data = testData((size_t)state.range(0));
    uLong crc = 0;
    for (auto _ : state) {
        crc = zlib_crc(crc, data.data(), (uInt)data.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * state.range(0));
}

// Both must agree before their speeds mean anything.
void BM_Agreement(benchmark::State &state) {
    auto data = testData(1 << 20);
    uint32_t a = engine_crc(0, data.data(), (unsigned)data.size());
    uLong b = zlib_crc(0, data.data(), (uInt)data.size());
    if (a != (uint32_t)b) state.SkipWithError("engine and zlib CRC-32 differ");
    for (auto _ : state)
        benchmark::DoNotOptimize(a);
}

} // namespace

BENCHMARK(BM_Agreement)->Iterations(1);
BENCHMARK(BM_EngineCrc32)->Arg(8 << 10)->Arg(32 << 10)->Arg(1 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(8 << 10)->Arg(32 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
