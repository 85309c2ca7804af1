#pragma once

#include "song/Sequencer.h"

#include <QList>
#include <QUndoCommand>

// The arrangement as an edit may change it: the track order, each track's entry slots
// and the three markers. Entries are never changed in place, so sharing them is a copy.
struct SequencerSnapshot {
    QList<TrackPointer> tracks;
    QList<QList<EntryPointer>> entries; // one list per track, in track order
    qint32 sequenceBegin = 0;
    qint32 sequenceEnd = 0;
    qint32 loopBegin = 0;

    static SequencerSnapshot take(const Sequencer& sequencer);
    void restore(Sequencer& sequencer) const;
    bool sameAs(const SequencerSnapshot& other) const;
};

// One edit of the arrangement, recorded whole before and after. The caller applies the
// edit first; the first redo does nothing.
class SequencerCommand final : public QUndoCommand {
public:
    SequencerCommand(const SequencerPointer& sequencer, const QString& text,
        SequencerSnapshot before, SequencerSnapshot after);

    void redo() override;
    void undo() override;

private:
    SequencerPointer m_sequencer;
    SequencerSnapshot m_before;
    SequencerSnapshot m_after;
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
