#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace placement {

// The top left of a window of `size` as near `wanted` as keeps it on `screen`; a window
// larger than the screen keeps its top left corner on it. An invalid screen changes nothing.
QPoint keptOnScreen(const QPoint& wanted, const QSize& size, const QRect& screen);
// The available area of the screen under `point`, else of the primary screen.
QRect screenAround(const QPoint& point);

} // namespace placement
