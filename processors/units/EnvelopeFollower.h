#pragma once

#include <cmath>

// Peak envelope with separate attack and release: a one-pole smoother whose coefficient
// depends on whether the level rises or falls.
template <class T> struct EnvelopeFollower {
    // The pole for a time constant of `ms` milliseconds.
    static T coefficient(T sampleRate, T ms)
    {
        return std::exp(T(-1) / (sampleRate * ms / T(1000)));
    }

    T follow(T level)
    {
        const T c = level > env ? attackCoeff : releaseCoeff;
        env = (T(1) - c) * level + c * env;
        return env;
    }

    T attackCoeff = T(0);
    T releaseCoeff = T(0);
    T env = T(0);
};
