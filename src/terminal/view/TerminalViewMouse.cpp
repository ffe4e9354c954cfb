// Pointer input: mouse reports to programs that asked for them (xterm's mouse tracking), text
// selection by click, word, expression, row and drag, the wheel, and hyperlinks
// (OSC 8) previewed while Ctrl is held and opened by Ctrl-click.
#include "TerminalView.h"

#include "SelectionService.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWheelEvent>

#include <any>
#include <cmath>

using termcore::MouseMode;
using termcore::Position;

namespace {

bool reportsButtons(MouseMode m)
{
    return m == MouseMode::vt200 || m == MouseMode::buttonEventTracking || m == MouseMode::anyEvent;
}

// The link label shown at the view's bottom-left while Ctrl is held over a hyperlink.
class UrlPreviewLabel : public QQuickPaintedItem {
public:
    UrlPreviewLabel(QQuickItem* parent, QFont font) : QQuickPaintedItem(parent), font_(std::move(font))
    {
        setAcceptedMouseButtons(Qt::NoButton);
        setZ(3);
    }
    void setText(const QString& t)
    {
        text = t;
        const QFontMetricsF fm(font_);
        setSize(QSizeF(std::ceil(fm.horizontalAdvance(text)) + 8, std::ceil(fm.height()) + 4));
        update();
    }
    void paint(QPainter* p) override
    {
        p->fillRect(QRectF(0, 0, width(), height()), background);
        p->setFont(font_);
        p->setPen(foreground);
        p->drawText(QRectF(4, 2, width() - 8, height() - 4), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    QString text;
    QColor background;
    QColor foreground;

private:
    QFont font_;
};

} // namespace

std::function<void(const QUrl&)> TerminalView::linkOpener = [](const QUrl& url) { QDesktopServices::openUrl(url); };

TerminalView::MouseHit TerminalView::calculateMouseHit(QPointF point) const
{
    const qreal w = cellDimension->width();
    const qreal h = cellDimension->height();
    const int c = int(std::floor(point.x() / w));
    const int r = int(std::floor(point.y() / h));
    MouseHit hit;
    if (r < 0) {
        hit.grid = {0, 0};
    } else {
        // Below the grid (the strip under the last row) counts as the last row.
        hit.grid = {std::clamp(c, 0, std::max(0, terminal->cols() - 1)), std::min(r, std::max(0, terminal->rows() - 1))};
    }
    hit.pixels = {int(std::clamp<qreal>(point.x(), 0, width())), int(std::clamp<qreal>(point.y(), 0, height()))};
    return hit;
}

int TerminalView::encodeMouseEvent(Qt::KeyboardModifiers modifiers, bool release) const
{
    int flags = release ? 3 : 0; // the left button is code 0
    if (reportsButtons(terminal->mouseMode())) {
        if (modifiers & Qt::ShiftModifier)
            flags += 4;
        if (modifiers & Qt::AltModifier)
            flags += 8;
        if (modifiers & Qt::ControlModifier)
            flags += 16;
    }
    return flags;
}

std::optional<std::string> TerminalView::getPayload(QPointF point) const
{
    if (!cellDimension || point.y() < 0 || point.y() >= cellDimension->height() * terminal->rows())
        return std::nullopt;
    const MouseHit hit = calculateMouseHit(point);
    const auto& buf = terminal->buffer();
    const int row = hit.grid.row + buf.yDisp();
    if (row < 0 || row >= buf.lines().count())
        return std::nullopt;
    const auto& lines = const_cast<termcore::Buffer&>(buf).lines();
    const termcore::CharData& cell = const_cast<termcore::CircularBufferLineList&>(lines)[row][hit.grid.col];
    const std::any* payload = cell.getPayload();
    if (!payload)
        return std::nullopt;
    if (const auto* text = std::any_cast<std::string>(payload))
        return *text;
    return std::nullopt;
}

std::optional<std::pair<QString, QMap<QString, QString>>> TerminalView::urlAndParamsFrom(const std::string& payload)
{
    const QStringList pieces = QString::fromStdString(payload).split(';', Qt::KeepEmptyParts);
    if (pieces.size() < 2)
        return std::nullopt;
    QMap<QString, QString> params;
    for (const QString& part : pieces[0].split(':', Qt::SkipEmptyParts)) {
        const QStringList kv = part.split('=', Qt::SkipEmptyParts);
        if (kv.size() == 2)
            params.insert(kv[0], kv[1]);
    }
    return std::make_pair(pieces[1], params);
}

QFont TerminalView::tryUrlFont()
{
    for (const char* family : {"Optima", "Helvetica", "Helvetica Neue"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            QFont f(QString::fromLatin1(family));
            f.setPixelSize(12);
            return f;
        }
    }
    QFont f = QGuiApplication::font();
    f.setPixelSize(12);
    return f;
}

QString TerminalView::urlPreviewText() const
{
    auto* label = static_cast<UrlPreviewLabel*>(urlPreview_);
    return label ? label->text : QString();
}

void TerminalView::previewUrl(const std::string& payload)
{
    const auto link = urlAndParamsFrom(payload);
    if (!link)
        return;
    auto* label = static_cast<UrlPreviewLabel*>(urlPreview_);
    if (!label) {
        label = new UrlPreviewLabel(this, tryUrlFont());
        urlPreview_ = label;
    }
    // The terminal's colours inverted.
    label->background = nativeFg_;
    label->foreground = nativeBg_;
    label->setText(link->first);
    label->setPosition(QPointF(0, height() - label->height())); // the bottom-left corner
}

void TerminalView::turnOffUrlPreview()
{
    if (!commandActive)
        return;
    delete urlPreview_;
    urlPreview_ = nullptr;
    commandActive = false;
}

void TerminalView::setCommandActive(bool on)
{
    if (!on) {
        turnOffUrlPreview();
        return;
    }
    commandActive = true;
    if (lastPointer_.x() >= 0) {
        if (const auto payload = getPayload(lastPointer_))
            previewUrl(*payload);
    }
}

void TerminalView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Control) {
        turnOffUrlPreview();
        event->accept();
        return;
    }
    QQuickPaintedItem::keyReleaseEvent(event);
}

