#include "ui/undo/SequencerCommand.h"

#include <algorithm>

namespace {

bool sameEntry(const EntryPointer& a, const EntryPointer& b)
{
    if (!a || !b)
        return !a && !b;
    return a->type == b->type && a->pattern == b->pattern;
}

bool sameSlots(const QList<EntryPointer>& a, const QList<EntryPointer>& b)
{
    // A track the edit left alone still shares its list with the snapshot.
    if (a.size() == b.size() && a.constData() == b.constData())
        return true;
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), sameEntry);
}

} // namespace

SequencerSnapshot SequencerSnapshot::take(const Sequencer& sequencer)
{
    SequencerSnapshot s;
    s.tracks = sequencer.tracks;
    s.entries.reserve(s.tracks.size());
    for (const TrackPointer& track : s.tracks)
        s.entries.append(track->entries);
    const Position& p = sequencer.position;
    s.sequenceBegin = p.sequenceBegin.sample;
    s.sequenceEnd = p.sequenceEnd.sample;
    s.loopBegin = p.loopBegin.sample;
    return s;
}

bool SequencerSnapshot::sameAs(const SequencerSnapshot& other) const
{
    if (tracks != other.tracks || sequenceBegin != other.sequenceBegin
        || sequenceEnd != other.sequenceEnd || loopBegin != other.loopBegin)
        return false;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (!sameSlots(entries.at(i), other.entries.at(i)))
            return false;
    return true;
}

SlotChange SlotChange::between(
    const TrackPointer& track, const QList<EntryPointer>& before, const QList<EntryPointer>& after)
{
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && before.at(prefix) == after.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix
        && before.at(before.size() - 1 - suffix) == after.at(after.size() - 1 - suffix))
        ++suffix;
    return { track, prefix, before.mid(prefix, before.size() - prefix - suffix),
        after.mid(prefix, after.size() - prefix - suffix) };
}

void SlotChange::apply(bool forward) const
{
    const QList<EntryPointer>& out = forward ? before : after;
    const QList<EntryPointer>& in = forward ? after : before;
    QList<EntryPointer>& entries = track->entries;
    entries = entries.first(first) + in + entries.sliced(first + out.size());
}

SequencerCommand::SequencerCommand(const SequencerPointer& sequencer, const QString& text,
    const SequencerSnapshot& before, const SequencerSnapshot& after)
    : QUndoCommand(text)
    , m_sequencer(sequencer)
    , m_tracks { before.tracks, after.tracks }
    , m_markers { { before.sequenceBegin, before.sequenceEnd, before.loopBegin },
        { after.sequenceBegin, after.sequenceEnd, after.loopBegin } }
{
    // Tracks added by the edit started empty; those it removed keep their slots.
    for (qsizetype i = 0; i < before.tracks.size(); ++i) {
        const TrackPointer& track = before.tracks.at(i);
        if (before.entries.at(i).constData() != track->entries.constData())
            m_changes.append(SlotChange::between(track, before.entries.at(i), track->entries));
    }
}

void SequencerCommand::restore(bool forward)
{
    for (const SlotChange& change : std::as_const(m_changes))
        change.apply(forward);
    Sequencer& sequencer = *m_sequencer;
    sequencer.tracks = m_tracks[forward ? 1 : 0];
    Position& p = sequencer.position;
    const qint32* markers = m_markers[forward ? 1 : 0];
    p.sequenceBegin.sample = markers[0];
    p.sequenceEnd.sample = markers[1];
    p.loopBegin.sample = markers[2];
    // A track that went away takes the cursor's column with it; otherwise the view's scroll
    // stays where the user left it.
    if (p.cursorColumn >= sequencer.tracks.size())
        sequencer.moveCursorAbsolute(p.cursorColumn, p.cursor.step());
}

void SequencerCommand::redo()
{
    if (!m_applied)
        restore(true);
    m_applied = false;
}

void SequencerCommand::undo()
{
    restore(false);
}

SequencerEdit::SequencerEdit(const SequencerPointer& sequencer)
    : m_sequencer(sequencer)
    , m_before(SequencerSnapshot::take(*sequencer))
{
}

QUndoCommand* SequencerEdit::command(const QString& text) const
{
    const SequencerSnapshot after = SequencerSnapshot::take(*m_sequencer);
    if (after.sameAs(m_before))
        return nullptr;
    return new SequencerCommand(m_sequencer, text, m_before, after);
}
