#pragma once

#include "song/Clipboard.h"
#include "song/Node.h"
#include "core/NodeParameterSchema.h"
#include "song/Pattern.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QMimeData;

// A rectangle of pattern cells, both ends included; either end may come first.
struct PatternRange {
    int firstTick = 0;
    int lastTick = 0;
    int firstParameter = 0; // flat parameter index
    int lastParameter = 0;
};

// Where a paste lands: the cursor's tick and flat parameter index.
struct PatternSpot {
    int tick = 0;
    int parameter = 0;
};

// What a copied parameter column was, so that a paste can check types and find lanes.
struct PatternColumn {
    QString name;
    qint32 valueType = 0;
    bool isNodeParameter = false;
    qint32 indexInGroup = 0;
    qint32 lane = 0;
};

struct PatternCell {
    bool present = false; // false clears the destination cell
    quint32 value = 0;
};

// A block of pattern cells as it travels under "application/x-zarn-pattern".
struct PatternBlock {
    static constexpr char kMimeType[] = "application/x-zarn-pattern";

    QString processorId; // the source processor's instance, not its type
    qint32 tickCount = 0;
    QList<PatternColumn> columns;
    QList<PatternCell> cells; // tick-major: tickCount rows of columns.size() cells

    static PatternBlock copy(const zarn::Node& node, const Pattern& pattern,
        const NodeParameterSchema& schema, const PatternRange& range);

    void write(QDataStream& stream) const;
    // False when the stream does not hold one whole, consistent block.
    bool read(QDataStream& stream);

    QByteArray encode() const { return clipboard::encode(*this); }
    static std::optional<PatternBlock> decode(const QByteArray& bytes)
    {
        return clipboard::decode<PatternBlock>(bytes);
    }

    // Writes the block with its first cell at the spot. A block whose columns do not fit
    // the destination is refused with a warning before anything is written; cells past the
    // pattern's end are dropped. True when the block was written.
    bool pasteInto(const zarn::Node& node, Pattern& pattern, const NodeParameterSchema& schema,
        const PatternSpot& spot) const;
};

// Copy and paste as the editors call them: a missing node, pattern or schema, or data
// without the type, makes them do nothing.
namespace patternClipboard {
std::unique_ptr<QMimeData> copy(const zarn::NodePointer& node, const PatternPointer& pattern,
    const SchemaPointer& schema, const PatternRange& range);
bool paste(const QMimeData* data, const zarn::NodePointer& node, const PatternPointer& pattern,
    const SchemaPointer& schema, const PatternSpot& spot);
} // namespace patternClipboard
