#pragma once

#include <QtGlobal>

#include <array>
#include <vector>

// A wave shape as single-cycle tables, one per third of an octave of fundamental. Each holds
// only the harmonics that stay below the Nyquist frequency for every fundamental it serves,
// so a voice reads one table and never sums harmonics while it plays.
class BandLimitedWave {
public:
    // Points per cycle: a power of two, so a 32-bit phase splits into index and fraction.
    static constexpr int kIndexBits = 12;
    static constexpr int kPoints = 1 << kIndexBits;
    // Tables per octave of fundamental.
    static constexpr int kTablesPerOctave = 3;
    // Fundamentals below this many octaves under the Nyquist frequency share the last table.
    static constexpr int kOctaves = 10;

    // Sine amplitude of harmonic h (from 1) of the ideal shape, whose cycle starts at a zero
    // crossing.
    using Harmonics = double (*)(int h);

    explicit BandLimitedWave(Harmonics harmonics);

    // kPoints + 1 samples, the last repeating the first, for a fundamental of `hz`; silence
    // from the Nyquist frequency up.
    const float* tableFor(double hz) const { return m_pool.data() + m_starts[rangeOf(hz)]; }

private:
    static constexpr int kRanges = kOctaves * kTablesPerOctave + 1;

    // 0 for silence, then 1 + the third of an octave below the Nyquist frequency.
    static int rangeOf(double hz);
    // The weight of each harmonic in the table of `range`, its first entry unused.
    static std::vector<double> weightsOf(Harmonics harmonics, int range);
    // Appends one table summed from `weights`.
    void appendTable(const std::vector<double>& weights);

    std::vector<float> m_pool;
    // Where each range's table starts in the pool; ranges with equal weights share one.
    std::array<qsizetype, kRanges + 1> m_starts {};
};
