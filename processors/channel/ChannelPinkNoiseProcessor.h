#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Added pink noise; its lane sets the signal-to-noise ratio.
class ChannelPinkNoiseProcessor final : public ImpairmentProcessor<PinkNoiseImpairment> {
public:
    enum Lane { Snr };
    static constexpr quint32 kSeed = 123;

    explicit ChannelPinkNoiseProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
