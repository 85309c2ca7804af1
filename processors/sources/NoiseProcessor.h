#pragma once

#include "processors/Processor.h"
#include "processors/units/LevelRamp.h"

// White noise behind a gate: any note opens it, a note-off closes it.
class NoiseProcessor final : public Processor {
public:
    enum Lane { Note, Volume };

    explicit NoiseProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    // Next value of the 32-bit xorshift generator.
    quint32 nextNoise();

    bool m_gate = false;
    double m_volume = 0.5;
    LevelRamp m_level { 0.0, kRampStep };
    quint32 m_noiseState = 123456789;
};
