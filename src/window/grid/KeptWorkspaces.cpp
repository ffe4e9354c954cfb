#include "KeptWorkspaces.h"

#include <QSet>

#include <algorithm>

namespace brinmoor {

int KeptWorkspaceList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QVariant KeptWorkspaceList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return {};
    const QString& id = m_ids.at(index.row());
    switch (role) {
    case WorkspaceIDRole: return id;
    case CurrentRole: return id == m_current;
    default: return {};
    }
}

QHash<int, QByteArray> KeptWorkspaceList::roleNames() const
{
    return {{WorkspaceIDRole, "workspaceID"}, {CurrentRole, "current"}};
}

void KeptWorkspaceList::append(const QString& id)
{
    if (m_ids.contains(id))
        return;
    beginInsertRows({}, rowCount(), rowCount());
    m_ids.append(id);
    endInsertRows();
}

void KeptWorkspaceList::remove(const QString& id)
{
    const int row = int(m_ids.indexOf(id));
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    m_ids.removeAt(row);
    endRemoveRows();
}

void KeptWorkspaceList::setCurrent(const QString& current)
{
    const QString previous = std::exchange(m_current, current);
    if (previous == current)
        return;
    // The grid left goes first, the one shown next: its pane that had the keyboard takes it
    // after the old one gave it up.
    for (const QString& id : {previous, current}) {
        const int row = int(m_ids.indexOf(id));
        if (!id.isEmpty() && row >= 0)
            emit dataChanged(index(row), index(row), {CurrentRole});
    }
}

KeptWorkspaces::KeptWorkspaces(QObject* parent) : QObject(parent), m_rows(new KeptWorkspaceList(this)) {}

void KeptWorkspaces::setAppModel(AppModel* model)
{
    if (m_app == model)
        return;
    for (const auto& c : std::as_const(m_appConnections))
        disconnect(c);
    m_appConnections.clear();
    m_app = model;
    if (m_app) {
        m_appConnections << connect(m_app, &AppModel::selectedWorkspaceIDChanged, this, &KeptWorkspaces::follow)
                         << connect(m_app, &AppModel::workspacesChanged, this, &KeptWorkspaces::follow);
    }
    follow();
    emit appModelChanged();
}

void KeptWorkspaces::setCapacity(int capacity)
{
    capacity = std::max(capacity, 1);
    if (capacity == m_capacity)
        return;
    m_capacity = capacity;
    follow();
    emit capacityChanged();
}

void KeptWorkspaces::forget(const QString& id)
{
    m_recency.removeAll(id);
    m_rows->remove(id);
}

void KeptWorkspaces::follow()
{
    const int before = count();
    QSet<QString> existing;
    QString selected;
    if (m_app) {
        for (const Workspace& ws : m_app->workspaces())
            existing.insert(uuidText(ws.id));
        if (const auto id = m_app->selectedWorkspaceID(); id && existing.contains(uuidText(*id)))
            selected = uuidText(*id);
    }

    // Deleted workspaces leave first, so their grids never show sessions that are gone.
    for (const QString& id : m_rows->ids())
        if (!existing.contains(id))
            forget(id);

    // The selected workspace becomes the most recent and the current row, joining (as the
    // current one) when it is not kept yet.
    m_rows->setCurrent(selected);
    if (!selected.isEmpty()) {
        m_recency.removeAll(selected);
        m_recency.prepend(selected);
        m_rows->append(selected);
    }
    while (m_recency.size() > m_capacity)
        forget(m_recency.last());
    if (count() != before)
        emit countChanged();
}

}  // namespace brinmoor
