#pragma once

#include <QColor>
#include <QQuickPaintedItem>

#include <functional>

// The vertical scroller at the right edge of a terminal view: a track with a knob whose length
// shows the visible share of the buffer. Pressing above or below the knob pages; dragging the
// knob scrolls to a position. It only reports; the view moves the display.
class TerminalScroller : public QQuickPaintedItem {
    Q_OBJECT
public:
    enum class Part { noPart, knob, decrementPage, incrementPage, decrementLine, incrementLine, knobSlot };
    static constexpr qreal defaultWidth = 15;

    explicit TerminalScroller(QQuickItem* parent = nullptr);

    bool scrollEnabled() const { return enabled_; }
    void setScrollEnabled(bool on);
    double doubleValue() const { return value_; }
    void setDoubleValue(double v);
    double knobProportion() const { return proportion_; }
    void setKnobProportion(double p);
    // Where a point of the scroller lies.
    Part hitPart(QPointF p) const;
    QRectF knobRect() const;

    std::function<void(Part)> onActivated;
    QColor trackColor{0, 0, 0, 40};
    QColor knobColor{128, 128, 128, 160};

    void paint(QPainter* painter) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool enabled_ = false;
    double value_ = 0;
    double proportion_ = 0.1;
    bool dragging_ = false;
    qreal dragOffset_ = 0;
};
