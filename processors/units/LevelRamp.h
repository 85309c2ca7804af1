#pragma once

#include "core/EngineRate.h"

#include <algorithm>
#include <limits>

// Linear ramp towards a target, at most `step` per sample.
struct LevelRamp {
    double level = 0.0;
    double step = 0.0;

    double next(double target)
    {
        if (level < target)
            level = std::min(level + step, target);
        else if (level > target)
            level = std::max(level - step, target);
        return level;
    }
};

// The step that makes a full 0 to 1 swing last `seconds` at `sampleRate`. A rate that is not
// positive has no time scale, so the level then jumps.
inline double fullSwingStep(int sampleRate, double seconds)
{
    return sampleRate > 0 ? 1.0 / (sampleRate * seconds) : std::numeric_limits<double>::infinity();
}

// The sources' and the amp's rate: a full 0 to 1 swing in 220.5 samples at 44100 Hz.
inline constexpr double kRampStep = 200.0 / kEngineRate;
