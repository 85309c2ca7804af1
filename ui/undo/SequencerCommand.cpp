#include "ui/undo/SequencerCommand.h"

namespace {

bool sameEntry(const EntryPointer& a, const EntryPointer& b)
{
    if (!a || !b)
        return !a && !b;
    return a->type == b->type && a->pattern == b->pattern;
}

bool sameSlots(const QList<EntryPointer>& a, const QList<EntryPointer>& b)
{
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

void SequencerSnapshot::restore(Sequencer& sequencer) const
{
    sequencer.tracks = tracks;
    for (qsizetype i = 0; i < tracks.size(); ++i)
        tracks.at(i)->entries = entries.at(i);
    Position& p = sequencer.position;
    p.sequenceBegin.sample = sequenceBegin;
    p.sequenceEnd.sample = sequenceEnd;
    p.loopBegin.sample = loopBegin;
    // A track that went away takes the cursor's column with it.
    sequencer.moveCursorAbsolute(p.cursorColumn, p.cursor.step());
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

SequencerCommand::SequencerCommand(const SequencerPointer& sequencer, const QString& text,
    SequencerSnapshot before, SequencerSnapshot after)
    : QUndoCommand(text)
    , m_sequencer(sequencer)
    , m_before(std::move(before))
    , m_after(std::move(after))
{
}

void SequencerCommand::redo()
{
    if (!m_applied)
        m_after.restore(*m_sequencer);
    m_applied = false;
}

void SequencerCommand::undo()
{
    m_before.restore(*m_sequencer);
}

SequencerEdit::SequencerEdit(const SequencerPointer& sequencer)
    : m_sequencer(sequencer)
    , m_before(SequencerSnapshot::take(*sequencer))
{
}

QUndoCommand* SequencerEdit::command(const QString& text) const
{
    SequencerSnapshot after = SequencerSnapshot::take(*m_sequencer);
    if (after.sameAs(m_before))
        return nullptr;
    return new SequencerCommand(m_sequencer, text, m_before, std::move(after));
}
