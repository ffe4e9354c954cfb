#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "AppModel.h"
#include "DropLogic.h"

namespace brinmoor {

// A drop target for a DropArea: the five drop operations in the order the drag machinery calls
// them, answered by the target's rule against the application model.
class DropDelegate : public QObject {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(brinmoor::AppModel* model READ model WRITE setModel NOTIFY modelChanged)

public:
    using QObject::QObject;

    AppModel* model() const { return m_model; }
    void setModel(AppModel* model);

    Q_INVOKABLE bool validateDrop() const;
    Q_INVOKABLE void dropEntered();
    // True for a move, false for forbidden.
    Q_INVOKABLE bool dropUpdated() const;
    Q_INVOKABLE void dropExited();
    Q_INVOKABLE bool performDrop();

Q_SIGNALS:
    void modelChanged();

protected:
    virtual const DropRule& rule() const = 0;

private:
    QPointer<AppModel> m_model;
};

// The drop target of one single pane of the grid: dropping another pane here swaps the two.
class PaneDropDelegate : public brinmoor::DropDelegate {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString targetID READ targetID WRITE setTargetID NOTIFY targetIDChanged)

public:
    using DropDelegate::DropDelegate;

    QString targetID() const { return m_targetID; }
    void setTargetID(const QString& id);

Q_SIGNALS:
    void targetIDChanged();

protected:
    const DropRule& rule() const override { return m_rule; }

private:
    QString m_targetID;
    PaneDrop m_rule;
};

// The drop target of one side strip: dropping the big-side pane here moves the big side to this
// strip's edge.
class SideDropDelegate : public brinmoor::DropDelegate {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool leading READ leading WRITE setLeading NOTIFY leadingChanged)
    Q_PROPERTY(QString loneID READ loneID WRITE setLoneID NOTIFY loneIDChanged)

public:
    using DropDelegate::DropDelegate;

    bool leading() const { return m_rule.leading; }
    void setLeading(bool leading);
    QString loneID() const { return m_loneID; }
    void setLoneID(const QString& id);

Q_SIGNALS:
    void leadingChanged();
    void loneIDChanged();

protected:
    const DropRule& rule() const override { return m_rule; }

private:
    QString m_loneID;
    SideDrop m_rule;
};

}  // namespace brinmoor
