#include "QuestionFlow.h"

#include "HiddenCharacters.h"

#include <algorithm>

namespace brinmoor {

QuestionFlow::QuestionFlow(QObject* parent) : QObject(parent) {}

void QuestionFlow::setAsk(const QVariant& value)
{
    setRequest(value.canConvert<AskQuestion>() ? value.value<AskQuestion>() : AskQuestion{});
}

void QuestionFlow::setRequest(const AskQuestion& request)
{
    if (m_hasAsk && m_ask == request)
        return;
    // Another request starts afresh; the same one re-sent (perhaps with fewer questions) keeps
    // what the user did so far.
    if (!m_hasAsk || request.id != m_ask.id) {
        m_step = 0;
        m_choices.clear();
    }
    m_hasAsk = true;
    m_ask = request;
    emit askChanged();
    emit changed();
}

const QuestionItem* QuestionFlow::currentItem() const
{
    if (m_ask.questions.isEmpty())
        return nullptr;
    return &m_ask.questions.at(std::min<qsizetype>(m_step, m_ask.questions.size() - 1));
}

QVariant QuestionFlow::current() const
{
    const QuestionItem* q = currentItem();
    return q ? QVariant::fromValue(*q) : QVariant();
}

bool QuestionFlow::multiSelect() const
{
    const QuestionItem* q = currentItem();
    return q && q->multiSelect;
}

QStringList QuestionFlow::chosen() const
{
    const QuestionItem* q = currentItem();
    QStringList out;
    if (!q)
        return out;
    const Choice c = m_choices.value(q->question);
    for (const QuestionOption& o : q->options)
        if (c.labels.contains(o.label) && !out.contains(o.label))
            out << o.label;
    return out;
}

bool QuestionFlow::otherChosen() const
{
    const QuestionItem* q = currentItem();
    return q && m_choices.value(q->question).other;
}

QString QuestionFlow::otherText() const
{
    const QuestionItem* q = currentItem();
    return q ? m_choices.value(q->question).text : QString();
}

void QuestionFlow::setOtherText(const QString& text)
{
    const QuestionItem* q = currentItem();
    if (!q || m_choices.value(q->question).text == text)
        return;
    m_choices[q->question].text = text;
    emit changed();
}

QString QuestionFlow::trimmedBlanks(const QString& text)
{
    // Spaces and tabs only: line breaks typed with Shift-Return are part of the answer.
    qsizetype from = 0;
    qsizetype to = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(text.at(from)))
        ++from;
    while (to > from && blank(text.at(to - 1)))
        --to;
    return text.sliced(from, to - from);
}

bool QuestionFlow::isAnswered(const QuestionItem& q) const
{
    const Choice c = m_choices.value(q.question);
    if (c.other)
        return !trimmedBlanks(c.text).isEmpty();
    return !c.labels.isEmpty();
}

bool QuestionFlow::answered() const
{
    const QuestionItem* q = currentItem();
    return q && isAnswered(*q);
}

bool QuestionFlow::showsNext() const
{
    const QuestionItem* q = currentItem();
    return q && (q->multiSelect || m_choices.value(q->question).other);
}

void QuestionFlow::tap(const QString& label)
{
    const QuestionItem* q = currentItem();
    if (!q)
        return;
    Choice& c = m_choices[q->question];
    if (q->multiSelect) {
        if (!c.labels.remove(label))
            c.labels.insert(label);
        emit changed();
        return;
    }
    c.labels = {label};
    c.other = false;
    emit changed();
    advance();
}

void QuestionFlow::tapOther()
{
    const QuestionItem* q = currentItem();
    if (!q)
        return;
    Choice& c = m_choices[q->question];
    if (q->multiSelect) {
        c.other = !c.other;
    } else {
        c.labels.clear();
        c.other = true;
    }
    emit changed();
}

void QuestionFlow::advance()
{
    const QuestionItem* q = currentItem();
    if (!q || !isAnswered(*q))
        return;
    if (m_step < count() - 1) {
        ++m_step;
        emit changed();
    } else {
        submit();
    }
}

void QuestionFlow::back()
{
    if (m_step < 1)
        return;
    m_step = std::min(m_step, count()) - 1;
    emit changed();
}

QVariantMap QuestionFlow::answers() const
{
    QVariantMap out;
    for (const QuestionItem& q : m_ask.questions) {
        const Choice c = m_choices.value(q.question);
        // A chosen option goes as the card shows it, each hidden character written as its mark: the
        // agent wrote the label, and nothing the user could not see (a payload in tag characters,
        // an override that reorders it) may come back as the user's own words.
        QStringList parts;
        for (const QuestionOption& o : q.options) {
            const QString shown = HiddenCharacters::plain(o.label, HiddenCharacters::Scope::Line);
            if (c.labels.contains(o.label) && !parts.contains(shown))
                parts << shown;
        }
        const QString text = trimmedBlanks(c.text);
        if (c.other && !text.isEmpty())
            parts << text;
        out.insert(q.question, parts.join(QStringLiteral(", ")));
    }
    return out;
}

void QuestionFlow::submit()
{
    emit submitted(answers());
}

} // namespace brinmoor
