#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQmlListProperty>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Keeps the keyboard where the user can see it. When the item that holds it stops being shown
// (hidden by the maximized view or a workspace switch, taken out of the window or destroyed: a
// pane closed or stopped, a sheet closed), the keyboard goes back:
// - out of a layer (a sheet, a preview, a pop-over, a menu) that closed: to the item that held it
//   when the layer took it, if that item is still shown, so a terminal or a composer under a
//   closed sheet goes on receiving what the user types (and a terminal hears that it has the focus
//   again);
// - otherwise to `home` (the main window's Escape catcher). Qt Quick lets a hidden item keep the
//   active focus, so without this a terminal nobody can see would go on receiving keys, and Escape
//   would never reach the catcher. Which pane takes the keyboard next is left to the user (a click).
class FocusReturn : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem* home READ home WRITE setHome NOTIFY homeChanged)
    // The window's own layers that take the keyboard while open: the sheet and the previews (a
    // Loader is open while active and shown). Pop-ups and menus are layers without being listed.
    Q_PROPERTY(QQmlListProperty<QQuickItem> layers READ layers)

public:
    explicit FocusReturn(QObject* parent = nullptr);

    QQuickItem* home() const { return m_home; }
    void setHome(QQuickItem* home);
    QQmlListProperty<QQuickItem> layers();

signals:
    void homeChanged();

private slots:
    void focusMoved();

private:
    // A layer that took the keyboard, and the item that held it just before.
    struct Return {
        QPointer<QQuickItem> layer;
        QPointer<QQuickItem> back;
    };

    void watchWindow();
    void settle();
    void reclaim();
    void addLayer(QQuickItem* layer);
    QQuickItem* layerOf(QQuickItem* item) const;
    bool isOpen(QQuickItem* layer) const;
    bool canTake(QQuickItem* item) const;

    static void appendLayer(QQmlListProperty<QQuickItem>* list, QQuickItem* layer);
    static qsizetype layerCount(QQmlListProperty<QQuickItem>* list);
    static QQuickItem* layerAt(QQmlListProperty<QQuickItem>* list, qsizetype index);
    static void clearLayers(QQmlListProperty<QQuickItem>* list);

    QPointer<QQuickItem> m_home;
    QPointer<QQuickWindow> m_window;
    QList<QPointer<QQuickItem>> m_layers;
    // Innermost last: a pop-over opened in a sheet returns to the sheet, the sheet to the pane.
    QList<Return> m_returns;
    // The active focus item as last told by the window, at once (not settled).
    QPointer<QQuickItem> m_seen;
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
