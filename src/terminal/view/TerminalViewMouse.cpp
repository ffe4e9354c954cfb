// Pointer input: mouse reports to programs that asked for them (xterm's mouse tracking), text
// selection by click, word, expression, row and drag, the wheel, and hyperlinks
// (OSC 8) previewed while Ctrl is held and opened by Ctrl-click.
#include "TerminalView.h"

#include "SelectionService.h"

#include <QClipboard>
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

int TerminalView::encodeMouseEvent(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) const
{
    // The engine numbers xterm's middle, right and left buttons 1, 2 and 3 (codes 1, 2, 0).
    const int number = button == Qt::MiddleButton ? 1 : button == Qt::RightButton ? 2 : 3;
    const int flags = terminal->encodeButton(number, false, modifiers & Qt::ShiftModifier,
                                             modifiers & Qt::AltModifier, modifiers & Qt::ControlModifier);
    return button == Qt::NoButton ? flags | 3 : flags;
}

bool TerminalView::pressIsReported(Qt::KeyboardModifiers modifiers) const
{
    // Shift takes the pointer back from a program that tracks it, as in xterm: Shift+click and
    // drag select, Shift+right click opens the menu, Shift+middle click pastes.
    const MouseMode mode = terminal->mouseMode();
    return allowMouseReporting && cellDimension && !(modifiers & Qt::ShiftModifier)
           && (reportsButtons(mode) || mode == MouseMode::x10);
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
    const auto link = termcore::HyperlinkTarget::parse(payload);
    if (!link)
        return std::nullopt;
    QMap<QString, QString> params;
    for (const auto& [key, value] : link->params)
        params.insert(QString::fromStdString(key), QString::fromStdString(value));
    return std::make_pair(QString::fromStdString(link->uri), params);
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
    if (!link) {
        hideUrlPreview(); // nothing a click would open
        return;
    }
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

void TerminalView::hideUrlPreview()
{
    delete urlPreview_;
    urlPreview_ = nullptr;
}

void TerminalView::turnOffUrlPreview()
{
    if (!commandActive)
        return;
    hideUrlPreview();
    commandActive = false;
}

void TerminalView::followUrlPreview()
{
    // The label names the link under the pointer, and goes when there is none there (plain
    // text, a cell whose link output has replaced): Ctrl+click there opens nothing.
    if (!commandActive || lastPointer_.x() < 0)
        return;
    if (const auto payload = getPayload(lastPointer_))
        previewUrl(*payload);
    else
        hideUrlPreview();
}

void TerminalView::setCommandActive(bool on)
{
    if (!on) {
        turnOffUrlPreview();
        return;
    }
    commandActive = true;
    followUrlPreview();
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
    const Qt::MouseButton button = event->button();
    const bool tracked = button == Qt::LeftButton || button == Qt::MiddleButton || button == Qt::RightButton;
    if (!tracked || !cellDimension) {
        event->ignore();
        return;
    }
    const QPointF pos = event->position();
    lastPointer_ = pos;
    const MouseHit hit = calculateMouseHit(pos);
    pointerMovedTo(hit);
    if (button == Qt::LeftButton) {
        pressHit_ = hit;
        pressHandledByReport_ = false;
        // Qt has no triple click: count presses close in time and place.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const auto* hints = QGuiApplication::styleHints();
        const bool near = (pos - lastPressPos_).manhattanLength() <= hints->startDragDistance();
        clickCount_ = (near && now - lastPressTime_ <= hints->mouseDoubleClickInterval()) ? clickCount_ + 1 : 1;
        lastPressTime_ = now;
        lastPressPos_ = pos;
    }

    if (pressIsReported(event->modifiers())) {
        event->accept();
        terminal->sendEvent(encodeMouseEvent(button, event->modifiers()), hit.grid.col, hit.grid.row, hit.pixels.col,
                            hit.pixels.row);
        if (button == Qt::LeftButton)
            pressHandledByReport_ = true;
        // X10 reporting (DECSET 9) has presses only; the other modes follow the button to its
        // release.
        if (terminal->mouseMode() != MouseMode::x10)
            reportedButtons_ |= button;
        return;
    }
    if (button == Qt::RightButton) {
        event->accept();
        emit contextMenuRequested(pos);
        return;
    }
    if (button == Qt::MiddleButton) {
        // Where the desktop has a primary selection (X11), the middle button pastes it, as in
        // every X terminal; elsewhere it does nothing.
        QClipboard* cb = QGuiApplication::clipboard();
        if (!cb || !cb->supportsSelection()) {
            event->ignore();
            return;
        }
        event->accept();
        pasteFrom(brinmoor::X11ClipboardReader::Selection::Primary);
        return;
    }
    event->accept();
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
    updateWhole();
}

void TerminalView::mouseMoveEvent(QMouseEvent* event)
{
    if (!cellDimension || (!reportedButtons_ && !(event->buttons() & Qt::LeftButton))) {
        event->ignore();
        return;
    }
    event->accept();
    lastPointer_ = event->position();
    const MouseHit hit = calculateMouseHit(event->position());
    const bool moved = pointerMovedTo(hit);
    if (reportedButtons_) {
        // A drag the program heard the press of: in button-event and any-event tracking,
        // motion with the held button (its code + 32), the left one before the middle one
        // before the right one, as xterm reports two held at once.
        const MouseMode mode = terminal->mouseMode();
        if (moved && allowMouseReporting && (mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent)) {
            const Qt::MouseButton held = (reportedButtons_ & Qt::LeftButton)     ? Qt::LeftButton
                                         : (reportedButtons_ & Qt::MiddleButton) ? Qt::MiddleButton
                                                                                 : Qt::RightButton;
            terminal->sendMotion(encodeMouseEvent(held, event->modifiers()), hit.grid.col, hit.grid.row,
                                 hit.pixels.col, hit.pixels.row);
        }
        return;
    }
    if (pressHandledByReport_)
        return;
    if (!selection->active()) {
        // The selection starts where the button went down, not where the first motion arrived.
        const MouseHit from = pressHit_.value_or(hit);
        selection->startSelection(from.grid.row, from.grid.col);
    }
    selection->dragExtend(Position{hit.grid.col, hit.grid.row + terminal->buffer().yDisp()});
    updateWhole();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    const bool reported = reportedButtons_ & button;
    if (!cellDimension || (!reported && button != Qt::LeftButton)) {
        event->ignore();
        return;
    }
    event->accept();
    const MouseHit hit = calculateMouseHit(event->position());
    pointerMovedTo(hit);
    if (reported) {
        reportedButtons_ &= ~button;
        if (allowMouseReporting && reportsButtons(terminal->mouseMode()))
            terminal->sendRelease(encodeMouseEvent(button, event->modifiers()), hit.grid.col, hit.grid.row,
                                  hit.pixels.col, hit.pixels.row);
    }
    if (button != Qt::LeftButton)
        return;
    if (event->modifiers() & Qt::ControlModifier) {
        if (const auto payload = getPayload(event->position())) {
            if (const auto link = urlAndParamsFrom(*payload); link && terminalDelegate)
                terminalDelegate->requestOpenLink(*this, link->first, link->second);
        }
    }
    // What the pointer selected becomes the primary selection where there is one (X11), for a
    // middle click here or in another application to paste.
    if (!pressHandledByReport_ && selection->active()) {
        QClipboard* cb = QGuiApplication::clipboard();
        if (cb && cb->supportsSelection())
            cb->setText(QString::fromStdString(selection->getSelectedText()), QClipboard::Selection);
    }
    pressHit_.reset();
}

void TerminalView::mouseUngrabEvent()
{
    // The pointer was taken away mid-press (a popup, the window going away): a program that
    // heard a press must not be left with the button held down.
    if (reportedButtons_ && pointerPlace_ && allowMouseReporting && reportsButtons(terminal->mouseMode())) {
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
            if (reportedButtons_ & b)
                terminal->sendRelease(encodeMouseEvent(b, QGuiApplication::keyboardModifiers()), pointerPlace_->col,
                                      pointerPlace_->row, pointerPlace_->x, pointerPlace_->y);
        }
    }
    reportedButtons_ = Qt::NoButton;
    QQuickPaintedItem::mouseUngrabEvent();
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
    followUrlPreview();
    const MouseHit hit = calculateMouseHit(event->position());
    // Motion with no button held (35) in any-event tracking; with Shift held the pointer is the
    // view's, as for presses.
    if (pointerMovedTo(hit) && terminal->mouseMode() == MouseMode::anyEvent
        && !(event->modifiers() & Qt::ShiftModifier))
        terminal->sendMotion(encodeMouseEvent(Qt::NoButton, event->modifiers()), hit.grid.col, hit.grid.row,
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
