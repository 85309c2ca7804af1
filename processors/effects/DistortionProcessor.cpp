#include "processors/effects/DistortionProcessor.h"

#include "processors/RowLanes.h"
#include "processors/effects/LaneScale.h"
#include "processors/units/FastMath.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kMinDrive = 1.0;
constexpr double kMaxDrive = 20.0;
constexpr quint8 kDefaultDrive = 26;
constexpr quint8 kDefaultMix = 254;

double driveFor(quint32 value)
{
    return laneScale::byte(value) * (kMaxDrive - kMinDrive) + kMinDrive;
}

} // namespace

DistortionProcessor::DistortionProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Distortion", true, true, true, true, false, false))
    , m_mix(laneScale::byte(kDefaultMix))
{
    Q_UNUSED(sampleRate);
    setDrive(driveFor(kDefaultDrive));
}

SchemaPointer DistortionProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte(
                "Drive", "Distortion drive (1x-20x)", 0, 254, 255, kDefaultDrive),
            ParameterDescriptor::byte(
                "Mix", "Dry/wet mix (0=clean, max=distorted)", 0, 254, 255, kDefaultMix),
        };
        return schema;
    });
}

void DistortionProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Drive, RowLanes::kEmptyByte))
        setDrive(driveFor(*v));
    if (const auto v = lanes.below(Mix, RowLanes::kEmptyByte))
        m_mix = laneScale::byte(*v);
}

void DistortionProcessor::setDrive(double drive)
{
    m_drive = drive;
    m_makeUp = 1.0 / std::sqrt(drive);
}

void DistortionProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    // The shaper's tanh takes a chunk of samples at a time.
    constexpr quint64 kChunk = 256;
    std::array<double, kChunk> shaped;
    for (quint64 done = 0; done < samples;) {
        double* chunk = context.data + done;
        const quint64 count = std::min(samples - done, kChunk);
        for (quint64 i = 0; i < count; ++i)
            shaped[i] = m_drive * chunk[i];
        fastMath::tanh(shaped.data(), shaped.data(), count);
        for (quint64 i = 0; i < count; ++i)
            chunk[i] = (1.0 - m_mix) * chunk[i] + m_mix * shaped[i] * m_makeUp;
        done += count;
    }
}
