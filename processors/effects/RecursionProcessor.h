#pragma once

#include "processors/Processor.h"

// A pass-through node: it outputs its mixed inputs and keeps two gains in the song.
class RecursionProcessor final : public Processor {
public:
    enum Lane { DryGain, WetGain };

    explicit RecursionProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void saveState(QDataStream& stream) override;
    void loadState(QDataStream& stream) override;

private:
    float m_dryGain = 0.0f;
    float m_wetGain = 0.0f;
};
