#pragma once

#include "processors/Processor.h"

// Where a signal could enter the song; for now it gives silence.
class InputProcessor final : public Processor {
public:
    explicit InputProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
};
