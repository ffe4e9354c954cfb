#include "WindowChrome.h"

#include "AppModel.h"

#include <QQuickWindow>

namespace brinmoor {

WindowChrome::WindowChrome(QQuickItem* parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents, false);
}

bool WindowChrome::fullScreen() const
{
    return m_window && (m_window->windowStates() & Qt::WindowFullScreen);
}

bool WindowChrome::maximized() const
{
    return m_window && (m_window->windowStates() & Qt::WindowMaximized);
}

void WindowChrome::itemChange(ItemChange change, const ItemChangeData& value)
{
    if (change == ItemSceneChange)
        attach(value.window);
    QQuickItem::itemChange(change, value);
}

void WindowChrome::attach(QWindow* window)
{
    if (window == m_window) {
        sync();
        return;
    }
    // One connection per window: moving to another window drops the old one.
    QObject::disconnect(m_stateConnection);
    m_window = window;
    if (window) {
        m_stateConnection = connect(window, &QWindow::windowStateChanged, this, [this] {
            sync();
            emit windowStateChanged();
        });
    }
    sync();
    emit windowStateChanged();
}

void WindowChrome::sync()
{
    if (!m_window)
        return;
    AppModel* model = AppModel::instance();
    const bool on = fullScreen();
    if (model && model->isFullscreen() != on)
        model->setIsFullscreen(on);
}

bool WindowChrome::startMove()
{
    if (!m_window)
        return false;
    emit moveRequested();
    return m_window->startSystemMove();
}

bool WindowChrome::startResize(int edges)
{
    if (!m_window || edges == 0)
        return false;
    emit resizeRequested(edges);
    return m_window->startSystemResize(Qt::Edges(edges));
}

void WindowChrome::minimize()
{
    if (m_window)
        m_window->showMinimized();
}

void WindowChrome::zoom()
{
    if (!m_window || fullScreen())
        return;
    if (maximized())
        m_window->showNormal();
    else
        m_window->showMaximized();
}

void WindowChrome::toggleFullScreen()
{
    if (!m_window)
        return;
    if (fullScreen()) {
        // Back to where full screen was entered from: a maximised window stays maximised.
        if (m_beforeFullScreen & Qt::WindowMaximized)
            m_window->showMaximized();
        else
            m_window->showNormal();
        return;
    }
    m_beforeFullScreen = m_window->windowStates();
    m_window->showFullScreen();
}

void WindowChrome::closeWindow()
{
    if (m_window)
        m_window->close();
}

} // namespace brinmoor
