#include "processors/channel/ChannelDistortionProcessor.h"
#include "processors/RowLanes.h"

ChannelDistortionProcessor::ChannelDistortionProcessor(int sampleRate)
    : ImpairmentProcessor("ChDistortion", DistortionImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelDistortionProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Drive", "Distortion drive", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelDistortionProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Drive, RowLanes::kEmptyByte))
        m_stage.applyDrive(*v);
}
