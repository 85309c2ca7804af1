#include "processors/sources/WaveRegistry.h"

#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// The Fourier series of the ideal shapes, each swinging between -1 and 1 and rising through
// zero at phase 0.
double sine(int h)
{
    return h == 1 ? 1.0 : 0.0;
}

double triangle(int h)
{
    if (h % 2 == 0)
        return 0.0;
    return (h % 4 == 1 ? 8.0 : -8.0) / (kPi * kPi * h * h);
}

// Rises from -1 to 1 over the cycle, through zero halfway, where the cycle starts.
double saw(int h)
{
    return (h % 2 == 1 ? 2.0 : -2.0) / (kPi * h);
}

double square(int h)
{
    return h % 2 == 1 ? 4.0 / (kPi * h) : 0.0;
}

struct Shape {
    const char* name;
    BandLimitedWave::Harmonics harmonics;
};

constexpr Shape kShapes[] = {
    { "sine", sine },
    { "triangle", triangle },
    { "saw", saw },
    { "square", square },
};

} // namespace

WaveRegistry::WaveRegistry()
{
    for (const Shape& shape : kShapes)
        m_waves.try_emplace(QString::fromLatin1(shape.name), shape.harmonics);
}

const WaveRegistry& WaveRegistry::instance()
{
    static const WaveRegistry registry;
    return registry;
}

const BandLimitedWave* WaveRegistry::find(const QString& name) const
{
    const auto it = m_waves.find(name);
    return it == m_waves.end() ? nullptr : &it->second;
}
