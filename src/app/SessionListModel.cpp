#include "SessionListModel.h"

#include <QSet>

namespace brinmoor {

SessionListModel::SessionListModel(QObject* parent) : QAbstractListModel(parent) {}

int SessionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

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
    const qsizetype before = m_rows.size();
    QSet<QUuid> keep;
    for (const Session& s : next)
        keep.insert(s.id);
    for (qsizetype i = m_rows.size() - 1; i >= 0; --i) {
        if (!keep.contains(m_rows.at(i).id)) {
            beginRemoveRows(QModelIndex(), int(i), int(i));
            m_rows.removeAt(i);
            endRemoveRows();
        }
    }
    for (qsizetype i = 0; i < next.size(); ++i) {
        const Session& want = next.at(i);
        if (i < m_rows.size() && m_rows.at(i).id == want.id) {
            if (!m_rows.at(i).sameContent(want)) {
                m_rows[i] = want;
                emit dataChanged(index(int(i)), index(int(i)));
            }
            continue;
        }
        qsizetype from = -1;
        for (qsizetype j = i + 1; j < m_rows.size(); ++j)
            if (m_rows.at(j).id == want.id) {
                from = j;
                break;
            }
        if (from >= 0) {
            beginMoveRows(QModelIndex(), int(from), int(from), QModelIndex(), int(i));
            m_rows.move(from, i);
            endMoveRows();
            if (!m_rows.at(i).sameContent(want)) {
                m_rows[i] = want;
                emit dataChanged(index(int(i)), index(int(i)));
            }
        } else {
            beginInsertRows(QModelIndex(), int(i), int(i));
            m_rows.insert(i, want);
            endInsertRows();
        }
    }
    // Left over only when ids repeat (nothing forbids that in a saved file).
    if (m_rows.size() > next.size()) {
        beginRemoveRows(QModelIndex(), int(next.size()), int(m_rows.size() - 1));
        m_rows.resize(next.size());
        endRemoveRows();
    }
    if (m_rows.size() != before)
        emit countChanged();
}

} // namespace brinmoor
