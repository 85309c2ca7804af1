#include "processors/scope/SpectrumAnalyser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__clang__)
// Clang, too, would fuse products into sums in the wide kernels; every kernel rounds alike.
#pragma clang fp contract(off)
#endif

namespace {

template <class V> [[gnu::always_inline]] inline void load(V& value, const double* from)
{
    std::memcpy(&value, from, sizeof value);
}

template <class V> [[gnu::always_inline]] inline void store(double* to, const V& value)
{
    std::memcpy(to, &value, sizeof value);
}

// Four and eight bins to a register, for the AVX and AVX-512 kernels.
using Pack4 = VectorOf<double, 4>;
using Pack8 = VectorOf<double, 8>;

} // namespace

SpectrumAnalyser::Kernel SpectrumAnalyser::widestKernel()
{
#if defined(__x86_64__) || defined(__i386__)
    // Checked once; the wide kernels are compiled for their instruction sets alone.
    static const Kernel widest = __builtin_cpu_supports("avx512f") ? Kernel::Avx512
        : __builtin_cpu_supports("avx")                            ? Kernel::Avx
                                                                   : Kernel::Sse2;
    return widest;
#else
    return Kernel::Sse2;
#endif
}

void SpectrumAnalyser::useKernel(Kernel kernel)
{
    m_kernel = std::min(kernel, widestKernel());
}

SpectrumAnalyser::SpectrumAnalyser(const Config& config)
    : m_config(config)
{
    const int n = std::max(0, m_config.bins);
    m_config.bins = n;
    m_frequency.resize(n);
    m_alpha.resize(n);
    m_beta.resize(n);
    m_keep1.resize(n);
    m_keep2.resize(n);
    m_smooth1.assign(2 * n, 0.0);
    m_smooth2.assign(2 * n, 0.0);
    m_phasor.assign(2 * n, 0.0);
    m_rotation.resize(2 * n);
    const double fs = m_config.sampleRate;
    const double logMin = std::log(m_config.minFrequency);
    const double logMax = std::log(m_config.maxFrequency);
    for (int k = 0; k < n; ++k) {
        const double t = n < 2 ? 0.0 : double(k) / double(n - 1);
        const double f = m_config.logarithmic
            ? std::exp(logMin + (logMax - logMin) * t)
            : m_config.minFrequency + (m_config.maxFrequency - m_config.minFrequency) * t;
        m_frequency[k] = f;
        m_alpha[k] = 1.0 - std::exp(-f / (fs * std::log(f + 1.0)));
        m_beta[k] = m_alpha[k] / 2.0;
        m_keep1[k] = 1.0 - m_alpha[k];
        m_keep2[k] = 1.0 - m_beta[k];
        const double theta = -2.0 * std::numbers::pi * f / fs;
        m_phasor[k] = 1.0;
        m_rotation[k] = std::cos(theta);
        m_rotation[n + k] = std::sin(theta);
    }
}

void SpectrumAnalyser::step(double x)
{
    const int n = m_config.bins;
    double* s1r = m_smooth1.data();
    double* s1i = s1r + n;
    double* s2r = m_smooth2.data();
    double* s2i = s2r + n;
    double* pr = m_phasor.data();
    double* pi = pr + n;
    const double* rr = m_rotation.data();
    const double* ri = rr + n;
    for (int k = 0; k < n; ++k) {
        const double ax = m_alpha[k] * x;
        s1r[k] = m_keep1[k] * s1r[k] + ax * pr[k];
        s1i[k] = m_keep1[k] * s1i[k] + ax * pi[k];
        s2r[k] = m_keep2[k] * s2r[k] + m_beta[k] * s1r[k];
        s2i[k] = m_keep2[k] * s2i[k] + m_beta[k] * s1i[k];
        const double re = pr[k] * rr[k] - pi[k] * ri[k];
        pi[k] = pr[k] * ri[k] + pi[k] * rr[k];
        pr[k] = re;
    }
    advanceRenorm(1);
}

void SpectrumAnalyser::run(const double* samples, quint64 count)
{
    while (count > 0) {
        // Chunks end where a renormalisation falls, so it sees the same phasors as in step().
        const quint64 m = std::min(count, kRenormInterval - m_renormCounter);
        runBins(samples, m);
        advanceRenorm(m);
        samples += m;
        count -= m;
    }
}

