#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Hard clipping at a lane-set threshold.
class ChannelClippingProcessor final : public ImpairmentProcessor<ClippingImpairment> {
public:
    enum Lane { Threshold };

    explicit ChannelClippingProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
