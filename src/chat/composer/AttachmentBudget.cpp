#include "AttachmentBudget.h"

#include "HiddenCharacters.h"

#include <QLocale>

namespace brinmoor {

qint64 AttachmentBudget::costOf(const ChatAttachment& a)
{
    if (a.data)
        return a.isImage ? base64Chars(a.data->size()) : a.data->size();
    // "- <path>\n", a path with line breaks quoted and escaped.
    return 2 * a.pathText().size() + 4;
}

bool AttachmentBudget::take(qint64 chars)
{
    QMutexLocker lock(&m_mutex);
    if (m_count >= maxCount || chars > maxChars - m_chars)
        return false;
    ++m_count;
    m_chars += chars;
    return true;
}

bool AttachmentBudget::resize(qint64 from, qint64 to)
{
    QMutexLocker lock(&m_mutex);
    if (to - from > maxChars - m_chars)
        return false;
    m_chars += to - from;
    return true;
}

void AttachmentBudget::give(qint64 chars)
{
    QMutexLocker lock(&m_mutex);
    m_count = std::max(0, m_count - 1);
    m_chars = std::max<qint64>(0, m_chars - chars);
}

int AttachmentBudget::count() const
{
    QMutexLocker lock(&m_mutex);
    return m_count;
}

qint64 AttachmentBudget::chars() const
{
    QMutexLocker lock(&m_mutex);
    return m_chars;
}

QString AttachmentBudget::fullMessage(const QString& firstName, int more)
{
    // One arg() call: a name holding "%2" is not filled in again.
    const QString name = HiddenCharacters::inSentence(firstName);
    const QString what = more > 0 ? QStringLiteral("%1 and %2 more %3 were").arg(name, QString::number(more), more == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                                  : QStringLiteral("%1 was").arg(name);
    return QStringLiteral("%1 not attached: a message can carry at most %2 attachments, about 190 MB together.").arg(what).arg(maxCount);
}

QString AttachmentBudget::textRefusal(qint64 bytes, bool over, const AttachmentBudget* budget)
{
    const auto size = [](qint64 b) { return QLocale::c().formattedDataSize(b, 1, QLocale::DataSizeTraditionalFormat); };
    const QString name = over ? QStringLiteral("Pasted text (over %1)").arg(size(bytes)) : QStringLiteral("Pasted text (%1)").arg(size(bytes));
    // A pasted text goes into the message's line as its bytes, so its bound is the line's room.
    if (bytes > maxChars)
        return QStringLiteral("%1 was not attached: a pasted text can be at most %2.").arg(name, size(maxChars));
    if (budget && budget->count() >= maxCount)
        return fullMessage(name, 0);
    const qint64 left = budget ? std::max<qint64>(0, maxChars - budget->chars()) : maxChars;
    return QStringLiteral("%1 was not attached: the message's other attachments leave room for %2 more (%3 together at most).")
        .arg(name, size(left), size(maxChars));
}

QString AttachmentBudget::tooLongMessage()
{
    return QStringLiteral("The message was not sent: with its attachments it is longer than the agent accepts. Shorten it or remove an attachment.");
}

} // namespace brinmoor
