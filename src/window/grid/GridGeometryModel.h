#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QRectF>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include "AppModel.h"

#include "GridGeometry.h"

namespace brinmoor {



// Rectangles are relative to the grid's inner area (the view minus its 12-point padding). In the
// maximized view the focused pane's row carries the maximized rectangle and the others are hidden.
class GridGeometryModel;

// One row per session of the selected workspace, keyed by the session id for as long as the
// session is in the workspace. A row is never removed and re-inserted by a relayout, a swap or a
// maximize, so the pane content built for it survives them all; only its rectangle changes, through
// dataChanged.
class GridPaneList : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        SessionIDRole = Qt::UserRole + 1,  // upper-case UUID text
        SessionRole,                       // the Session record
        PaneXRole,
        PaneYRole,
        PaneWidthRole,
        PaneHeightRole,
        InGroupRole,       // a member of a group box: no drop target
        ShownRole,         // false for the hidden panes of the maximized view
        IsMaximizedRole,   // the maximized view's focused pane
        OrderRole,         // position in the workspace's session list
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int rowOf(const QString& sessionID) const;
    // Rows follow the set of sessions: vanished ones leave, new ones join at the end, the others
    // stay where they are whatever the new order. Then every row takes its rectangle.
    void update(const QList<Session>& sessions, const GridGeometry::Result& layout, const QString& maximizedID,
                const QRectF& maximizedRect);

private:
    struct Row {
        QString id;
        Session session;
        int order = 0;
        QRectF rect;
        bool inGroup = false;
        bool shown = true;
        bool isMaximized = false;
    };
    std::vector<Row> m_rows;
};

