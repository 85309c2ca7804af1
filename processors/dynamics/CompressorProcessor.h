#pragma once

#include "processors/Processor.h"
#include "processors/dynamics/CompressorUnit.h"

// Peak compressor with fixed attack and release; threshold and ratio come from lanes.
class CompressorProcessor final : public Processor {
public:
    enum Lane { Threshold, Ratio };

    explicit CompressorProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    void reset() override;

    const CompressorUnit<double>& unit() const { return m_unit; }

private:
    CompressorUnit<double> m_unit;
};
