#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Gives the keyboard back to `home` (the main window's Escape catcher) whenever the item that
// holds it stops being shown: hidden (another pane maximised, the grid swapped for another
// workspace), taken out of the window or destroyed (a pane closed or stopped, a sheet closed).
// Qt Quick lets a hidden item keep the active focus, so without this a terminal nobody can see
// would go on receiving what the user types, and Escape would never reach the catcher. Which item
// takes the keyboard next is left to the user (a click).
class FocusReturn : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem* home READ home WRITE setHome NOTIFY homeChanged)

public:
    explicit FocusReturn(QObject* parent = nullptr);

    QQuickItem* home() const { return m_home; }
    void setHome(QQuickItem* home);

signals:
    void homeChanged();

private:
    void watchWindow();
    void focusMoved();
    void settle();
    void reclaim();

    QPointer<QQuickItem> m_home;
    QPointer<QQuickWindow> m_window;
    // The item that held the keyboard when last looked at, and the watch on its visibility.
    QPointer<QQuickItem> m_holder;
    QMetaObject::Connection m_holderVisible;
    // The holder's ancestors: when it goes away, Qt hands the focus to one of them.
    QList<QPointer<QQuickItem>> m_holderAncestors;
    QMetaObject::Connection m_windowFocus;
    bool m_holding = false;  // m_holder was set to an item other than home
    bool m_settlePending = false;
};

} // namespace brinmoor
