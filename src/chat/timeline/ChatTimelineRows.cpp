#include "ChatTimelineRows.h"

#include <QConcatenateTablesProxyModel>

namespace brinmoor {

namespace {

// The concatenation with the timeline's role names (the base class offers only Qt's own).
class Rows : public QConcatenateTablesProxyModel {
public:
    Rows(const TimelineModel* roles, QObject* parent) : QConcatenateTablesProxyModel(parent), m_roles(roles) {}
    QHash<int, QByteArray> roleNames() const override { return m_roles->roleNames(); }

private:
    const TimelineModel* m_roles;
};

} // namespace

ChatTimelineRows::ChatTimelineRows(QObject* parent)
    : QObject(parent), m_trailing(new TimelineModel(this)), m_rows(new Rows(m_trailing, this))
{
    m_rows->addSourceModel(m_trailing);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_rows, signal, this, &ChatTimelineRows::countChanged);
    connect(m_rows, &QAbstractItemModel::modelReset, this, &ChatTimelineRows::countChanged);
}

QObject* ChatTimelineRows::rows() const
{
    return m_rows;
}

int ChatTimelineRows::count() const
{
    return m_rows->rowCount();
}

void ChatTimelineRows::setSession(ClaudeSession* session)
{
    if (m_session == session)
        return;
    for (const QMetaObject::Connection& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (m_source)
        m_rows->removeSourceModel(m_source);
    m_session = session;
    m_source = session ? session->timeline() : nullptr;
    // The trailing row stays last: the timeline goes in front of it.
    if (m_source) {
        m_rows->removeSourceModel(m_trailing);
        m_rows->addSourceModel(m_source);
        m_rows->addSourceModel(m_trailing);
    }
    m_open.clear();
    if (m_source) {
        m_connections << connect(m_source, &QAbstractItemModel::rowsRemoved, this, &ChatTimelineRows::forgetGoneRows);
        m_connections << connect(m_source, &QAbstractItemModel::modelReset, this, &ChatTimelineRows::forgetGoneRows);
    }
    if (session) {
        for (auto signal : {&ClaudeSession::busyChanged, &ClaudeSession::compactingChanged,
                            &ClaudeSession::pendingPermissionChanged, &ClaudeSession::pendingQuestionChanged,
                            &ClaudeSession::tokensInChanged, &ClaudeSession::tokensOutChanged,
                            &ClaudeSession::statusNoteChanged})
            m_connections << connect(session, signal, this, &ChatTimelineRows::refreshTrailing);
    }
    refreshTrailing();
    emit sessionChanged();
    emit countChanged();
}

int ChatTimelineRows::indexOf(const QString& rowId) const
{
    if (!m_source || rowId.isEmpty())
        return -1;
    const QList<TimelineRow>& list = m_source->rows();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list.at(i).id == rowId)
            return int(i);
    return -1;
}

void ChatTimelineRows::setOpen(const QString& rowId, bool open)
{
    if (open)
        m_open.insert(rowId);
    else
        m_open.remove(rowId);
}

void ChatTimelineRows::forgetGoneRows()
{
    if (m_open.isEmpty())
        return;
    QSet<QString> present;
    if (m_source)
        for (const TimelineRow& row : m_source->rows())
            if (m_open.contains(row.id))
                present.insert(row.id);
    m_open = std::move(present);
}

void ChatTimelineRows::refreshTrailing()
{
    std::optional<TimelineRow> row;
    if (m_session)
        row = TimelineRow::trailing(m_session->busy(),
                                    m_session->pendingPermission().has_value() || m_session->pendingQuestion().has_value(),
                                    m_session->compacting(), m_session->tokensIn(), m_session->tokensOut(),
                                    m_session->statusNote());
    m_trailing->setRows(row ? QList<TimelineRow>{*row} : QList<TimelineRow>{});
}

} // namespace brinmoor