void TerminalView::mousePressEvent(QMouseEvent* event)
{
    forceActiveFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::RightButton) {
        event->accept();
        emit contextMenuRequested(event->position());
        return;
    }
    if (event->button() != Qt::LeftButton || !cellDimension) {
        event->ignore();
        return;
    }
    event->accept();
    const QPointF pos = event->position();
    lastPointer_ = pos;
    const MouseHit hit = calculateMouseHit(pos);
    pressHit_ = hit;
    pressHandledByReport_ = false;
    pointerMovedTo(hit);

    // Qt has no triple click: count presses close in time and place.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const auto* hints = QGuiApplication::styleHints();
    const bool near = (pos - lastPressPos_).manhattanLength() <= hints->startDragDistance();
    clickCount_ = (near && now - lastPressTime_ <= hints->mouseDoubleClickInterval()) ? clickCount_ + 1 : 1;
    lastPressTime_ = now;
    lastPressPos_ = pos;

    const MouseMode mode = terminal->mouseMode();
    // X10 (DECSET 9) reports presses only; the other modes report presses and releases.
    if (allowMouseReporting && (reportsButtons(mode) || mode == MouseMode::x10)) {
        terminal->sendEvent(encodeMouseEvent(event->modifiers(), false), hit.grid.col, hit.grid.row, hit.pixels.col,
                            hit.pixels.row);
        pressHandledByReport_ = true;
        return;
    }
    const int yDisp = terminal->buffer().yDisp();
    if (clickCount_ == 2) {
        selection->selectWordOrExpression(Position{hit.grid.col, hit.grid.row + yDisp}, terminal->buffer());
    } else if (clickCount_ >= 3) {
        selection->select(hit.grid.row + yDisp);
    } else if (selection->active()) {
        if (event->modifiers() & Qt::ShiftModifier)
            selection->shiftExtend(hit.grid.row, hit.grid.col);
        else
            selection->setActive(false);
    }
    update();
}

void TerminalView::mouseMoveEvent(QMouseEvent* event)
{
    if (!cellDimension || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    event->accept();
    lastPointer_ = event->position();
    const MouseHit hit = calculateMouseHit(event->position());
    const bool moved = pointerMovedTo(hit);
    if (allowMouseReporting) {
        switch (terminal->mouseMode()) {
        case MouseMode::anyEvent:
        case MouseMode::buttonEventTracking:
            // A drag: motion with the button held (flags + 32).
            if (moved)
                terminal->sendEvent(encodeMouseEvent(event->modifiers(), false) + 32, hit.grid.col, hit.grid.row,
                                    hit.pixels.col, hit.pixels.row);
            return;
        case MouseMode::x10:
        case MouseMode::vt200:
            return;
        case MouseMode::off:
            break;
        }
    }
    if (pressHandledByReport_)
        return;
    if (!selection->active()) {
        // The selection starts where the button went down, not where the first motion arrived.
        const MouseHit from = pressHit_.value_or(hit);
        selection->startSelection(from.grid.row, from.grid.col);
    }
    selection->dragExtend(Position{hit.grid.col, hit.grid.row + terminal->buffer().yDisp()});
    update();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !cellDimension) {
        event->ignore();
        return;
    }
    event->accept();
    const MouseHit hit = calculateMouseHit(event->position());
    pointerMovedTo(hit);
    if (event->modifiers() & Qt::ControlModifier) {
        if (const auto payload = getPayload(event->position())) {
            if (const auto link = urlAndParamsFrom(*payload); link && terminalDelegate)
                terminalDelegate->requestOpenLink(*this, link->first, link->second);
        }
    }
    const MouseMode mode = terminal->mouseMode();
    if (allowMouseReporting && reportsButtons(mode))
        terminal->sendEvent(encodeMouseEvent(event->modifiers(), true), hit.grid.col, hit.grid.row, hit.pixels.col,
                            hit.pixels.row);
    pressHit_.reset();
}

