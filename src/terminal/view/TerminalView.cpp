#include "TerminalView.h"

#include "Assets.h"
#include "CaretView.h"
#include "Diagnostics.h"
#include "TerminalRedrawClock.h"
#include "TerminalScroller.h"
#include "SelectionService.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPalette>
#include <QQuickWindow>
#include <QUrl>

#include <algorithm>
#include <cmath>

using termcore::Attribute;
using termcore::Terminal;

// ---- TerminalViewDelegate defaults --------------------------------------------------------

void TerminalViewDelegate::requestOpenLink(TerminalView&, const QString& link, const QMap<QString, QString>&)
{
    // Only web, mail and file links: a program must not make a click start arbitrary handlers.
    const QUrl url(link, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || !(scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "file"))
        return;
    if (TerminalView::linkOpener)
        TerminalView::linkOpener(url);
}

void TerminalViewDelegate::bell(TerminalView& source)
{
    brinmoor::AlertSound::beep();
    emit source.bellRang();
}

// ---- Construction -------------------------------------------------------------------------

TerminalView::TerminalView(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    init(FontSet::defaultFont());
}

TerminalView::TerminalView(QQuickItem* parent, const QFont& font) : QQuickPaintedItem(parent)
{
    init(font);
}

TerminalView::~TerminalView()
{
    // A paste still being read ends now, not when its owner answers: closing a pane or the window
    // never waits for another program. Its thread ends with the cancel.
    if (pasteControl_)
        pasteControl_->cancel();
    pasteThreads_.reset();
    // An image being decoded posts its result to this view: it ends before the view goes (its
    // work is bounded), and the posted result is then dropped with the view.
    if (imageThread_.joinable())
        imageThread_.join();
    if (TerminalRedrawClock* clock = TerminalRedrawClock::existing())
        clock->cancel(this);
    if (terminal)
        terminal->setDelegate(nullptr);
}

void TerminalView::init(const QFont& font)
{
    setFlag(ItemHasContents, true);
    setFlag(ItemAcceptsInputMethod, true);
    setActiveFocusOnTab(true);
    setAcceptedMouseButtons(Qt::LeftButton | Qt::MiddleButton | Qt::RightButton);
    // The view follows the pointer wherever it rests, not only while a program wants motion or
    // Ctrl previews links: when a program turns any-event tracking on, the view already knows
    // the pointer's cell, so its first report is a real move and not the pointer being noticed
    // (Qt Quick delivers a hover to an item the moment it starts accepting them).
    setAcceptHoverEvents(true);
    setCursor(Qt::IBeamCursor);
    setOpaquePainting(true);
    setAntialiasing(false);
    selectedTextBackgroundColor_ = QGuiApplication::palette().color(QPalette::Highlight);
    fontSet = FontSet::from(font);

    // Like GTK's cursor-blink-timeout: after ten quiet seconds the caret stays lit and nothing
    // is redrawn until the next key or output.
    caretIdle_ = new QTimer(this);
    caretIdle_->setSingleShot(true);
    caretIdle_->setInterval(10000);
    connect(caretIdle_, &QTimer::timeout, this, [this] {
        if (caretView_) {
            caretView_->updateAnimation(false);
            caretView_->update();
        }
    });

    setupScroller();
    setupOptions();
    connectWindow(window()); // made with a parent already in a window: no scene change follows
}

void TerminalView::setupOptions()
{
    setupOptions(width() - (scroller_ ? scroller_->width() : 0), height());
    setFillColor(defaultBackground());
}

void TerminalView::setupScroller()
{
    if (!scroller_) {
        scroller_ = new TerminalScroller(this);
        scroller_->onActivated = [this](TerminalScroller::Part part) { scrollerActivated(int(part)); };
    }
    const qreal w = TerminalScroller::defaultWidth;
    scroller_->setPosition(QPointF(width() - w, 0));
    scroller_->setSize(QSizeF(w, height()));
}

