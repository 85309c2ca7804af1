#pragma once

#include "processors/Processor.h"
#include "processors/sources/WaveRegistry.h"

#include <QVector>

// A bank of oscillator voices. Its lanes are declared but not yet read: no row reaches the
// voices, and a voice without a wave shape alternates between +1 and -1.
class OscProcessor final : public Processor {
public:
    enum Lane { Shape, Note, Volume };

    explicit OscProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;

private:
    struct Voice {
        double target = 0.0;
        double amp = 0.0;
        double phase = 0.0;
        double targetMix = 0.0;
        double increment = 0.0;
        double ampKeep = 1.0;
        bool toggle = false;
        WaveFunction wave = nullptr;

        double next();
    };

    QVector<Voice> m_voices;
};
