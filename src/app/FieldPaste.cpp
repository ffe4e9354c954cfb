#include "FieldPaste.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QJSEngine>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QScopeGuard>

namespace brinmoor {

namespace {

namespace Reader = X11ClipboardReader;

// A text field of Qt Quick's own that a paste would go into, or nothing.
QQuickItem* editableField(QObject* o)
{
    auto* item = qobject_cast<QQuickItem*>(o);
    if (!item || !(item->inherits("QQuickTextInput") || item->inherits("QQuickTextEdit")))
        return nullptr;
    if (item->property("readOnly").toBool() || !item->isEnabled() || item->property("readsPastesItself").toBool())
        return nullptr;
    return item;
}

bool isPasteKey(const QKeyEvent* k)
{
    return k->matches(QKeySequence::Paste) || (k->key() == Qt::Key_Insert && k->modifiers() == Qt::ShiftModifier);
}

// The place in `field`'s text at the point `at` of the field, or -1.
int positionAt(QQuickItem* field, QPointF at)
{
    int position = -1;
    if (field->inherits("QQuickTextEdit")) {
        QMetaObject::invokeMethod(field, "positionAt", Q_RETURN_ARG(int, position), Q_ARG(qreal, at.x()), Q_ARG(qreal, at.y()));
        return position;
    }
    // TextInput's positionAt takes its arguments as JavaScript passes them, so it is called
    // through the field's engine (a field is parented in its scene: the wrapper never owns it).
    QJSEngine* js = qjsEngine(field);
    if (!js)
        return -1;
    QJSValue self = js->newQObject(field);
    const QJSValue got = self.property(QStringLiteral("positionAt")).callWithInstance(self, {at.x(), at.y()});
    return got.isNumber() ? got.toInt() : -1;
}

} // namespace

FieldPaste::FieldPaste(QObject* parent) : QObject(parent)
{
    m_holdLimit.setSingleShot(true);
    m_holdLimit.setInterval(holdLimitMs);
    connect(&m_holdLimit, &QTimer::timeout, this, [this] {
        if (!m_control)
            return;
        m_control->cancel();
        m_control.reset();
        m_field.clear();
        qWarning("Nothing was pasted into the field: the program holding %s took too long; the keys typed meanwhile went in without it.",
                 m_primary ? "the selection" : "the clipboard");
        replayHeld();
    });
}

FieldPaste::~FieldPaste()
{
    if (m_control)
        m_control->cancel();
}

bool FieldPaste::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(event);
        if (m_replaying)
            return false;
        if (event->type() == QEvent::KeyPress && isPasteKey(k)) {
            QQuickItem* field = editableField(watched);
            if (field && Reader::readsFromOwner(QGuiApplication::clipboard(), Reader::Selection::Clipboard)) {
                start(field, Reader::Selection::Clipboard);
                k->accept();
                return true;
            }
        }
        // Typed into the field while its paste is read: held back, to go in after the text.
        if (!m_control || !m_field || watched != m_field.get())
            return false;
        if (m_held.empty()) {
            m_heldWindow = m_field->window();
            m_holdLimit.start();
        }
        m_held.emplace_back(static_cast<QKeyEvent*>(k->clone()));
        k->accept();
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->button() != Qt::MiddleButton)
            return false;
        QQuickItem* field = editableField(watched);
        if (!field)
            return false;
        if (event->type() != QEvent::MouseButtonRelease) {
            // Taken as it goes down, so that the release comes to the field, and here.
            if (!Reader::readsFromOwner(QGuiApplication::clipboard(), Reader::Selection::Primary))
                return false;
            m_middlePressed = field;
            m->accept();
            return true;
        }
        if (m_middlePressed != field)
            return false;
        m_middlePressed.clear();
        field->forceActiveFocus(Qt::MouseFocusReason);
        // The text goes in where the button went, as Qt's own middle click puts it; the cursor
        // moved there leaves any selection, which the paste then does not replace.
        if (const int at = positionAt(field, m->position()); at >= 0)
            field->setProperty("cursorPosition", at);
        start(field, Reader::Selection::Primary);
        m->accept();
        return true;
    }
    default:
        return false;
    }
}

