// Reads arbitrary bytes as a song graph record: nodes, processor state, schemas, patterns
// and connections must never crash, hang or allocate without bound.
#include "QuietLogs.h"
#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Song.h"

#include <QBuffer>
#include <QtGlobal>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    silenceLogsOnce();
    QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    datastream::prepare(stream);
    const auto song = Song::createEmpty();
    song->graph->read(stream);
    return 0;
}
