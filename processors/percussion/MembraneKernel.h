#pragma once

// The body of the membrane step, included by one source file per vector width. It sits
// in an unnamed namespace so that each width keeps its own copy: a copy built for wider
// instructions must never be linked in place of the baseline one.

#include "processors/percussion/MembraneStep.h"

#include <algorithm>

namespace {

constexpr double kMaxCourant2 = 0.45;
constexpr double kLimit = 2.0;

// One point at a time, for the ring ends and the centre.
struct ScalarLanes {
    using V = double;
    static constexpr int kWidth = 1;
    static V load(const double* x) { return *x; }
    static void store(double* x, V v) { *x = v; }
    static V splat(double x) { return x; }
    static V gather(const double* base, const qint32* index) { return base[*index]; }
    // The selections of the processor's min and max instructions.
    static V min(V a, V b) { return a < b ? a : b; }
    static V max(V a, V b) { return a > b ? a : b; }
};

template <class L> struct Coefficients {
    using V = typename L::V;
    explicit Coefficients(const MembraneGrid& grid)
        : scalar(grid)
        , c2(L::splat(grid.courant2))
        , depth(L::splat(grid.nonlinear))
        , damping(L::splat(grid.loss))
    {
    }
    const MembraneGrid& scalar;
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
typename L::V update(
    typename L::V here, typename L::V before, typename L::V laplacian, const Coefficients<L>& k)
{
    typename L::V c = k.c2;
    // Large displacements raise the coefficient, so a hard hit starts sharp.
    if constexpr (Stiffening)
        c = L::min((k.depth * (here * here) + k.one) * k.c2, k.maxCourant);
    const typename L::V v = (k.two * here - before + c * laplacian) * k.damping;
    return L::min(k.high, L::max(k.low, v));
}

// One ring of the grid: its points now and a step before, where its next step goes,
// and the indices of each point's neighbours on the inner and the outer ring.
struct Ring {
    const double* grid;
    const double* now;
    const double* before;
    double* next;
    const qint32* inner;
    const qint32* outer;
    qint32 points;
};

// Point k of a ring whose neighbours along it are `left` and `right`.
template <class L, bool Stiffening>
typename L::V ringPoint(const Ring& r, qint32 k, typename L::V left, typename L::V right,
    typename L::V ringSquare, const Coefficients<L>& c)
{
    const typename L::V here = L::load(r.now + k);
    const typename L::V twice = c.two * here;
    const typename L::V across = L::gather(r.grid, r.inner + k) + L::gather(r.grid, r.outer + k);
    const typename L::V laplacian = (left + right - twice) / ringSquare + (across - twice);
    return update<L, Stiffening>(here, L::load(r.before + k), laplacian, c);
}

template <class L, bool Stiffening>
void stepRing(const Ring& r, qint32 j, const Coefficients<L>& wide)
{
    using S = ScalarLanes;
    const Coefficients<S> one(wide.scalar);
    const double* u = r.now;
    const qint32 last = r.points - 1;
    const double square = double(j * j);

    r.next[0] = ringPoint<S, Stiffening>(r, 0, u[last], u[1], square, one);
    qint32 k = 1;
    for (; k + L::kWidth <= last; k += L::kWidth)
        L::store(r.next + k,
            ringPoint<L, Stiffening>(
                r, k, L::load(u + k - 1), L::load(u + k + 1), L::splat(square), wide));
    for (; k < last; ++k)
        r.next[k] = ringPoint<S, Stiffening>(r, k, u[k - 1], u[k + 1], square, one);
    r.next[last] = ringPoint<S, Stiffening>(r, last, u[last - 1], u[0], square, one);
}

template <class L, bool Stiffening> void stepGrid(const MembraneGrid& g)
{
    const double* u = g.current;
    const Coefficients<L> wide(g);
    const qint32 firstRing = g.ringStart[1];
    const qint32 firstPoints = g.ringPoints[1];
    double sum = 0.0;
    for (qint32 i = firstRing; i < firstRing + firstPoints; ++i)
        sum += u[i];
    g.next[0] = update<ScalarLanes, Stiffening>(
        u[0], g.previous[0], sum / double(firstPoints) - u[0], Coefficients<ScalarLanes>(g));

    Ring r { u, nullptr, nullptr, nullptr, g.inner, g.outer, 0 };
    for (qint32 j = 1; j < g.rings - 1; ++j) {
        const qint32 start = g.ringStart[j];
        r.now = u + start;
        r.before = g.previous + start;
        r.next = g.next + start;
        r.points = g.ringPoints[j];
        stepRing<L, Stiffening>(r, j, wide);
        r.inner += r.points;
        r.outer += r.points;
    }
    // The rim is clamped; a strike near it may have displaced it.
    std::fill(g.next + g.ringStart[g.rings - 1], g.next + g.totalPoints, 0.0);
}

} // namespace
