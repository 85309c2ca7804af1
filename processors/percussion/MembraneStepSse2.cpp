#include "processors/percussion/MembraneKernel.h"

// Defined beside the wider instructions, which only that file is built for.
MembraneStep avx2MembraneStep(bool stiffening);
MembraneStep avx512MembraneStep(bool stiffening);

MembraneStep membraneStep(MembraneLanes lanes, bool stiffening)
{
    switch (lanes) {
    case MembraneLanes::Avx512:
        return avx512MembraneStep(stiffening);
    case MembraneLanes::Avx2:
        return avx2MembraneStep(stiffening);
    case MembraneLanes::Sse2:
        break;
    }
    return stiffening ? &stepGrid<true, Sse2Lanes> : &stepGrid<false, Sse2Lanes>;
}

MembraneLanes widestMembraneLanes()
{
    static const MembraneLanes widest = __builtin_cpu_supports("avx512f") ? MembraneLanes::Avx512
        : __builtin_cpu_supports("avx2")                                  ? MembraneLanes::Avx2
                                                                          : MembraneLanes::Sse2;
    return widest;
}
