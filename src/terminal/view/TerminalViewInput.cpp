// Keyboard, input-method and clipboard input: key presses and committed text become the bytes
// a terminal application expects (xterm's sequences), sent through the view's delegate.
//
// Keys on Linux: Ctrl+Shift+C, V and A are copy, paste and select all, Shift+Insert pastes;
// Ctrl+Shift+T and N and F11 belong to the window; every other Ctrl combination reaches the
// program. Alt is Meta.
#include "TerminalView.h"

#include "CaretView.h"
#include "Diagnostics.h"
#include "EscapeSequences.h"
#include "SelectionService.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QtDebug>


namespace ES = termcore::EscapeSequences;

namespace {

// The character a key gives with no modifier applied (what Ctrl and Alt combine with), or an
// empty string for keys that produce no character. QKeyEvent::text() cannot be used with Ctrl
// held: it already holds the control code.
QString charactersIgnoringModifiers(const QKeyEvent* e)
{
    const int key = e->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar c(char16_t('a' + (key - Qt::Key_A)));
        return (e->modifiers() & Qt::ShiftModifier) ? c.toUpper() : c;
    }
    if (key >= 0x20 && key <= 0x7e)
        return QString(QChar(char16_t(key)));
    // A non-ASCII character key (é, ß, ...): its text when that is printable.
    const QString t = e->text();
    if (key < Qt::Key_Escape && !t.isEmpty() && t.at(0).isPrint())
        return t;
    return {};
}

// xterm's modifier parameter: 1 + Shift + 2 Alt + 4 Ctrl (1 alone means no modifier).
int modifierParameter(Qt::KeyboardModifiers mods)
{
    return 1 + ((mods & Qt::ShiftModifier) ? 1 : 0) + ((mods & Qt::AltModifier) ? 2 : 0)
           + ((mods & Qt::ControlModifier) ? 4 : 0);
}

// xterm's form of a navigation or function key pressed with modifier parameter m (TERM is
// xterm-256color, so programs decode exactly these): CSI 1;m X for the cursor keys, Home, End
// and F1-F4, CSI n;m ~ for the rest. Empty for any other key.
std::string modifiedKeySequence(int key, int m)
{
    char final = 0;
    int number = 0;
    switch (key) {
    case Qt::Key_Up: final = 'A'; break;
    case Qt::Key_Down: final = 'B'; break;
    case Qt::Key_Right: final = 'C'; break;
    case Qt::Key_Left: final = 'D'; break;
    case Qt::Key_Home: final = 'H'; break;
    case Qt::Key_End: final = 'F'; break;
    case Qt::Key_F1: final = 'P'; break;
    case Qt::Key_F2: final = 'Q'; break;
    case Qt::Key_F3: final = 'R'; break;
    case Qt::Key_F4: final = 'S'; break;
    case Qt::Key_Insert: number = 2; break;
    case Qt::Key_Delete: number = 3; break;
    case Qt::Key_PageUp: number = 5; break;
    case Qt::Key_PageDown: number = 6; break;
    case Qt::Key_F5: number = 15; break;
    case Qt::Key_F6: number = 17; break;
    case Qt::Key_F7: number = 18; break;
    case Qt::Key_F8: number = 19; break;
    case Qt::Key_F9: number = 20; break;
    case Qt::Key_F10: number = 21; break;
    case Qt::Key_F11: number = 23; break;
    case Qt::Key_F12: number = 24; break;
    default: return {};
    }
    if (final)
        return "\x1b[1;" + std::to_string(m) + final;
    return "\x1b[" + std::to_string(number) + ";" + std::to_string(m) + "~";
}

bool isWindowShortcut(const QKeyEvent* e)
{
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (e->key() == Qt::Key_F11)
        return true;
    return mods == (Qt::ControlModifier | Qt::ShiftModifier) && (e->key() == Qt::Key_T || e->key() == Qt::Key_N);
}

} // namespace

bool TerminalView::event(QEvent* ev)
{
    if (ev->type() == QEvent::ShortcutOverride) {
        // Keys typed into the terminal are the program's, not the window's shortcuts'.
        auto* key = static_cast<QKeyEvent*>(ev);
        if (!isWindowShortcut(key)) {
            ev->accept();
            return true;
        }
    }
    return QQuickPaintedItem::event(ev);
}

