#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include "AppModel.h"

namespace brinmoor {

// The rows of KeptWorkspaces: one per kept workspace, in the order their grids were made.
class KeptWorkspaceList : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        WorkspaceIDRole = Qt::UserRole + 1,  // upper-case UUID text
        CurrentRole,                         // the selected workspace: its grid is the one shown
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QStringList ids() const { return m_ids; }
    void append(const QString& id);
    void remove(const QString& id);
    // `current` becomes the current row (any id, or "" for none).
    void setCurrent(const QString& current);

private:
    QStringList m_ids;
    QString m_current;
};

// The workspaces whose pane grids the main window keeps: the selected one and the ones shown
// just before it, at most `capacity` in all. Going back to a kept workspace shows its grid as it
// was left (panes, terminals and chats not rebuilt); the grid of the workspace shown longest ago
// goes when another one joins beyond the capacity, and a workspace that is deleted leaves at once.
//
// Rows keep their place while their workspace is kept (a switch only changes `current`), so the
// grids built for them survive every switch.
class KeptWorkspaces : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::AppModel* appModel READ appModel WRITE setAppModel NOTIFY appModelChanged)
    // How many grids are kept, the shown one included; at least 1.
    Q_PROPERTY(int capacity READ capacity WRITE setCapacity NOTIFY capacityChanged)
    // The rows (KeptWorkspaceList): roles `workspaceID` and `current`.
    Q_PROPERTY(QObject* rows READ rows CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    static constexpr int kDefaultCapacity = 4;

    explicit KeptWorkspaces(QObject* parent = nullptr);

    AppModel* appModel() const { return m_app; }
    void setAppModel(AppModel* model);
    int capacity() const { return m_capacity; }
    void setCapacity(int capacity);
    QObject* rows() const { return m_rows; }
    KeptWorkspaceList* list() const { return m_rows; }
    int count() const { return m_rows->rowCount(); }

    // The kept workspaces' ids, the one shown most recently first.
    QStringList recency() const { return m_recency; }

signals:
    void appModelChanged();
    void capacityChanged();
    void countChanged();

private:
    void follow();
    void forget(const QString& id);

    QPointer<AppModel> m_app;
    QList<QMetaObject::Connection> m_appConnections;
    int m_capacity = kDefaultCapacity;
    KeptWorkspaceList* m_rows = nullptr;
    QStringList m_recency;  // most recently shown first
};

}  // namespace brinmoor
