#pragma once

#include <QtGlobal>

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

struct MembraneGrid {
    const double* current = nullptr;
    const double* previous = nullptr;
    double* next = nullptr;
    // Per point off the centre and the rim, ring by ring: the nearest points at the same
    // angle on the inner and the outer ring.
    const qint32* inner = nullptr;
    const qint32* outer = nullptr;
    double courant2 = 0.0;
    double nonlinear = 0.0;
    double loss = 0.0;
};

enum class MembraneLanes { Sse2, Avx2 };

using MembraneStep = void (*)(const MembraneGrid&);

// The step for `lanes`, with or without stiffening.
MembraneStep membraneStep(MembraneLanes lanes, bool stiffening);
// The widest lanes this processor runs.
MembraneLanes widestMembraneLanes();
