#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Added white noise; its lane sets the signal-to-noise ratio.
class ChannelNoiseProcessor final : public ImpairmentProcessor<WhiteNoiseImpairment> {
public:
    enum Lane { Snr };

    explicit ChannelNoiseProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
