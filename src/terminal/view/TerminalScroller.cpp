#include "TerminalScroller.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

TerminalScroller::TerminalScroller(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setZ(2);
}

void TerminalScroller::setScrollEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    update();
}

void TerminalScroller::setDoubleValue(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    if (v == value_)
        return;
    value_ = v;
    update();
}

void TerminalScroller::setKnobProportion(double p)
{
    p = std::clamp(p, 0.0, 1.0);
    if (p == proportion_)
        return;
    proportion_ = p;
    update();
}

QRectF TerminalScroller::knobRect() const
{
    const qreal h = height();
    const qreal knobH = std::max<qreal>(std::min<qreal>(h, 12), h * proportion_);
    const qreal y = (h - knobH) * value_;
    return QRectF(2, y, width() - 4, knobH);
}

TerminalScroller::Part TerminalScroller::hitPart(QPointF p) const
{
    if (!enabled_ || !contains(p))
        return Part::noPart;
    const QRectF k = knobRect();
    if (p.y() < k.top())
        return Part::decrementPage;
    if (p.y() >= k.bottom())
        return Part::incrementPage;
    return Part::knob;
}

void TerminalScroller::paint(QPainter* painter)
{
    painter->fillRect(QRectF(0, 0, width(), height()), trackColor);
    if (!enabled_)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(knobColor);
    const QRectF k = knobRect();
    painter->drawRoundedRect(k, k.width() / 2, k.width() / 2);
}

void TerminalScroller::mousePressEvent(QMouseEvent* event)
{
    const Part part = hitPart(event->position());
    if (part == Part::noPart) {
        event->ignore();
        return;
    }
    event->accept();
    if (part == Part::knob) {
        dragging_ = true;
        dragOffset_ = event->position().y() - knobRect().top();
        return;
    }
    if (onActivated)
        onActivated(part);
}

void TerminalScroller::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const qreal travel = height() - knobRect().height();
    if (travel <= 0)
        return;
    setDoubleValue((event->position().y() - dragOffset_) / travel);
    if (onActivated)
        onActivated(Part::knob);
}

void TerminalScroller::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}
