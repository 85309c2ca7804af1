#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Volume loss of up to 40 dB.
class ChannelAttenuationProcessor final : public ImpairmentProcessor<AttenuationImpairment> {
public:
    enum Lane { GainDb };

    explicit ChannelAttenuationProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
