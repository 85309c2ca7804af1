#include "ui/nodes/ConnectionCurve.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxLinks = 200; // a far-flung pair still costs a bounded amount
constexpr int kRelaxRounds = 8;

QPointF unit(const QPointF& v)
{
    const double length = std::hypot(v.x(), v.y());
    return length > 0 && std::isfinite(length) ? v / length : QPointF(1, 0);
}

} // namespace

// The chain starts on a curve that leaves the source horizontally and reaches the
// destination horizontally, `reach` or half the horizontal distance out, whichever is more;
// then each inner point is relaxed towards the smoothest place between its neighbours (the
// one that bends least), with the two points at either end held, so the ends stay level.
ConnectionCurve ConnectionCurve::between(const QPointF& from, const QPointF& to, double reach)
{
    const QPointF handle(std::max(reach, std::abs(to.x() - from.x()) / 2), 0.0);
    const QPointF c1 = from + handle, c2 = to - handle;
    // The control polygon is at least as long as the curve, so links stay short on loops.
    const double length
        = QLineF(from, c1).length() + QLineF(c1, c2).length() + QLineF(c2, to).length();
    if (!std::isfinite(length))
        return straight(from, to);
    const int links = std::clamp(int(length / kSpacing), 4, kMaxLinks);
    QPolygonF chain;
    chain.reserve(links + 1);
    for (int i = 0; i <= links; ++i) {
        const double t = double(i) / links, u = 1 - t;
        chain.append(
            from * (u * u * u) + c1 * (3 * u * u * t) + c2 * (3 * u * t * t) + to * (t * t * t));
    }
    // Level at both ends: the first and last links run straight out of and into the boxes.
    chain[1].setY(from.y());
    chain[links - 1].setY(to.y());
    for (int round = 0; round < kRelaxRounds; ++round)
        for (int i = 2; i < links - 1; ++i)
            chain[i] = ((chain[i - 1] + chain[i + 1]) * 4 - chain[i - 2] - chain[i + 2]) / 6;
    const int half = links / 2;
    return { chain, (chain[half] + chain[half + 1]) * 0.5, unit(chain[half + 1] - chain[half]) };
}

ConnectionCurve ConnectionCurve::straight(const QPointF& from, const QPointF& to)
{
    return { QPolygonF({ from, to }), (from + to) * 0.5, unit(to - from) };
}
