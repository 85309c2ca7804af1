#pragma once

#include "processors/Processor.h"

#include <QVector>

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

    // Mono samples at 44100 Hz. Call off the render path.
    void setSampleData(QVector<float> data);

private:
    struct Voice {
        quint32 position = 0;
        bool active = false;
        float gain = 0.0f;
    };

    void startVoice(float gain);

    QVector<float> m_sampleData;
    std::array<Voice, kVoices> m_voices {};
};