void TerminalView::keyPressEvent(QKeyEvent* event)
{
    const auto mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & Qt::AltModifier;
    const int key = event->key();

    if (isWindowShortcut(event)) {
        event->ignore();
        return;
    }
    event->accept();
    noteCaretActivity();

    if (key == Qt::Key_Control) {
        // Ctrl held: hyperlinks under the pointer are previewed (and open on click).
        setCommandActive(true);
        return;
    }
    switch (key) {
    // A lone modifier is not input: it must not drop the selection its chord is about to copy.
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        event->ignore();
        return;
    default:
        break;
    }

    // Clipboard keys come before the selection is dropped: copying needs it.
    if (ctrl && shift && !alt) {
        if (key == Qt::Key_C) {
            copy();
            return;
        }
        if (key == Qt::Key_V) {
            paste();
            return;
        }
        if (key == Qt::Key_A) {
            selectAll();
            return;
        }
    }

    // Shift+Insert pastes, as in xterm and every other Linux terminal.
    if (shift && !ctrl && !alt && key == Qt::Key_Insert) {
        paste();
        return;
    }

    selectNone();

    // Navigation and function keys with modifiers, except the chords that mean something of
    // their own here: Alt+Left/Right move by words (ESC b / ESC f) and Shift+PgUp/PgDn page.
    if (const int m = modifierParameter(mods); m > 1) {
        const bool horizontal = key == Qt::Key_Left || key == Qt::Key_Right;
        const bool page = key == Qt::Key_PageUp || key == Qt::Key_PageDown;
        const bool ownMeaning = (m == 3 && optionAsMetaKey && horizontal) || (m == 2 && page);
        if (const std::string seq = modifiedKeySequence(key, m); !ownMeaning && !seq.empty()) {
            send(std::vector<uint8_t>(seq.begin(), seq.end()));
            return;
        }
    }

    if (alt && optionAsMetaKey) {
        // Meta: ESC before the key's character (xterm's metaSendsEscape).
        if (key == Qt::Key_Right) {
            send(ES::emacsForward);
            return;
        }
        if (key == Qt::Key_Left) {
            send(ES::emacsBack);
            return;
        }
        QString chars = charactersIgnoringModifiers(event);
        if (ctrl) {
            // Ctrl+Alt+letter: ESC and the control code.
            const auto bytes = applyControlToEventCharacters(chars);
            if (!bytes.empty()) {
                send(ES::cmdEsc);
                send(bytes);
            }
            return;
        }
        if (chars.isEmpty()) {
            if (key == Qt::Key_Backspace)
                chars = QString(QChar(char16_t(backspaceSendsControlH ? 0x08 : 0x7f)));
            else if (key == Qt::Key_Return || key == Qt::Key_Enter)
                chars = QStringLiteral("\r");
            else
                return;
        }
        send(ES::cmdEsc);
        send(chars);
        return;
    }

    if (ctrl) {
        const QString chars = charactersIgnoringModifiers(event);
        if (!chars.isEmpty()) {
            send(applyControlToEventCharacters(chars));
            return;
        }
        // Keys without a character (Return, arrows, function keys) go on as plain keys.
    }

    // Function and navigation keys.
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        send(ES::cmdF[size_t(key - Qt::Key_F1)]);
        return;
    }
    switch (key) {
    case Qt::Key_Delete:
        send(ES::cmdDelKey);
        return;
    case Qt::Key_PageUp:
        if (shift)
            doCommand(Command::scrollPageUp);
        else
            pageUp();
        return;
    case Qt::Key_PageDown:
        if (shift)
            doCommand(Command::scrollPageDown);
        else
            pageDown();
        return;
    case Qt::Key_Insert:
        send(ES::cmdInsert);
        return;
    default:
        break;
    }

    // What the platform's key bindings would make of the rest.
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        doCommand(Command::insertNewline);
        return;
    case Qt::Key_Escape:
        doCommand(Command::cancelOperation);
        return;
    case Qt::Key_Backspace:
        doCommand(Command::deleteBackward);
        return;
    case Qt::Key_Up:
        doCommand(Command::moveUp);
        return;
    case Qt::Key_Down:
        doCommand(Command::moveDown);
        return;
    case Qt::Key_Left:
        doCommand(Command::moveLeft);
        return;
    case Qt::Key_Right:
        doCommand(Command::moveRight);
        return;
    case Qt::Key_Tab:
        doCommand(shift ? Command::insertBacktab : Command::insertTab);
        return;
    case Qt::Key_Backtab:
        doCommand(Command::insertBacktab);
        return;
    case Qt::Key_Home:
        doCommand(Command::moveToBeginningOfLine);
        return;
    case Qt::Key_End:
        doCommand(Command::moveToEndOfLine);
        return;
    default:
        break;
    }

    const QString text = event->text();
    if (!text.isEmpty() && !(ctrl && text.at(0).unicode() < 0x20)) {
        insertText(text);
        return;
    }
    event->ignore(); // modifier keys alone and keys with nothing to send
}

