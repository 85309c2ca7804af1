#include "ui/nodes/ConnectionCurve.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxLinks = 200; // a far-flung pair still costs a bounded amount
constexpr int kRelaxRounds = 40;

QPointF unit(const QPointF& v)
{
    const double length = std::hypot(v.x(), v.y());
    return length > 0 && std::isfinite(length) ? v / length : QPointF(1, 0);
}

} // namespace

// The two points next to the ends are held `reach` out of the boxes, horizontally; every
// other inner point moves towards the middle of its neighbours until the chain is smooth.
ConnectionCurve ConnectionCurve::between(const QPointF& from, const QPointF& to, double reach)
{
    const double length = QLineF(from, to).length();
    if (!std::isfinite(length))
        return straight(from, to);
    const int links = std::clamp(int(length / kSpacing), 4, kMaxLinks);
    QPolygonF chain;
    chain.reserve(links + 1);
    for (int i = 0; i <= links; ++i)
        chain.append(from + (to - from) * (double(i) / links));
    chain[1] = from + QPointF(reach, 0.0);
    chain[links - 1] = to - QPointF(reach, 0.0);
    for (int round = 0; round < kRelaxRounds; ++round)
        for (int i = 2; i < links - 1; ++i)
            chain[i] = (chain[i - 1] + chain[i + 1]) * 0.5;
    const int half = links / 2;
    return { chain, (chain[half] + chain[half + 1]) * 0.5, unit(chain[half + 1] - chain[half]) };
}

ConnectionCurve ConnectionCurve::straight(const QPointF& from, const QPointF& to)
{
    return { QPolygonF({ from, to }), (from + to) * 0.5, unit(to - from) };
}
