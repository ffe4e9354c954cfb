#include "CopyFeedback.h"

#include "ChatText.h"

namespace brinmoor {

CopyFeedback::CopyFeedback(QObject* parent) : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CopyFeedback::runDue);
}

void CopyFeedback::setManualClock(bool manual)
{
    if (manual == m_manual)
        return;
    m_manual = manual;
    m_timer.stop();
    emit manualClockChanged();
    arm();
}

qint64 CopyFeedback::now() const
{
    return m_manual ? m_manualNow : m_clock.elapsed();
}

void CopyFeedback::copy(const QString& text)
{
    ChatText::copy(text.trimmed());
    setCopied(true);
    m_due.append(now() + holdMs);
    arm();
}

void CopyFeedback::advance(int ms)
{
    if (!m_manual)
        return;
    m_manualNow += ms;
    runDue();
}

void CopyFeedback::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    emit copiedChanged();
}

void CopyFeedback::runDue()
{
    bool any = false;
    while (!m_due.isEmpty() && m_due.front() <= now()) {
        m_due.removeFirst();
        any = true;
    }
    if (any)
        setCopied(false);
    arm();
}

void CopyFeedback::arm()
{
    if (m_manual || m_due.isEmpty())
        return;
    m_timer.start(int(std::max<qint64>(0, m_due.front() - now())));
}

} // namespace brinmoor
