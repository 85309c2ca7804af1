#pragma once

// The body of the membrane step, included by one source file per instruction set. It
// sits in an unnamed namespace so that each file keeps its own copy: a copy built for
// wider instructions must never be linked in place of the baseline one.

#include "processors/percussion/MembraneStep.h"

#include <algorithm>
#include <array>
#include <limits>
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
    template <qint32 I0, qint32 I1> static V gather(const double* u)
    {
        if constexpr (I1 == I0 + 1)
            return load(u + I0);
        else
            return _mm_set_pd(u[I1], u[I0]);
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
    // Nearest points on a ring of another size mostly run on one by one, now and then
    // repeating or skipping one: one or two loads then cover the four.
    template <qint32 I0, qint32 I1, qint32 I2, qint32 I3> static V gather(const double* u)
    {
        constexpr qint32 away[] = { 0, I1 - I0 - 1, I2 - I0 - 2, I3 - I0 - 3 };
        constexpr qint32 shift = away[1] != 0 ? away[1] : away[2] != 0 ? away[2] : away[3];
        constexpr bool oneRun = shift == 0;
        constexpr bool twoRuns = (shift == 1 || shift == -1) && (away[1] == 0 || away[1] == shift)
            && (away[2] == 0 || away[2] == shift) && (away[3] == 0 || away[3] == shift);
        if constexpr (oneRun) {
            return load(u + I0);
        } else if constexpr (twoRuns) {
            constexpr int moved
                = (away[1] != 0 ? 2 : 0) | (away[2] != 0 ? 4 : 0) | (away[3] != 0 ? 8 : 0);
            return _mm256_blend_pd(load(u + I0), load(u + I0 + shift), moved);
        } else {
            return _mm256_set_pd(u[I3], u[I2], u[I1], u[I0]);
        }
    }
    static V min(V a, V b) { return _mm256_min_pd(a, b); }
    static V max(V a, V b) { return _mm256_max_pd(a, b); }
    static V withFirst(V v, double x) { return _mm256_blend_pd(v, splat(x), 0x1); }
    static V withLast(V v, double x) { return _mm256_blend_pd(v, splat(x), 0x8); }
};
#endif

#if defined(__AVX512F__)
// Where each lane's point lies against the run starting at the first lane's, and the
// lanes that share each offset: one load per offset, blended, covers them.
template <std::size_t N> struct LaneRuns {
    std::array<qint32, N> shift {};
    std::array<unsigned, N> lanes {};
    std::size_t count = 0;
    qint32 lowest = std::numeric_limits<qint32>::max();
    qint32 highest = std::numeric_limits<qint32>::min();
};

template <qint32... I> constexpr auto laneRuns()
{
    constexpr std::array<qint32, sizeof...(I)> at { I... };
    LaneRuns<sizeof...(I)> runs;
    for (std::size_t i = 0; i < at.size(); ++i) {
        const qint32 shift = at[i] - at[0] - qint32(i);
        std::size_t r = 0;
        while (r < runs.count && runs.shift[r] != shift)
            ++r;
        if (r == runs.count) {
            runs.shift[runs.count++] = shift;
            runs.lowest = std::min(runs.lowest, at[0] + shift);
            runs.highest = std::max(runs.highest, at[0] + shift + qint32(at.size()) - 1);
        }
        runs.lanes[r] |= 1u << i;
    }
    return runs;
}

