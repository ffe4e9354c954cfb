#pragma once

#include "Models.h"
#include "SessionListModel.h"

#include "RowListModel.h"

#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The workspaces in rail order, for QML. Each row carries its own SessionListModel; both follow
// AppModel row by row.
class WorkspaceListModel : public brinmoor::RowListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Workspaces come from AppModel")
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        NameRole,
        ColorHexRole,
        ForcedColumnsRole,  // 0 when automatic
        MaxRowsRole,
        BigSideLeftRole,
        SessionCountRole,
        SessionsRole,   // SessionListModel*
        WorkspaceRole,  // the record without its sessions (workspaceRecord)
    };
    Q_ENUM(Role)

    explicit WorkspaceListModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const override { return int(m_rows.size()); }
    Q_INVOKABLE int indexOf(const QString& workspaceID) const;
    // The sessions model of the workspace with this id (nullptr when there is none).
    SessionListModel* sessionsOf(const QUuid& workspaceID) const;
    Q_INVOKABLE brinmoor::SessionListModel* sessionsFor(const QString& workspaceID) const;

    void sync(const QList<Workspace>& next);

private:
    friend struct ListRowSync;

    struct Row {
        Workspace workspace;  // sessions are kept by `sessions`
        SessionListModel* sessions = nullptr;
    };
    static bool sameHeader(const Workspace& a, const Workspace& b);
    Row makeRow(const Workspace& w);

    QList<Row> m_rows;
};

} // namespace brinmoor
