#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

// While alive, the calling thread treats subnormal numbers as zero, both read and written.
// Decaying feedback (a membrane, a resonator bank, a reverb tail) ends up in subnormals
// long after it is inaudible, and every operation on them is many times slower; flushing
// changes samples only below 1e-307. Restores the previous mode when it goes.
class FlushDenormals {
public:
#if defined(__SSE2__)
    FlushDenormals()
        : m_saved(_mm_getcsr())
    {
        _mm_setcsr(m_saved | kFlushToZero | kDenormalsAreZero);
    }
    ~FlushDenormals()
    {
        _mm_setcsr(m_saved);
    }

private:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned m_saved;
#else
    FlushDenormals() = default;
#endif

public:
    FlushDenormals(const FlushDenormals&) = delete;
    FlushDenormals& operator=(const FlushDenormals&) = delete;
};
