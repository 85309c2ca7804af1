#pragma once

#include "song/Clipboard.h"
#include "song/Sequencer.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QMimeData;

// A rectangle of sequencer cells: tracks and steps, both ends included, either end first.
struct SequenceRange {
    int firstTrack = 0;
    int lastTrack = 0;
    int firstStep = 0;
    int lastStep = 0;
};

struct SequenceCell {
    bool hasEntry = false; // false clears the destination slot
    qint32 type = Entry::PatternEntry;
    bool hasPattern = false;
    QString patternId;
};

// A block of sequencer cells as it travels under "application/x-zarn-sequence".
struct SequenceBlock {
    static constexpr char kMimeType[] = "application/x-zarn-sequence";

    qint32 firstTrack = 0;
    QStringList trackIds; // the uniqueID of each copied track's node
    qint32 firstStep = 0; // recorded, not used for placement
    qint32 stepCount = 0;
    QList<SequenceCell> cells; // step-major: stepCount rows of trackIds.size() cells

    static SequenceBlock copy(const Sequencer& sequencer, const SequenceRange& range);

    void write(QDataStream& stream) const;
    // False when the stream does not hold one whole, consistent block.
    bool read(QDataStream& stream);

    QByteArray encode() const { return clipboard::encode(*this); }
    static std::optional<SequenceBlock> decode(const QByteArray& bytes)
    {
        return clipboard::decode<SequenceBlock>(bytes);
    }

    // Why the block may not be written at the sequencer's cursor: it must stand on the
    // block's first track, and the tracks must still belong to the same nodes. Empty when
    // it may.
    QString refusal(const Sequencer& sequencer) const;
    // Writes the block from the sequencer's cursor step on, into the tracks it was copied
    // from. Refused with a warning, before anything is written, when the block may not be
    // placed there (see refusal). True when the block was written.
    bool pasteInto(Sequencer& sequencer) const;
};

// Copy and paste as the sequencer editor calls them: a missing sequencer, or data without
// the type, makes them do nothing.
namespace sequenceClipboard {
std::unique_ptr<QMimeData> copy(const SequencerPointer& sequencer, const SequenceRange& range);
bool paste(const QMimeData* data, const SequencerPointer& sequencer);
} // namespace sequenceClipboard
