#pragma once

#include "song/Sequencer.h"

#include <QList>
#include <QUndoCommand>

// The arrangement as an edit may change it: the track order, each track's entry slots and
// the three markers. Entries are never changed in place, so sharing them is a copy.
struct SequencerSnapshot {
    QList<TrackPointer> tracks;
    QList<QList<EntryPointer>> entries; // one list per track, in track order
    qint32 sequenceBegin = 0;
    qint32 sequenceEnd = 0;
    qint32 loopBegin = 0;

    static SequencerSnapshot take(const Sequencer& sequencer);
    bool sameAs(const SequencerSnapshot& other) const;
};

// The run of one track's slots that an edit replaced: from `first` on, `before` gave way
// to `after`. Only the run is kept, so a long history of small edits stays small.
struct SlotChange {
    TrackPointer track;
    qsizetype first = 0;
    QList<EntryPointer> before;
    QList<EntryPointer> after;

    static SlotChange between(const TrackPointer& track, const QList<EntryPointer>& before,
        const QList<EntryPointer>& after);
    // Puts `before` back in place of `after`, or the other way round.
    void apply(bool forward) const;
};

// One edit of the arrangement: the track order, the markers and the slots it replaced.
// The caller applies the edit first; the first redo does nothing.
class SequencerCommand final : public QUndoCommand {
public:
    SequencerCommand(const SequencerPointer& sequencer, const QString& text,
        const SequencerSnapshot& before, const SequencerSnapshot& after);

    void redo() override;
    void undo() override;

private:
    void restore(bool forward);

    SequencerPointer m_sequencer;
    QList<TrackPointer> m_tracks[2];
    qint32 m_markers[2][3];
    QList<SlotChange> m_changes;
    bool m_applied = true;
};

// Records an edit around the code that makes it: the arrangement is taken before, and again
// by `command()` after; nothing came of it when they agree.
class SequencerEdit {
public:
    explicit SequencerEdit(const SequencerPointer& sequencer);

    // The command for the edit, or null when the arrangement is as it was.
    QUndoCommand* command(const QString& text) const;

private:
    SequencerPointer m_sequencer;
    SequencerSnapshot m_before;
};