void TerminalView::scrollerActivated(int partValue)
{
    using P = TerminalScroller::Part;
    switch (P(partValue)) {
    case P::knob:
        scroll(scroller_->doubleValue());
        break;
    case P::decrementPage:
        pageUp();
        scroller_->setDoubleValue(scrollPosition());
        break;
    case P::incrementPage:
        pageDown();
        scroller_->setDoubleValue(scrollPosition());
        break;
    case P::noPart:
        termcore::Diagnostics::print("Scroller .noPart clicked");
        break;
    case P::decrementLine:
        termcore::Diagnostics::print("Scroller .decrementLine clicked");
        break;
    case P::incrementLine:
        termcore::Diagnostics::print("Scroller .incrementLine clicked");
        break;
    case P::knobSlot:
        termcore::Diagnostics::print("Scroller .knobSlot clicked");
        break;
    }
}

void TerminalView::updateScroller()
{
    if (!scroller_ || !terminal)
        return;
    scroller_->setScrollEnabled(canScroll());
    scroller_->setDoubleValue(scrollPosition());
    scroller_->setKnobProportion(scrollThumbsize());
}

int TerminalView::terminalCols() const
{
    return terminal ? terminal->cols() : 0;
}

int TerminalView::terminalRows() const
{
    return terminal ? terminal->rows() : 0;
}

QRectF TerminalView::getOptimalFrameSize() const
{
    const QSizeF cell = cellDimension.value_or(QSizeF(1, 1));
    return QRectF(0, 0, cell.width() * terminal->cols() + scroller_->width(), cell.height() * terminal->rows());
}

// ---- Focus --------------------------------------------------------------------------------

bool TerminalView::hasFocus() const
{
    return hasFocus_ && (!window() || window()->isActive());
}

void TerminalView::setHasFocus(bool focus)
{
    hasFocus_ = focus;
    if (caretView_) {
        caretView_->focused = focus;
        caretView_->update();
    }
    emit focusStateChanged();
}

bool TerminalView::caretViewTracksFocus() const
{
    return caretView_ && caretView_->tracksFocus;
}

void TerminalView::setCaretViewTracksFocus(bool on)
{
    if (caretView_)
        caretView_->tracksFocus = on;
}

void TerminalView::applyCaretAnimation()
{
    // Only the caret of the view that has the keyboard, in the active window, blinks: an idle
    // grid of unfocused terminals costs nothing.
    if (!caretView_)
        return;
    const bool blink = hasFocus() && CaretView::styleBlinks(caretView_->style);
    caretView_->updateAnimation(blink);
    caretView_->update();
    if (caretIdle_) {
        if (blink)
            caretIdle_->start();
        else
            caretIdle_->stop();
    }
}

void TerminalView::setCaretBlinkTimeout(int ms)
{
    caretIdle_->setInterval(std::max(1, ms));
}

void TerminalView::noteCaretActivity()
{
    if (!caretView_ || !caretIdle_ || !hasFocus() || !CaretView::styleBlinks(caretView_->style))
        return;
    if (!caretView_->isBlinking())
        caretView_->updateAnimation(true);
    caretIdle_->start();
}

void TerminalView::connectWindow(QQuickWindow* w)
{
    if (!w)
        return;
    connect(w, &QWindow::activeChanged, this, &TerminalView::windowActiveChanged, Qt::UniqueConnection);
    // The scene graph rebuilt: every item is drawn on a new surface.
    connect(w, &QQuickWindow::sceneGraphInvalidated, this, &TerminalView::repaintAll, Qt::UniqueConnection);
}

void TerminalView::windowActiveChanged()
{
    // Ctrl may go up in the other window: this view would never hear its release.
    if (window() && !window()->isActive())
        turnOffUrlPreview();
    applyCaretAnimation();
    reportFocusChange();
    emit focusStateChanged();
}

void TerminalView::reportFocusChange()
{
    // Moving the keyboard between panes and switching windows both count; a change that ends
    // where it started (focus out and back in one step) is not told twice.
    const bool focused = hasFocus();
    if (focused == reportedFocus_)
        return;
    reportedFocus_ = focused;
    if (terminal)
        terminal->sendFocusReport(focused);
}

