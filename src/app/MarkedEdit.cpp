#include "MarkedEdit.h"

#include "HiddenCharacters.h"

#include <QVariantMap>

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

void MarkedEdit::setOriginal(const QString& text)
{
    m_original = text;
    m_shown.clear();
    m_marks.clear();
    append(text);
    m_cursor = m_shown.size();
    emit changed();
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

QVariantList MarkedEdit::markList() const
{
    QVariantList list;
    for (const Mark& m : m_marks)
        list.append(QVariantMap{{QStringLiteral("start"), int(m.start)}, {QStringLiteral("end"), int(m.end)}});
    return list;
}

void MarkedEdit::edit(const QString& text, int cursorPosition)
{
    const QString& old = m_shown;
    // The edit as one stretch replaced: what the old and the new text share at both ends, the
    // cursor telling where a run of equal characters was typed into or deleted from.
    const qsizetype shorter = std::min(old.size(), text.size());
    qsizetype head = 0;
    while (head < shorter && old[head] == text[head])
        ++head;
    head = std::min<qsizetype>(head, std::max(0, cursorPosition - int(std::max<qsizetype>(0, text.size() - old.size()))));
    qsizetype tail = 0;
    while (tail < shorter - head && old[old.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    qsizetype from = head, to = old.size() - tail;
    QString inserted = text.sliced(head, text.size() - tail - head);
    if (from == to && inserted.isEmpty())
        return;

    // A deletion reaching into a mark takes all of it; text typed inside one goes after it.
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
    QList<Mark> kept;
    for (const Mark& m : std::as_const(m_marks)) {
        if (m.end <= from)
            kept.append(m);
        else if (m.start >= to)
            after.append(m);
    }
    const QString rest = m_shown.sliced(to);
    m_shown.truncate(from);
    m_marks = kept;
    append(inserted);
    m_cursor = m_shown.size();
    const qsizetype shift = m_shown.size() - to;
    for (Mark m : std::as_const(after)) {
        m.start += shift;
        m.end += shift;
        m_marks.append(m);
    }
    m_shown += rest;
    emit changed();
}

} // namespace brinmoor
