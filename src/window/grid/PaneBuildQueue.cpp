#include "PaneBuildQueue.h"

#include <algorithm>

namespace brinmoor {

PaneBuildQueue::PaneBuildQueue(QObject* parent) : QObject(parent)
{
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &PaneBuildQueue::buildSome);
}

void PaneBuildQueue::setBudgetMs(int ms)
{
    ms = std::max(ms, 0);
    if (ms == m_budgetMs)
        return;
    m_budgetMs = ms;
    emit budgetMsChanged();
}

void PaneBuildQueue::enqueue(QObject* pane)
{
    if (!pane || m_waiting.contains(pane))
        return;
    m_waiting.append(pane);
    m_turn.start();
    emit pendingChanged();
}

void PaneBuildQueue::buildSome()
{
    QElapsedTimer spent;
    spent.start();
    bool built = false;
    while (!m_waiting.isEmpty() && (!built || spent.elapsed() < m_budgetMs)) {
        const QPointer<QObject> pane = m_waiting.takeFirst();
        if (!pane)
            continue;
        QMetaObject::invokeMethod(pane, "buildContent");
        built = true;
    }
    if (!m_waiting.isEmpty())
        m_turn.start();
    emit pendingChanged();
}

}  // namespace brinmoor
