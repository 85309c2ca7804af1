#include "processors/percussion/TaikoProcessor.h"

#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/units/FlushDenormals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kMaxCourant2 = 0.45;
constexpr double kReferenceSize = 0.45;
constexpr double kLimit = 2.0;
constexpr double kByteFull = 255.0;
constexpr int kBodyModes = 5;

struct BodyMode {
    double frequency;
    double ringTime;
    double gain;
};

constexpr BodyMode kBodyTable[kBodyModes] = {
    { 85.0, 0.25, 0.4 },
    { 170.0, 0.18, 0.25 },
    { 260.0, 0.12, 0.15 },
    { 380.0, 0.08, 0.08 },
    { 520.0, 0.05, 0.04 },
};

// Per-sample factor of a fall by 60 dB in `seconds`.
double fallFactor(double seconds)
{
    return std::pow(0.001, 1.0 / (kEngineRate * seconds));
}

} // namespace

template <class T> CircularMembrane<T>::CircularMembrane()
{
    ringStart.resize(std::size_t(rings));
    ringPoints.resize(std::size_t(rings));
    qint32 start = 0;
    for (qint32 j = 0; j < rings; ++j) {
        ringStart[j] = start;
        ringPoints[j] = membraneRingPoints(j);
        start += ringPoints[j];
    }
    totalPoints = start;
    current.assign(std::size_t(totalPoints), T(0));
    previous.assign(std::size_t(totalPoints), T(0));
    next.assign(std::size_t(totalPoints), T(0));

    updateCourant();
}

template <class T> void CircularMembrane<T>::updateCourant()
{
    const T ratio = T(kReferenceSize) / size;
    courant2 = std::min(T(kMaxCourant2), tension * (ratio * ratio) * T(0.25));
}

template <class T> void CircularMembrane<T>::clear()
{
    std::fill(current.begin(), current.end(), T(0));
    std::fill(previous.begin(), previous.end(), T(0));
    std::fill(next.begin(), next.end(), T(0));
}

template <class T> T CircularMembrane<T>::tick()
{
    return advance(membraneStep(lanes, nonlinear > T(0)), pickupPoint());
}

template <class T> void CircularMembrane<T>::render(T* out, qint64 frames)
{
    if (atRest()) {
        std::fill(out, out + frames, T(0));
        return;
    }
    // Settings only change between renders: the step and the pickup are chosen once.
    const MembraneStep step = membraneStep(lanes, nonlinear > T(0));
    const std::size_t pickup = pickupPoint();
    for (qint64 i = 0; i < frames; ++i)
        out[i] = advance(step, pickup);
}

template <class T> std::size_t CircularMembrane<T>::pickupPoint() const
{
    return std::size_t(ringStart[pickupRing] + pickupIndex % ringPoints[pickupRing]);
}

template <class T> T CircularMembrane<T>::advance(MembraneStep step, std::size_t pickup)
{
    const MembraneGrid grid { current.data(), previous.data(), next.data(), courant2, nonlinear,
        loss, m_rimSteps > 0 };
    step(grid);
    m_rimSteps = std::max(m_rimSteps - 1, 0);
    // current <- next, previous <- current, next <- previous: three pointer swaps.
    std::swap(previous, next);
    std::swap(current, previous);
    return current[pickup];
}

template <class T> bool CircularMembrane<T>::atRest() const
{
    const auto zero = [](const std::vector<T>& points) {
        return std::all_of(points.begin(), points.end(), [](T x) { return x == T(0); });
    };
    return zero(current) && zero(previous);
}

template <class T> void CircularMembrane<T>::strike(T velocity, T position)
{
    m_rimSteps = 3;
    const T radius = std::max(T(0.18) * T(rings), T(1));
    const T amount = T(0.03) * velocity;
    for (qint32 j = 1; j < rings; ++j) {
        const qint32 points = ringPoints[j];
        const T dr = T(j) - T(rings - 1) * position;
        for (qint32 k = 0; k < points; ++k) {
            const T a = std::fmod(T(k) * T(kTwoPi) / T(points), T(kTwoPi));
            const T arc = std::min(a, T(kTwoPi) - a) * T(j);
            const T d2 = arc * arc + dr * dr;
            if (d2 >= radius * radius)
                continue;
            const T w = (std::cos(std::sqrt(d2) * std::numbers::pi_v<T> / radius) + T(1)) / T(2);
            const qint32 p = ringStart[j] + k;
            current[p] += w * amount;
            previous[p] += w * amount * T(0.95);
        }
    }
}

template class CircularMembrane<double>;

TaikoProcessor::TaikoProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Taiko", false, true, true, true, false, false))
    , m_body(kEngineRate, kBodyModes)
    , m_bodyFilter(kEngineRate, Biquad<double>::LowPass, 200.0 / kEngineRate, 0.8, 0.0)
    , m_noiseDecay(fallFactor(0.008))
{
    // The head and the body are tuned for the engine's fixed rate.
    Q_UNUSED(sampleRate);
    m_bodyFilter.computeCoefficients();
    rebuildBody();
}

