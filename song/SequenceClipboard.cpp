#include "song/SequenceClipboard.h"

#include "core/DataStream.h"
#include "song/Clipboard.h"
#include "song/Logging.h"

#include <QDebug>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kMinTrackIdBytes = 4; // the count of an empty string
constexpr qint64 kMinCellBytes = 1; // the flag of an empty cell
constexpr qint64 kLastEntryIndex = std::numeric_limits<int>::max();

QString nonNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString nodeIdOf(const TrackPointer& track)
{
    return track && track->node ? nonNull(track->node->uniqueID) : QStringLiteral("");
}

// The entry slot of a step, or -1 when it lies outside what a track can index.
qint64 entryIndexOf(qint64 step, const Sequencer& sequencer)
{
    const qint64 index = step * sequencer.position.cursor.ticksPerStep();
    return index >= 0 && index <= kLastEntryIndex ? index : -1;
}

SequenceCell cellOf(const EntryPointer& entry)
{
    if (!entry)
        return {};
    const bool hasPattern = entry->type == Entry::PatternEntry && entry->pattern;
    return { true, entry->type, hasPattern,
        hasPattern ? nonNull(entry->pattern->uniqueID) : QString() };
}

PatternPointer patternById(const Track& track, const QString& uniqueID)
{
    if (!track.node)
        return {};
    const auto& patterns = track.node->patterns;
    const auto it = std::find_if(patterns.cbegin(), patterns.cend(),
        [&](const PatternPointer& p) { return p && p->uniqueID == uniqueID; });
    return it != patterns.cend() ? *it : PatternPointer();
}

void apply(const SequenceCell& cell, Track& track, int index)
{
    if (cell.hasEntry && cell.type == Entry::BreakEntry) {
        track.setBreak(index);
    } else if (cell.hasEntry && cell.hasPattern) {
        // A pattern the node no longer has leaves the slot as it was.
        if (const PatternPointer pattern = patternById(track, cell.patternId))
            track.setEntry(index, pattern);
    } else {
        track.setEntry(index, {});
    }
}

} // namespace

SequenceBlock SequenceBlock::copy(const Sequencer& sequencer, const SequenceRange& range)
{
    SequenceBlock block;
    block.firstTrack = std::min(range.firstTrack, range.lastTrack);
    const int lastTrack = std::max(range.firstTrack, range.lastTrack);
    block.firstStep = std::min(range.firstStep, range.lastStep);
    block.stepCount = std::max(range.firstStep, range.lastStep) - block.firstStep + 1;
    for (int t = block.firstTrack; t <= lastTrack; ++t)
        block.trackIds.append(nodeIdOf(sequencer.tracks.value(t)));
    for (qint64 s = block.firstStep; s < qint64(block.firstStep) + block.stepCount; ++s) {
        const qint64 index = entryIndexOf(s, sequencer);
        for (int t = block.firstTrack; t <= lastTrack; ++t) {
            const TrackPointer track = sequencer.tracks.value(t);
            block.cells.append(
                track && index >= 0 ? cellOf(track->entryAt(int(index))) : SequenceCell {});
        }
    }
    return block;
}

void SequenceBlock::write(QDataStream& stream) const
{
    stream << firstTrack << qint32(trackIds.size());
    for (const QString& id : trackIds)
        stream << nonNull(id);
    stream << firstStep << stepCount;
    for (const SequenceCell& cell : cells) {
        stream << cell.hasEntry;
        if (!cell.hasEntry)
            continue;
        stream << cell.type << cell.hasPattern;
        if (cell.hasPattern)
            stream << nonNull(cell.patternId);
    }
}

bool SequenceBlock::read(QDataStream& stream)
{
    qint32 trackCount = 0;
    stream >> firstTrack >> trackCount;
    trackIds.clear();
    cells.clear();
    if (firstTrack < 0 || trackCount < 1
        || !datastream::plausibleCount(stream, trackCount, kMinTrackIdBytes))
        return false;
    trackIds.reserve(trackCount);
    for (qint32 i = 0; i < trackCount && datastream::healthy(stream); ++i) {
        QString id;
        stream >> id;
        trackIds.append(id);
    }
    stream >> firstStep >> stepCount;
    if (stepCount < 0)
        return false;
    return clipboard::readCells(
        stream, qint64(stepCount) * trackCount, kMinCellBytes, cells, [](QDataStream& in) {
            SequenceCell cell;
            in >> cell.hasEntry;
            if (cell.hasEntry)
                in >> cell.type >> cell.hasPattern;
            if (cell.hasEntry && cell.hasPattern)
                in >> cell.patternId;
            return cell;
        });
}

QString SequenceBlock::refusal(const Sequencer& sequencer) const
{
    if (sequencer.position.cursorColumn != firstTrack)
        return QStringLiteral("Paste: cursor not at original start column");
    if (sequencer.tracks.size() < qint64(firstTrack) + trackIds.size())
        return QStringLiteral("Paste: not enough tracks");
    for (qsizetype i = 0; i < trackIds.size(); ++i) {
        const qsizetype column = firstTrack + i;
        if (nodeIdOf(sequencer.tracks.at(column)) != trackIds.at(i))
            return QStringLiteral("Paste: track mismatch at column %1").arg(column);
    }
    return {};
}

bool SequenceBlock::pasteInto(Sequencer& sequencer) const
{
    if (const QString why = refusal(sequencer); !why.isEmpty()) {
        qCWarning(lcSong).noquote() << why;
        return false;
    }
    const qint64 cursorStep = sequencer.position.cursor.step();
    const qsizetype width = trackIds.size();
    for (qint64 s = 0; s < stepCount; ++s) {
        const qint64 index = entryIndexOf(cursorStep + s, sequencer);
        if (index < 0)
            continue;
        for (qsizetype i = 0; i < width; ++i)
            apply(cells.at(s * width + i), *sequencer.tracks.at(firstTrack + i), int(index));
    }
    return true;
}

namespace sequenceClipboard {

std::unique_ptr<QMimeData> copy(const SequencerPointer& sequencer, const SequenceRange& range)
{
    if (!sequencer)
        return nullptr;
    return clipboard::wrap(QString::fromLatin1(SequenceBlock::kMimeType),
        clipboard::encode(SequenceBlock::copy(*sequencer, range)));
}

bool paste(const QMimeData* data, const SequencerPointer& sequencer)
{
    if (!sequencer)
        return false;
    const auto block = clipboard::blockIn<SequenceBlock>(data);
    return block && block->pasteInto(*sequencer);
}

} // namespace sequenceClipboard
