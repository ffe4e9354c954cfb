#include "FieldPaste.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickWindow>

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

} // namespace

FieldPaste::FieldPaste(QObject* parent) : QObject(parent)
{
    // Two: a paste replacing one that is still winding down does not wait for it.
    m_pool.setMaxThreadCount(2);
}

FieldPaste::~FieldPaste()
{
    if (m_control)
        m_control->cancel();
    m_pool.waitForDone();
}

bool FieldPaste::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(event);
        if (!isPasteKey(k))
            return false;
        QQuickItem* field = editableField(watched);
        if (!field || !Reader::readsFromOwner(QGuiApplication::clipboard(), Reader::Selection::Clipboard))
            return false;
        start(field, Reader::Selection::Clipboard);
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
        // The text goes in where the button went, as Qt's own middle click puts it.
        if (field->inherits("QQuickTextEdit")) {
            int at = -1;
            QMetaObject::invokeMethod(field, "positionAt", Q_RETURN_ARG(int, at), Q_ARG(qreal, m->position().x()),
                                      Q_ARG(qreal, m->position().y()));
            if (at >= 0)
                field->setProperty("cursorPosition", at);
        }
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
    if (m_control)
        m_control->cancel();
    auto control = std::make_shared<Reader::Control>();
    m_control = control;
    m_field = field;
    QPointer<FieldPaste> self(this);
    m_pool.start([self, control, from, display = qgetenv("DISPLAY")] {
        Reader::Reader reader(display, from, Reader::answerTimeoutMs, Reader::transferLimitMs, control.get());
        const Reader::Result got = reader.text(limitBytes);
        QString text = got.outcome == Reader::Outcome::Text ? got.text() : QString();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, control, outcome = got.outcome, text = std::move(text)]() mutable {
                if (self)
                    self->arrived(control.get(), outcome, std::move(text));
            }, Qt::QueuedConnection);
    });
}

void FieldPaste::arrived(const Reader::Control* control, Reader::Outcome outcome, QString text)
{
    // A paste replaced meanwhile puts nothing in.
    if (control != m_control.get())
        return;
    m_control.reset();
    QQuickItem* field = m_field;
    m_field.clear();
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
        qWarning("Nothing was pasted into the field: the program holding the clipboard did not answer.");
        return;
    case Reader::Outcome::NotText:
    case Reader::Outcome::Unreachable:
        qWarning("Nothing was pasted into the field: the clipboard holds no text.");
        return;
    }
    // A field gone, or one the user has left or locked since: the text has nowhere it was asked to go.
    if (!field || !field->hasActiveFocus() || field->property("readOnly").toBool() || text.isEmpty())
        return;
    const int from = field->property("selectionStart").toInt();
    const int to = field->property("selectionEnd").toInt();
    if (from != to)
        QMetaObject::invokeMethod(field, "remove", Q_ARG(int, from), Q_ARG(int, to));
    QMetaObject::invokeMethod(field, "insert", Q_ARG(int, field->property("cursorPosition").toInt()), Q_ARG(QString, text));
}

} // namespace brinmoor
