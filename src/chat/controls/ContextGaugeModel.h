#pragma once

#include "ClaudeSession.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// What the context gauge shows for a session, kept current from its context counts and its
// auto-compact switch: shown only for Claude once the context holds tokens.
class ContextGaugeModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::ClaudeSession* session READ session WRITE setSession NOTIFY sessionChanged)
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(int percent READ percent NOTIFY changed)
    // "normal", "warning" or "alert".
    Q_PROPERTY(QString level READ level NOTIFY changed)
    Q_PROPERTY(QString tooltip READ tooltip NOTIFY changed)
public:
    explicit ContextGaugeModel(QObject* parent = nullptr) : QObject(parent) {}

    ClaudeSession* session() const { return m_session; }
    void setSession(ClaudeSession* session);
    bool shown() const;
    int percent() const;
    QString level() const;
    QString tooltip() const;

signals:
    void sessionChanged();
    void changed();

private:
    QPointer<ClaudeSession> m_session;
    QList<QMetaObject::Connection> m_links;
};

} // namespace brinmoor
