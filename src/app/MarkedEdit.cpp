#include "MarkedEdit.h"

#include "HiddenCharacters.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace brinmoor {

using namespace HiddenCharacters;

void MarkedEdit::append(QStringView text)
{
    qsizetype copied = 0;
    for (const Found& f : find(text, Scope::Line)) {
        m_shown += text.sliced(copied, f.at - copied);
        const QString mark = markFor(f.character);
        m_marks.append({m_shown.size(), m_shown.size() + mark.size(), f.character});
        m_shown += mark;
        copied = f.at + f.length;
    }
    m_shown += text.sliced(copied);
}

namespace {

constexpr char16_t isolateStart = u'\u2066';  // LEFT-TO-RIGHT ISOLATE
constexpr char16_t isolateEnd = u'\u2069';    // POP DIRECTIONAL ISOLATE

// Whether a line holding `text` may take its direction from a right-to-left letter, or set a
// mark's neutral "<" and ">" apart from its letters.
bool holdsRightToLeft(QStringView text)
{
    for (const QChar c : text)
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
            return true;
        default:
            break;
        }
    return false;
}

} // namespace

void MarkedEdit::setOriginal(const QString& text)
{
    m_original = text;
    m_shown.clear();
    m_marks.clear();
    append(text);
    m_cursor = m_shown.size();
    isolateMarks();
    m_cursor = m_shown.size();
    m_selectionStart = m_selectionEnd = -1;
    emit changed();
}

void MarkedEdit::isolateMarks()
{
    // In a line with right-to-left letters a mark's "<" and ">" are neutrals that take the
    // direction of what stands beside them: in "מחיר<U+200B>100" the "<" went to the far side of
    // the digits. There each mark is shown inside a left-to-right isolate, part of its stretch
    // (a mark is whole or gone, so no isolate is ever left alone), and never in value().
    const bool isolated = holdsRightToLeft(m_shown);
    QString shown;
    shown.reserve(m_shown.size() + (isolated ? 2 * m_marks.size() : 0));
    qsizetype copied = 0, cursor = -1;
    for (Mark& m : m_marks) {
        if (cursor < 0 && m_cursor <= m.start)
            cursor = shown.size() + (m_cursor - copied);
        shown += QStringView(m_shown).sliced(copied, m.start - copied);
        const qsizetype start = shown.size();
        if (isolated)
            shown += isolateStart;
        shown += markFor(m.character);
        if (isolated)
            shown += isolateEnd;
        if (cursor < 0 && m_cursor < m.end)
            cursor = shown.size();  // inside the mark: after it
        copied = m.end;
        m.start = start;
        m.end = shown.size();
    }
    if (cursor < 0)
        cursor = shown.size() + (m_cursor - copied);
    shown += QStringView(m_shown).sliced(copied);
    m_shown = std::move(shown);
    m_cursor = cursor;
}

void MarkedEdit::setField(QObject* field)
{
    if (m_field == field)
        return;
    for (const auto& link : std::as_const(m_fieldLinks))
        disconnect(link);
    m_fieldLinks.clear();
    if (m_field)
        m_field->removeEventFilter(this);
    m_field = field;
    if (m_field) {
        for (const char* signal : {SIGNAL(selectionStartChanged()), SIGNAL(selectionEndChanged()), SIGNAL(cursorPositionChanged())})
            if (m_field->metaObject()->indexOfSignal(QMetaObject::normalizedSignature(signal + 1)) >= 0)
                m_fieldLinks << connect(m_field, signal, this, SLOT(onFieldSelection()));
        m_field->installEventFilter(this);
        m_cursorSeen = m_field->property("cursorPosition").toInt();
    }
    emit fieldChanged();
}

