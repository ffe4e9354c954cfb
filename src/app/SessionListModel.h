#pragma once

#include "Models.h"

#include "RowListModel.h"

#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The sessions of one workspace, in grid order, for QML. It follows AppModel row by row
// (insert, remove, move, dataChanged), never by a reset, so pane delegates (and the live
// terminals inside them) survive every edit.
class SessionListModel : public brinmoor::RowListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Sessions come from AppModel")
public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        KindRole,
        ProjectRole,
        SessionLabelRole,
        DirectoryRole,
        StateRole,
        AutoApproveRole,
        AutoCompactRole,
        CostRole,
        GroupIDRole,
        MutedRole,
        HasDocRole,
        ProviderRole,
        ClaudeSessionIdRole,
        SessionRole,  // the whole record (sessionRecord)
    };
    Q_ENUM(Role)

    explicit SessionListModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const override { return int(m_rows.size()); }
    const QList<Session>& sessions() const { return m_rows; }
    // The record at `row` (sessionRecord), or null.
    Q_INVOKABLE QVariant get(int row) const;
    // The row of the session with this id, or -1.
    Q_INVOKABLE int indexOf(const QString& sessionID) const;

    // Brings the rows in line with `next` using row-level changes only.
    void sync(const QList<Session>& next);

private:
    friend struct ListRowSync;

    QList<Session> m_rows;
};

} // namespace brinmoor