void TerminalView::doCommand(Command command)
{
    const bool app = terminal->applicationCursor;
    switch (command) {
    case Command::insertNewline:
        send(ES::cmdRet);
        break;
    case Command::cancelOperation:
        send(ES::cmdEsc);
        break;
    case Command::deleteBackward:
        send(std::vector<uint8_t>{uint8_t(backspaceSendsControlH ? 0x08 : 0x7f)});
        break;
    case Command::moveUp:
        sendKeyUp();
        break;
    case Command::moveDown:
        sendKeyDown();
        break;
    case Command::moveLeft:
        sendKeyLeft();
        break;
    case Command::moveRight:
        sendKeyRight();
        break;
    case Command::insertTab:
        send(ES::cmdTab);
        break;
    case Command::insertBacktab:
        send(ES::cmdBackTab);
        break;
    case Command::moveToBeginningOfLine:
        send(app ? ES::moveHomeApp : ES::moveHomeNormal);
        break;
    case Command::moveToEndOfLine:
        send(app ? ES::moveEndApp : ES::moveEndNormal);
        break;
    case Command::scrollPageUp:
        if (app)
            send(ES::cmdPageUp);
        else
            pageUp();
        break;
    case Command::scrollPageDown:
        if (app)
            send(ES::cmdPageDown);
        else
            pageDown();
        break;
    case Command::pageDownAndModifySelection:
        if (!app)
            send(ES::cmdPageDown);
        break;
    case Command::moveToLeftEndOfLine:
        send(ES::emacsBack);
        break;
    case Command::moveToRightEndOfLine:
        send(ES::emacsForward);
        break;
    }
}

void TerminalView::insertText(const QString& text)
{
    send(text);
}

void TerminalView::inputMethodEvent(QInputMethodEvent* event)
{
    // Every committed text reaches the program; composition (pre-edit) is not shown.
    if (!event->commitString().isEmpty()) {
        noteCaretActivity();
        selectNone();
        insertText(event->commitString());
    }
    event->accept();
}

QVariant TerminalView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return caretFrame();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase | Qt::ImhPreferLatin);
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
        return QString();
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    default:
        return QQuickPaintedItem::inputMethodQuery(query);
    }
}

void TerminalView::copy()
{
    if (!selectionActive())
        return;
    if (QClipboard* cb = QGuiApplication::clipboard())
        cb->setText(QString::fromStdString(selection->getSelectedText()));
}

void TerminalView::paste()
{
    pasteFrom(brinmoor::X11ClipboardReader::Selection::Clipboard);
}

