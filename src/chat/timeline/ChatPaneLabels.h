#pragma once

#include "ClaudeSession.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// A chat pane's cost text for its frame header, kept up to date with its session's counts (see
// ChatLabels for the wording).
class ChatPaneLabels : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::ClaudeSession* session READ session WRITE setSession NOTIFY sessionChanged)
    Q_PROPERTY(QString costText READ costText NOTIFY changed)
public:
    explicit ChatPaneLabels(QObject* parent = nullptr) : QObject(parent) {}

    ClaudeSession* session() const { return m_session; }
    void setSession(ClaudeSession* session);
    QString costText() const;

signals:
    void sessionChanged();
    void changed();

private:
    QPointer<ClaudeSession> m_session;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace brinmoor
