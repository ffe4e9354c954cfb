#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The attention colour of one workspace row, kept up to date with its sessions model: amber
// "f0b429" while a session awaits the user, else red "f0524f" while one is in error, else "".
class WorkspaceRowAttention : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QVariant sessions READ sessionsObject WRITE setSessionsObject NOTIFY sessionsChanged)
    Q_PROPERTY(QString colorHex READ colorHex NOTIFY colorHexChanged)
    // Amber: the dot pulses.
    Q_PROPERTY(bool pulses READ pulses NOTIFY colorHexChanged)
    // How many sessions await the user (the top bar's "needs you").
    Q_PROPERTY(int awaitingCount READ awaitingCount NOTIFY countsChanged)
    Q_PROPERTY(int sessionCount READ sessionCount NOTIFY countsChanged)
public:
    explicit WorkspaceRowAttention(QObject* parent = nullptr) : QObject(parent) {}

    QAbstractItemModel* sessions() const { return m_sessions; }
    void setSessions(QAbstractItemModel* model);
    // For QML: any list model with a "state" role.
    QVariant sessionsObject() const { return QVariant::fromValue<QObject*>(m_sessions.data()); }
    void setSessionsObject(const QVariant& model)
    {
        setSessions(qobject_cast<QAbstractItemModel*>(model.value<QObject*>()));
    }
    QString colorHex() const { return m_colorHex; }
    bool pulses() const { return m_colorHex == QStringLiteral("f0b429"); }
    int awaitingCount() const { return m_awaiting; }
    int sessionCount() const { return m_count; }

signals:
    void sessionsChanged();
    void colorHexChanged();
    void countsChanged();

private:
    void recompute();

    QPointer<QAbstractItemModel> m_sessions;
    QString m_colorHex;
    int m_awaiting = 0;
    int m_count = 0;
};

} // namespace brinmoor
