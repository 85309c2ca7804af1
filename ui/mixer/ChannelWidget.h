#pragma once

#include "song/Node.h"
#include "song/Song.h"
#include "ui/mixer/MeterBallistics.h"
#include "ui/undo/StripCommand.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class LevelMeter;
class QAbstractSlider;
class QDial;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class SongHistory;

// One mixer strip, for one Output node: its clip light, level meter, gain and filter dials,
// volume fader, mute and solo, and name. Every change goes to the node's processor at once;
// the song's history gets one step per change, or one per drag of a dial or the fader.
class ChannelWidget : public QWidget {
    Q_OBJECT

public:
    enum Control { Volume, Gain, HighPass, LowPass };
    static constexpr int kWidth = 90;
    static constexpr int kVolumePercentMax = 200;

    explicit ChannelWidget(QWidget* parent = nullptr);

    void setNode(const zarn::NodePointer& node);
    const zarn::NodePointer& node() const { return m_node; }
    void setHistory(const SongPointer& song, SongHistory* history);
    // The strip's colour and name from its node, and every control from the model.
    void refresh();
    // Reads the processor's meter and clip flag; `nowMs` paces the meter's ballistics.
    void updateMeter(qint64 nowMs);

    LevelMeter* meter() const { return m_meter; }

    // The node's colour: a hue chosen by its serial number, dark enough for white text.
    static QColor colourOf(const zarn::Node& node);

private:
    struct DialRow {
        Control control;
        QDial* dial;
        QSpinBox* spinBox;
    };

    void buildForm();
    void addDial(Control control, const char* name, const QString& label);
    void addFader();
    void addFlags(); // mute, solo and the name
    void connectSlider(Control control, QAbstractSlider* slider, QSpinBox* spinBox);
    void syncControls();
    void controlChanged(Control control, int value);
    void dragFinished(Control control);
    void setFlag(bool solo, bool on);
    void resetClip();
    StripState stateWith(Control control, int value) const;
    void record(Control control, const StripState& before, const StripState& after);

    zarn::NodePointer m_node;
    SongPointer m_song;
    QPointer<SongHistory> m_history;
    QPushButton* m_clip = nullptr;
    LevelMeter* m_meter = nullptr;
    QList<DialRow> m_dials;
    QSlider* m_volume = nullptr;
    QSpinBox* m_volumeBox = nullptr;
    QPushButton* m_mute = nullptr;
    QPushButton* m_solo = nullptr;
    QLabel* m_name = nullptr;
    MeterBallistics m_ballistics;
    std::optional<StripState> m_dragStart;
};