bool MarkedEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_field)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        m_keyDown = true;
        // Ctrl+C and Ctrl+X (Ctrl+Insert, Shift+Delete) copy the field's selected text as it
        // shows: the true text goes in its place once the field is done with the key.
        const auto* key = static_cast<QKeyEvent*>(event);
        const int from = m_field->property("selectionStart").toInt(), to = m_field->property("selectionEnd").toInt();
        if ((key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)) && from < to
            && m_field->property("text").toString() == m_shown) {
            const QString truth = valueOf(from, to);
            if (truth != QStringView(m_shown).sliced(from, to - from))
                QMetaObject::invokeMethod(
                    this, [truth] { QGuiApplication::clipboard()->setText(truth, QClipboard::Clipboard); }, Qt::QueuedConnection);
        }
        // A selection made with the keys (Shift and the arrows, Ctrl+A) is the X primary
        // selection, as one made with the mouse is: Qt's field leaves the primary selection as it
        // was, and a middle click elsewhere then pasted what was selected before.
        if (QGuiApplication::clipboard()->supportsSelection())
            QMetaObject::invokeMethod(
                this, [this, from, to] { keepPrimaryTrue(from, to); }, Qt::QueuedConnection);
        break;
    }
    case QEvent::KeyRelease:
        m_keyDown = false;
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // ... and at a mouse button's release (a double click selects a word).
        if (!m_primaryDue && QGuiApplication::clipboard()->supportsSelection()) {
            m_primaryDue = true;
            QMetaObject::invokeMethod(this, [this] { keepPrimaryTrue(-1, -1); }, Qt::QueuedConnection);
        }
        break;
    case QEvent::FocusOut:
        m_keyDown = false;
        break;
    default:
        break;
    }
    return false;
}

void MarkedEdit::keepPrimaryTrue(int selectedFrom, int selectedTo)
{
    m_primaryDue = false;
    if (!m_field || m_field->property("text").toString() != m_shown)
        return;
    const int from = m_field->property("selectionStart").toInt(), to = m_field->property("selectionEnd").toInt();
    if (from >= to || to > m_shown.size())
        return;
    const QStringView shown = QStringView(m_shown).sliced(from, to - from);
    const QString truth = valueOf(from, to);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (selectedFrom >= 0 && (from != selectedFrom || to != selectedTo)) {
        // A key changed the selection.
        clipboard->setText(truth, QClipboard::Selection);
        return;
    }
    if (truth == shown || !clipboard->ownsSelection())
        return;
    // Only what the field itself wrote (at a mouse button's release): the app's own selection,
    // read without asking anyone.
    const QMimeData* held = clipboard->mimeData(QClipboard::Selection);
    if (!held || !held->hasText() || held->text() != shown)
        return;
    clipboard->setText(truth, QClipboard::Selection);
}

void MarkedEdit::onFieldSelection()
{
    if (!m_field)
        return;
    // A field reports its edits before its new cursor, so by now an edit the user made has been
    // given to edit(), and the field holds `shown`. A field holding other text was changed by a
    // program (insert(), a text set): what was selected before says nothing of that change.
    const int was = std::exchange(m_cursorSeen, m_field->property("cursorPosition").toInt());
    if (m_field->property("text").toString() == m_shown) {
        select(m_field->property("selectionStart").toInt(), m_field->property("selectionEnd").toInt());
        if (was != m_cursorSeen)
            stepOutOfIsolate(was, m_cursorSeen);
    } else {
        m_selectionStart = m_selectionEnd = -1;
    }
}

void MarkedEdit::stepOutOfIsolate(int was, int now)
{
    if (m_stepping)
        return;
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.start >= now)
            break;
        const bool isolated = m.end - m.start >= 2 && m_shown[m.start] == isolateStart;
        if (!isolated || (now != m.start + 1 && now != m.end - 1))
            continue;
        // A key moves on past the isolate's end in the way it went; a click or a place set lands
        // on the outer side of the end it came to.
        const bool forward = was < now;
        int to;
        if (now == m.start + 1)
            to = int(m_keyDown && forward ? m.start + 2 : m.start);
        else
            to = int(m_keyDown && !forward ? m.end - 2 : m.end);
        m_stepping = true;
        const bool selected = m_field->property("selectionStart") != m_field->property("selectionEnd");
        if (selected)
            QMetaObject::invokeMethod(m_field, "moveCursorSelection", Q_ARG(int, to));
        else
            m_field->setProperty("cursorPosition", to);
        m_stepping = false;
        return;
    }
}

void MarkedEdit::select(int start, int end)
{
    if (start < 0 || end < start || end > m_shown.size())
        return;
    m_selectionStart = start;
    m_selectionEnd = end;
}

QString MarkedEdit::value() const
{
    QString out;
    qsizetype copied = 0;
    for (const Mark& m : m_marks) {
        out += QStringView(m_shown).sliced(copied, m.start - copied);
        out += QString::fromUcs4(&m.character, 1);
        copied = m.end;
    }
    out += QStringView(m_shown).sliced(copied);
    return out;
}

