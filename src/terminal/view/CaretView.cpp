#include "CaretView.h"

#include "TerminalView.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTimer>

#include <cmath>

namespace {

// CSS "ease-in". Played forwards for the fade out and backwards (time reversed) for the fade
// back in, as an auto-reversing animation does.
const QEasingCurve& easeIn()
{
    static const QEasingCurve c = [] {
        QEasingCurve e(QEasingCurve::BezierSpline);
        e.addCubicBezierSegment(QPointF(0.42, 0), QPointF(1, 1), QPointF(1, 1));
        return e;
    }();
    return c;
}

constexpr qint64 halfPeriodMs = 700;
constexpr int stepMs = 50;

} // namespace

CaretView::CaretView(TerminalView* terminalView, termcore::CursorStyle cursorStyle, QSizeF cellSize)
    : QQuickPaintedItem(terminalView), terminal(terminalView), style(cursorStyle)
{
    defaultCaretColor = QGuiApplication::palette().color(QPalette::Highlight);
    caretColor = defaultCaretColor;
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
    setAntialiasing(false);
    setSize(cellSize);
    setZ(1);

    blink_ = new QTimer(this);
    blink_->setInterval(stepMs);
    connect(blink_, &QTimer::timeout, this, &CaretView::blinkStep);
    update();
}

bool CaretView::styleBlinks(termcore::CursorStyle s)
{
    using S = termcore::CursorStyle;
    return s == S::blinkBlock || s == S::blinkUnderline || s == S::blinkBar;
}

bool CaretView::isBlinking() const
{
    return blink_->isActive();
}

void CaretView::blinkStep()
{
    const qint64 t = blinkClock_.elapsed() % (2 * halfPeriodMs);
    const qreal progress = t < halfPeriodMs ? easeIn().valueForProgress(qreal(t) / halfPeriodMs)
                                            : easeIn().valueForProgress(qreal(2 * halfPeriodMs - t) / halfPeriodMs);
    setOpacity(1.0 - progress);
}

void CaretView::setText(const termcore::CharData& ch)
{
    std::u32string t = ch.code == 0 ? std::u32string() : ch.getCharacter();
    if (hasText_ && t == text_ && ch.attribute.style == attribute_.style)
        return; // same cell: no repaint of the caret either
    text_ = std::move(t);
    attribute_ = ch.attribute;
    hasText_ = true;
    update();
}

void CaretView::updateCursorStyle()
{
    updateAnimation(styleBlinks(style));
    update();
}

void CaretView::updateAnimation(bool blink)
{
    blink_->stop();
    setOpacity(1.0);
    if (blink) {
        blinkClock_.start();
        blink_->start();
    }
}

void CaretView::paint(QPainter* painter)
{
    ++paints_;
    if (!hasText_ || !terminal)
        return;
    const bool hasFocus = tracksFocus ? terminal->hasFocus() : true;
    const QRectF bounds(0, 0, width(), height());
    painter->save();
    painter->setClipRect(bounds);
    if (!hasFocus) {
        QPen pen(caretColor, 3);
        pen.setJoinStyle(Qt::MiterJoin);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(bounds);
        painter->restore();
        return;
    }
    using S = termcore::CursorStyle;
    switch (style) {
    case S::blinkUnderline:
    case S::steadyUnderline:
        painter->fillRect(QRectF(0, height() - 2, width(), 2), caretColor);
        painter->restore();
        return;
    case S::blinkBar:
    case S::steadyBar:
        painter->fillRect(QRectF(0, 0, 2, height()), caretColor);
        painter->restore();
        return;
    default:
        break;
    }
    painter->fillRect(bounds, caretColor);
    if (!text_.empty()) {
        const QColor textColor = caretTextColor.value_or(terminal->nativeForegroundColor());
        const RunStyle rs = terminal->getAttributedValue(attribute_, caretColor, textColor);
        const QFont& font = terminal->fontSet.variant(rs.font);
        const QFontMetricsF fm(terminal->fontSet.normal);
        painter->setFont(font);
        painter->setPen(textColor);
        const qreal baseline = height() - std::ceil(fm.descent() + fm.leading());
        painter->drawText(QPointF(0, baseline),
                          QString::fromUcs4(reinterpret_cast<const char32_t*>(text_.data()), qsizetype(text_.size())));
    }
    painter->restore();
}
