#include "SessionListModel.h"

#include "ListRowSync.h"

namespace brinmoor {

SessionListModel::SessionListModel(QObject* parent) : RowListModel(parent) {}

QVariant SessionListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    const Session& s = m_rows.at(index.row());
    switch (role) {
    case IdRole: return s.idText();
    case KindRole: return s.kindText();
    case ProjectRole: return s.project;
    case SessionLabelRole: return s.sessionLabel;
    case DirectoryRole: return s.directory;
    case StateRole: return s.stateText();
    case AutoApproveRole: return s.autoApprove;
    case AutoCompactRole: return s.autoCompact;
    case CostRole: return s.cost;
    case GroupIDRole: return s.groupIDText();
    case MutedRole: return s.muted;
    case HasDocRole: return s.hasDoc();
    case ProviderRole: return s.providerText();
    case ClaudeSessionIdRole: return s.claudeSessionIdText();
    case SessionRole: return QVariant::fromValue(s);
    default: return QVariant();
    }
}

QHash<int, QByteArray> SessionListModel::roleNames() const
{
    return {
        {IdRole, "id"},
        {KindRole, "kind"},
        {ProjectRole, "project"},
        {SessionLabelRole, "sessionLabel"},
        {DirectoryRole, "directory"},
        {StateRole, "state"},
        {AutoApproveRole, "autoApprove"},
        {AutoCompactRole, "autoCompact"},
        {CostRole, "cost"},
        {GroupIDRole, "groupID"},
        {MutedRole, "muted"},
        {HasDocRole, "hasDoc"},
        {ProviderRole, "provider"},
        {ClaudeSessionIdRole, "claudeSessionId"},
        {SessionRole, "session"},
    };
}

QVariant SessionListModel::get(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return QVariant();
    return QVariant::fromValue(m_rows.at(row));
}

int SessionListModel::indexOf(const QString& sessionID) const
{
    const auto id = uuidFromText(sessionID);
    if (!id)
        return -1;
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).id == *id)
            return int(i);
    return -1;
}

void SessionListModel::sync(const QList<Session>& next)
{
    const bool resized = ListRowSync::apply(
        *this, m_rows, next, [](const Session& s) { return s.id; }, [](const Session& s) { return s; },
        [this](qsizetype i, const Session& want) {
            if (!m_rows.at(i).sameContent(want)) {
                m_rows[i] = want;
                emit dataChanged(index(int(i)), index(int(i)));
            }
        },
        [](Session&) {});
    if (resized)
        emit countChanged();
}

} // namespace brinmoor
