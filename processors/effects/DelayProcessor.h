#pragma once

#include "processors/Processor.h"
#include "processors/units/Delay.h"

// A feedback delay of 1 ms to 2 s with separate dry and wet levels.
class DelayProcessor final : public Processor {
public:
    enum Lane { Dry, Wet, Feedback, Time };

    explicit DelayProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

private:
    // The rate it was made for, so a Time lane means the same time at any rate.
    int m_sampleRate;
    Delay<double> m_delay;
};
