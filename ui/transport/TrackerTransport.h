#pragma once

#include "core/EngineRate.h"
#include "song/Position.h"

#include <QSharedPointer>
#include <QString>
#include <QWidget>

#include <memory>

class Sequencer;
class Settings;

namespace Ui {
class TrackerTransport;
}

// The main window's strip of transport toggles, tempo and grid spin boxes and the play
// position readout. It edits the current song's Position directly and keeps the tempo and
// grid in the settings store, when there is one.
class TrackerTransport : public QWidget {
    Q_OBJECT

public:
    // How the position readout shows the play position.
    enum class DisplayMode {
        StepTick, // "SSSS:TT", the sequencer step and the tick within it
        Time, // "MM:SS.mmm", song time at the position's sample rate
    };
    Q_ENUM(DisplayMode)

    explicit TrackerTransport(QWidget* parent = nullptr);
    ~TrackerTransport() override;

    void setSong(const QSharedPointer<Sequencer>& sequencer);
    void setSettings(const QSharedPointer<Settings>& settings);
    // Puts the stored tempo and grid (or their defaults) into the spin boxes and the position.
    void restoreSettings();

    DisplayMode displayMode() const { return m_displayMode; }
    bool renderMode() const;
    bool isPlaying() const;
    // As if the user had typed the value into the TPS box: the position and the store take it.
    void setTicksPerStep(int ticksPerStep);

    bool debug = false;

signals:
    void playingChanged(bool playing);
    void loopingChanged(bool looping);
    void recordingChanged(bool recording);
    void playbackModeChanged(bool renderMode);
    // The grid changed through the TPS box or restoreSettings().
    void gridChanged(int ticksPerStep);
    // JAM: the pattern editor's piano keys play the selected node.
    void jamChanged(bool jam);

public slots:
    void togglePlay(bool play);
    void toggleLoop(bool loop);
    void toggleRecord(bool record);
    void playPositionChanged(Position position);
    void ticksPerBeatChanged(int ticksPerBeat);
    void beatsPerMinuteChanged(int beatsPerMinute);
    void ticksPerStepChanged(int ticksPerStep);
    void displayModeChanged(DisplayMode mode);

private:
    // The grid of the last position shown, so the readout never reads through a pointer
    // into a Position that may be gone.
    struct ShownGrid : GranularityProvider {
        qint32 ticks = 16;
        qint32 samples = 64;
        qint32 samplesPerSecond = kEngineRate;
        qint32 ticksPerStep() const override { return ticks; }
        qint32 samplesPerTick() const override { return samples; }
    };

    enum class Field { BeatsPerMinute, TicksPerBeat, TicksPerStep };

    void applyField(Field field, int value);
    void fieldEdited(Field field, int value);
    void setRenderMode(bool render);
    void showPoint();
    Position* position() const;

    std::unique_ptr<Ui::TrackerTransport> m_ui;
    QSharedPointer<Sequencer> m_sequencer;
    QSharedPointer<Settings> m_settings;
    ShownGrid m_grid;
    Point m_point;
    DisplayMode m_displayMode = DisplayMode::StepTick;
};
