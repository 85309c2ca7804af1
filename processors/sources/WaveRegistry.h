#pragma once

#include "processors/sources/BandLimitedWave.h"

#include <QString>

#include <map>

// The process-wide table of named wave shapes that oscillator voices draw from, built once on
// first use: "sine", "triangle", "saw" and "square".
class WaveRegistry {
public:
    static const WaveRegistry& instance();

    // The shape registered under `name`, or null when there is none.
    const BandLimitedWave* find(const QString& name) const;

private:
    WaveRegistry();

    std::map<QString, BandLimitedWave> m_waves;
};
