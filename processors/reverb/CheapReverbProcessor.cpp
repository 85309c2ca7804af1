#include "processors/reverb/CheapReverbProcessor.h"
#include "processors/RowLanes.h"
#include "processors/effects/LaneScale.h"
#include "processors/units/Sanitize.h"

#include <algorithm>

namespace {

constexpr double kMinFeedback = 0.5;
constexpr double kFeedbackSpan = 0.45;
constexpr double kCombMix = 0.25; // the average of the four combs
constexpr double kAllPassGain = 0.5;

} // namespace

CheapReverbProcessor::CheapReverbProcessor(int sampleRate)
    : Processor(ProcessorCharacter("CheapReverb", true, true, true, true, false, false))
{
    // The delays are fixed in samples at the engine rate.
    Q_UNUSED(sampleRate);
    for (std::size_t k = 0; k < m_combs.size(); ++k)
        m_combs[k].line.resize(kCombLengths[k]);
    for (std::size_t j = 0; j < m_allPasses.size(); ++j)
        m_allPasses[j].line.resize(kAllPassLengths[j]);
}

SchemaPointer CheapReverbProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Decay", "Reverb decay time", 0, 254, 255, 128),
            ParameterDescriptor::byte("DryWet", "Dry/wet mix (0=dry, max=wet)", 0, 254, 255, 77),
            ParameterDescriptor::byte("Damping", "High-frequency damping", 0, 254, 255, 128),
        };
        return schema;
    });
}

void CheapReverbProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    bool changed = false;
    const auto take = [&](Lane lane, double& field) {
        if (const auto v = lanes.below(lane, RowLanes::kEmptyByte)) {
            field = laneScale::byte(*v);
            changed = true;
        }
    };
    take(Decay, m_decay);
    take(DryWet, m_wet);
    take(Damping, m_damping);
    if (changed)
        setFeedback();
}

int CheapReverbProcessor::setActive(int flag)
{
    Processor::setActive(flag);
    if (flag & 1)
        prepare();
    return m_active;
}

void CheapReverbProcessor::reset()
{
    for (Comb& comb : m_combs) {
        comb.line.clear();
        comb.store = 0.0;
    }
    for (AllPass& allPass : m_allPasses)
        allPass.line.clear();
    m_position = 0;
}

void CheapReverbProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    prepare();
    run(context.data, context.frames * context.channels);
}

void CheapReverbProcessor::prepare()
{
    if (m_prepared)
        return;
    m_prepared = true;
    reset();
    setFeedback();
}

void CheapReverbProcessor::setFeedback()
{
    for (Comb& comb : m_combs)
        comb.feedback = m_decay * kFeedbackSpan + kMinFeedback;
}

void CheapReverbProcessor::run(double* data, quint64 samples)
{
    // The settings and the combs' low-pass states live in registers for the block: a
    // sample written to the block or a line could otherwise be one of them, and each
    // would be read again for every sample.
    const double damping = m_damping;
    const double undamped = 1.0 - m_damping;
    const double wet = m_wet;
    const double dry = 1.0 - m_wet;
    std::array<double, kCombLengths.size()> stores;
    std::array<double, kCombLengths.size()> feedbacks;
    for (std::size_t k = 0; k < m_combs.size(); ++k) {
        stores[k] = m_combs[k].store;
        feedbacks[k] = m_combs[k].feedback;
    }
    // Every line moves on once a sample, so one running position serves them all.
    quint64 now = m_position;
    for (quint64 i = 0; i < samples; ++i, ++now) {
        const double x = sanitizeSample(data[i]);
        double sum = 0.0;
        for (std::size_t k = 0; k < m_combs.size(); ++k) {
            Comb& comb = m_combs[k];
            const double y = comb.line.read(now - kCombLengths[k]);
            stores[k] = stores[k] * damping + y * undamped;
            comb.line.write(now, feedbacks[k] * stores[k] + x);
            sum += y;
        }
        double s = sum * kCombMix;
        for (std::size_t j = 0; j < m_allPasses.size(); ++j) {
            AllPass& allPass = m_allPasses[j];
            const double b = allPass.line.read(now - kAllPassLengths[j]);
            const double w = s - kAllPassGain * b;
            allPass.line.write(now, w);
            s = kAllPassGain * w + b;
        }
        data[i] = s * wet + x * dry;
    }
    m_position = now;
    for (std::size_t k = 0; k < m_combs.size(); ++k)
        m_combs[k].store = stores[k];
}
