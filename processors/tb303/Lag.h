#pragma once

#include "processors/units/Unit.h"

// One-pole smoother state. Its owner takes the smoothing steps, since each input has
// its own time constant; tick() only reads the current value.
template <class T> class Lag : public Unit<T> {
public:
    explicit Lag(T sampleRate)
        : sampleRate(sampleRate)
    {
    }

    T tick() override { return value; }

    T sampleRate;
    bool primed = false; // the first input is taken as the value outright
    T value = T(0);
};
