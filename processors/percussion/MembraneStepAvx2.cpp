// Compiled with AVX2 enabled (and without FMA, which would round differently); only
// reached after the processor has been checked for AVX2.
#include "processors/percussion/MembraneKernel.h"

#include <immintrin.h>

namespace {

struct Avx2Lanes {
    using V = __m256d;
    static constexpr int kWidth = 4;
    static V load(const double* x) { return _mm256_loadu_pd(x); }
    static void store(double* x, V v) { _mm256_storeu_pd(x, v); }
    static V splat(double x) { return _mm256_set1_pd(x); }
    static V gather(const double* base, const qint32* index)
    {
        // Four loads beat the gather instruction here.
        return _mm256_set_pd(base[index[3]], base[index[2]], base[index[1]], base[index[0]]);
    }
    static V min(V a, V b) { return _mm256_min_pd(a, b); }
    static V max(V a, V b) { return _mm256_max_pd(a, b); }
};

} // namespace

MembraneStep avx2MembraneStep(bool stiffening)
{
    return stiffening ? &stepGrid<Avx2Lanes, true> : &stepGrid<Avx2Lanes, false>;
}
