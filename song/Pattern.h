#pragma once

#include <QDataStream>
#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QWeakPointer>

namespace zarn {
class Node;
}

// One tick of a pattern: cell values laid out by the node's schema (node parameters,
// then the track parameters of each lane). Shorter rows read as empty past their end.
class Row {
public:
    QList<quint32> cells;

    // Grows the row with `fill` up to `index` when needed; a negative index does nothing.
    void setCell(int index, quint32 value, quint32 fill);
};

using RowPointer = QSharedPointer<Row>;

// A named, sparse grid of rows belonging to one node.
class Pattern {
public:
    static constexpr int kDefaultLength = 16;
    static constexpr int kMaxLanes = 255;
    static constexpr int kMinLanes = 0;

    Pattern(const QString& name, const QSharedPointer<zarn::Node>& node, int length);

    RowPointer rowAt(int index) const;
    void setRow(int index, const RowPointer& row);
    RowPointer makeNeutralRow() const;

    // The lane limits belong to the pattern; a refusal changes nothing and returns false.
    bool addLane();
    bool removeLane();

    void write(QDataStream& stream) const;
    void read(QDataStream& stream);

    QList<RowPointer> rows;
    qint32 length = kDefaultLength;
    qint32 lanes = 1;
    // Weak, because the node owns its patterns.
    QWeakPointer<zarn::Node> node;
    QString name;
    QString uniqueID;
    bool debug = false;
};

using PatternPointer = QSharedPointer<Pattern>;
