#pragma once

#include "song/Node.h"
#include "song/Song.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class ChannelWidget;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class SongHistory;

// The mixer page: one strip for every Output node of the song, in graph order, with "Mute All"
// and "Unmute All" above them. The meters run on a 16 ms timer only while the page is shown.
class MixerView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMeterIntervalMs = 16;

    explicit MixerView(QWidget* parent = nullptr);

    void setSong(const SongPointer& song);
    void setHistory(SongHistory* history);
    // The strip a node has had, or null.
    ChannelWidget* stripOf(const zarn::NodePointer& node) const;
    const QTimer& meterTimer() const { return m_meterTimer; }

    bool debug = false;

public slots:
    void rebuildChannels();
    // The strips' controls follow the model again, after an undo or an edit elsewhere.
    void refreshChannels();
    void muteAll();
    void unmuteAll();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void buildForm();
    void onUpdateTimer();
    QList<zarn::NodePointer> outputNodes() const;
    ChannelWidget* channelWidgetForNode(const zarn::NodePointer& node);
    void setAllMuted(bool on);

    SongPointer m_song;
    QPointer<SongHistory> m_history;
    QHash<zarn::Node*, ChannelWidget*> m_strips;
    QList<zarn::NodePointer> m_stripNodes; // keeps the map's keys alive
    QTimer m_meterTimer;
    QElapsedTimer m_clock;
    QPushButton* m_muteAll = nullptr;
    QPushButton* m_unmuteAll = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    QHBoxLayout* m_channels = nullptr;
    QLabel* m_placeholder = nullptr;
};
