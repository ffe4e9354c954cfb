#include "FocusReturn.h"

#include <QQmlProperty>
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

QQmlListProperty<QQuickItem> FocusReturn::layers()
{
    return {this, this, &FocusReturn::appendLayer, &FocusReturn::layerCount, &FocusReturn::layerAt,
            &FocusReturn::clearLayers};
}

void FocusReturn::appendLayer(QQmlListProperty<QQuickItem>* list, QQuickItem* layer)
{
    static_cast<FocusReturn*>(list->data)->addLayer(layer);
}

qsizetype FocusReturn::layerCount(QQmlListProperty<QQuickItem>* list)
{
    return static_cast<FocusReturn*>(list->data)->m_layers.size();
}

QQuickItem* FocusReturn::layerAt(QQmlListProperty<QQuickItem>* list, qsizetype index)
{
    return static_cast<FocusReturn*>(list->data)->m_layers.value(index);
}

void FocusReturn::clearLayers(QQmlListProperty<QQuickItem>* list)
{
    auto* self = static_cast<FocusReturn*>(list->data);
    for (const QPointer<QQuickItem>& layer : std::as_const(self->m_layers))
        if (layer)
            disconnect(layer, nullptr, self, nullptr);
    self->m_layers.clear();
}

void FocusReturn::addLayer(QQuickItem* layer)
{
    if (!layer)
        return;
    m_layers << layer;
    // A layer that closes while it holds the keyboard itself (a preview's Loader) moves no focus:
    // its closing is looked at all the same.
    connect(layer, &QQuickItem::visibleChanged, this, &FocusReturn::focusMoved);
    const QQmlProperty active(layer, QStringLiteral("active"));
    if (active.hasNotifySignal())
        active.connectNotifySignal(this, SLOT(focusMoved()));
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

QQuickItem* FocusReturn::layerOf(QQuickItem* item) const
{
    for (QQuickItem* it = item; it; it = it->parentItem())
        if (m_layers.contains(it) || it->inherits("QQuickPopupItem"))
            return it;
    return nullptr;
}

bool FocusReturn::isOpen(QQuickItem* layer) const
{
    if (!layer || !m_window || layer->window() != m_window || !layer->isVisible())
        return false;
    const QVariant active = layer->property("active");
    return !active.isValid() || active.toBool();
}

bool FocusReturn::canTake(QQuickItem* item) const
{
    if (!item || !m_window || item->window() != m_window || !item->isVisible() || !item->isEnabled())
        return false;
    QQuickItem* layer = layerOf(item);
    return !layer || isOpen(layer);
}

void FocusReturn::focusMoved()
{
    // The item the keyboard leaves for a layer is noted at once: by the time the move settles, Qt
    // may have passed the focus through other items.
    QQuickItem* now = m_window ? m_window->activeFocusItem() : nullptr;
    if (now != m_seen) {
        QQuickItem* before = m_seen;
        m_seen = now;
        QQuickItem* layer = layerOf(now);
        const bool known = std::any_of(m_returns.cbegin(), m_returns.cend(), [layer](const Return& r) { return r.layer == layer; });
        if (layer && !known) {
            const bool usable = before && before != m_window->contentItem() && layerOf(before) != layer;
            m_returns.append(Return{layer, usable ? before : nullptr});
        }
    }
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
    QQuickItem* layer = layerOf(now);
    if (!now || now == m_window->contentItem() || !now->isVisible() || fellBack || (layer && !isOpen(layer)))
        reclaim();
    now = m_window->activeFocusItem();
    // Layers the keyboard has left are forgotten: out of every layer, or back in an outer one.
    layer = layerOf(now);
    const auto at = std::find_if(m_returns.begin(), m_returns.end(), [layer](const Return& r) { return r.layer == layer; });
    m_returns.erase(layer && at != m_returns.end() ? at + 1 : m_returns.begin(), m_returns.end());
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
    if (!m_home || !m_window)
        return;
    // Back through the layers that closed, to the item that held the keyboard before the first of
    // them, if it is still shown.
    QQuickItem* target = nullptr;
    while (!m_returns.isEmpty() && !target) {
        if (isOpen(m_returns.last().layer)) {
            // What went away was inside a layer still open: that layer keeps the keyboard.
            target = m_returns.last().layer;
            break;
        }
        const Return closed = m_returns.takeLast();
        if (canTake(closed.back))
            target = closed.back;
    }
    if (!target && m_home->isVisible())
        target = m_home;
    QQuickItem* now = m_window->activeFocusItem();
    if (!target || now == target)
        return;
    // A focus scope taking the focus hands it straight back down the chain of items that still
    // have focus within their scopes: clear that chain first when it leads to the same item.
    if (now && target->isAncestorOf(now)) {
        for (QQuickItem* it = now; it && it != target; it = it->parentItem())
            if (it->hasFocus())
                it->setFocus(false);
    }
    target->forceActiveFocus(Qt::OtherFocusReason);
}

} // namespace brinmoor
