#include "processors/sources/SawProcessor.h"

#include "core/EngineRate.h"
#include "processors/units/VectorOf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Hertz between neighbouring voices; the middle voice sits on the note.
constexpr double kDetune = 0.3;
// Below this level the voices are not worth computing.
constexpr double kAudible = 0.0001;
// Samples whose phases are stepped before any of them is summed, so that the sums and
// divisions run over whole arrays.
constexpr quint64 kStretch = 128;

// std::fmod(x, 2 pi), bit for bit, without its cost where the answer is plain: fmod
// leaves any |x| < 2 pi as it is, and on [2 pi, 4 pi) x - 2 pi is the exact remainder.
inline double wrap(double x)
{
    if (std::abs(x) < kTwoPi)
        return x;
    if (x >= kTwoPi && x < 2.0 * kTwoPi)
        return x - kTwoPi;
    return std::fmod(x, kTwoPi);
}

// Two voices in one SSE register; plain arithmetic on it works lane by lane.
using Pack = VectorOf<double, 2>;
using Mask = decltype(Pack {} < Pack {});
constexpr Mask kMagnitudeBits = { 0x7FFFFFFFFFFFFFFF, 0x7FFFFFFFFFFFFFFF };

inline Pack magnitude(Pack x)
{
    return Pack(Mask(x) & kMagnitudeBits);
}

// maxpd; phases are always finite, so no NaN can hide behind it.
inline Pack larger(Pack a, Pack b)
{
    return a > b ? a : b;
}

inline double voiceValue(double phase)
{
    return 2.0 * phase / kTwoPi - 1.0;
}

// The output of a stretch from its phases, voice by voice so that each sample is summed
// in the voices' order. Nothing here is a product followed by a sum, so a build for a
// processor with fused multiply-add cannot change a value.
[[gnu::always_inline]] inline void mixVoicesWith(
    const double (*phases)[kStretch], const double* levels, double* out, quint64 n)
{
    double sums[kStretch];
    std::fill_n(sums, n, 0.0);
    for (int k = 0; k < SawProcessor::kVoices; ++k)
        for (quint64 i = 0; i < n; ++i)
            sums[i] += voiceValue(phases[k][i]);
    for (quint64 i = 0; i < n; ++i)
        out[i] = sums[i] / SawProcessor::kVoices * levels[i];
}

#if defined(__x86_64__)
[[gnu::target("avx512f")]] void mixVoicesAvx512(
    const double (*phases)[kStretch], const double* levels, double* out, quint64 n)
{
    mixVoicesWith(phases, levels, out, n);
}

[[gnu::target("avx2")]] void mixVoicesAvx2(
    const double (*phases)[kStretch], const double* levels, double* out, quint64 n)
{
    mixVoicesWith(phases, levels, out, n);
}

// Divisions dominate the mix, and wider registers divide more at once than the
// baseline's SSE2, so the widest the processor has is taken. Chosen per call rather than
// through target_clones, whose resolver runs before ThreadSanitizer is ready.
void mixVoices(const double (*phases)[kStretch], const double* levels, double* out, quint64 n)
{
    if (__builtin_cpu_supports("avx512f"))
        mixVoicesAvx512(phases, levels, out, n);
    else if (__builtin_cpu_supports("avx2"))
        mixVoicesAvx2(phases, levels, out, n);
    else
        mixVoicesWith(phases, levels, out, n);
}
#else
void mixVoices(const double (*phases)[kStretch], const double* levels, double* out, quint64 n)
{
    mixVoicesWith(phases, levels, out, n);
}
#endif

} // namespace

SawProcessor::SawProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Saw", false, true, true, true, false, false))
{
    Q_UNUSED(sampleRate);
}

SchemaPointer SawProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::midiNote("Note", "Oscillator frequency", 255),
            ParameterDescriptor::byte("Volume", "Amplitude of signal", 0, 255, 255, 128),
        };
        return layout;
    });
}

void SawProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    m_noteOnPending = false;
    m_noteOffPending = false;
    const RowLanes lanes(values, count);
    if (const auto note = lanes.except(Note, RowLanes::kEmptyNote)) {
        if (*note == RowLanes::kNoteOff) {
            m_noteOffPending = true;
        } else {
            m_note = *note;
            m_noteOnPending = true;
        }
    }
    if (const auto volume = lanes.below(Volume, RowLanes::kEmptyByte))
        m_volume = *volume / 255.0;
}

