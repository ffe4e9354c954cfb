#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The bridge between the main window's views and its frameless QWindow. It keeps
// AppModel.isFullscreen equal to the window's full-screen state, and offers the moves a title
// bar would otherwise make: move (drag on the bar), resize at the edges, minimise, zoom (maximise
// or restore), full screen and close. Invisible; place it anywhere in the window.
class WindowChrome : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    // The window is in full screen.
    Q_PROPERTY(bool fullScreen READ fullScreen NOTIFY windowStateChanged)
    // The window is maximised (zoomed).
    Q_PROPERTY(bool maximized READ maximized NOTIFY windowStateChanged)
public:
    explicit WindowChrome(QQuickItem* parent = nullptr);

    bool fullScreen() const;
    bool maximized() const;

    // The window manager moves the window with the pointer (a drag that began on the bar).
    Q_INVOKABLE bool startMove();
    // The window manager resizes the window from these edges (Qt::Edges flags).
    Q_INVOKABLE bool startResize(int edges);
    Q_INVOKABLE void minimize();
    // Maximise, or restore a maximised window: what the zoom button and a double click on the
    // bar do.
    Q_INVOKABLE void zoom();
    Q_INVOKABLE void toggleFullScreen();
    Q_INVOKABLE void closeWindow();

    // Copies the window's full-screen state to the model; publishes nothing when unchanged.
    void sync();

signals:
    void windowStateChanged();
    // A move or resize was handed to the window manager (whether or not it accepted it).
    void moveRequested();
    void resizeRequested(int edges);

protected:
    void itemChange(ItemChange change, const ItemChangeData& value) override;

private:
    void attach(QWindow* window);

    QPointer<QWindow> m_window;
    QMetaObject::Connection m_stateConnection;
    Qt::WindowStates m_beforeFullScreen = Qt::WindowNoState;
};

} // namespace brinmoor
