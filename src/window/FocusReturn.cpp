#include "FocusReturn.h"

#include <QQuickWindow>
#include <QTimer>

#include <algorithm>

namespace brinmoor {

FocusReturn::FocusReturn(QObject* parent) : QObject(parent) {}

void FocusReturn::setHome(QQuickItem* home)
{
    if (home == m_home)
        return;
    if (m_home)
        disconnect(m_home, nullptr, this, nullptr);
    m_home = home;
    if (m_home)
        connect(m_home, &QQuickItem::windowChanged, this, &FocusReturn::watchWindow);
    watchWindow();
    emit homeChanged();
}

void FocusReturn::watchWindow()
{
    QQuickWindow* window = m_home ? m_home->window() : nullptr;
    if (window == m_window)
        return;
    disconnect(m_windowFocus);
    m_window = window;
    if (m_window)
        m_windowFocus = connect(m_window, &QQuickWindow::activeFocusItemChanged, this, &FocusReturn::focusMoved);
    focusMoved();
}

void FocusReturn::focusMoved()
{
    // Whether the old holder went away is only known once its removal has finished, and an item
    // that takes the keyboard while it is being built may not be shown yet.
    if (!m_settlePending) {
        m_settlePending = true;
        QTimer::singleShot(0, this, &FocusReturn::settle);
    }
}

void FocusReturn::settle()
{
    m_settlePending = false;
    if (!m_window || !m_home)
        return;
    QQuickItem* now = m_window->activeFocusItem();
    // The holder left the window or was destroyed, and the keyboard went to one of its former
    // ancestors: that is Qt's fallback (the nearest focus scope), not the user's choice. (An item
    // that took it on purpose, such as the field of a dialog that opened, keeps it.)
    const bool holderGone = m_holding && (m_holder.isNull() || m_holder->window() != m_window);
    const bool fellBack = holderGone && now && std::any_of(m_holderAncestors.cbegin(), m_holderAncestors.cend(),
                                                           [now](const QPointer<QQuickItem>& a) { return a == now; });
    if (!now || now == m_window->contentItem() || !now->isVisible() || fellBack)
        reclaim();
    now = m_window->activeFocusItem();
    if (now == m_holder && m_holding == (now && now != m_home))
        return;
    disconnect(m_holderVisible);
    m_holder = now;
    m_holding = now && now != m_home;
    m_holderAncestors.clear();
    for (QQuickItem* it = now ? now->parentItem() : nullptr; it; it = it->parentItem())
        m_holderAncestors << it;
    if (m_holding) {
        QQuickItem* held = now;
        m_holderVisible = connect(held, &QQuickItem::visibleChanged, this, [this, held] {
            if (!held->isVisible() && held->hasActiveFocus())
                reclaim();
        });
    }
}

void FocusReturn::reclaim()
{
    if (!m_home || !m_window || !m_home->isVisible())
        return;
    QQuickItem* now = m_window->activeFocusItem();
    if (now == m_home)
        return;
    // Home is a focus scope: taking the focus, it would hand it straight back down the chain of
    // items that still have focus within their scopes. Clear that chain first.
    if (now && m_home->isAncestorOf(now)) {
        for (QQuickItem* it = now; it && it != m_home; it = it->parentItem())
            if (it->hasFocus())
                it->setFocus(false);
    }
    m_home->forceActiveFocus(Qt::OtherFocusReason);
}

} // namespace brinmoor
