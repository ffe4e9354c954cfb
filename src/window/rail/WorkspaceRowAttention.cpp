#include "WorkspaceRowAttention.h"

#include "WindowText.h"

namespace brinmoor {

void WorkspaceRowAttention::setSessions(QAbstractItemModel* model)
{
    if (model == m_sessions)
        return;
    if (m_sessions)
        m_sessions->disconnect(this);
    m_sessions = model;
    if (model) {
        const auto again = [this] { recompute(); };
        connect(model, &QAbstractItemModel::dataChanged, this, again);
        connect(model, &QAbstractItemModel::rowsInserted, this, again);
        connect(model, &QAbstractItemModel::rowsRemoved, this, again);
        connect(model, &QAbstractItemModel::modelReset, this, again);
        connect(model, &QObject::destroyed, this, again);
    }
    emit sessionsChanged();
    recompute();
}

void WorkspaceRowAttention::recompute()
{
    QStringList states;
    if (m_sessions) {
        const int role = m_sessions->roleNames().key(QByteArrayLiteral("state"), -1);
        if (role >= 0) {
            for (int row = 0; row < m_sessions->rowCount(); ++row)
                states.append(m_sessions->index(row, 0).data(role).toString());
        }
    }
    const int awaiting = int(states.count(QStringLiteral("awaiting")));
    if (awaiting != m_awaiting || states.size() != m_count) {
        m_awaiting = awaiting;
        m_count = int(states.size());
        emit countsChanged();
    }
    const QString next = WindowText::attentionHex(states);
    if (next == m_colorHex)
        return;
    m_colorHex = next;
    emit colorHexChanged();
}

} // namespace brinmoor