void TerminalView::focusInEvent(QFocusEvent* event)
{
    QQuickPaintedItem::focusInEvent(event);
    setHasFocus(true);
    applyCaretAnimation();
    reportFocusChange();
}

void TerminalView::focusOutEvent(QFocusEvent* event)
{
    QQuickPaintedItem::focusOutEvent(event);
    // Keys go elsewhere now, Ctrl's release too: the link label shown while it is held goes.
    turnOffUrlPreview();
    setHasFocus(false);
    applyCaretAnimation();
    reportFocusChange();
}

void TerminalView::itemChange(ItemChange change, const ItemChangeData& value)
{
    QQuickPaintedItem::itemChange(change, value);
    // A window that becomes active restarts a blinking caret; one that resigns shows it steady.
    if (change == ItemSceneChange)
        connectWindow(value.window);
    // Back in a window (a workspace shown again), shown again, or at another pixel density: the
    // surface it is drawn on is new, or may be.
    if ((change == ItemSceneChange && value.window) || (change == ItemVisibleHasChanged && value.boolValue)
        || change == ItemDevicePixelRatioHasChanged)
        repaintAll();
}

void TerminalView::repaintAll()
{
    // A new surface starts with whatever memory it was given, not with what this view drew
    // before: every row is painted on it, and none counts as already shown.
    shownRows_.clear();
    updateWhole();
}

void TerminalView::updateWhole()
{
    update(QRect(0, 0, int(std::ceil(width())), int(std::ceil(height()))));
}

// ---- Size ---------------------------------------------------------------------------------

void TerminalView::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    setupScroller();
    if (!cellDimension || !terminal)
        return;
    processSizeChange(newGeometry.size());
    repaintAll(); // a new size is a new surface
    updateCursorPosition();
}

bool TerminalView::processSizeChange(QSizeF newSize)
{
    const QSizeF cell = *cellDimension;
    const int newRows = int(newSize.height() / cell.height());
    const int newCols = int((newSize.width() - scroller_->width()) / cell.width());
    if (newCols == terminal->cols() && newRows == terminal->rows())
        return false;
    selectNone();
    terminal->resize(newCols, newRows);
    if (search)
        search->invalidate();
    if (terminalDelegate)
        terminalDelegate->sizeChanged(*this, terminal->cols(), terminal->rows());
    updateScroller();
    emit terminalSizeChanged();
    return true;
}

void TerminalView::resize(int cols, int rows)
{
    terminal->resize(cols, rows);
    sizeChanged(*terminal);
    terminal->cmdSoftReset();
}

// ---- Scrolling ----------------------------------------------------------------------------

bool TerminalView::canScroll() const
{
    const auto& buf = terminal->buffer();
    if (terminal->isCurrentBufferAlternate() || !buf.hasScrollback())
        return false;
    return buf.lines().count() > terminal->rows();
}

double TerminalView::scrollPosition() const
{
    const auto& buf = terminal->buffer();
    if (terminal->isCurrentBufferAlternate() || buf.yDisp() < 1)
        return 0;
    const int maxScroll = buf.lines().count() - terminal->rows();
    if (buf.yDisp() >= maxScroll)
        return 1;
    return double(buf.yDisp()) / double(maxScroll);
}

double TerminalView::scrollThumbsize() const
{
    if (terminal->isCurrentBufferAlternate())
        return 0;
    const int count = std::max(1, terminal->buffer().lines().count());
    return std::max(0.01, double(terminal->rows()) / double(count));
}

void TerminalView::scrollTo(int row, bool notifyAccessibility)
{
    auto& buf = terminal->buffer();
    if (row == buf.yDisp())
        return;
    buf.setYDisp(row);
    terminal->updateRange(0);
    terminal->updateRange(terminal->rows());
    updateDisplay(notifyAccessibility);
    const double position = scrollPosition();
    if (terminalDelegate)
        terminalDelegate->scrolled(*this, position);
    updateScroller();
    updateWhole();
    emit scrollPositionChanged(position);
}

