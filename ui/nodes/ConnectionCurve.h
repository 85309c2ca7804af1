#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>

// The path a connection is drawn along: a chain of points about 20 pixels apart from one
// node centre to the other, leaving the source to the right and reaching the destination
// from the left, relaxed into a smooth curve. Signal flows left to right, so a connection
// that runs backwards loops round instead of crossing its own nodes.
namespace connectionCurve {

inline constexpr double kSpacing = 20.0;

QList<QPointF> points(const QPointF& from, const QPointF& to, double reach);
QPainterPath path(const QPointF& from, const QPointF& to, double reach);

} // namespace connectionCurve
