#pragma once

#include "engine/AudioEngine.h"
#include "engine/Plan.h"
#include "media/audio/AudioOutputNode.h"

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>
#include <QSharedPointer>

namespace media::audio {

// What the player owns per output device: the output node, the device and format asked
// for, the engine holding the current plan, and a block of its own. It passes the output
// node's health signals on unchanged. It lives with the engine it holds, so the device
// nodes below need nothing of the engine.
class DeviceSubgraph : public QObject {
    Q_OBJECT

public:
    explicit DeviceSubgraph(QObject* parent = nullptr);
    ~DeviceSubgraph() override;

    // Replaces the output node with a new one configured for `device` and `format`.
    void configure(const QAudioDevice& device, const QAudioFormat& format, int channels);
    void start();
    void stop();

    QAudioDevice device;
    QAudioFormat format;
    qint32 channelCount = 1;
    AudioEngine engine;
    PlanPointer plan;
    QSharedPointer<AudioOutputNode> outputNode;
    AudioContext context;

signals:
    void deviceStateChanged(QAudio::State newState, QAudio::Error error);
    void deviceRebuilt(int rebuildCountSoFar);
    void watchdogGaveUp();
};

} // namespace media::audio
