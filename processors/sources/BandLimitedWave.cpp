#include "processors/sources/BandLimitedWave.h"

#include "core/EngineRate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kNyquist = kEngineRate / 2.0;
// Overtones fade out between here and the Nyquist frequency at the top of a table's range, so
// neighbouring tables differ only in the quiet top of the band and a change of table is not
// heard.
constexpr double kPassHz = 18000.0;
// Linear interpolation leaves images of harmonic h at about (h / kPoints)^2 of its level; at a
// quarter of the table they stay below -80 dB of the fundamental.
constexpr int kHarmonics = BandLimitedWave::kPoints / 4;

// The fundamental always passes: a note keeps its level right up to the Nyquist frequency.
double overtoneGain(double hz)
{
    if (hz <= kPassHz)
        return 1.0;
    if (hz >= kNyquist)
        return 0.0;
    return 0.5 + 0.5 * std::cos(std::numbers::pi * (hz - kPassHz) / (kNyquist - kPassHz));
}

// The highest fundamental that a range serves.
double topOf(int range)
{
    return kNyquist * std::exp2(-double(range - 1) / BandLimitedWave::kTablesPerOctave);
}

} // namespace

BandLimitedWave::BandLimitedWave(Harmonics harmonics)
{
    appendTable(std::vector<double>(kHarmonics + 1, 0.0));
    std::vector<double> previous;
    for (int range = 1; range <= kRanges; ++range) {
        std::vector<double> weights = weightsOf(harmonics, range);
        if (weights != previous) {
            appendTable(weights);
            previous = std::move(weights);
        }
        m_starts[range] = qsizetype(m_pool.size()) - (kPoints + 1);
    }
    m_pool.shrink_to_fit();
}

int BandLimitedWave::rangeOf(double hz)
{
    if (!(hz < kNyquist))
        return 0;
    const double third = std::floor(kTablesPerOctave * std::log2(kNyquist / hz));
    return 1 + int(std::clamp(third, 0.0, double(kRanges - 1)));
}

std::vector<double> BandLimitedWave::weightsOf(Harmonics harmonics, int range)
{
    const double top = topOf(range);
    std::vector<double> weights(kHarmonics + 1, 0.0);
    weights[1] = harmonics(1);
    for (int h = 2; h <= kHarmonics; ++h)
        weights[h] = harmonics(h) * overtoneGain(h * top);
    return weights;
}

void BandLimitedWave::appendTable(const std::vector<double>& weights)
{
    // sin(2 pi h n / kPoints) is one of kPoints values, read exactly from a table.
    std::vector<double> sines(kPoints);
    for (int n = 0; n < kPoints; ++n)
        sines[n] = std::sin(2.0 * std::numbers::pi * n / kPoints);
    // A sum of sines is odd: the second half of the cycle mirrors the first.
    std::vector<double> sums(kPoints, 0.0);
    for (int h = 1; h < int(weights.size()); ++h) {
        if (weights[h] == 0.0)
            continue;
        for (int n = 1; n < kPoints / 2; ++n)
            sums[n] += weights[h] * sines[(h * n) & (kPoints - 1)];
    }
    for (int n = 1; n < kPoints / 2; ++n)
        sums[kPoints - n] = -sums[n];
    m_pool.insert(m_pool.end(), sums.begin(), sums.end());
    m_pool.push_back(float(sums[0]));
}
