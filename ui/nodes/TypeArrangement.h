#pragma once

#include "song/Graph.h"

#include <QHash>
#include <QMarginsF>
#include <QRectF>

// "Arrange by Type": sources on the left, effects in signal order after them, outputs on
// the right, and what fits none of these (no ports, or an unknown type) between the
// effects and the outputs.
namespace typeArrangement {

// The column of a node's kind: inputs -2, effects -1, outliers 0, outputs 1.
enum Kind { Input = -2, Effect = -1, Outlier = 0, Output = 1 };
Kind kindOf(const zarn::Node& node);
// How the log names a kind, padded to one width.
QString kindText(Kind kind);

// Where every node of the graph goes, inside the area less the margins.
QHash<zarn::Node*, QPointF> layout(
    const Graph& graph, const QRectF& area, const QMarginsF& margins);

} // namespace typeArrangement
