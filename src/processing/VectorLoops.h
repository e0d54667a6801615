// Which vector instruction sets the pixel loops may take: those the
// processor has, checked once. For measuring and testing what a processor
// without AVX-512 gets (most desktop processors), the AVX-512 loops can be
// set aside for a while; every loop then takes its AVX2 form, which gives
// the same bytes.
#pragma once

namespace vectorloops {

// The processor has AVX2.
bool Avx2();
// The processor has the AVX-512 subsets the loops use (F, BW, DQ, VL and
// VBMI) and they are not set aside.
bool Avx512();

// Sets the AVX-512 loops aside (true) or takes them back (false) for the
// whole process; returns whether they were set aside before. For
// benchmarks and tests, between runs: a loop under way keeps its choice.
bool SetAsideAvx512(bool aside);

// Sets the AVX-512 loops aside for its lifetime.
class WithoutAvx512 {
public:
    WithoutAvx512() : before_(SetAsideAvx512(true)) {}
    ~WithoutAvx512() { SetAsideAvx512(before_); }
    WithoutAvx512(const WithoutAvx512&) = delete;
    WithoutAvx512& operator=(const WithoutAvx512&) = delete;

private:
    bool before_;
};

}  // namespace vectorloops
