#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// One echo of up to 0.1 s.
class ChannelEchoProcessor final : public ImpairmentProcessor<EchoImpairment> {
public:
    enum Lane { Delay, Gain };

    explicit ChannelEchoProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;
};
