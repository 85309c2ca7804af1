#include "processors/bells/KaguraSuzuProcessor.h"

#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/units/FlushDenormals.h"

#include <algorithm>

namespace {

constexpr double kByteFull = 255.0;
// The Bells lane holds the count itself; its empty mark is the default count, and values
// outside the declared range are ignored.
constexpr quint32 kFewestBells = 3;
constexpr quint32 kMostBells = 24;
constexpr quint32 kBellsEmpty = 12;
constexpr int kNoShake = 0;
// Below this the shake has stopped feeding the beads.
constexpr double kShakeFloor = 0.0001;

} // namespace

KaguraSuzuProcessor::KaguraSuzuProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Kagura Suzu", false, true, true, true, false, false))
    , m_highPass(kEngineRate, Biquad<double>::HighPass, 800.0 / kEngineRate, 0.707, 0.0)
    , m_presence(kEngineRate, Biquad<double>::Peaking, 3500.0 / kEngineRate, 1.5, 3.0)
    , m_shakeDecay(std::pow(0.001, 1.0 / (0.3 * kEngineRate)))
{
    // The bells are tuned for the engine's fixed rate.
    Q_UNUSED(sampleRate);
    m_highPass.computeCoefficients();
    m_presence.computeCoefficients();
}

SchemaPointer KaguraSuzuProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::byte("Bells", "Number of bells in cluster", kFewestBells,
                kMostBells, kBellsEmpty, kBellsEmpty),
            ParameterDescriptor::byte(
                "Brightness", "Bell brightness / high partial mix", 0, 255, 128, 128),
            ParameterDescriptor::byte("Decay", "Ring-out decay time", 0, 255, 128, 160),
            ParameterDescriptor::byte(
                "BellSize", "Bell size (low=large/deep, high=tiny/bright)", 0, 255, 128, 128),
        };
        layout->trackParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger note", 255),
            ParameterDescriptor::byte("Velocity", "Shake/strike intensity", 0, 255, 255, 128),
            ParameterDescriptor::makeSwitch("Mode", "Shake (0) vs Strike (1)", 0),
        };
        return layout;
    });
}

void KaguraSuzuProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial) || count < kLaneCount)
        return;
    const RowLanes lanes(values, count);
    const auto bells = lanes.byteExcept(Bells, kBellsEmpty);
    if (bells && *bells >= kFewestBells && *bells <= kMostBells)
        m_cluster.bells = qint32(*bells);
    if (const auto v = lanes.byteExcept(Brightness, RowLanes::kEmptyMiddle)) {
        m_presence.gainDb = *v / kByteFull * 6.0;
        m_presence.computeCoefficients();
    }
    if (const auto v = lanes.byteExcept(Decay, RowLanes::kEmptyMiddle)) {
        const double samples = ((1.0 - *v / kByteFull) * 3.0 + 0.3) * m_cluster.sampleRate;
        m_cluster.energyDecay = samples > 0.0 ? std::pow(0.001, 1.0 / samples) : 0.0;
    }
    if (const auto v = lanes.byteExcept(BellSize, RowLanes::kEmptyMiddle))
        m_cluster.tune(*v / kByteFull * 3.75 + 0.25);

    if (lanes.raw(Note) == RowLanes::kNoteOff) {
        m_shakeEnv = 0.0;
        return;
    }
    if (!lanes.below(Note, RowLanes::kNoteOff))
        return;
    const auto velocity = lanes.below(Velocity, RowLanes::kEmptyByte);
    const double v = velocity ? *velocity / kByteFull : 0.5;
    // Only an explicit 0 shakes; a strike is the default.
    if (lanes.raw(Mode) == quint32(kNoShake))
        m_shakeEnv = v;
    else
        m_cluster.strike(v);
}

void KaguraSuzuProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    // The partials ring on far below hearing; subnormal steps there cost many times more.
    const FlushDenormals flush;
    for (quint64 done = 0; done < context.frames;) {
        const int n = int(std::min<quint64>(context.frames - done, kChunk));
        renderChunk(context.data + done, n);
        done += quint64(n);
    }
}

void KaguraSuzuProcessor::renderChunk(double* out, int n)
{
    bool silent = true;
    // A row may have struck or changed the bells; the first sample looks again.
    m_cluster.settled = false;
    for (int i = 0; i < n; ++i) {
        if (m_shakeEnv > kShakeFloor) {
            const double push = m_shakeEnv * 0.01;
            m_cluster.energy += push * push;
            m_shakeEnv *= m_shakeDecay;
        } else if (m_cluster.settled) {
            // Nothing raises the energy any more, so no bead collides before the next row.
            m_cluster.coast(n - i);
            std::fill(m_excitation + i, m_excitation + n, 0.0);
            break;
        }
        m_excitation[i] = m_cluster.collide();
        silent = silent && m_excitation[i] == 0.0;
    }
    // Still partials and filters fed zeros give exact zeros, and stay still.
    const auto still = [](const Biquad<double>& f) { return f.s1 == 0.0 && f.s2 == 0.0; };
    if (silent && m_cluster.still() && still(m_highPass) && still(m_presence)) {
        std::fill(out, out + n, 0.0);
        return;
    }
    // Local copies keep the filter state in registers through the loop.
    Biquad<double> highPass = m_highPass;
    Biquad<double> presence = m_presence;
    m_cluster.ring(
        m_excitation, n, [&](int i, double y) { out[i] = presence.process(highPass.process(y)); });
    m_highPass = highPass;
    m_presence = presence;
}
