#include "ui/nodes/ConnectionCurve.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace connectionCurve {

namespace {

constexpr int kMaxLinks = 200; // a far-flung pair still costs a bounded amount
constexpr int kRelaxRounds = 40;

} // namespace

// The two points next to the ends are held `reach` out of the boxes, horizontally; every
// other inner point moves towards the middle of its neighbours until the chain is smooth.
QList<QPointF> points(const QPointF& from, const QPointF& to, double reach)
{
    const double length = QLineF(from, to).length();
    if (!std::isfinite(length))
        return { from, to };
    const int links = std::clamp(int(length / kSpacing), 4, kMaxLinks);
    QList<QPointF> chain;
    chain.reserve(links + 1);
    for (int i = 0; i <= links; ++i)
        chain.append(from + (to - from) * (double(i) / links));
    chain[1] = from + QPointF(reach, 0.0);
    chain[links - 1] = to - QPointF(reach, 0.0);
    for (int round = 0; round < kRelaxRounds; ++round)
        for (int i = 2; i < links - 1; ++i)
            chain[i] = (chain[i - 1] + chain[i + 1]) * 0.5;
    return chain;
}

QPainterPath path(const QPointF& from, const QPointF& to, double reach)
{
    const QList<QPointF> chain = points(from, to, reach);
    QPainterPath path(chain.first());
    // Through the midpoints, with the chain's points as controls: no corners.
    for (qsizetype i = 1; i + 1 < chain.size(); ++i)
        path.quadTo(chain[i], (chain[i] + chain[i + 1]) * 0.5);
    path.lineTo(chain.last());
    return path;
}

} // namespace connectionCurve
