#pragma once

#include "processors/tb303/PhaseWrap.h"
#include "processors/units/Unit.h"

// A naive rectangular wave, +amplitude for the first `width` of each period.
template <class T> class Pulse : public Unit<T> {
public:
    Pulse(T sampleRate, T frequency, T amplitude, T width)
        : sampleRate(sampleRate)
        , frequency(frequency)
        , amplitude(amplitude)
        , width(width)
        , m_increment(frequency / sampleRate)
    {
    }

    // Sets the frequency and the per-sample phase step that goes with it.
    void setFrequency(T hz)
    {
        frequency = hz;
        m_increment = hz / sampleRate;
    }

    T tick() override
    {
        phase += m_increment;
        const T out = phase < width ? amplitude : -amplitude;
        phase = wrapPhase(phase);
        return out;
    }

    T sampleRate;
    T frequency;
    T amplitude;
    T width; // duty cycle
    T phase = T(0);

private:
    T m_increment; // frequency / sampleRate, cycles per sample
};
