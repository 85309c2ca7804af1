#pragma once

#include <QHash>
#include <QString>

// A periodic function of the phase in radians.
using WaveFunction = double (*)(double phase);

// The process-wide table of named wave shapes that oscillator voices draw from.
class WaveRegistry {
public:
    static const WaveRegistry& instance();

    // The shape registered under `name`, or null when there is none.
    WaveFunction find(const QString& name) const { return m_waves.value(name, nullptr); }

private:
    WaveRegistry() = default;

    QHash<QString, WaveFunction> m_waves;
};