void TerminalView::hoverEnterEvent(QHoverEvent* event)
{
    hoverMoveEvent(event);
}

void TerminalView::hoverMoveEvent(QHoverEvent* event)
{
    lastPointer_ = event->position();
    if (!cellDimension)
        return;
    if (commandActive) {
        if (const auto payload = getPayload(event->position()))
            previewUrl(*payload);
    }
    const MouseHit hit = calculateMouseHit(event->position());
    if (pointerMovedTo(hit) && terminal->mouseMode() == MouseMode::anyEvent)
        terminal->sendEvent(encodeMouseEvent(event->modifiers(), true) + 32, hit.grid.col, hit.grid.row,
                            hit.pixels.col, hit.pixels.row);
}

bool TerminalView::pointerMovedTo(const MouseHit& hit)
{
    // Motion is the pointer reaching another cell (another pixel in the pixel encoding), as
    // xterm reports it. Qt Quick also sends hover events to a resting pointer when the scene
    // repaints, after a release, or when Ctrl or Shift goes down; a program must not hear those
    // as motion. Every pointer event moves the mark, reported or not, so a press or release
    // followed by a hover at the same spot is no motion either.
    const bool pixels = terminal->mouseProtocol == termcore::MouseProtocolEncoding::sgrPixel;
    const PointerPlace place{hit.grid.col, hit.grid.row, hit.pixels.col, hit.pixels.row};
    const bool moved = !pointerPlace_ || pointerPlace_->col != place.col || pointerPlace_->row != place.row
                       || (pixels && (pointerPlace_->x != place.x || pointerPlace_->y != place.y));
    pointerPlace_ = place;
    return moved;
}

void TerminalView::hoverLeaveEvent(QHoverEvent* event)
{
    // The place stays: coming back in is motion only at another cell (a popup that opened
    // over the view and closed again moved nothing).
    turnOffUrlPreview();
    QQuickPaintedItem::hoverLeaveEvent(event);
}

void TerminalView::wheelEvent(QWheelEvent* event)
{
    const auto mods = event->modifiers();
    // A program that asked for button reports hears the wheel, on either screen: a picker drawn
    // under the shell prompt scrolls its own list. Shift+wheel stays the view's, so the
    // scrollback can still be reached (xterm does not report Shift+wheel either). X10
    // reporting (mode 9) carries no wheel, as in xterm.
    if (allowMouseReporting && reportsButtons(terminal->mouseMode()) && !(mods & Qt::ShiftModifier)
        && cellDimension) {
        // One report per notch (120 units of angle), as xterm sends one per wheel button press:
        // the program applies its own step. A touchpad's small steps add up to a notch first.
        int angle = event->angleDelta().y();
        if (angle == 0 && !event->pixelDelta().isNull()) {
            const qreal notchPixels = cellDimension->height() * QGuiApplication::styleHints()->wheelScrollLines();
            angle = int(std::lround(event->pixelDelta().y() * 120.0 / std::max<qreal>(notchPixels, 1)));
        }
        if (angle == 0) {
            event->ignore();
            return;
        }
        event->accept();
        if ((angle > 0) != (wheelRemainder_ > 0))
            wheelRemainder_ = 0; // turning back drops what was gathered the other way
        wheelRemainder_ += angle;
        const int notches = wheelRemainder_ / 120;
        wheelRemainder_ -= notches * 120;
        const int flags = terminal->encodeButton(notches > 0 ? 4 : 5, false, false, mods & Qt::AltModifier,
                                                 mods & Qt::ControlModifier);
        const MouseHit hit = calculateMouseHit(event->position());
        for (int i = 0; i < std::abs(notches); ++i)
            terminal->sendEvent(flags, hit.grid.col, hit.grid.row, hit.pixels.col, hit.pixels.row);
        return;
    }
    wheelRemainder_ = 0;
    // Lines of the wheel's delta: a pixel delta (touchpads) in rows, else notches at the
    // desktop's lines per notch. Shift+wheel may arrive as a horizontal delta (Qt turns it so
    // on some platforms).
    QPointF pixels = event->pixelDelta();
    QPoint angles = event->angleDelta();
    if ((mods & Qt::ShiftModifier) && angles.y() == 0 && pixels.y() == 0) {
        pixels = QPointF(0, pixels.x());
        angles = QPoint(0, angles.x());
    }
    qreal d = 0;
    if (!pixels.isNull() && cellDimension)
        d = pixels.y() / cellDimension->height();
    else
        d = angles.y() / 120.0 * QGuiApplication::styleHints()->wheelScrollLines();
    if (d == 0) {
        event->ignore();
        return;
    }
    event->accept();
    const int magnitude = int(std::abs(d));
    const int lines = magnitude <= 1 ? 1 : magnitude <= 5 ? 3 : magnitude <= 9 ? 10 : std::max(terminal->rows(), 20);
    if (d > 0)
        scrollTo(std::max(terminal->buffer().yDisp() - lines, 0), true);
    else
        scrollDown(lines);
}
