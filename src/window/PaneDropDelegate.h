#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "AppModel.h"

#include "DropLogic.h"

namespace brinmoor {



// The drop target of one single pane of the grid, for a DropArea: the five drop operations in the
// order the drag machinery calls them. Dropping another pane here swaps the two.
class PaneDropDelegate : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::AppModel* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(QString targetID READ targetID WRITE setTargetID NOTIFY targetIDChanged)

public:
    explicit PaneDropDelegate(QObject* parent = nullptr) : QObject(parent) {}

    AppModel* model() const { return m_model; }
    void setModel(AppModel* model);
    QString targetID() const { return m_targetID; }
    void setTargetID(const QString& id);

    Q_INVOKABLE bool validateDrop() const;
    Q_INVOKABLE void dropEntered();
    // True for a move, false for forbidden.
    Q_INVOKABLE bool dropUpdated() const;
    Q_INVOKABLE void dropExited();
    Q_INVOKABLE bool performDrop();

Q_SIGNALS:
    void modelChanged();
    void targetIDChanged();

private:
    PaneDrop logic() const;

    QPointer<AppModel> m_model;
    QString m_targetID;
};

}  // namespace brinmoor