void FieldPaste::start(QQuickItem* field, Reader::Selection from)
{
    // A paste replacing one in progress: the keys typed before it go in first.
    if (m_control) {
        m_control->cancel();
        m_control.reset();
        replayHeld();
    }
    auto control = std::make_shared<Reader::Control>();
    m_control = control;
    m_field = field;
    m_primary = from == Reader::Selection::Primary;
    QPointer<FieldPaste> self(this);
    const bool started = m_threads.start([self, control, from, display = qgetenv("DISPLAY")] {
        Reader::Reader reader(display, from, Reader::answerTimeoutMs, Reader::transferLimitMs, control.get());
        const Reader::Result got = reader.text(limitBytes);
        QString text = got.outcome == Reader::Outcome::Text ? got.text() : QString();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, control, outcome = got.outcome, text = std::move(text)]() mutable {
                if (self)
                    self->arrived(control.get(), outcome, std::move(text));
            }, Qt::QueuedConnection);
    });
    if (!started) {
        // The system made no thread (its task limit reached): nothing waits for it, and the
        // next paste asks again.
        m_control.reset();
        m_field.clear();
        qWarning("Nothing was pasted into the field: %s.", qPrintable(ReadThreads::refusal()));
    }
}

void FieldPaste::replayHeld()
{
    m_holdLimit.stop();
    std::vector<std::unique_ptr<QKeyEvent>> held = std::exchange(m_held, {});
    QPointer<QWindow> window = std::exchange(m_heldWindow, nullptr);
    // To the window, so that each goes where the focus is by then (a Return that closed a rename
    // leaves the next keys to what has the focus after it).
    m_replaying = true;
    for (const auto& k : held) {
        if (!window)
            break;
        QCoreApplication::sendEvent(window, k.get());
    }
    m_replaying = false;
}

void FieldPaste::arrived(const Reader::Control* control, Reader::Outcome outcome, QString text)
{
    // A paste replaced meanwhile puts nothing in.
    if (control != m_control.get())
        return;
    m_control.reset();
    QQuickItem* field = m_field;
    m_field.clear();
    const char* holder = m_primary ? "the selection" : "the clipboard";
    // Whatever came, the keys held behind the read go in after it.
    const auto replay = qScopeGuard([this] { replayHeld(); });
    switch (outcome) {
    case Reader::Outcome::Text:
        break;
    case Reader::Outcome::Empty:
    case Reader::Outcome::Cancelled:
        return;
    case Reader::Outcome::TooLarge:
        qWarning("Nothing was pasted into the field: the text is longer than a field takes (%lld bytes).", limitBytes);
        return;
    case Reader::Outcome::NoAnswer:
        qWarning("Nothing was pasted into the field: the program holding %s did not answer.", holder);
        return;
    case Reader::Outcome::NotText:
    case Reader::Outcome::Unreachable:
        qWarning("Nothing was pasted into the field: %s holds no text.", holder);
        return;
    }
    if (text.isEmpty())
        return;
    // A field gone, or one the user has left (with the mouse: keys are held) or locked since: the
    // text has nowhere it was asked to go.
    if (!field || !field->hasActiveFocus() || field->property("readOnly").toBool() || !field->isEnabled()) {
        qWarning("Nothing was pasted into the field: it was %s before the text came.", field ? "left" : "closed");
        return;
    }
    // Ctrl+V's text goes over the selection; a middle click's where the click put the cursor.
    const int from = field->property("selectionStart").toInt();
    const int to = field->property("selectionEnd").toInt();
    if (!m_primary && from != to)
        QMetaObject::invokeMethod(field, "remove", Q_ARG(int, from), Q_ARG(int, to));
    QMetaObject::invokeMethod(field, "insert", Q_ARG(int, field->property("cursorPosition").toInt()), Q_ARG(QString, text));
}

} // namespace brinmoor
