// Built with AVX2 (and without FMA, which would round differently); only reached once
// the processor has been found to have AVX2.
#include "processors/percussion/MembraneKernel.h"

MembraneStep avx2MembraneStep(bool stiffening)
{
    return stiffening ? &stepGrid<true, Avx2Lanes, Sse2Lanes>
                      : &stepGrid<false, Avx2Lanes, Sse2Lanes>;
}
