#include "processors/io/OutputProcessor.h"

#include "processors/RowLanes.h"
#include "processors/io/IoSchema.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRampSeconds = 0.005;
constexpr quint8 kExtensionVersion = 1;

} // namespace

OutputProcessor::OutputProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Output", true, false, true, true, true, true))
    , m_sampleRate(sampleRate)
    , m_gain { 1.0, fullSwingStep(sampleRate, kRampSeconds) }
    , m_strip(sampleRate)
{
}

void OutputProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    double* const samples = context.data;
    const quint64 frames = context.frames;
    m_strip.process(samples, frames);
    // While the gain ramps it is worked out per sample; settled, it is one factor.
    quint64 i = 0;
    for (; i < frames && m_gain.level != m_volume; ++i)
        samples[i] *= m_gain.next(m_volume);
    for (; i < frames; ++i)
        samples[i] *= m_volume;
    if (frames > 0)
        m_lastSample = samples[frames - 1];
    meter(samples, frames);
}

// Four running peaks and sums, so the loop does not wait on one accumulator.
void OutputProcessor::meter(const double* samples, quint64 frames)
{
    double peak[4] = {};
    double squares[4] = {};
    quint64 i = 0;
    for (; i + 4 <= frames; i += 4)
        for (int lane = 0; lane < 4; ++lane) {
            const double y = samples[i + lane];
            peak[lane] = std::max(peak[lane], std::abs(y));
            squares[lane] += y * y;
        }
    for (; i < frames; ++i) {
        peak[0] = std::max(peak[0], std::abs(samples[i]));
        squares[0] += samples[i] * samples[i];
    }
    const double blockPeak = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m_meterPeak = std::max(m_meterPeak, blockPeak);
    m_meterSquares += (squares[0] + squares[1]) + (squares[2] + squares[3]);
    m_meterSamples += frames;
    m_clipped |= blockPeak > 1.0;
}

OutputProcessor::MeterReading OutputProcessor::takeMeter()
{
    const MeterReading reading { m_meterPeak,
        m_meterSamples ? m_meterSquares / double(m_meterSamples) : 0.0, m_meterSamples };
    m_meterPeak = 0.0;
    m_meterSquares = 0.0;
    m_meterSamples = 0;
    return reading;
}

void OutputProcessor::setSongVolume(double volume)
{
    if (std::isfinite(volume) && volume >= 0.0)
        m_volume = m_songVolume = volume;
}

void OutputProcessor::saveExtension(QDataStream& stream)
{
    const StripDials& d = m_strip.dials();
    stream << kExtensionVersion << d.gain << d.highPass << d.lowPass;
}

bool OutputProcessor::loadExtension(QDataStream& stream)
{
    quint8 version = 0;
    StripDials dials;
    stream >> version >> dials.gain >> dials.highPass >> dials.lowPass;
    if (stream.status() != QDataStream::Ok || version != kExtensionVersion || !dials.valid())
        return false;
    m_strip.setDials(dials);
    return true;
}

int OutputProcessor::setActive(int flag)
{
    if (flag != m_active)
        m_active = flag;
    return m_active;
}

SchemaPointer OutputProcessor::schema() const
{
    return io::ioSchema();
}

void OutputProcessor::saveState(QDataStream& stream)
{
    // The volume is a double whatever precision the caller's stream was left in.
    const auto precision = stream.floatingPointPrecision();
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    stream << m_songVolume;
    stream.setFloatingPointPrecision(precision);
}

void OutputProcessor::loadState(QDataStream& stream)
{
    const auto precision = stream.floatingPointPrecision();
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    double stored = 0.0;
    stream >> stored;
    stream.setFloatingPointPrecision(precision);
    // A short or damaged record, or a value no row could give, keeps the current volume.
    if (stream.status() == QDataStream::Ok && std::isfinite(stored))
        m_volume = m_songVolume = stored;
}

void OutputProcessor::reset()
{
    m_lastSample = 0.0;
    m_gain.level = m_volume;
}

void OutputProcessor::setSampleRate(int hz)
{
    m_sampleRate = hz;
    m_gain.step = fullSwingStep(hz, kRampSeconds);
    m_strip.setSampleRate(hz);
}

void OutputProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    if (const auto v = RowLanes(values, count).word(io::Volume))
        m_volume = *v / io::kUnityVolume;
}
