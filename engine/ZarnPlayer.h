#pragma once

#include "engine/Buffer.h"
#include "engine/Context.h"
#include "engine/DeviceSubgraph.h"
#include "engine/EngineStatus.h"
#include "engine/SongPlanBuilder.h"
#include "song/Position.h"
#include "song/Song.h"

#include <QAudio>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QTimer>

class Graph;
class Sequencer;

// The engine's owner and its only face towards the rest of the program: it holds the
// song, paces rendering with a timer, renders one block per tick when the output device
// can take it, and hands the block to the output node.
class ZarnPlayer : public QObject {
    Q_OBJECT

public:
    enum Mode { Live = 0, Render = 1 };

    static constexpr int kTickMs = 5;
    static constexpr int kDefaultBufferSize = 1024;
    static constexpr int kMinBufferSize = 64;
    static constexpr int kMaxBufferSize = 8192;
    static constexpr int kStatusEvery = 20;
    static constexpr int kWantedChannels = 2;

    explicit ZarnPlayer(QObject* parent = nullptr);
    ~ZarnPlayer() override;

    // Returns the previous state.
    bool setRunning(bool on);
    bool isRunning() const { return m_status.running; }
    void setSong(const SongPointer& song);
    void rebuild();
    void applySampleRate(int hz);
    // Puts the play position on the sequence begin with fresh processors, so every play
    // from the beginning sounds the same.
    void startFromSequenceBegin();
    // Render stops the blocks, so the output node is told the silence that follows is meant.
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }

    int bufferSize() const { return m_bufferSize; }
    QAudioFormat format() const { return m_format; }
    EngineStatus status() const { return m_status; }
    media::audio::DeviceSubgraph& deviceSubgraph() { return *m_deviceSubgraph; }
    bool debug = true;

    // The format the player asks of an output device.
    static QAudioFormat wantedFormat();

signals:
    void positionChanged(Position positon);
    void engineStatusChanged(EngineStatus status);
    void bufferSampleCountChanged(int sampleCount);
    void deviceStateChanged(QAudio::State newState, QAudio::Error err);
    void deviceRebuilt(int rebuildCountSoFar);
    void watchdogGaveUp();

public slots:
    void onOutputChanged(const QString& name);
    void onBufferSizeChanged(int samples);
    void renderTick();

private:
    // The device side can take a whole block.
    bool deviceHasRoom() const;
    void rebuildIfChanged();
    // Accounts for the block just rendered; true when the status is due.
    bool finishBlock();
    QAudioDevice chooseDevice(const QString& name, const QAudioFormat& format) const;

    SongPointer m_song;
    QSharedPointer<Graph> m_graph;
    QSharedPointer<Sequencer> m_sequencer;
    QSharedPointer<zarn::Context> m_context;
    QAudioFormat m_format;
    int m_bufferSize = kDefaultBufferSize;
    Buffer m_mix;
    QSharedPointer<media::audio::DeviceSubgraph> m_deviceSubgraph;
    SongPlanBuilder m_builder;
    QTimer* m_timer;
    QMutex m_mutex;
    EngineStatus m_status;
    quint64 m_retiredUnderruns = 0; // of the output nodes replaced so far
    QElapsedTimer m_loadTimer;
    Mode m_mode = Live;
};
