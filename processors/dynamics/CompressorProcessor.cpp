#include "processors/dynamics/CompressorProcessor.h"
#include "core/EngineRate.h"
#include "processors/RowLanes.h"
#include "processors/units/Sanitize.h"

#include <algorithm>

namespace {

constexpr double kByteFull = 255.0;
constexpr double kMinThreshold = 0.001;
constexpr double kRatioSpan = 19.0; // 1:1 to 20:1

} // namespace

CompressorProcessor::CompressorProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Compressor", true, true, true, true, false, false))
    , m_unit(sampleRate > 0 ? sampleRate : kEngineRate)
{
}

SchemaPointer CompressorProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte(
                "Threshold", "Compression threshold (0.0-1.0)", 0, 255, 128, 179),
            ParameterDescriptor::byte("Ratio", "Compression ratio (1:1 to 20:1)", 0, 255, 128, 64),
        };
        return schema;
    });
}

void CompressorProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    if (!acceptRow(rowSerial))
        return;
    // 128 is the middle of both lanes and means "no change".
    const RowLanes lanes(values, count);
    if (const auto v = lanes.byteExcept(Threshold, RowLanes::kEmptyMiddle))
        m_unit.threshold = std::max(kMinThreshold, *v / kByteFull);
    if (const auto v = lanes.byteExcept(Ratio, RowLanes::kEmptyMiddle))
        m_unit.ratio = std::max(1.0, *v / kByteFull * kRatioSpan + 1.0);
}

void CompressorProcessor::process(AudioContext& context)
{
    if (!context.data)
        return;
    const quint64 samples = context.frames * context.channels;
    for (quint64 i = 0; i < samples; ++i)
        context.data[i] = m_unit.process(finiteOrSilence(context.data[i]));
}

void CompressorProcessor::reset()
{
    m_unit.envelope.env = 0.0;
}
