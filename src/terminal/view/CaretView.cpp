#include "CaretView.h"

#include "TerminalView.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTimer>

#include <array>
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
constexpr qint64 periodMs = 2 * halfPeriodMs;
// Opacity levels shown along the fade, 1 and 0 included: two is an on/off blink.
constexpr int fadeLevels = 2;
constexpr int fadeSteps = fadeLevels - 1;

// The times within one period at which the shown level changes: on the way out the curve
// crosses (j + 0.5) / fadeSteps of its travel at fadeOut[j]; on the way back it crosses the same
// points in reverse, mirrored about the half period.
struct BlinkSchedule {
    std::array<double, fadeSteps> fadeOut {};
    std::array<double, 2 * fadeSteps> changes {}; // ascending, within [0, periodMs)

    BlinkSchedule()
    {
        for (int j = 0; j < fadeSteps; ++j) {
            const qreal target = (j + 0.5) / fadeSteps;
            qreal lo = 0, hi = 1; // the curve rises monotonically: bisect for its crossing
            for (int i = 0; i < 40; ++i) {
                const qreal mid = (lo + hi) / 2;
                (easeIn().valueForProgress(mid) < target ? lo : hi) = mid;
            }
            fadeOut[size_t(j)] = hi * halfPeriodMs;
        }
        for (int j = 0; j < fadeSteps; ++j) {
            changes[size_t(j)] = fadeOut[size_t(j)];
            changes[size_t(2 * fadeSteps - 1 - j)] = double(periodMs) - fadeOut[size_t(j)];
        }
    }

    // The opacity shown at time t (ms) of a period.
    qreal opacityAt(qint64 t) const
    {
        const double intoFade = double(t < halfPeriodMs ? t : periodMs - t);
        int dropped = 0;
        for (double crossing : fadeOut)
            dropped += crossing <= intoFade ? 1 : 0;
        return 1.0 - qreal(dropped) / fadeSteps;
    }

    // Milliseconds from time t (ms) of a period until just past the next level change.
    int delayAfter(qint64 t) const
    {
        double next = double(periodMs) + changes[0];
        for (double c : changes) {
            if (c > double(t)) {
                next = c;
                break;
            }
        }
        return int(std::ceil(next - double(t))) + 1;
    }
};

const BlinkSchedule& blinkSchedule()
{
    static const BlinkSchedule s;
    return s;
}

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
    blink_->setSingleShot(true);
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
    return blinking_;
}

void CaretView::blinkStep()
{
    const qint64 t = blinkClock_.elapsed() % periodMs;
    setOpacity(blinkSchedule().opacityAt(t));
    blink_->start(blinkSchedule().delayAfter(t));
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
    blinking_ = blink;
    if (blink) {
        blinkClock_.start();
        blink_->start(blinkSchedule().delayAfter(0));
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
    // Concealed text stays hidden under a block caret too.
    if (!text_.empty() && !attribute_.style.contains(termcore::CharacterStyle::invisible)) {
        // The text takes the screen's default text colour as drawn, so in reverse video it turns
        // with the screen (as xterm's cursor does); a colour the program set stays as it is.
        const QColor textColor = caretTextColor.value_or(terminal->defaultForeground());
        const RunStyle rs = terminal->getAttributedValue(attribute_, caretColor, textColor);
        const QFontMetricsF fm(terminal->fontSet.normal);
        // Lines and blocks as the terminal draws them, edge to edge.
        if (text_.size() == 1 && terminal->drawnAsBox(rs.font, text_[0])) {
            terminal->boxDrawing().draw(painter, text_[0], bounds.toAlignedRect(), textColor);
            painter->restore();
            return;
        }
        // Shaped and fitted as the terminal draws it, so the character looks the same under the caret.
        painter->setPen(textColor);
        const qreal baseline = height() - std::ceil(fm.descent() + fm.leading());
        terminal->drawCluster(painter, rs.font, text_, bounds, baseline);
    }
    painter->restore();
}