float SawProcessor::frequency() const
{
    if (m_silent)
        return 0.0f;
    const float f = 440.0f * std::pow(2.0f, (float(m_note) - 69.0f) / 12.0f);
    // A note far beyond the keyboard overflows; let it be silence rather than poison the phases.
    return std::isfinite(f) ? f : 0.0f;
}

void SawProcessor::process(AudioContext& context)
{
    if (m_noteOffPending) {
        m_noteOffPending = false;
        m_silent = true;
    } else if (m_noteOnPending) {
        m_noteOnPending = false;
        m_silent = false;
    }
    const double f = frequency();
    const double target = m_silent ? 0.0 : m_volume;
    std::array<double, kVoices> steps;
    for (int k = 0; k < kVoices; ++k) {
        const double hz = (k - kVoices / 2) * kDetune + f;
        steps[k] = hz * kTwoPi / kEngineRate;
    }
    double* out = context.data;
    for (quint64 start = 0; start < context.frames; start += kStretch) {
        const quint64 n = std::min(kStretch, context.frames - start);
        double levels[kStretch];
        bool audible = true;
        if (m_level.level == target) {
            // Settled: the ramp would hand back the same level every sample.
            std::fill_n(levels, n, m_level.level);
            audible = m_level.level > kAudible;
        } else {
            for (quint64 i = 0; i < n; ++i) {
                levels[i] = m_level.next(target);
                audible = audible && levels[i] > kAudible;
            }
        }
        if (audible)
            renderStretch(steps, levels, out + start, n);
        else
            renderFading(steps, levels, out + start, n);
    }
}

void SawProcessor::renderStretch(
    const std::array<double, kVoices>& steps, const double* levels, double* out, quint64 n)
{
    static_assert(kVoices == 7, "the phases below are written out for seven voices");
    // Two voices to a register, named rather than in an array so that they stay in
    // registers. A phase wraps once a period, so at most pitches nearly every sample is
    // a plain addition and the branch to wrap() is well predicted.
    Pack p0 = { m_phases[0], m_phases[1] };
    Pack p1 = { m_phases[2], m_phases[3] };
    Pack p2 = { m_phases[4], m_phases[5] };
    Pack p3 = { m_phases[6], 0.0 };
    const Pack s0 = { steps[0], steps[1] };
    const Pack s1 = { steps[2], steps[3] };
    const Pack s2 = { steps[4], steps[5] };
    const Pack s3 = { steps[6], 0.0 };
    double phases[kVoices][kStretch];
    for (quint64 i = 0; i < n; ++i) {
        p0 += s0;
        p1 += s1;
        p2 += s2;
        p3 += s3;
        const Pack top
            = larger(larger(magnitude(p0), magnitude(p1)), larger(magnitude(p2), magnitude(p3)));
        if (!(top[0] < kTwoPi && top[1] < kTwoPi)) [[unlikely]] {
            p0 = Pack { wrap(p0[0]), wrap(p0[1]) };
            p1 = Pack { wrap(p1[0]), wrap(p1[1]) };
            p2 = Pack { wrap(p2[0]), wrap(p2[1]) };
            p3 = Pack { wrap(p3[0]), 0.0 };
        }
        phases[0][i] = p0[0];
        phases[1][i] = p0[1];
        phases[2][i] = p1[0];
        phases[3][i] = p1[1];
        phases[4][i] = p2[0];
        phases[5][i] = p2[1];
        phases[6][i] = p3[0];
    }
    m_phases = { p0[0], p0[1], p1[0], p1[1], p2[0], p2[1], p3[0] };
    mixVoices(phases, levels, out, n);
}

void SawProcessor::renderFading(
    const std::array<double, kVoices>& steps, const double* levels, double* out, quint64 n)
{
    for (quint64 i = 0; i < n; ++i) {
        if (levels[i] <= kAudible) {
            out[i] = 0.0; // the phases wait
            continue;
        }
        double sum = 0.0;
        for (int k = 0; k < kVoices; ++k) {
            m_phases[k] = wrap(m_phases[k] + steps[k]);
            sum += voiceValue(m_phases[k]);
        }
        out[i] = sum / kVoices * levels[i];
    }
}
