#pragma once

#include "core/EngineRate.h"

#include "processors/units/VectorOf.h"

#include <QtGlobal>

#include <vector>

// A bank of complex resonators: each bin turns the signal down to 0 Hz with its own
// phasor and smooths the result twice, so |smooth2|² is the power near the bin's
// frequency. Per sample the bank only multiplies and adds; the phasors' drift is
// corrected by renormalising them every 512 samples.
class SpectrumAnalyser {
public:
    struct Config {
        int bins = 256;
        double sampleRate = kEngineRate;
        double minFrequency = 20.0;
        double maxFrequency = 20000.0;
        bool logarithmic = true;
    };

    static constexpr quint64 kRenormInterval = 512;
    // Two bins in one SSE register; plain arithmetic on it works lane by lane.
    using Pack = VectorOf<double, 2>;
    static constexpr int kPackWidth = 2;
    // Bins that run side by side in the block loop.
    static constexpr int kGroup = 4;

    // The instruction sets the block loop can use; every one gives the same bits, since
    // none fuses a multiply into an add.
    enum class Kernel { Sse2, Avx, Avx512 };
    // The widest kernel this processor runs.
    static Kernel widestKernel();

    SpectrumAnalyser()
        : SpectrumAnalyser(Config {})
    {
    }
    explicit SpectrumAnalyser(const Config& config);

    // One sample through every bin.
    void step(double x);
    // `count` samples; the same values as `count` calls of step(), bin after bin.
    void run(const double* samples, quint64 count);

    // Picks the block loop's kernel, at most the widest available; for comparing them.
    void useKernel(Kernel kernel);
    Kernel kernel() const { return m_kernel; }

    // Zeroes the smoothers; the phasors run on.
    void clear();

    // |smooth2|² of bin k.
    double power(int k) const;
    int bins() const { return m_config.bins; }
    const Config& config() const { return m_config; }
    const std::vector<double>& frequency() const { return m_frequency; }
    const std::vector<double>& alpha() const { return m_alpha; }

private:
    void runBins(const double* samples, quint64 count);
    // Inlined into each kernel, so they compile for its instruction set.
    template <class V, int P>
    [[gnu::always_inline]] void runBinsWith(const double* samples, quint64 count);
    void runBinsAvx(const double* samples, quint64 count);
    void runBinsAvx512(const double* samples, quint64 count);
    template <class V, int P>
    [[gnu::always_inline]] void runGroup(int k0, const double* samples, quint64 count);
    void advanceRenorm(quint64 count);
    void renormalise();

    Config m_config;
    std::vector<double> m_frequency;
    std::vector<double> m_alpha;
    std::vector<double> m_beta;
    // Complex vectors: real parts in the first half, imaginary parts in the second.
    std::vector<double> m_smooth1;
    std::vector<double> m_smooth2;
    std::vector<double> m_phasor;
    std::vector<double> m_rotation;
    quint64 m_renormCounter = 0;
    Kernel m_kernel = widestKernel();
    // 1 − alpha and 1 − beta, so the loops do not form them per sample.
    std::vector<double> m_keep1;
    std::vector<double> m_keep2;
};
