#pragma once

#include "processors/Processor.h"
#include "processors/dynamics/AgcUnit.h"

// Automatic gain control with five modes, ending in a soft limiter.
class AGCProcessor final : public Processor {
public:
    enum Lane { Mode, Target, MaxGain, Attack, Release };

    explicit AGCProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

    const AgcUnit<double>& unit() const { return m_unit; }

private:
    AgcUnit<double> m_unit;
};
