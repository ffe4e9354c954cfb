#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace brinmoor {

WindowPlacement::Placement WindowPlacement::fit(const QRect& available, QSize preferred, QSize minimum)
{
    // No screen known (none attached yet): the sizes as they are.
    if (available.isEmpty())
        return {QRect(QPoint(0, 0), preferred), minimum};
    const QSize room = available.size();
    const QSize size = preferred.boundedTo(room);
    QRect geometry(QPoint(0, 0), size);
    geometry.moveCenter(available.center());
    // moveCenter rounds towards the top left; keep the whole window inside all the same.
    geometry.moveTopLeft(QPoint(std::max(geometry.left(), available.left()), std::max(geometry.top(), available.top())));
    return {geometry, minimum.boundedTo(room)};
}

WindowPlacement::Placement WindowPlacement::onPrimaryScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return fit(screen ? screen->availableGeometry() : QRect());
}

QRectF WindowPlacement::initialGeometry() const
{
    return onPrimaryScreen().geometry;
}

QSizeF WindowPlacement::smallestSize() const
{
    return onPrimaryScreen().minimum;
}

} // namespace brinmoor
