#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// A constant offset of up to 0.2.
class ChannelDCOffsetProcessor final : public ImpairmentProcessor<DCOffsetImpairment> {
public:
    enum Lane { Offset };

    explicit ChannelDCOffsetProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
