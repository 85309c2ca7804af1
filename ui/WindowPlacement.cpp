#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace placement {

QPoint keptOnScreen(const QPoint& wanted, const QSize& size, const QRect& screen)
{
    if (!screen.isValid())
        return wanted;
    const int right = std::max(screen.left(), screen.right() + 1 - size.width());
    const int bottom = std::max(screen.top(), screen.bottom() + 1 - size.height());
    return { std::clamp(wanted.x(), screen.left(), right),
        std::clamp(wanted.y(), screen.top(), bottom) };
}

QRect screenAround(const QPoint& point)
{
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace placement
