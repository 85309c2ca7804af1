#pragma once

// The body of the membrane step, included by one source file per instruction set. It
// sits in an unnamed namespace so that each file keeps its own copy: a copy built for
// wider instructions must never be linked in place of the baseline one.

#include "processors/percussion/MembraneStep.h"

#include <algorithm>
#include <utility>

#include <immintrin.h>

namespace {

constexpr double kMaxCourant2 = 0.45;
constexpr double kLimit = 2.0;

// Inlined everywhere: a call per point would cost more than the point.
#define MEMBRANE_INLINE [[gnu::always_inline]] inline

// One point at a time, for the centre.
struct ScalarLanes {
    using V = double;
    static constexpr int kWidth = 1;
    static V load(const double* x) { return *x; }
    static V splat(double x) { return x; }
    // The selections of the processor's min and max instructions.
    static V min(V a, V b) { return a < b ? a : b; }
    static V max(V a, V b) { return a > b ? a : b; }
};

// The lane types wrap the processor's min and max instructions, which select exactly as
// ScalarLanes does (the second operand when they compare unordered or equal).
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
    static V withFirst(V v, double x) { return _mm_move_sd(v, _mm_set_sd(x)); }
    static V withLast(V v, double x) { return _mm_unpacklo_pd(v, _mm_set_sd(x)); }
};

#if defined(__AVX2__)
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
    static V withFirst(V v, double x) { return _mm256_blend_pd(v, splat(x), 0x1); }
    static V withLast(V v, double x) { return _mm256_blend_pd(v, splat(x), 0x8); }
};
#endif

template <class L> struct Coefficients {
    using V = typename L::V;
    explicit Coefficients(const MembraneGrid& grid)
        : c2(L::splat(grid.courant2))
        , depth(L::splat(grid.nonlinear))
        , damping(L::splat(grid.loss))
    {
    }
    V c2;
    V depth;
    V damping;
    V one = L::splat(1.0);
    V two = L::splat(2.0);
    V maxCourant = L::splat(kMaxCourant2);
    V low = L::splat(-kLimit);
    V high = L::splat(kLimit);
};

template <class L, bool Stiffening>
MEMBRANE_INLINE typename L::V update(
    typename L::V here, typename L::V before, typename L::V laplacian, const Coefficients<L>& k)
{
    typename L::V c = k.c2;
    // Large displacements raise the coefficient, so a hard hit starts sharp.
    if constexpr (Stiffening)
        c = L::min((k.depth * (here * here) + k.one) * k.c2, k.maxCourant);
    const typename L::V v = (k.two * here - before + c * laplacian) * k.damping;
    return L::min(k.high, L::max(k.low, v));
}

// One ring while it steps.
struct Ring {
    const double* grid;
    const double* now;
    const double* before;
    double* next;
    const qint32* inner;
    const qint32* outer;
    double square;
};

// Points k onwards, as many at a time as the lanes hold, then the rest with narrower lanes.
// The ring closes on itself: its first point's left neighbour is its last point, and its
// last point's right neighbour its first.
template <bool Stiffening, qint32 Points, class L, class... Narrower>
MEMBRANE_INLINE void stepPoints(const Ring& r, qint32 k, const MembraneGrid& g)
{
    const Coefficients<L> c(g);
    const typename L::V square = L::splat(r.square);
    for (; k + L::kWidth <= Points; k += L::kWidth) {
        typename L::V left = L::load(r.now + k - 1);
        if (k == 0)
            left = L::withFirst(left, r.now[Points - 1]);
        typename L::V right = L::load(r.now + k + 1);
        if (k + L::kWidth == Points)
            right = L::withLast(right, r.now[0]);
        const typename L::V here = L::load(r.now + k);
        const typename L::V twice = c.two * here;
        const typename L::V across
            = L::gather(r.grid, r.inner + k) + L::gather(r.grid, r.outer + k) - twice;
        L::store(r.next + k,
            update<L, Stiffening>(
                here, L::load(r.before + k), (left + right - twice) / square + across, c));
    }
    if constexpr (sizeof...(Narrower) > 0)
        stepPoints<Stiffening, Points, Narrower...>(r, k, g);
}

// Ring J, its size known to the compiler. Reading one point beyond either end of a ring
// stays inside the grid: the centre lies before ring 1 and the rim after the last ring
// that steps.
template <bool Stiffening, qint32 J, class... Lanes>
MEMBRANE_INLINE void stepRing(const MembraneGrid& g)
{
    constexpr qint32 start = membraneRingStart(J);
    // The neighbour indices start with ring 1.
    constexpr qint32 index = start - membraneRingStart(1);
    const Ring r { g.current, g.current + start, g.previous + start, g.next + start,
        g.inner + index, g.outer + index, double(J * J) };
    stepPoints<Stiffening, membraneRingPoints(J), Lanes...>(r, 0, g);
}

// Every ring has an even number of points, so the narrowest lanes, two wide, finish each.
template <bool Stiffening, class... Lanes> void stepGrid(const MembraneGrid& g)
{
    const double* u = g.current;
    constexpr qint32 firstRing = membraneRingStart(1);
    constexpr qint32 firstPoints = membraneRingPoints(1);
    double sum = 0.0;
    for (qint32 i = firstRing; i < firstRing + firstPoints; ++i)
        sum += u[i];
    g.next[0] = update<ScalarLanes, Stiffening>(
        u[0], g.previous[0], sum / double(firstPoints) - u[0], Coefficients<ScalarLanes>(g));

    [&g]<qint32... J>(std::integer_sequence<qint32, J...>)
    {
        (stepRing<Stiffening, J + 1, Lanes...>(g), ...);
    }
    (std::make_integer_sequence<qint32, kMembraneRings - 2>());

    // The rim is clamped; a strike near it may have displaced it.
    constexpr qint32 rim = kMembraneRings - 1;
    std::fill_n(g.next + membraneRingStart(rim), membraneRingPoints(rim), 0.0);
}

} // namespace