// The pane grid's layout for QML: the rectangles of GridGeometry for one workspace of an AppModel
// (the selected one, or the one `workspaceID` names) at the view's size, the pane rows (`panes`),
// group boxes, fillers, strips and ghosts, and the drag and maximize state as the grid draws them.
//
// A grid that is not `shown` keeps the rectangles of the size it last had on screen: its panes (and
// their terminals) are not resized while nobody sees them, and get the one size they end at when
// shown again. Its sessions and settings are still followed, so it shows them as they are now.
class GridGeometryModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(brinmoor::AppModel* appModel READ appModel WRITE setAppModel NOTIFY appModelChanged)
    Q_PROPERTY(qreal viewWidth READ viewWidth WRITE setViewWidth NOTIFY viewSizeChanged)
    Q_PROPERTY(qreal viewHeight READ viewHeight WRITE setViewHeight NOTIFY viewSizeChanged)
    // The workspace (upper-case UUID text) laid out; empty for the selected one.
    Q_PROPERTY(QString workspaceID READ workspaceID WRITE setWorkspaceID NOTIFY workspaceIDChanged)
    // Whether the grid is on screen; while not, view size changes wait until it is.
    Q_PROPERTY(bool shown READ shown WRITE setShown NOTIFY shownChanged)
    Q_PROPERTY(QObject* panes READ panes CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

    Q_PROPERTY(int layout READ layout NOTIFY geometryChanged)
    Q_PROPERTY(bool scrolling READ scrolling NOTIFY geometryChanged)
    Q_PROPERTY(int cols READ cols NOTIFY geometryChanged)
    Q_PROPERTY(qreal contentHeight READ contentHeight NOTIFY geometryChanged)
    Q_PROPERTY(QRectF inner READ inner NOTIFY geometryChanged)
    Q_PROPERTY(QString bigSideID READ bigSideID NOTIFY geometryChanged)
    Q_PROPERTY(QRectF leadingStrip READ leadingStrip NOTIFY geometryChanged)
    Q_PROPERTY(QRectF trailingStrip READ trailingStrip NOTIFY geometryChanged)
    Q_PROPERTY(QRectF leadingGhost READ leadingGhost NOTIFY geometryChanged)
    Q_PROPERTY(QRectF trailingGhost READ trailingGhost NOTIFY geometryChanged)
    Q_PROPERTY(QVariantList fillers READ fillers NOTIFY geometryChanged)
    Q_PROPERTY(QVariantList groups READ groups NOTIFY geometryChanged)

    Q_PROPERTY(bool maximized READ maximized NOTIFY maximizedChanged)
    Q_PROPERTY(QVariant focusedSession READ focusedSession NOTIFY maximizedChanged)
    Q_PROPERTY(QVariantList otherSessions READ otherSessions NOTIFY maximizedChanged)
    Q_PROPERTY(QRectF maximizedPane READ maximizedPane NOTIFY geometryChanged)
    Q_PROPERTY(QVariantList sessions READ sessions NOTIFY sessionsChanged)

    // The drag state as the grid draws it.
    Q_PROPERTY(QString draggingID READ draggingID NOTIFY dragStateChanged)
    Q_PROPERTY(QString swapTargetID READ swapTargetID NOTIFY dragStateChanged)
    Q_PROPERTY(int sideTarget READ sideTarget NOTIFY dragStateChanged)

public:
    // Mirrors GridGeometry::Layout for QML.
    enum LayoutKind { Empty, PackedRows, Scrolling, Columns, RowMajor };
    Q_ENUM(LayoutKind)

    // Which side strip the dragged big-side pane is over.
    enum SideTarget { NoSide, LeadingSide, TrailingSide };
    Q_ENUM(SideTarget)

    explicit GridGeometryModel(QObject* parent = nullptr);

    QObject* panes() const { return m_panes; }
    GridPaneList* paneList() const { return m_panes; }
    int count() const { return m_panes->rowCount(); }

    AppModel* appModel() const { return m_app; }
    void setAppModel(AppModel* model);
    qreal viewWidth() const { return m_viewSize.width(); }
    qreal viewHeight() const { return m_viewSize.height(); }
    void setViewWidth(qreal w);
    void setViewHeight(qreal h);
    QString workspaceID() const { return m_workspaceID; }
    void setWorkspaceID(const QString& id);
    bool shown() const { return m_shown; }
    void setShown(bool shown);
    // The size the rectangles are worked out for (the view's size when last shown).
    QSizeF layoutSize() const { return m_size; }

    // The inputs, also settable without an AppModel.
    void setSessions(const QList<Session>& sessions);
    void setSettings(const GridSettings& settings);
    void setMaximizedSessionID(const QString& id);

    const GridGeometry::Result& result() const { return m_result; }
    int layout() const { return static_cast<int>(m_result.layout); }
    bool scrolling() const { return m_result.layout == GridGeometry::Layout::Scrolling; }
    int cols() const { return m_result.cols; }
    qreal contentHeight() const { return m_result.contentHeight; }
    QRectF inner() const { return m_result.inner; }
    QString bigSideID() const { return m_result.bigSideID.value_or(QString()); }
    QRectF leadingStrip() const { return m_result.leadingStrip; }
    QRectF trailingStrip() const { return m_result.trailingStrip; }
    QRectF leadingGhost() const { return m_result.leadingGhost; }
    QRectF trailingGhost() const { return m_result.trailingGhost; }
    QVariantList fillers() const;
    QVariantList groups() const;
    bool maximized() const { return m_maximized; }
    QVariant focusedSession() const;
    QVariantList otherSessions() const;
    QRectF maximizedPane() const;
    QVariantList sessions() const;
    QString draggingID() const;
    QString swapTargetID() const;
    int sideTarget() const;

    // Shows this session maximized, or the grid for "" (the maximized view's cards and button).
    Q_INVOKABLE void setMaximized(const QString& sessionID);

    // Whether a pane rectangle of the scrolled content shows through the viewport.
    Q_INVOKABLE bool inViewport(qreal y, qreal height, qreal contentY, qreal viewportHeight) const;
    // The row of a session id, -1 when it is not in the workspace.
    Q_INVOKABLE int rowOf(const QString& sessionID) const;

Q_SIGNALS:
    void appModelChanged();
    void viewSizeChanged();
    void workspaceIDChanged();
    void shownChanged();
    void countChanged();
    void geometryChanged();
    void maximizedChanged();
    void sessionsChanged();
    void dragStateChanged();

private:
    void pullFromApp();
    void relayout();
    // The view's size became `size`: laid out now when shown, else when shown again.
    void viewResized(const QSizeF& size);

    QPointer<AppModel> m_app;
    QList<QMetaObject::Connection> m_appConnections;
    QString m_workspaceID;
    bool m_shown = true;
    QSizeF m_viewSize;  // as the view reports it
    QSizeF m_size;      // as laid out
    QList<Session> m_sessions;
    GridSettings m_settings;
    QString m_maximizedID;
    bool m_pulled = false;  // the inputs were read from the AppModel at least once
    bool m_maximized = false;
    GridPaneList* m_panes = nullptr;
    GridGeometry::Result m_result;
};

}  // namespace brinmoor
