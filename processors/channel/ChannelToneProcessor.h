#pragma once

#include "processors/channel/ImpairmentProcessor.h"
#include "processors/channel/Impairments.h"

// An interfering sine tone.
class ChannelToneProcessor final : public ImpairmentProcessor<ToneImpairment> {
public:
    enum Lane { Freq, Ampl };

    explicit ChannelToneProcessor(int sampleRate);

    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
};
