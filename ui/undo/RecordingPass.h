#pragma once

#include "song/Node.h"
#include "song/Pattern.h"
#include "song/Song.h"
#include "ui/undo/PatternCommand.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class SongHistory;

// Writes live changes of a node into a pattern at the row under the play position while
// the transport records and plays. Everything written from the first change until the
// transport stops recording or playing, or another pattern becomes the current one, is one
// step of the song's history.
class RecordingPass {
public:
    static constexpr int kCheckMs = 50;

    // The history may be null, and then a pass cannot be undone. `text` names the step.
    RecordingPass(SongPointer song, SongHistory* history, QString text);
    ~RecordingPass();
    RecordingPass(const RecordingPass&) = delete;
    RecordingPass& operator=(const RecordingPass&) = delete;

    // The transport records and plays, and the node is still in the song.
    bool recording(const zarn::NodePointer& node) const;
    // Writes `value` into cell `index` of the node's `pattern` at the play row, or at the row
    // after it when the play row is `avoidRow`. Returns the row written, or -1.
    int write(const zarn::NodePointer& node, const PatternPointer& pattern, int index,
        quint32 value, int avoidRow = -1);
    // Ends the pass unless the transport still records into `current`.
    void endUnless(const PatternPointer& current);
    // Pushes what the pass wrote as one step.
    void finish();
    bool open() const { return m_pass.has_value(); }

    // The pattern changes go to now; a pass on another one ends. Checked while a pass is
    // open, so the step reaches the history soon after the transport stops.
    std::function<PatternPointer()> currentPattern;

private:
    // The whole pattern as it was before the first change of the pass.
    struct Pass {
        zarn::NodePointer node;
        PatternPointer pattern;
        PatternEdit edit;
    };

    // The history when it still belongs to this song.
    SongHistory* history() const;

    const SongPointer m_song;
    const QPointer<SongHistory> m_history;
    const QString m_text;
    std::optional<Pass> m_pass;
    QTimer m_check;
};
