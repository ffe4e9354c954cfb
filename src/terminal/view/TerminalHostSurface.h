#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class LocalProcessTerminalView;

// Puts a session's terminal view, which the terminal host owns, into the item tree: the view is
// shown as this item's child and sized to it, but never owned by it, so destroying the surface
// (a relayout, a stopped pane, a closed workspace) leaves the view and its shell with the host.
// The view is asked for (and the shell started) the first time the surface is shown in a window.
//
// The view takes the surface's size once per frame, after the frame's layouts have settled, and
// only while the surface is shown: a layout that passes through several sizes in one go
// resizes the terminal (and its program) once, to the size it ends at, and a surface out of
// sight leaves its terminal at the size it was last seen at until it is shown again.
class TerminalSurfaceView : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    // The session (upper-case UUID text) whose terminal this surface shows.
    Q_PROPERTY(QString sessionID READ sessionID WRITE setSessionID NOTIFY sessionIDChanged)
    // The folder the shell starts in (used only when the view is made).
    Q_PROPERTY(QString directory READ directory WRITE setDirectory NOTIFY directoryChanged)
    // Dark terminal theme when true; a change restyles the running terminal.
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY darkChanged)
    // The terminal view shown here, or null (not shown yet, shown by another surface, dropped).
    Q_PROPERTY(QQuickItem* view READ view NOTIFY viewChanged)
    // The shell's process id while the shown view's shell runs, else 0.
    Q_PROPERTY(int shellPid READ shellPid NOTIFY viewChanged)

public:
    explicit TerminalSurfaceView(QQuickItem* parent = nullptr);
    ~TerminalSurfaceView() override;

    QString sessionID() const { return m_sessionText; }
    void setSessionID(const QString& id);
    QString directory() const { return m_directory; }
    void setDirectory(const QString& directory);
    bool dark() const { return m_dark; }
    void setDark(bool dark);
    QQuickItem* view() const;
    int shellPid() const;

    // Asks the host for the session's view again (after its runtime was dropped); makes a new
    // one, with a new shell, when the host holds none.
    Q_INVOKABLE void reattach();

    // The host's side: the view to show here, or nullptr; and the news that the session's
    // runtime was ended.
    void setShownView(LocalProcessTerminalView* view);
    void notifyDropped();

signals:
    void sessionIDChanged();
    void directoryChanged();
    void darkChanged();
    void viewChanged();
    // The session's runtime was ended (stop, restart, close) and the surface is empty. Emitted
    // once control is back in the event loop, so the operation that ended it has finished (a
    // restart has set the new state, a closed session is gone from the model).
    void viewDropped();

protected:
    void componentComplete() override;
    void itemChange(ItemChange change, const ItemChangeData& value) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    bool childMouseEventFilter(QQuickItem* item, QEvent* event) override;
    void updatePolish() override;

private:
    void attachIfShown();
    void detach();
    // Gives the shown view the surface's size, when the surface is shown and has one.
    void sizeView();

    QString m_sessionText;
    QUuid m_session;
    QString m_directory;
    bool m_dark = true;
    bool m_claimed = false;
    bool m_destroying = false;
    QPointer<LocalProcessTerminalView> m_view;
    QMetaObject::Connection m_sizing; // the view is sized once the frame's polish pass is over
};
