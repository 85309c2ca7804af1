#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Random bursts of silence.
class ChannelDropoutProcessor final : public ImpairmentProcessor<DropoutImpairment> {
public:
    enum Lane { Rate, Burst };

    explicit ChannelDropoutProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
