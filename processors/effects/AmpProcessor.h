#pragma once

#include "processors/Processor.h"
#include "processors/units/LevelRamp.h"

// A gain stage whose gain glides to each new setting instead of jumping.
class AmpProcessor final : public Processor {
public:
    enum Lane { Percentage, Decibel };

    explicit AmpProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

private:
    double m_fraction = 1.0;
    double m_boostDb = 0.0;
    double m_targetGain = 1.0;
    LevelRamp m_gain { 1.0, kRampStep };
};