void TerminalView::scroll(double toPosition)
{
    userScrolling = true;
    const int maxScroll = std::max(0, terminal->buffer().lines().count() - terminal->rows());
    const int row = std::clamp(int(toPosition * maxScroll), 0, maxScroll);
    if (row != terminal->buffer().yDisp())
        scrollTo(row, true);
    userScrolling = false;
}

void TerminalView::scrollUp(int lines)
{
    scrollTo(std::max(terminal->buffer().yDisp() - lines, 0), true);
}

void TerminalView::scrollDown(int lines)
{
    const auto& buf = terminal->buffer();
    scrollTo(std::max(std::min(buf.lines().count() - terminal->rows(), buf.yDisp() + lines), 0), true);
}

void TerminalView::pageUp()
{
    if (terminal->isCurrentBufferAlternate()) {
        send(std::vector<uint8_t>{0x1b, '[', '5', '~'});
        return;
    }
    scrollTo(std::max(terminal->buffer().yDisp() - terminal->rows(), 0), true);
}

void TerminalView::pageDown()
{
    if (terminal->isCurrentBufferAlternate()) {
        send(std::vector<uint8_t>{0x1b, '[', '6', '~'});
        return;
    }
    scrollDown(terminal->rows());
}

void TerminalView::ensureCaretIsVisible()
{
    const auto& buf = terminal->buffer();
    const int cursorRow = buf.y() + buf.yBase();
    if (cursorRow < buf.yDisp() || cursorRow >= buf.yDisp() + terminal->rows())
        scrollTo(buf.yBase(), true);
}

// ---- Sending ------------------------------------------------------------------------------

void TerminalView::send(std::span<const uint8_t> data)
{
    ensureCaretIsVisible();
    if (terminalDelegate)
        terminalDelegate->send(*this, data);
}

void TerminalView::send(const QString& txt)
{
    const QByteArray utf8 = txt.toUtf8();
    send(std::span(reinterpret_cast<const uint8_t*>(utf8.constData()), size_t(utf8.size())));
}

void TerminalView::sendKeyUp()
{
    send(std::vector<uint8_t>{0x1b, uint8_t(terminal->applicationCursor ? 'O' : '['), 'A'});
}

void TerminalView::sendKeyDown()
{
    send(std::vector<uint8_t>{0x1b, uint8_t(terminal->applicationCursor ? 'O' : '['), 'B'});
}

void TerminalView::sendKeyLeft()
{
    send(std::vector<uint8_t>{0x1b, uint8_t(terminal->applicationCursor ? 'O' : '['), 'D'});
}

void TerminalView::sendKeyRight()
{
    send(std::vector<uint8_t>{0x1b, uint8_t(terminal->applicationCursor ? 'O' : '['), 'C'});
}

std::vector<uint8_t> TerminalView::applyControlToEventCharacters(const QString& ch)
{
    // What X's key translation, and so xterm, makes of Ctrl with a character: @ to ~ keep their
    // low five bits (letters, @ [ \ ] ^ _ and ` { | } ~); the digits 2 to 8 give NUL, ESC to US
    // and DEL, as on a VT220 keyboard; Space is NUL, / is US and ? is DEL. Any other character
    // has no control form.
    const QByteArray utf8 = ch.toUtf8();
    if (utf8.size() != 1)
        return {};
    const uint8_t c = uint8_t(utf8[0]);
    if (c >= '@' && c <= '~')
        return {uint8_t(c & 0x1f)};
    switch (c) {
    case ' ':
    case '2':
        return {0x00};
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
        return {uint8_t(0x1b + (c - '3'))};
    case '8':
    case '?':
        return {0x7f};
    case '/':
        return {0x1f};
    default:
        return {};
    }
}

// ---- Selection ----------------------------------------------------------------------------

