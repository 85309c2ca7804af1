#include "ui/pages/SequencerPage.h"

#include "song/Sequencer.h"

#include <QTableWidget>

namespace {

QString entryText(const EntryPointer& entry)
{
    if (!entry)
        return {};
    switch (entry->type) {
    case Entry::BreakEntry:
        return SequencerPage::tr("BREAK");
    case Entry::MuteEntry:
        return SequencerPage::tr("MUTE");
    default:
        return entry->pattern ? entry->pattern->name : QString();
    }
}

} // namespace

void SequencerPage::refresh()
{
    const QSharedPointer<Sequencer> sequencer = m_song ? m_song->sequencer : nullptr;
    const QList<TrackPointer> tracks = sequencer ? sequencer->tracks : QList<TrackPointer>();
    qsizetype steps = 0;
    for (const TrackPointer& track : tracks)
        steps = qMax(steps, track->entries.size());
    QStringList headers;
    for (qsizetype step = 0; step < steps; ++step)
        headers << QString::number(step);
    setColumns(headers, int(tracks.size()));
    QStringList names;
    for (int row = 0; row < tracks.size(); ++row) {
        const TrackPointer& track = tracks.at(row);
        names << (track->node ? track->node->name : track->uniqueID);
        for (int step = 0; step < track->entries.size(); ++step)
            setCell(row, step, entryText(track->entries.at(step)));
    }
    table()->setVerticalHeaderLabels(names);
    table()->resizeColumnsToContents();
}
