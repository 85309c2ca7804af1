#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// The pumping of a fast automatic gain control.
class ChannelAGCPumpProcessor final : public ImpairmentProcessor<AGCPumpImpairment> {
public:
    enum Lane { Attack, Release };

    explicit ChannelAGCPumpProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
