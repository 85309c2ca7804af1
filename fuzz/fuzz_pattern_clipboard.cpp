// Pastes arbitrary bytes, as "application/x-zarn-pattern" data, into a real pattern at a
// few cursor places: no crash, no unbounded allocation, and a refused block leaves the
// pattern byte for byte as it was.
#include "QuietLogs.h"
#include "core/DataStream.h"
#include "fuzz/ClipboardFixture.h"
#include "song/Clipboard.h"
#include "song/PatternClipboard.h"

#include <QByteArray>
#include <QIODevice>
#include <QMimeData>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray encode(const Pattern& pattern)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    pattern.write(stream);
    return bytes;
}

// A written block stays inside the pattern and inside the lanes it can have.
bool withinBounds(const Pattern& pattern, qsizetype rowLimit)
{
    if (pattern.length != clipboardfixture::kPatternLength || pattern.rows.size() > pattern.length)
        return false;
    for (const RowPointer& row : pattern.rows)
        if (row && row->cells.size() > rowLimit)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto mime = clipboard::wrap(QString::fromLatin1(PatternBlock::kMimeType), bytes);

    // Node parameters, lane 1, lane 3 and the last tick.
    const PatternSpot spots[] = { { 0, 1 }, { 2, 4 }, { 7, 8 }, { 15, 3 } };
    for (const PatternSpot& spot : spots) {
        const SongPointer song = clipboardfixture::makeSong();
        const zarn::NodePointer node = song->graph->nodes.first();
        const PatternPointer pattern = node->patterns.first();
        const SchemaPointer schema = node->processor->schema();
        const qsizetype rowLimit = schema->nodeParameters.size()
            + qsizetype(Pattern::kMaxLanes) * schema->trackParameters.size();
        const QByteArray before = encode(*pattern);
        const bool written = patternClipboard::paste(mime.get(), node, pattern, schema, spot);
        if (!written && encode(*pattern) != before)
            std::abort();
        if (written && !withinBounds(*pattern, rowLimit))
            std::abort();
    }
    return 0;
}
