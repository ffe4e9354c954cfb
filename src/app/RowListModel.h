#pragma once

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// What the application's list models share: a flat list whose row count QML can bind to. A model
// changes its rows through ListRowSync and emits countChanged when their number changed.
class RowListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    using QAbstractListModel::QAbstractListModel;

    virtual int count() const = 0;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : count(); }

signals:
    void countChanged();
};

} // namespace brinmoor