bool TerminalView::selectionActive() const
{
    return selection && selection->active();
}

std::optional<QString> TerminalView::getSelection() const
{
    if (!selectionActive())
        return std::nullopt;
    return QString::fromStdString(selection->getSelectedText());
}

void TerminalView::selectAll()
{
    selection->selectAll();
}

void TerminalView::selectNone()
{
    if (selection && selection->active()) {
        selection->setActive(false);
        selection->selectionMode = termcore::SelectionService::SelectionMode::character;
    }
}

// ---- TerminalDelegate ---------------------------------------------------------------------

void TerminalView::showCursor(Terminal&)
{
    if (caretView_)
        caretView_->setVisible(true);
}

void TerminalView::hideCursor(Terminal&)
{
    if (caretView_)
        caretView_->setVisible(false);
}

void TerminalView::setTerminalTitle(Terminal&, const std::string& title)
{
    title_ = QString::fromStdString(title);
    emit titleChanged();
    if (terminalDelegate)
        terminalDelegate->setTerminalTitle(*this, title_);
}

std::optional<std::vector<uint8_t>> TerminalView::windowCommand(Terminal& source,
                                                                const termcore::WindowManipulationCommand& command)
{
    // Programs that place images by pixels ask for the cell size; a made-up one puts them wrong.
    if (command.kind == termcore::WindowManipulationCommand::Kind::reportCellSizeInPixels && cellDimension) {
        std::vector<uint8_t> reply = source.csi();
        const std::string text = "6;" + std::to_string(qRound(cellDimension->height())) + ";"
                                 + std::to_string(qRound(cellDimension->width())) + "t";
        reply.insert(reply.end(), text.begin(), text.end());
        return reply;
    }
    return std::nullopt;
}

void TerminalView::sizeChanged(Terminal& source)
{
    if (terminalDelegate)
        terminalDelegate->sizeChanged(*this, source.cols(), source.rows());
    updateScroller();
    emit terminalSizeChanged();
}

void TerminalView::send(Terminal&, std::span<const uint8_t> data)
{
    if (terminalDelegate)
        terminalDelegate->sendReply(*this, data);
}

void TerminalView::scrolled(Terminal&, int)
{
    // Streaming output scrolls many times between two frames: the scroller follows on the
    // redraw tick, with the rows.
    scrollerStale_ = true;
    queuePendingDisplay();
    const double position = scrollPosition();
    if (terminalDelegate)
        terminalDelegate->scrolled(*this, position);
}

void TerminalView::linefeed(Terminal&)
{
    selectNone();
}

void TerminalView::bufferActivated(Terminal&)
{
    updateScroller();
}

void TerminalView::bell(Terminal&)
{
    // A burst of bells (a binary file shown with cat holds thousands) is one ring per interval:
    // the bell is an alert, and every ring costs the desktop a sound.
    if (bellClock_.isValid() && bellClock_.elapsed() < bellInterval)
        return;
    bellClock_.start();
    if (terminalDelegate)
        terminalDelegate->bell(*this);
}

void TerminalView::selectionChanged(Terminal&)
{
    updateWhole();
    emit selectionActiveChanged();
}

void TerminalView::cursorStyleChanged(Terminal&, termcore::CursorStyle newStyle)
{
    if (!caretView_)
        return;
    caretView_->style = newStyle;
    if (cellDimension)
        caretView_->setSize(*cellDimension);
    applyCaretAnimation();
}

void TerminalView::hostCurrentDirectoryUpdated(Terminal& source)
{
    if (!terminalDelegate)
        return;
    std::optional<QString> dir;
    if (source.hostCurrentDirectory)
        dir = QString::fromStdString(*source.hostCurrentDirectory);
    terminalDelegate->hostCurrentDirectoryUpdate(*this, dir);
}

void TerminalView::iTermContent(Terminal&, std::span<const uint8_t> content)
{
    if (terminalDelegate)
        terminalDelegate->iTermContent(*this, content);
}
