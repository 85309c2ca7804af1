// Built with AVX-512F (and without FMA, which would round differently); only reached once
// the processor has been found to have AVX-512F.
#include "processors/percussion/MembraneKernel.h"

MembraneStep avx512MembraneStep(bool stiffening)
{
    return stiffening ? &stepGrid<true, Avx512Lanes, Avx2Lanes, Sse2Lanes>
                      : &stepGrid<false, Avx512Lanes, Avx2Lanes, Sse2Lanes>;
}
