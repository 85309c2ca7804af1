#pragma once

#include <QPointF>
#include <QPolygonF>

// The line a connection is drawn along: a chain of points about 20 pixels apart from one
// node centre to the other, leaving the source to the right and reaching the destination
// from the left, relaxed into a smooth curve. Signal flows left to right, so a connection
// that runs backwards loops round instead of crossing its own nodes.
struct ConnectionCurve {
    static constexpr double kSpacing = 20.0;

    QPolygonF points;
    QPointF middle; // where the arrowhead sits
    QPointF direction; // unit vector along the chain there

    static ConnectionCurve between(const QPointF& from, const QPointF& to, double reach);
    // The straight line, for a connection whose curve is not worked out yet.
    static ConnectionCurve straight(const QPointF& from, const QPointF& to);
};
