// Every vector here lives inside one function once inlined, so no call passes one in a
// register whose convention differs between the two builds.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "processors/units/FastMath.h"

#include "processors/units/VectorOf.h"

// The array forms take four values at a time in a vector, each lane through the steps
// the scalar function takes, its branches turned into selections. One copy is built for
// AVX2 and one for the baseline, and the first call picks the one this processor runs.
namespace fastMath {

namespace {

#define FAST_MATH_INLINE [[gnu::always_inline]] inline

constexpr int kWidth = 4;
using Lanes = VectorOf<double, kWidth>;
using Bits = VectorOf<std::uint64_t, kWidth>;
constexpr std::uint64_t kSign = std::uint64_t(1) << 63;

FAST_MATH_INLINE Bits bitsOf(Lanes x)
{
    return (Bits)x;
}

FAST_MATH_INLINE Lanes lanesOf(Bits x)
{
    return (Lanes)x;
}

FAST_MATH_INLINE Lanes splat(double x)
{
    return Lanes {} + x;
}

FAST_MATH_INLINE Lanes magnitude(Lanes x)
{
    return lanesOf(bitsOf(x) & ~kSign);
}

template <class Mask> FAST_MATH_INLINE bool allOf(Mask mask)
{
    bool all = true;
    for (int i = 0; i < kWidth; ++i)
        all = all && mask[i] != 0;
    return all;
}

FAST_MATH_INLINE Lanes tanhLanes(Lanes x)
{
    // A decayed tail is the scalar function's shortcut in every lane: nothing to work out.
    const auto tiny = magnitude(x) < splat(0x1p-27);
    if (allOf(tiny))
        return x;
    constexpr double kSaturated = 20.0;
    const Lanes low = splat(-kSaturated);
    const Lanes high = splat(kSaturated);
    const Lanes clamped = x < low ? low : (x > high ? high : x);
    const Lanes t = clamped * (2.0 * 1.4426950408889634);
    const Lanes shifted = t + detail::kRoundShift;
    const Lanes f = t - (shifted - detail::kRoundShift);
    const Lanes scale = lanesOf((bitsOf(shifted) + 1023u) << 52);
    const Lanes em1 = (scale - 1.0) + scale * (f * detail::exp2m1Ratio(f));
    const Lanes y = em1 / (em1 + 2.0);
    return tiny ? x : y;
}

// Lanes beyond the reach of the rounding go to the scalar function, as it would.
FAST_MATH_INLINE Lanes sin2PiLanes(Lanes phase)
{
    if (!allOf(magnitude(phase) < splat(0x1p50))) {
        Lanes y;
        for (int i = 0; i < kWidth; ++i)
            y[i] = sin2Pi(phase[i]);
        return y;
    }
    const Lanes r = phase - ((phase + detail::kRoundShift) - detail::kRoundShift);
    const Lanes half = lanesOf((bitsOf(r) & kSign) | bitsOf(splat(0.5)));
    const Lanes folded = magnitude(r) > splat(0.25) ? half - r : r;
    return folded * detail::sin2PiRatio(folded * folded);
}

struct Tanh {
    FAST_MATH_INLINE static Lanes lanes(Lanes x) { return tanhLanes(x); }
    FAST_MATH_INLINE static double one(double x) { return tanh(x); }
};

struct Sin2Pi {
    FAST_MATH_INLINE static Lanes lanes(Lanes x) { return sin2PiLanes(x); }
    FAST_MATH_INLINE static double one(double x) { return sin2Pi(x); }
};

template <class F> FAST_MATH_INLINE void overArray(const double* x, double* out, std::size_t n)
{
    std::size_t i = 0;
    for (; i + kWidth <= n; i += kWidth) {
        Lanes v;
        __builtin_memcpy(&v, x + i, sizeof v);
        v = F::lanes(v);
        __builtin_memcpy(out + i, &v, sizeof v);
    }
    for (; i < n; ++i)
        out[i] = F::one(x[i]);
}

template <class F> void baseline(const double* x, double* out, std::size_t n)
{
    overArray<F>(x, out, n);
}

template <class F> [[gnu::target("avx2")]] void avx2(const double* x, double* out, std::size_t n)
{
    overArray<F>(x, out, n);
}

bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

} // namespace

void tanh(const double* x, double* out, std::size_t n)
{
    (hasAvx2() ? avx2<Tanh> : baseline<Tanh>)(x, out, n);
}

void sin2Pi(const double* phase, double* out, std::size_t n)
{
    (hasAvx2() ? avx2<Sin2Pi> : baseline<Sin2Pi>)(phase, out, n);
}

} // namespace fastMath