SchemaPointer TaikoProcessor::schema() const
{
    return schemaOnce([] {
        auto layout = QSharedPointer<NodeParameterSchema>::create();
        layout->nodeParameters = {
            ParameterDescriptor::byte("Tension", "Membrane tension (pitch)", 0, 255, 128, 128),
            ParameterDescriptor::byte("Size", "Drum size / body resonance", 0, 255, 128, 160),
            ParameterDescriptor::byte(
                "Damping", "Head damping (low=short, high=long)", 0, 255, 128, 96),
            ParameterDescriptor::byte("Gain", "Output gain", 0, 255, 128, 64),
            ParameterDescriptor::byte("BodyDecay", "Body resonance ring time", 0, 255, 128, 88),
            ParameterDescriptor::byte("Nonlinear", "Pitch drop on hard hits", 0, 255, 128, 128),
        };
        layout->trackParameters = {
            ParameterDescriptor::midiNote("Note", "Trigger note", 255),
            ParameterDescriptor::byte("Velocity", "Strike velocity", 0, 255, 255, 128),
            ParameterDescriptor::byte(
                "Position", "Strike position (centre to edge)", 0, 255, 128, 64),
        };
        return layout;
    });
}

void TaikoProcessor::rebuildBody()
{
    m_body.clearModes();
    for (const BodyMode& mode : kBodyTable)
        m_body.addMode(mode.frequency, mode.ringTime * m_bodyDecay, mode.gain);
}

void TaikoProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial) || count < kLaneCount)
        return;
    const RowLanes lanes(values, count);
    const auto byteLane
        = [&lanes](Lane lane) { return lanes.byteExcept(lane, RowLanes::kEmptyMiddle); };
    if (const auto v = byteLane(Tension)) {
        m_membrane.tension = *v / kByteFull * 1.6 + 0.2;
        m_membrane.updateCourant();
    }
    if (const auto v = byteLane(Size)) {
        m_membrane.size = *v / kByteFull * 0.6 + 0.15;
        m_membrane.updateCourant();
        rebuildBody();
    }
    if (const auto v = byteLane(Damping))
        m_membrane.loss = *v / kByteFull * 0.0499 + 0.95;
    if (const auto v = byteLane(Gain))
        m_outputGain = *v / kByteFull * 0.02;
    if (const auto v = byteLane(Nonlinear))
        m_membrane.nonlinear = *v / kByteFull * 16.0;
    if (const auto v = byteLane(BodyDecay)) {
        m_bodyDecay = *v / kByteFull * 2.9 + 0.1;
        rebuildBody();
    }
    if (lanes.raw(Note) == RowLanes::kNoteOff)
        m_membrane.loss = 0.9; // a hand on the head
    else if (lanes.below(Note, RowLanes::kNoteOff))
        strike(lanes);
}

void TaikoProcessor::strike(const RowLanes& lanes)
{
    const auto velocity = lanes.below(Velocity, RowLanes::kEmptyByte);
    const auto position = lanes.byteExcept(Position, RowLanes::kEmptyMiddle);
    const double v = velocity ? *velocity / kByteFull : 0.5;
    const double p = position ? *position / kByteFull : 0.3;
    m_membrane.strike(v, p);
    m_noiseEnv = v;
}

void TaikoProcessor::reset()
{
    m_membrane.clear();
    m_body.rest();
    m_noiseEnv = 0.0;
    m_bodyFilter.clearState();
    m_dcBlocker.clear();
}

void TaikoProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const FlushDenormals flush;
    for (quint64 start = 0; start < context.frames; start += kChunk) {
        const qint64 frames = qint64(std::min<quint64>(kChunk, context.frames - start));
        m_membrane.render(m_head.data(), frames);
        renderVoice(context.data + start, frames);
    }
}

// The head's chunk through the rest of the voice: the body's modes over the chunk first,
// then the filter, noise and DC blocker, all in locals so that their state stays in
// registers while the block is written.
void TaikoProcessor::renderVoice(double* out, qint64 frames)
{
    std::array<double, kChunk> body;
    for (qint64 i = 0; i < frames; ++i) {
        const double head = m_head[std::size_t(i)];
        m_head[std::size_t(i)] = std::clamp(std::isfinite(head) ? head : 0.0, -kLimit, kLimit);
    }
    m_body.process<kBodyModes>(m_head.data(), body.data(), frames);
    Biquad<double> bodyFilter = m_bodyFilter;
    XorShift32 noise = m_noise;
    double noiseEnv = m_noiseEnv;
    DcBlockerUnit<double> dcBlocker = m_dcBlocker;
    for (qint64 i = 0; i < frames; ++i) {
        const double m = m_head[std::size_t(i)];
        double b = bodyFilter.process(body[std::size_t(i)]);
        if (!std::isfinite(b))
            b = 0.0;
        const double n = 2.0 * noise.uniform() - 1.0;
        const double e = noiseEnv;
        noiseEnv = e * m_noiseDecay;
        const double x = (b * m_bodyMix + m_membraneMix * m + n * e * m_noiseMix) * m_outputGain;
        out[i] = std::clamp(dcBlocker.process(x), -1.0, 1.0);
    }
    m_bodyFilter = bodyFilter;
    m_noise = noise;
    m_noiseEnv = noiseEnv;
    m_dcBlocker = dcBlocker;
}
