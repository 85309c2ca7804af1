// Pastes arbitrary bytes, as "application/x-zarn-sequence" data, into a real sequencer at a
// few cursor places: no crash, no unbounded allocation, and a refused block leaves the
// sequencer byte for byte as it was.
#include "QuietLogs.h"
#include "core/DataStream.h"
#include "fuzz/ClipboardFixture.h"
#include "song/Clipboard.h"
#include "song/SequenceClipboard.h"

#include <QByteArray>
#include <QIODevice>
#include <QMimeData>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray encode(const Sequencer& sequencer)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    sequencer.write(stream);
    return bytes;
}

struct Cursor {
    int column;
    int step;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto mime = clipboard::wrap(QString::fromLatin1(SequenceBlock::kMimeType), bytes);

    const Cursor cursors[] = { { 0, 0 }, { 1, 2 }, { 2, 5 } };
    for (const Cursor& cursor : cursors) {
        const SongPointer song = clipboardfixture::makeSong();
        Sequencer& sequencer = *song->sequencer;
        sequencer.moveCursorAbsolute(cursor.column, cursor.step);
        const QByteArray before = encode(sequencer);
        const bool written = sequenceClipboard::paste(mime.get(), song->sequencer);
        if (!written && encode(sequencer) != before)
            std::abort();
        // Every step of a block costs at least one byte, so a track grows with the input only.
        const qint64 limit
            = (qint64(cursor.step) + qint64(size) + 1) * clipboardfixture::kTicksPerStep
            + clipboardfixture::kPatternLength;
        for (const TrackPointer& track : sequencer.tracks)
            if (track->entries.size() > limit)
                std::abort();
    }
    return 0;
}
