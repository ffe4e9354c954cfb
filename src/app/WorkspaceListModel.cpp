#include "WorkspaceListModel.h"

#include "ListRowSync.h"

namespace brinmoor {

WorkspaceListModel::WorkspaceListModel(QObject* parent) : RowListModel(parent) {}

QVariant WorkspaceListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    const Row& r = m_rows.at(index.row());
    const Workspace& w = r.workspace;
    switch (role) {
    case IdRole: return w.idText();
    case NameRole: return w.name;
    case ColorHexRole: return w.colorHex;
    case ForcedColumnsRole: return w.forcedColumnsValue();
    case MaxRowsRole: return w.maxRows;
    case BigSideLeftRole: return w.bigSideLeft;
    case SessionCountRole: return r.sessions->count();
    case SessionsRole: return QVariant::fromValue(r.sessions);
    case WorkspaceRole: return QVariant::fromValue(w);
    default: return QVariant();
    }
}

QHash<int, QByteArray> WorkspaceListModel::roleNames() const
{
    return {
        {IdRole, "id"},
        {NameRole, "name"},
        {ColorHexRole, "colorHex"},
        {ForcedColumnsRole, "forcedColumns"},
        {MaxRowsRole, "maxRows"},
        {BigSideLeftRole, "bigSideLeft"},
        {SessionCountRole, "sessionCount"},
        {SessionsRole, "sessions"},
        {WorkspaceRole, "workspace"},
    };
}

int WorkspaceListModel::indexOf(const QString& workspaceID) const
{
    const auto id = uuidFromText(workspaceID);
    if (!id)
        return -1;
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).workspace.id == *id)
            return int(i);
    return -1;
}

SessionListModel* WorkspaceListModel::sessionsOf(const QUuid& workspaceID) const
{
    for (const Row& r : m_rows)
        if (r.workspace.id == workspaceID)
            return r.sessions;
    return nullptr;
}

SessionListModel* WorkspaceListModel::sessionsFor(const QString& workspaceID) const
{
    const auto id = uuidFromText(workspaceID);
    return id ? sessionsOf(*id) : nullptr;
}

bool WorkspaceListModel::sameHeader(const Workspace& a, const Workspace& b)
{
    return a.id == b.id && a.name == b.name && a.colorHex == b.colorHex && a.forcedColumns == b.forcedColumns
        && a.maxRows == b.maxRows && a.bigSideLeft == b.bigSideLeft;
}

WorkspaceListModel::Row WorkspaceListModel::makeRow(const Workspace& w)
{
    Row r;
    r.workspace = w;
    r.workspace.sessions.clear();
    r.sessions = new SessionListModel(this);
    r.sessions->sync(w.sessions);
    return r;
}

void WorkspaceListModel::sync(const QList<Workspace>& next)
{
    const bool resized = ListRowSync::apply(
        *this, m_rows, next, [](const Row& r) { return r.workspace.id; },
        [this](const Workspace& w) { return makeRow(w); },
        [this](qsizetype i, const Workspace& want) {
            Row& r = m_rows[i];
            const int countBefore = r.sessions->count();
            r.sessions->sync(want.sessions);
            Workspace header = want;
            header.sessions.clear();
            const bool changed = !sameHeader(r.workspace, header) || r.sessions->count() != countBefore;
            r.workspace = header;
            if (changed)
                emit dataChanged(index(int(i)), index(int(i)));
        },
        [](Row& gone) { gone.sessions->deleteLater(); });
    if (resized)
        emit countChanged();
}

} // namespace brinmoor