QString MarkedEdit::valueOf(int start, int end) const
{
    start = std::clamp<int>(start, 0, int(m_shown.size()));
    end = std::clamp<int>(end, start, int(m_shown.size()));
    QString out;
    qsizetype copied = start;
    for (const Mark& m : m_marks) {
        if (m.end <= start)
            continue;
        if (m.start >= end)
            break;
        // A mark whose written form the stretch reaches into is whole, as it is for a deletion:
        // its character. One whose isolate alone the stretch touches gives nothing.
        const bool isolated = m.end - m.start >= 2 && m_shown[m.start] == isolateStart;
        const qsizetype written = m.start + isolated, writtenEnd = m.end - isolated;
        if (m.start > copied)
            out += QStringView(m_shown).sliced(copied, m.start - copied);
        if (start < writtenEnd && end > written)
            out += QString::fromUcs4(&m.character, 1);
        copied = m.end;
    }
    if (copied < end)
        out += QStringView(m_shown).sliced(copied, end - copied);
    return out;
}

QVariantList MarkedEdit::markList() const
{
    QVariantList list;
    for (const Mark& m : m_marks) {
        // The written mark, inside its isolate if it has one.
        const bool isolated = m.end - m.start >= 2 && m_shown[m.start] == isolateStart;
        const int start = int(m.start) + isolated, end = int(m.end) - isolated;
        list.append(QVariantMap{{QStringLiteral("start"), start}, {QStringLiteral("end"), end}});
    }
    return list;
}

void MarkedEdit::edit(const QString& text, int cursorPosition)
{
    const QString& old = m_shown;
    if (text == old)
        return;
    qsizetype from = -1, to = -1;
    QString inserted;
    // A selection replaced: typed or pasted over, or deleted. Such an edit leaves the field
    // with none; text a program put beside a selection leaves it. (The field's selectedText is
    // its selection now; its selectionStart and selectionEnd follow only after the edit.)
    const bool fieldSelects = m_field && !m_field->property("selectedText").toString().isEmpty();
    const qsizetype kept = old.size() - (m_selectionEnd - m_selectionStart);
    if (m_selectionStart >= 0 && m_selectionStart < m_selectionEnd && !fieldSelects && text.size() >= kept
        && QStringView(text).first(m_selectionStart) == QStringView(old).first(m_selectionStart)
        && QStringView(text).last(old.size() - m_selectionEnd) == QStringView(old).sliced(m_selectionEnd)
        && cursorPosition == text.size() - (old.size() - m_selectionEnd)) {
        from = m_selectionStart;
        to = m_selectionEnd;
        inserted = text.sliced(from, text.size() - kept);
    } else {
        // Otherwise the edit as one stretch replaced: what the old and the new text share at both
        // ends, the cursor telling where a run of equal characters was typed into or deleted from.
        const qsizetype shorter = std::min(old.size(), text.size());
        qsizetype head = 0;
        while (head < shorter && old[head] == text[head])
            ++head;
        head = std::min<qsizetype>(head, std::max(0, cursorPosition - int(std::max<qsizetype>(0, text.size() - old.size()))));
        qsizetype tail = 0;
        while (tail < shorter - head && old[old.size() - 1 - tail] == text[text.size() - 1 - tail])
            ++tail;
        from = head;
        to = old.size() - tail;
        inserted = text.sliced(head, text.size() - tail - head);
    }

    // A deletion reaching into a mark takes all of it; text typed inside one goes after it. What
    // was typed or pasted stays as it came, whatever of the mark's text it repeats.
    for (const Mark& m : std::as_const(m_marks)) {
        if (from < to && from < m.end && to > m.start) {
            from = std::min(from, m.start);
            to = std::max(to, m.end);
        } else if (from == to && from > m.start && from < m.end) {
            from = to = m.end;
        }
    }
    // What stays: the marks wholly before and after the replaced stretch.
    QList<Mark> after;
    QList<Mark> before;
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.end <= from)
            before.append(m);
        else if (m.start >= to)
            after.append(m);
    }
    const QString rest = m_shown.sliced(to);
    m_shown.truncate(from);
    m_marks = before;
    append(inserted);
    m_cursor = m_shown.size();
    const qsizetype shift = m_shown.size() - to;
    for (Mark m : std::as_const(after)) {
        m.start += shift;
        m.end += shift;
        m_marks.append(m);
    }
    m_shown += rest;
    isolateMarks();
    // Until the field says otherwise, its cursor is where the edit left it.
    m_selectionStart = m_selectionEnd = m_cursor;
    emit changed();
}

} // namespace brinmoor
