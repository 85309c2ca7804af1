#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Speaker distortion.
class ChannelDistortionProcessor final : public ImpairmentProcessor<DistortionImpairment> {
public:
    enum Lane { Drive };

    explicit ChannelDistortionProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
