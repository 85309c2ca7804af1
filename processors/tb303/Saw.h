#pragma once

#include "processors/tb303/PhaseWrap.h"
#include "processors/units/Unit.h"

// A naive (non-band-limited) sawtooth from -amplitude to +amplitude.
template <class T> class Saw : public Unit<T> {
public:
    Saw(T sampleRate, T frequency, T amplitude)
        : sampleRate(sampleRate)
        , increment(frequency / sampleRate)
        , amplitude(amplitude)
    {
    }

    T tick() override
    {
        phase += increment;
        // Taken before the wrap, so the wrapping sample overshoots slightly.
        const T out = (T(2) * phase - T(1)) * amplitude;
        phase = wrapPhase(phase);
        return out;
    }

    T sampleRate;
    T phase = T(0);
    T increment; // cycles per sample
    T amplitude;
};
