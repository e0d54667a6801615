// The "x times a bare JPEG decode" yardstick of the benchmarks that time one
// operation of a window: the operation and a bare libjpeg decode of the
// page's JPEG run in turn in every iteration, so both see the same machine.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/BareJpeg.h"

namespace benchpages {

inline void BareDecode(const std::vector<std::uint8_t>& jpeg) {
    barejpeg::Image image;
    if (!barejpeg::Decode(jpeg.data(), jpeg.size(), image)) std::abort();
    benchmark::DoNotOptimize(image.pixels.get());
}

// Runs `ours` and a bare decode of `jpeg` once to warm up, then in turn for
// each iteration; sets the counters ratio (ours / decode), <name>_ms and
// decode_ms.
template <class Ours>
void TimeAgainstBareDecode(benchmark::State& state, const std::vector<std::uint8_t>& jpeg, const std::string& name,
                           Ours&& ours) {
    ours();
    BareDecode(jpeg);
    double oursSeconds = 0, bareSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ours();
        const auto t1 = std::chrono::steady_clock::now();
        BareDecode(jpeg);
        const auto t2 = std::chrono::steady_clock::now();
        oursSeconds += std::chrono::duration<double>(t1 - t0).count();
        bareSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = oursSeconds / bareSeconds;
    state.counters[name + "_ms"] = 1000 * oursSeconds / n;
    state.counters["decode_ms"] = 1000 * bareSeconds / n;
}

}  // namespace benchpages
