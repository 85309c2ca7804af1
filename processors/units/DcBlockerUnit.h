#pragma once

#include "processors/units/Unit.h"

// One-pole high-pass that removes the offset an asymmetric signal builds up.
template <class T> class DcBlockerUnit final : public Unit<T> {
public:
    T process(T x)
    {
        const T y = r * y1 + x - x1;
        x1 = x;
        y1 = y;
        return y;
    }

    T tick() override { return process(T(0)); }

    void clear()
    {
        x1 = T(0);
        y1 = T(0);
    }

    T x1 = T(0);
    T y1 = T(0);
    T r = T(0.995);
};