void TerminalView::pasteFrom(brinmoor::X11ClipboardReader::Selection from)
{
    namespace Reader = brinmoor::X11ClipboardReader;
    const bool primary = from == Reader::Selection::Primary;
    // One paste at a time: a new one replaces the one still being read (a user who saw nothing
    // come presses again; each would otherwise wait out its owner).
    if (pasteControl_) {
        pasteControl_->cancel();
        pasteControl_.reset();
    }
    setPasteNotice({});
    QClipboard* cb = QGuiApplication::clipboard();
    if (!Reader::readsFromOwner(cb, from)) {
        // The app's own selection, or a platform without X11: QClipboard has it at hand.
        QString text = cb ? cb->text(primary ? QClipboard::Selection : QClipboard::Clipboard) : QString();
        if (text.size() > pasteLimitBytes) {
            setPasteNotice(QStringLiteral("Nothing was pasted: the text (%1) is longer than a terminal paste takes (%2).")
                               .arg(QLocale::c().formattedDataSize(text.size(), 1, QLocale::DataSizeTraditionalFormat),
                                    QLocale::c().formattedDataSize(pasteLimitBytes, 0, QLocale::DataSizeTraditionalFormat)));
            return;
        }
        if (!primary || !text.isEmpty())
            pasteText(std::move(text));
        return;
    }
    // Another program's: QClipboard would ask its owner on the GUI thread, 5 s for each question
    // an owner leaves unanswered and as long as it likes for a text it trickles.
    auto control = std::make_shared<Reader::Control>();
    pasteControl_ = control;
    if (!pasteThreads_)
        pasteThreads_ = std::make_unique<brinmoor::ReadThreads>();
    QPointer<TerminalView> self(this);
    const bool started = pasteThreads_->start([self, control, from, display = qgetenv("DISPLAY")] {
        Reader::Reader reader(display, from, Reader::answerTimeoutMs, Reader::transferLimitMs, control.get());
        const Reader::Result got = reader.text(pasteLimitBytes);
        QString text = got.outcome == Reader::Outcome::Text ? got.text() : QString();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, control, from, outcome = got.outcome, text = std::move(text), size = got.size]() mutable {
                if (self)
                    self->pasteArrived(control.get(), from, outcome, std::move(text), size);
            }, Qt::QueuedConnection);
    });
    if (!started) {
        // The system made no thread (its task limit reached): said now, and the next paste asks
        // for a thread of its own again.
        pasteControl_.reset();
        setPasteNotice(QStringLiteral("Nothing was pasted: %1.").arg(brinmoor::ReadThreads::refusal()));
    }
}

void TerminalView::pasteArrived(const brinmoor::X11ClipboardReader::Control* control, brinmoor::X11ClipboardReader::Selection from,
                                brinmoor::X11ClipboardReader::Outcome outcome, QString text, qint64 size)
{
    using brinmoor::X11ClipboardReader::Outcome;
    // A paste replaced (or cancelled) meanwhile puts nothing in.
    if (control != pasteControl_.get())
        return;
    pasteControl_.reset();
    const QString holder = from == brinmoor::X11ClipboardReader::Selection::Primary ? QStringLiteral("the selection") : QStringLiteral("the clipboard");
    const auto sized = [](qint64 bytes, int decimals) {
        return QLocale::c().formattedDataSize(bytes, decimals, QLocale::DataSizeTraditionalFormat);
    };
    switch (outcome) {
    case Outcome::Text:
        if (!text.isEmpty())
            pasteText(std::move(text));
        return;
    case Outcome::Empty:
    case Outcome::Cancelled:
        return;
    case Outcome::TooLarge:
        setPasteNotice(QStringLiteral("Nothing was pasted: the text (over %1) is longer than a terminal paste takes (%2).")
                           .arg(sized(size, 1), sized(pasteLimitBytes, 0)));
        return;
    case Outcome::NoAnswer:
        setPasteNotice(QStringLiteral("Nothing was pasted: the program holding %1 did not answer.").arg(holder));
        return;
    case Outcome::NotText:
        setPasteNotice(QStringLiteral("Nothing was pasted: the program holding %1 sent something that is not text.").arg(holder));
        return;
    case Outcome::Unreachable:
        setPasteNotice(QStringLiteral("Nothing was pasted: %1 could not be read.").arg(holder));
        return;
    }
}

void TerminalView::setPasteNotice(const QString& notice)
{
    if (notice == pasteNotice_)
        return;
    pasteNotice_ = notice;
    if (!notice.isEmpty())
        qWarning().noquote() << "terminal paste:" << notice;
    emit pasteNoticeChanged();
}

void TerminalView::pasteText(QString text)
{
    if (!terminal->bracketedPasteMode) {
        insertText(text);
        return;
    }
    // The program asked to see pastes as pastes (DECSET 2004): mark them, so pasted lines are
    // not run as typed commands. The end marker inside the text would end the paste early and
    // let the rest run, so it is taken out (and a start marker with it), until none is left:
    // removing one can join the pieces of another ("\e[20\e[201~1~").
    const QString endMark = QStringLiteral("\x1b[201~"), startMark = QStringLiteral("\x1b[200~");
    while (text.contains(endMark) || text.contains(startMark)) {
        text.remove(endMark);
        text.remove(startMark);
    }
    insertText(QStringLiteral("\x1b[200~") + text + QStringLiteral("\x1b[201~"));
}

