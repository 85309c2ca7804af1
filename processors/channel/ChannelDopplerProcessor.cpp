#include "processors/channel/ChannelDopplerProcessor.h"
#include "processors/RowLanes.h"

ChannelDopplerProcessor::ChannelDopplerProcessor(int sampleRate)
    : ImpairmentProcessor("ChDoppler", DopplerImpairment())
{
    Q_UNUSED(sampleRate);
}

SchemaPointer ChannelDopplerProcessor::schema() const
{
    return schemaOnce([] {
        auto schema = QSharedPointer<NodeParameterSchema>::create();
        schema->nodeParameters = {
            ParameterDescriptor::byte("Velocity", "Doppler velocity", 0, 254, 255, 0),
        };
        return schema;
    });
}

void ChannelDopplerProcessor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(rowSerial);
    const RowLanes lanes(values, count);
    if (const auto v = lanes.below(Velocity, RowLanes::kEmptyByte))
        m_stage.applyVelocity(*v);
}

void ChannelDopplerProcessor::reset()
{
    m_stage.clear();
}
