#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// Band limiting by a low and a high shelf.
class ChannelFreqAttenProcessor final : public ImpairmentProcessor<FreqAttenImpairment> {
public:
    enum Lane { LowCut, HighCut };

    explicit ChannelFreqAttenProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
