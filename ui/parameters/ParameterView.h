#pragma once

#include "song/Node.h"
#include "song/Pattern.h"
#include "song/Song.h"
#include "ui/undo/RecordingPass.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

class ParameterWidget;
class PresetPanel;
class QLabel;
class QVBoxLayout;
class SongHistory;

// A tool window with one node's live parameter values. Changes go straight into the running
// processor and, while the transport records, into the node's current pattern at the play
// position; each recorded pass is one step of the song's history.
class ParameterView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 50;

    // The node is held, so a node deleted from the graph meanwhile stays harmless; the
    // history may be null, and then recording cannot be undone.
    ParameterView(const zarn::NodePointer& node, const SongPointer& song, SongHistory* history,
        QWidget* parent = nullptr);
    ~ParameterView() override;

    const QList<ParameterWidget*>& rows() const { return m_rows; }

    // The pattern a recorded change goes into; by default the node's first one.
    std::function<PatternPointer()> currentPattern;

public slots:
    void copy();
    void randomize();
    void defaults();
    void reset();
    // The preset buttons, handed on to the preset panel.
    void updatePreset();
    void addPreset();
    void deletePreset();
    void importPreset();
    void exportPreset();

    // Moves every row to the processor's current value.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The title and Close above the Parameters and Presets tabs.
    void layOut();
    QWidget* parametersTab();
    QWidget* presetsTab();
    void bindRows();
    void toPresets(void (PresetPanel::*slot)());
    void setParameter(int index, quint32 value);

    const zarn::NodePointer m_node;
    QList<ParameterWidget*> m_rows;
    QVBoxLayout* m_rowLayout = nullptr;
    QLabel* m_empty = nullptr;
    QLabel* m_title = nullptr;
    PresetPanel* m_presets = nullptr;
    QTimer m_refresh;
    RecordingPass m_recording;
};
