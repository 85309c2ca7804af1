#pragma once

#include "core/AudioNode.h"
#include "core/ProcessorCharacter.h"
#include "engine/AudioEngine.h"
#include "engine/Buffer.h"
#include "media/audio/AudioOutputNode.h"
#include "media/audio/Node.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>
#include <QSharedPointer>
#include <QTimer>

// A sine generator for checking an output device: silent until its amplitude is raised.
class ZarnConfigEditorTestTone final : public AudioNode {
public:
    static constexpr float kFrequency = 220.0f;

    explicit ZarnConfigEditorTestTone(qint32 sampleRate, float frequency = kFrequency);

    void process(AudioContext& context) override;
    const ProcessorCharacter& character() const override { return m_character; }

    void setAmplitude(float amplitude) { m_amplitude = amplitude; }
    float amplitude() const { return m_amplitude; }

private:
    const qint32 m_sampleRate;
    const float m_frequency;
    double m_phase = 0.0;
    float m_amplitude = 0.0f;
    const ProcessorCharacter m_character;
};

// Plays the test tone on one output device through a graph of its own, compiled by the
// song's plan builder, so the tone takes the same path as a song: plan, output node, ring.
class TestToneRig : public QObject {
    Q_OBJECT

public:
    static constexpr quint64 kBlockFrames = 256;
    static constexpr int kTickMs = 10;
    // Frames kept queued ahead of the sink: enough to ride out a late tick, little enough
    // that a released tone stops soon.
    static constexpr quint64 kQueuedFrames = 2048;
    static constexpr char kToneName[] = "zarn.configeditor.test-tone";
    static constexpr char kSinkName[] = "zarn.configeditor.sink";

    // 16-bit mono at the engine rate: what the tone is played in.
    static QAudioFormat format();
    // Blocks a tick renders to bring `queuedFrames` up to kQueuedFrames.
    static quint64 blocksToRender(quint64 queuedFrames);

    // Configures the sink for `device`; nothing sounds before start().
    explicit TestToneRig(const QAudioDevice& device, QObject* parent = nullptr);
    ~TestToneRig() override;

    // Opens the sink and starts rendering; false when the sink would not start.
    bool start();
    // Silences the tone, stops rendering and closes the sink.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    // Plays on `device` from now on, running again if it was running.
    bool moveTo(const QAudioDevice& device);
    void setSounding(bool on);
    bool isSounding() const { return m_tone->amplitude() > 0.0f; }

    QAudioDevice device() const { return m_device; }
    media::audio::AudioOutputNode& output() { return *m_output; }

public slots:
    void renderTick();

private:
    QSharedPointer<ZarnConfigEditorTestTone> m_tone;
    QSharedPointer<media::audio::AudioOutputNode> m_output;
    media::audio::Graph m_graph;
    AudioEngine m_engine;
    Buffer m_block;
    AudioContext m_context;
    QTimer m_timer;
    QAudioDevice m_device;
};
