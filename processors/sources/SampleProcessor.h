#pragma once

#include "processors/Processor.h"
#include "processors/sources/Sample.h"

#include <array>

// A polyphonic one-shot player: every note starts the sample from the top on a free voice.
class SampleProcessor final : public Processor {
public:
    enum Lane { Note, Volume };

    static constexpr int kVoices = 20;

    explicit SampleProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

    // Call off the render path, between blocks: voices keep their positions.
    void setSample(Sample sample);
    const Sample& sample() const { return m_sample; }

    // The sample, when there is one: a record version, the name, the rate and the frames.
    void saveExtension(QDataStream& stream) override;
    bool loadExtension(QDataStream& stream) override;

private:
    struct Voice {
        quint32 position = 0;
        bool active = false;
        float gain = 0.0f;
    };

    void startVoice(float gain);

    Sample m_sample;
    std::array<Voice, kVoices> m_voices {};
};
