#pragma once

#include "processors/sources/Sample.h"
#include "song/Node.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class SampleLoader;
class SampleWaveform;
class SongHistory;

// The sample of a Sample node in its parameter view: name, length and waveform, and a button
// to load another. It follows the node's sample wherever it changes (undo, another editor).
class SamplePanel : public QWidget {
    Q_OBJECT

public:
    // The history may be null or go away; loads then change the node without a step.
    SamplePanel(const zarn::NodePointer& node, SongHistory* history, QWidget* parent = nullptr);

    // Whether a node gets the panel: it plays samples.
    static bool shows(const zarn::Node& node);

    SampleLoader& loader() { return *m_loader; }
    // Shows the node's sample when it is another one than shown.
    void refresh();

private:
    zarn::NodePointer m_node;
    SampleLoader* m_loader;
    QLabel* m_name;
    QLabel* m_length;
    SampleWaveform* m_waveform;
    Sample m_shown; // shares the frames, so their address tells whether the sample changed
    QTimer m_refresh;
};