// The bins are independent, so a few at a time take the whole chunk with their state in
// registers, two to a vector. Each bin still sees the operations of step() in the same
// order, so the values are the same to the last bit.
template <class V, int P>
[[gnu::always_inline]] inline void SpectrumAnalyser::runGroup(
    int k0, const double* samples, quint64 count)
{
    constexpr int w = int(sizeof(V) / sizeof(double));
    const int n = m_config.bins;
    V a[P], b[P], keep1[P], keep2[P], rr[P], ri[P];
    V s1r[P], s1i[P], s2r[P], s2i[P], pr[P], pi[P];
    for (int j = 0; j < P; ++j) {
        const int k = k0 + w * j;
        load(a[j], &m_alpha[k]);
        load(b[j], &m_beta[k]);
        load(keep1[j], &m_keep1[k]);
        load(keep2[j], &m_keep2[k]);
        load(rr[j], &m_rotation[k]);
        load(ri[j], &m_rotation[n + k]);
        load(s1r[j], &m_smooth1[k]);
        load(s1i[j], &m_smooth1[n + k]);
        load(s2r[j], &m_smooth2[k]);
        load(s2i[j], &m_smooth2[n + k]);
        load(pr[j], &m_phasor[k]);
        load(pi[j], &m_phasor[n + k]);
    }
    for (quint64 i = 0; i < count; ++i) {
        const double x = samples[i];
#pragma GCC unroll 8
        for (int j = 0; j < P; ++j) {
            const V ax = a[j] * x;
            s1r[j] = keep1[j] * s1r[j] + ax * pr[j];
            s1i[j] = keep1[j] * s1i[j] + ax * pi[j];
            s2r[j] = keep2[j] * s2r[j] + b[j] * s1r[j];
            s2i[j] = keep2[j] * s2i[j] + b[j] * s1i[j];
            const V re = pr[j] * rr[j] - pi[j] * ri[j];
            pi[j] = pr[j] * ri[j] + pi[j] * rr[j];
            pr[j] = re;
        }
    }
    for (int j = 0; j < P; ++j) {
        const int k = k0 + w * j;
        store(&m_smooth1[k], s1r[j]);
        store(&m_smooth1[n + k], s1i[j]);
        store(&m_smooth2[k], s2r[j]);
        store(&m_smooth2[n + k], s2i[j]);
        store(&m_phasor[k], pr[j]);
        store(&m_phasor[n + k], pi[j]);
    }
}

void SpectrumAnalyser::runBins(const double* samples, quint64 count)
{
    switch (m_kernel) {
    case Kernel::Avx512:
        runBinsAvx512(samples, count);
        break;
    case Kernel::Avx:
        runBinsAvx(samples, count);
        break;
    default:
        runBinsWith<Pack, kGroup / kPackWidth>(samples, count);
    }
}

// The loop is bound by the number of multiplies, so wider registers take more bins per
// instruction. Lanes of a vector never mix and no multiply is fused, so every kernel gives
// the same values.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void SpectrumAnalyser::runBinsAvx(
    const double* samples, quint64 count)
{
    runBinsWith<Pack4, 2>(samples, count);
}

// AVX-512F brings FMA with it, and GCC would fuse the products into the sums (Clang is held
// back by the pragma above).
#if defined(__clang__)
#define ZARN_NO_CONTRACTION
#else
#define ZARN_NO_CONTRACTION , optimize("fp-contract=off")
#endif
__attribute__((target("avx512f") ZARN_NO_CONTRACTION)) void SpectrumAnalyser::runBinsAvx512(
    const double* samples, quint64 count)
{
    runBinsWith<Pack8, 2>(samples, count);
}
#else
void SpectrumAnalyser::runBinsAvx(const double* samples, quint64 count)
{
    runBinsWith<Pack, kGroup / kPackWidth>(samples, count);
}

void SpectrumAnalyser::runBinsAvx512(const double* samples, quint64 count)
{
    runBinsWith<Pack, kGroup / kPackWidth>(samples, count);
}
#endif

// Groups of P vectors, then the bins left over one at a time.
template <class V, int P>
[[gnu::always_inline]] inline void SpectrumAnalyser::runBinsWith(
    const double* samples, quint64 count)
{
    constexpr int group = P * int(sizeof(V) / sizeof(double));
    const int n = m_config.bins;
    int k = 0;
    for (; k + group <= n; k += group)
        runGroup<V, P>(k, samples, count);
    for (; k < n; ++k)
        runGroup<double, 1>(k, samples, count);
}

void SpectrumAnalyser::advanceRenorm(quint64 count)
{
    m_renormCounter += count;
    if (m_renormCounter < kRenormInterval)
        return;
    m_renormCounter = 0;
    renormalise();
}

void SpectrumAnalyser::renormalise()
{
    const int n = m_config.bins;
    for (int k = 0; k < n; ++k) {
        const double magnitude
            = std::sqrt(m_phasor[k] * m_phasor[k] + m_phasor[n + k] * m_phasor[n + k]);
        if (magnitude != 0.0) {
            m_phasor[k] /= magnitude;
            m_phasor[n + k] /= magnitude;
        }
    }
}

void SpectrumAnalyser::clear()
{
    std::fill(m_smooth1.begin(), m_smooth1.end(), 0.0);
    std::fill(m_smooth2.begin(), m_smooth2.end(), 0.0);
}

double SpectrumAnalyser::power(int k) const
{
    const int n = m_config.bins;
    const double re = m_smooth2[k];
    const double im = m_smooth2[n + k];
    return re * re + im * im;
}
