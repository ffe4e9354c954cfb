#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "AppModel.h"

#include "DropLogic.h"

namespace brinmoor {



// The drop target of one side strip, for a DropArea: dropping the big-side pane here moves the big
// side to this strip's edge.
class SideDropDelegate : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::AppModel* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(bool leading READ leading WRITE setLeading NOTIFY leadingChanged)
    Q_PROPERTY(QString loneID READ loneID WRITE setLoneID NOTIFY loneIDChanged)

public:
    explicit SideDropDelegate(QObject* parent = nullptr) : QObject(parent) {}

    AppModel* model() const { return m_model; }
    void setModel(AppModel* model);
    bool leading() const { return m_leading; }
    void setLeading(bool leading);
    QString loneID() const { return m_loneID; }
    void setLoneID(const QString& id);

    Q_INVOKABLE bool validateDrop() const;
    Q_INVOKABLE void dropEntered();
    // True for a move, false for forbidden.
    Q_INVOKABLE bool dropUpdated() const;
    Q_INVOKABLE void dropExited();
    Q_INVOKABLE bool performDrop();

Q_SIGNALS:
    void modelChanged();
    void leadingChanged();
    void loneIDChanged();

private:
    SideDrop logic() const;

    QPointer<AppModel> m_model;
    bool m_leading = false;
    QString m_loneID;
};

}  // namespace brinmoor