struct Avx512Lanes {
    using V = __m512d;
    static constexpr int kWidth = 8;
    static V load(const double* x) { return _mm512_loadu_pd(x); }
    static void store(double* x, V v) { _mm512_storeu_pd(x, v); }
    static V splat(double x) { return _mm512_set1_pd(x); }
    // As with four lanes, the eight nearest points mostly fall into two or three runs;
    // a run's load may reach past the lanes it serves, so it must stay inside the grid.
    template <qint32... I> static V gather(const double* u)
    {
        constexpr auto runs = laneRuns<I...>();
        constexpr bool inside
            = runs.lowest >= 0 && runs.highest < membraneRingStart(kMembraneRings);
        if constexpr (runs.count <= 3 && inside) {
            constexpr qint32 first = std::array<qint32, kWidth> { I... }[0];
            V v = load(u + first + runs.shift[0]);
            [&]<std::size_t... R>(std::index_sequence<R...>)
            {
                ((v = _mm512_mask_blend_pd(
                      __mmask8(runs.lanes[R + 1]), v, load(u + first + runs.shift[R + 1]))),
                    ...);
            }
            (std::make_index_sequence<runs.count - 1>());
            return v;
        } else {
            const double points[] = { u[I]... };
            return load(points);
        }
    }
    static V min(V a, V b) { return _mm512_min_pd(a, b); }
    static V max(V a, V b) { return _mm512_max_pd(a, b); }
    // The eight points one on from `first`'s: its last seven, then `second`'s first.
    static V slide(V first, V second)
    {
        return _mm512_castsi512_pd(
            _mm512_alignr_epi64(_mm512_castpd_si512(second), _mm512_castpd_si512(first), 1));
    }
    // The eight points one back from `second`'s: `first`'s last, then its first seven.
    static V slideBack(V first, V second)
    {
        return _mm512_castsi512_pd(
            _mm512_alignr_epi64(_mm512_castpd_si512(second), _mm512_castpd_si512(first), 7));
    }
    static V withFirst(V v, double x) { return _mm512_mask_blend_pd(0x01, v, splat(x)); }
    static V withLast(V v, double x) { return _mm512_mask_blend_pd(0x80, v, splat(x)); }
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

template <class First, class...> struct FirstOfPack {
    using Type = First;
};
template <class... Lanes> using FirstOf = typename FirstOfPack<Lanes...>::Type;

// The lanes' read of the neighbours on the outer or the inner ring of points `At` on.
template <class L, bool Outer, qint32 At> MEMBRANE_INLINE typename L::V neighbours(const double* u)
{
    constexpr const auto& side = Outer ? kMembraneNeighbours.outer : kMembraneNeighbours.inner;
    return [u]<std::size_t... I>(std::index_sequence<I...>)
    {
        return L::template gather<side[At + I]...>(u);
    }
    (std::make_index_sequence<L::kWidth>());
}

// Whether the lanes can shift a row of points by one across two registers.
template <class L> constexpr bool kSlides = requires(typename L::V v)
{
    L::slide(v, v);
    L::slideBack(v, v);
};

// The points of a group that the one before has already read: `here`, and the group
// before's own points, whose last is this group's first left neighbour.
template <class L> struct Carried {
    typename L::V before;
    typename L::V here;
};

// Points K onwards of ring J, as many at a time as the lanes hold, then the rest with
// narrower lanes; every group is laid out for its own place. The ring closes on itself:
// its first point's left neighbour is its last point, and its last point's right
// neighbour its first. Reading one point beyond either end of a ring stays inside the
// grid: the centre lies before ring 1 and the rim after the last ring that steps. Lanes
// that slide read each point of the ring once: a group's left and right neighbours are
// its own points shifted in from the groups beside it, which `carried` hands on.
template <bool Stiffening, qint32 J, qint32 K, class L, class... Narrower>
MEMBRANE_INLINE void stepPoints(
    const MembraneGrid& g, const Coefficients<L>& c, const Carried<L>* carried = nullptr)
{
    using V = typename L::V;
    constexpr qint32 points = membraneRingPoints(J);
    if constexpr (K + L::kWidth <= points) {
        constexpr qint32 start = membraneRingStart(J);
        constexpr qint32 at = start - membraneRingStart(1) + K;
        // The next group has these lanes too, so its points are read now.
        constexpr bool nextFull = kSlides<L> && K + 2 * L::kWidth <= points;
        const double* u = g.current;
        const double* ring = u + start;
        const V here = carried ? carried->here : L::load(ring + K);
        V left;
        if constexpr (K == 0)
            left = L::withFirst(L::load(ring + K - 1), ring[points - 1]);
        else if constexpr (kSlides<L>)
            left = carried ? L::slideBack(carried->before, here) : L::load(ring + K - 1);
        else
            left = L::load(ring + K - 1);
        Carried<L> next;
        V right;
        if constexpr (nextFull) {
            next = { here, L::load(ring + K + L::kWidth) };
            right = L::slide(here, next.here);
        } else {
            right = L::load(ring + K + 1);
            if constexpr (K + L::kWidth == points)
                right = L::withLast(right, ring[0]);
        }
        const V twice = c.two * here;
        const V across = neighbours<L, false, at>(u) + neighbours<L, true, at>(u) - twice;
        const V square = L::splat(double(J * J));
        L::store(g.next + start + K,
            update<L, Stiffening>(here, L::load(g.previous + start + K),
                (left + right - twice) / square + across, c));
        stepPoints<Stiffening, J, K + L::kWidth, L, Narrower...>(g, c, nextFull ? &next : nullptr);
    } else if constexpr (sizeof...(Narrower) > 0) {
        stepPoints<Stiffening, J, K, Narrower...>(g, Coefficients<FirstOf<Narrower...>>(g));
    }
}

// Every ring has an even number of points, so the narrowest lanes, two wide, finish each.
template <bool Stiffening, class... Lanes> void stepGrid(const MembraneGrid& grid)
{
    // A vector store may alias anything, so the grid's pointers would be read again
    // after each one; a local copy stays in registers.
    const MembraneGrid g = grid;
    const double* u = g.current;
    constexpr qint32 firstRing = membraneRingStart(1);
    constexpr qint32 firstPoints = membraneRingPoints(1);
    double sum = 0.0;
    for (qint32 i = firstRing; i < firstRing + firstPoints; ++i)
        sum += u[i];
    g.next[0] = update<ScalarLanes, Stiffening>(
        u[0], g.previous[0], sum / double(firstPoints) - u[0], Coefficients<ScalarLanes>(g));

    const Coefficients<FirstOf<Lanes...>> wide(g);
    [&g, &wide ]<qint32... J>(std::integer_sequence<qint32, J...>)
    {
        (stepPoints<Stiffening, J + 1, 0, Lanes...>(g, wide), ...);
    }
    (std::make_integer_sequence<qint32, kMembraneRings - 2>());

    // The rim is clamped; a strike near it may have displaced it.
    constexpr qint32 rim = kMembraneRings - 1;
    if (g.clearRim)
        std::fill_n(g.next + membraneRingStart(rim), membraneRingPoints(rim), 0.0);
}

} // namespace
