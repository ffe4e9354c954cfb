#pragma once

#include "ClaudeSession.h"
#include "TimelineModel.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QtQml/qqmlregistration.h>

class QConcatenateTablesProxyModel;

namespace brinmoor {

// The rows a chat pane lists (`rows`, a list model with the timeline's roles): its session's
// timeline followed, while the agent works and waits for nobody, by the trailing activity row
// (id "working": compacting while the session compacts, else working with what the agent says it
// is doing, or the turn's token count). Changes pass through row by row, so the list never
// rebuilds; the activity row comes and goes as one insert or removal at the end.
class ChatTimelineRows : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::ClaudeSession* session READ session WRITE setSession NOTIFY sessionChanged)
    // Typed as a plain object for QML: the proxy's own type is not a QML type.
    Q_PROPERTY(QObject* rows READ rows CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    explicit ChatTimelineRows(QObject* parent = nullptr);

    ClaudeSession* session() const { return m_session; }
    void setSession(ClaudeSession* session);
    QObject* rows() const;
    int count() const;

    // The index of the session's row with this id (the trailing row aside); -1 for none.
    Q_INVOKABLE int indexOf(const QString& rowId) const;
    // Which thinking blocks the user opened, by row id: the list destroys the delegates of rows
    // far out of view, so a row's view asks here when it is made again. Kept while the row is in
    // the timeline.
    Q_INVOKABLE bool isOpen(const QString& rowId) const { return m_open.contains(rowId); }
    Q_INVOKABLE void setOpen(const QString& rowId, bool open);

signals:
    void sessionChanged();
    void countChanged();

private:
    void refreshTrailing();
    void forgetGoneRows();

    QPointer<ClaudeSession> m_session;
    QPointer<TimelineModel> m_source;
    TimelineModel* m_trailing;
    QConcatenateTablesProxyModel* m_rows;
    QList<QMetaObject::Connection> m_connections;
    QSet<QString> m_open;
};

} // namespace brinmoor
