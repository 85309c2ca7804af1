#pragma once

#include "processors/units/Unit.h"

// A linear ramp from `start` to `end` over `duration` seconds, started by restart().
// Idle, it holds `end`.
template <class T> class Line : public Unit<T> {
public:
    static constexpr T kIdle = T(-1);

    Line(T sampleRate, T start, T end, T duration)
        : sampleRate(sampleRate)
        , start(start)
        , end(end)
        , duration(duration)
        , m_step(T(1) / sampleRate)
    {
    }

    void restart() { position = T(0); }

    T tick() override
    {
        if (!(position > kIdle))
            return end;
        // A zero end contributes an exact zero, which adding cannot change: skipping its
        // product and division gives the same sample.
        const T from = start == T(0) ? T(0) : (duration - position) * start / duration;
        const T to = end == T(0) ? T(0) : position * end / duration;
        const T out = from + to;
        position += m_step;
        // The ramp runs one sample past its end before it goes idle.
        if (position > duration + m_step)
            position = kIdle;
        return out;
    }

    T sampleRate;
    T start;
    T end;
    T duration;
    T position = kIdle; // seconds since restart

private:
    T m_step; // one sample in seconds
};
