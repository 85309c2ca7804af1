#pragma once

#include <QtGlobal>

#include <array>
#include <numbers>

// One time step of the drum head's grid, written once and compiled for several vector
// widths; the widest the processor supports is chosen at run time. Every width does the
// same arithmetic per point, so they all give the same result.
// The grid is fixed: a centre point, then rings of six points per step out, the last
// of them the clamped rim.
constexpr qint32 kMembraneRings = 12;
constexpr qint32 membraneRingPoints(qint32 ring)
{
    return ring == 0 ? 1 : 6 * ring;
}
constexpr qint32 membraneRingStart(qint32 ring)
{
    return ring == 0 ? 0 : 1 + 3 * ring * (ring - 1);
}

// The points of the rings that step (all but the centre and the rim).
constexpr qint32 kMembraneInterior = membraneRingStart(kMembraneRings - 1) - membraneRingStart(1);

// For each point of those rings, in order, the point nearest the same angle on the inner
// and on the outer ring. Worked out by the compiler, so the step reads its neighbours at
// fixed places.
struct MembraneNeighbours {
    std::array<qint32, kMembraneInterior> inner {};
    std::array<qint32, kMembraneInterior> outer {};
};

constexpr MembraneNeighbours membraneNeighbours()
{
    constexpr double twoPi = 2.0 * std::numbers::pi;
    const auto nearest = [twoPi](qint32 ring, double theta) {
        const qint32 points = membraneRingPoints(ring);
        return membraneRingStart(ring) + qint32(theta * double(points) / twoPi + 0.5) % points;
    };
    MembraneNeighbours n;
    std::size_t at = 0;
    for (qint32 j = 1; j < kMembraneRings - 1; ++j) {
        const qint32 points = membraneRingPoints(j);
        for (qint32 k = 0; k < points; ++k, ++at) {
            const double theta = double(k) * twoPi / double(points);
            n.inner[at] = j == 1 ? 0 : nearest(j - 1, theta);
            n.outer[at] = nearest(j + 1, theta);
        }
    }
    return n;
}

inline constexpr MembraneNeighbours kMembraneNeighbours = membraneNeighbours();

struct MembraneGrid {
    const double* current = nullptr;
    const double* previous = nullptr;
    double* next = nullptr;
    double courant2 = 0.0;
    double nonlinear = 0.0;
    double loss = 0.0;
    // Whether the rim of `next` may hold a displacement to clear; a rim that was cleared
    // stays zero, as the step writes only the points inside it.
    bool clearRim = true;
};

// From narrowest to widest.
enum class MembraneLanes { Sse2, Avx2, Avx512 };

using MembraneStep = void (*)(const MembraneGrid&);

// The step for `lanes`, with or without stiffening.
MembraneStep membraneStep(MembraneLanes lanes, bool stiffening);
// The widest lanes this processor runs.
MembraneLanes widestMembraneLanes();
