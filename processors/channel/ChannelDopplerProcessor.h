#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// A slowly drifting delay: a small constant pitch shift.
class ChannelDopplerProcessor final : public ImpairmentProcessor<DopplerImpairment> {
public:
    enum Lane { Velocity };

    explicit ChannelDopplerProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;
};
