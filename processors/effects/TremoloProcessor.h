#pragma once

#include "processors/Processor.h"
#include "processors/units/TremoloUnit.h"

// Sine amplitude modulation at 0.1 to 20 Hz.
class TremoloProcessor final : public Processor {
public:
    enum Lane { Rate, Depth };

    explicit TremoloProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    TremoloUnit<double> m_unit;
};
