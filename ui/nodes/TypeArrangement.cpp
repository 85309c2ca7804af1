#include "ui/nodes/TypeArrangement.h"

#include <QList>
#include <QMap>

#include <algorithm>

namespace typeArrangement {

namespace {

// The columns left to right: one for the inputs, one per effect depth, the outliers and the
// outputs; a node's column among the effects is the longest chain of effects before it.
struct Columns {
    const Graph& graph;
    QHash<zarn::Node*, int> depth;

    int effectDepth(zarn::Node* node, int guard)
    {
        if (const auto found = depth.constFind(node); found != depth.constEnd())
            return *found;
        int deepest = 0;
        // A damaged song may hold a loop; the guard stops the walk after every node.
        if (guard < graph.nodes.size())
            for (const ConnectionPointer& c : graph.connections)
                if (c->to.data() == node && c->from && kindOf(*c->from) == Effect)
                    deepest = std::max(deepest, effectDepth(c->from.data(), guard + 1) + 1);
        depth.insert(node, deepest);
        return deepest;
    }

    QMap<int, QList<zarn::Node*>> build()
    {
        QMap<int, QList<zarn::Node*>> columns;
        int effectColumns = 0;
        for (const zarn::NodePointer& node : graph.nodes)
            if (kindOf(*node) == Effect)
                effectColumns = std::max(effectColumns, effectDepth(node.data(), 0) + 1);
        for (const zarn::NodePointer& node : graph.nodes) {
            const Kind kind = kindOf(*node);
            const int column = kind == Input ? 0
                : kind == Effect             ? 1 + depth.value(node.data())
                : kind == Outlier            ? 1 + effectColumns
                                             : 2 + effectColumns;
            columns[column].append(node.data());
        }
        return columns;
    }
};

// Top to bottom by the mean height of what feeds each node, so wires cross little.
void sortBySources(
    const Graph& graph, QList<zarn::Node*>& column, const QHash<zarn::Node*, QPointF>& placed)
{
    QHash<zarn::Node*, double> height;
    for (zarn::Node* node : column) {
        double sum = 0.0;
        int count = 0;
        for (const ConnectionPointer& c : graph.connections)
            if (c->to.data() == node && placed.contains(c->from.data())) {
                sum += placed.value(c->from.data()).y();
                ++count;
            }
        height.insert(node, count ? sum / count : 1e300);
    }
    std::stable_sort(column.begin(), column.end(),
        [&](zarn::Node* a, zarn::Node* b) { return height.value(a) < height.value(b); });
}

double spread(double first, double last, int index, int count)
{
    return count < 2 ? (first + last) / 2 : first + (last - first) * index / (count - 1);
}

} // namespace

Kind kindOf(const zarn::Node& node)
{
    const bool in = node.takesAudioInput();
    const bool out = node.givesAudioOutput();
    if (in && out)
        return Effect;
    if (out)
        return Input;
    if (in)
        return Output;
    return Outlier;
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Input:
        return QStringLiteral("     input");
    case Effect:
        return QStringLiteral("    effect");
    case Output:
        return QStringLiteral("    output");
    case Outlier:
        break;
    }
    return QStringLiteral("   outlier");
}

QHash<zarn::Node*, QPointF> layout(const Graph& graph, const QRectF& area, const QMarginsF& margins)
{
    const QRectF inner = area.marginsRemoved(margins);
    QMap<int, QList<zarn::Node*>> columns = Columns { graph, {} }.build();
    QHash<zarn::Node*, QPointF> placed;
    int index = 0;
    for (QList<zarn::Node*>& column : columns) {
        sortBySources(graph, column, placed);
        const double x = spread(inner.left(), inner.right(), index++, int(columns.size()));
        for (int row = 0; row < column.size(); ++row)
            placed.insert(column.at(row),
                QPointF(x, spread(inner.top(), inner.bottom(), row, int(column.size()))));
    }
    return placed;
}

} // namespace typeArrangement
