// Shared pieces of the benchmarks: the memcpy baseline and the counters every
// benchmark reports.
//
//   static void BM_Rotate90(benchmark::State& state) {
//       ... set up pictures ...
//       rlbench::Run(state, inBytes, outBytes, [&] { rl->Process(...); });
//   }
//
// Run() times the job, measures one memcpy of the input bytes plus one of the
// output bytes (separate, hot buffers, best of several runs) in the same
// process, and reports "fps" and "x_memcpy" (job time / baseline time).
#ifndef RAVVEL_BENCH_BENCH_UTIL_H
#define RAVVEL_BENCH_BENCH_UTIL_H

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "simd/dispatch.h"

namespace rlbench {

// Seconds for memcpy of inBytes plus memcpy of outBytes, best of `runs`.
inline double MemcpyBaselineSeconds(size_t inBytes, size_t outBytes, int runs = 15)
{
    std::vector<uint8_t> inSrc(inBytes, 1), inDst(inBytes), outSrc(outBytes, 2), outDst(outBytes);
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        std::memcpy(inDst.data(), inSrc.data(), inBytes);
        std::memcpy(outDst.data(), outSrc.data(), outBytes);
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        const double s = std::chrono::duration<double>(t1 - t0).count();
        if (s < best) best = s;
    }
    benchmark::DoNotOptimize(inDst.data());
    benchmark::DoNotOptimize(outDst.data());
    return best;
}

template <class Job>
void Run(benchmark::State& state, size_t inBytes, size_t outBytes, Job&& job)
{
    job();  // warm caches and lazily built buffers
    double total = 0;
    int64_t n = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        job();
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        total += std::chrono::duration<double>(t1 - t0).count();
        ++n;
    }
    const double perFrame = n ? total / static_cast<double>(n) : 0;
    const double baseline = MemcpyBaselineSeconds(inBytes, outBytes);
    state.counters["fps"] = perFrame > 0 ? 1.0 / perFrame : 0;
    state.counters["x_memcpy"] = baseline > 0 ? perFrame / baseline : 0;
    state.SetBytesProcessed(static_cast<int64_t>(n) * static_cast<int64_t>(inBytes + outBytes));
}

// Flag mask for a tier argument (0 = reference ... 5 = AVX2) and its name.
inline uint32_t TierMask(int64_t tier) { return Ravvel::TierFlagMask(static_cast<int>(tier)); }
inline bool TierAvailable(int64_t tier)
{
    return tier == 0 || (VeskCPUFeatureDetect(nullptr) & Ravvel::TierFlag(static_cast<int>(tier))) != 0;
}

}  // namespace rlbench

#endif
