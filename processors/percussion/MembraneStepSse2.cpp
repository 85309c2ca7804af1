#include "processors/percussion/MembraneKernel.h"

#include <emmintrin.h>

namespace {

struct Sse2Lanes {
    using V = __m128d;
    static constexpr int kWidth = 2;
    static V load(const double* x) { return _mm_loadu_pd(x); }
    static void store(double* x, V v) { _mm_storeu_pd(x, v); }
    static V splat(double x) { return _mm_set1_pd(x); }
    static V gather(const double* base, const qint32* index)
    {
        return _mm_set_pd(base[index[1]], base[index[0]]);
    }
    static V min(V a, V b) { return _mm_min_pd(a, b); }
    static V max(V a, V b) { return _mm_max_pd(a, b); }
};

} // namespace

// Defined beside the wide instructions, which only that file is compiled for.
MembraneStep avx2MembraneStep(bool stiffening);

MembraneStep membraneStep(MembraneLanes lanes, bool stiffening)
{
    if (lanes == MembraneLanes::Avx2)
        return avx2MembraneStep(stiffening);
    return stiffening ? &stepGrid<Sse2Lanes, true> : &stepGrid<Sse2Lanes, false>;
}

MembraneLanes widestMembraneLanes()
{
    static const MembraneLanes widest
        = __builtin_cpu_supports("avx2") ? MembraneLanes::Avx2 : MembraneLanes::Sse2;
    return widest;
}
