#include "GridGeometryModel.h"

#include "AppModel.h"

#include <QSet>

#include <algorithm>

namespace brinmoor {

GridGeometryModel::GridGeometryModel(QObject* parent)
    : QObject(parent)
    , m_panes(new GridPaneList(this))
{
    relayout();
}

int GridPaneList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant GridPaneList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return {};
    const Row& r = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case SessionIDRole: return r.id;
    case SessionRole: return QVariant::fromValue(r.session);
    case PaneXRole: return r.rect.x();
    case PaneYRole: return r.rect.y();
    case PaneWidthRole: return r.rect.width();
    case PaneHeightRole: return r.rect.height();
    case InGroupRole: return r.inGroup;
    case ShownRole: return r.shown;
    case IsMaximizedRole: return r.isMaximized;
    case OrderRole: return r.order;
    default: return {};
    }
}

QHash<int, QByteArray> GridPaneList::roleNames() const
{
    return {
        {SessionIDRole, "sessionID"},  {SessionRole, "session"},       {PaneXRole, "paneX"},
        {PaneYRole, "paneY"},          {PaneWidthRole, "paneWidth"},   {PaneHeightRole, "paneHeight"},
        {InGroupRole, "inGroup"},      {ShownRole, "shown"},           {IsMaximizedRole, "isMaximized"},
        {OrderRole, "order"},
    };
}

int GridPaneList::rowOf(const QString& sessionID) const
{
    for (int i = 0; i < rowCount(); ++i)
        if (m_rows[static_cast<size_t>(i)].id == sessionID)
            return i;
    return -1;
}

void GridPaneList::update(const QList<Session>& sessions, const GridGeometry::Result& layout,
                          const QString& maximizedID, const QRectF& maximizedRect)
{
    QSet<QString> ids;
    for (const Session& s : sessions)
        ids.insert(uuidText(s.id));
    for (int i = rowCount() - 1; i >= 0; --i) {
        if (!ids.contains(m_rows[static_cast<size_t>(i)].id)) {
            beginRemoveRows({}, i, i);
            m_rows.erase(m_rows.begin() + i);
            endRemoveRows();
        }
    }
    for (int order = 0; order < sessions.size(); ++order) {
        const Session& s = sessions.at(order);
        const QString id = uuidText(s.id);
        const int row = rowOf(id);
        if (row < 0) {
            const int at = rowCount();
            beginInsertRows({}, at, at);
            m_rows.push_back(Row{id, s, order, {}, false, true, false});
            endInsertRows();
            continue;
        }
        Row& r = m_rows[static_cast<size_t>(row)];
        const bool changed = r.order != order || !r.session.sameContent(s);
        r.session = s;
        r.order = order;
        if (changed)
            Q_EMIT dataChanged(index(row), index(row), {SessionRole, OrderRole});
    }

    // A maximized id outside the workspace shows the grid.
    const bool maximized = !maximizedID.isEmpty() && rowOf(maximizedID) >= 0;
    for (int i = 0; i < rowCount(); ++i) {
        Row& r = m_rows[static_cast<size_t>(i)];
        QRectF rect;
        bool inGroup = false;
        if (const auto* p = layout.pane(r.id)) {
            rect = p->rect;
            inGroup = p->inGroup;
        }
        const bool isMax = maximized && r.id == maximizedID;
        const bool shown = !maximized || isMax;
        if (isMax)
            rect = maximizedRect;
        if (rect == r.rect && inGroup == r.inGroup && shown == r.shown && isMax == r.isMaximized)
            continue;
        r.rect = rect;
        r.inGroup = inGroup;
        r.shown = shown;
        r.isMaximized = isMax;
        Q_EMIT dataChanged(index(i), index(i),
                           {PaneXRole, PaneYRole, PaneWidthRole, PaneHeightRole, InGroupRole, ShownRole,
                            IsMaximizedRole});
    }
}

void GridGeometryModel::setAppModel(AppModel* model)
{
    if (m_app == model)
        return;
    for (const auto& c : std::as_const(m_appConnections))
        disconnect(c);
    m_appConnections.clear();
    m_app = model;
    if (m_app) {
        m_appConnections << connect(m_app, &AppModel::workspacesChanged, this, &GridGeometryModel::pullFromApp)
                         << connect(m_app, &AppModel::selectedWorkspaceIDChanged, this,
                                    &GridGeometryModel::pullFromApp)
                         << connect(m_app, &AppModel::selectedWorkspaceChanged, this,
                                    &GridGeometryModel::pullFromApp)
                         << connect(m_app, &AppModel::maximizedSessionIDChanged, this,
                                    &GridGeometryModel::pullFromApp)
                         << connect(m_app, &AppModel::draggingSessionIDChanged, this,
                                    &GridGeometryModel::dragStateChanged)
                         << connect(m_app, &AppModel::dropTargetChanged, this,
                                    &GridGeometryModel::dragStateChanged);
    }
    pullFromApp();
    Q_EMIT appModelChanged();
    Q_EMIT dragStateChanged();
}

void GridGeometryModel::pullFromApp()
{
    QList<Session> sessions;
    GridSettings settings;
    QString maximized;
    if (m_app) {
        const Workspace* ws = nullptr;
        if (m_workspaceID.isEmpty()) {
            if (const auto index = m_app->selectedWorkspaceIndex())
                ws = &m_app->workspaces().at(*index);
        } else {
            for (const Workspace& w : m_app->workspaces())
                if (uuidText(w.id) == m_workspaceID)
                    ws = &w;
        }
        if (ws) {
            sessions = ws->sessions;
            settings = GridSettings{ws->forcedColumns, ws->maxRows, ws->bigSideLeft};
        }
        if (const auto id = m_app->maximizedSessionID())
            maximized = uuidText(*id);
    }
    // Every change of the model comes here, most of them to other workspaces: a grid whose own
    // sessions and settings stayed as they were has nothing to lay out again.
    const bool same = maximized == m_maximizedID && settings.forcedColumns == m_settings.forcedColumns
                      && settings.maxRows == m_settings.maxRows && settings.bigSideLeft == m_settings.bigSideLeft
                      && sessions.size() == m_sessions.size()
                      && std::equal(sessions.begin(), sessions.end(), m_sessions.begin(),
                                    [](const Session& a, const Session& b) { return a.id == b.id && a.sameContent(b); });
    if (same && m_pulled)
        return;
    m_pulled = true;
    m_sessions = sessions;
    m_settings = settings;
    m_maximizedID = maximized;
    relayout();
}

void GridGeometryModel::setWorkspaceID(const QString& id)
{
    if (id == m_workspaceID)
        return;
    m_workspaceID = id;
    pullFromApp();
    Q_EMIT workspaceIDChanged();
}

void GridGeometryModel::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    if (m_shown && m_viewSize != m_size) {
        m_size = m_viewSize;
        relayout();
    }
    Q_EMIT shownChanged();
}

void GridGeometryModel::viewResized(const QSizeF& size)
{
    m_viewSize = size;
    if (!m_shown)
        return;
    m_size = size;
    relayout();
}

void GridGeometryModel::setViewWidth(qreal w)
{
    if (qFuzzyCompare(m_viewSize.width(), w))
        return;
    viewResized(QSizeF(w, m_viewSize.height()));
    Q_EMIT viewSizeChanged();
}

void GridGeometryModel::setViewHeight(qreal h)
{
    if (qFuzzyCompare(m_viewSize.height(), h))
        return;
    viewResized(QSizeF(m_viewSize.width(), h));
    Q_EMIT viewSizeChanged();
}

void GridGeometryModel::setSessions(const QList<Session>& sessions)
{
    m_sessions = sessions;
    relayout();
}

void GridGeometryModel::setSettings(const GridSettings& settings)
{
    m_settings = settings;
    relayout();
}

void GridGeometryModel::setMaximizedSessionID(const QString& id)
{
    m_maximizedID = id;
    relayout();
}

void GridGeometryModel::relayout()
{
    const int before = count();
    m_result = GridGeometry::compute(m_sessions, m_settings, m_size);
    const bool wasMaximized = m_maximized;
    m_maximized = !m_maximizedID.isEmpty()
                  && std::any_of(m_sessions.begin(), m_sessions.end(),
                                 [this](const Session& s) { return uuidText(s.id) == m_maximizedID; });
    m_panes->update(m_sessions, m_result, m_maximizedID, maximizedPane());
    if (count() != before)
        Q_EMIT countChanged();
    Q_EMIT geometryChanged();
    Q_EMIT sessionsChanged();
    if (wasMaximized != m_maximized || m_maximized)
        Q_EMIT maximizedChanged();
}

int GridGeometryModel::rowOf(const QString& sessionID) const
{
    return m_panes->rowOf(sessionID);
}

QVariantList GridGeometryModel::fillers() const
{
    QVariantList out;
    for (const QRectF& f : m_result.fillers)
        out << f;
    return out;
}

QVariantList GridGeometryModel::groups() const
{
    QVariantList out;
    for (const auto& c : m_result.cells) {
        if (!c.isGroup)
            continue;
        out << QVariantMap{{"itemID", c.itemID}, {"label", c.label}, {"labelWords", c.labelWords},
                           {"labelName", c.labelName}, {"x", c.rect.x()}, {"y", c.rect.y()},
                           {"width", c.rect.width()}, {"height", c.rect.height()}};
    }
    return out;
}

QVariant GridGeometryModel::focusedSession() const
{
    if (!m_maximized)
        return {};
    for (const Session& s : m_sessions)
        if (uuidText(s.id) == m_maximizedID)
            return QVariant::fromValue(s);
    return {};
}

QVariantList GridGeometryModel::otherSessions() const
{
    QVariantList out;
    if (!m_maximized)
        return out;
    for (const Session& s : m_sessions)
        if (uuidText(s.id) != m_maximizedID)
            out << QVariant::fromValue(s);
    return out;
}

QRectF GridGeometryModel::maximizedPane() const
{
    // The maximized view's pane, relative to the same inner area as the grid's cells.
    return GridGeometry::maximizedPaneRect(m_size).translated(-GridGeometry::pad, -GridGeometry::pad);
}

bool GridGeometryModel::inViewport(qreal y, qreal height, qreal contentY, qreal viewportHeight) const
{
    return GridGeometry::intersectsViewport(QRectF(0, y, 1, height), contentY, viewportHeight);
}

}  // namespace brinmoor

namespace brinmoor {

QVariantList GridGeometryModel::sessions() const
{
    QVariantList out;
    for (const Session& s : m_sessions)
        out << QVariant::fromValue(s);
    return out;
}

QString GridGeometryModel::draggingID() const
{
    const auto id = m_app ? m_app->draggingSessionID() : std::nullopt;
    return id ? uuidText(*id) : QString();
}

QString GridGeometryModel::swapTargetID() const
{
    const auto t = m_app ? m_app->dropTarget() : std::nullopt;
    return t && t->isSwap() ? uuidText(t->sessionID) : QString();
}

int GridGeometryModel::sideTarget() const
{
    const auto t = m_app ? m_app->dropTarget() : std::nullopt;
    if (!t || !t->isSide())
        return NoSide;
    return t->leading ? LeadingSide : TrailingSide;
}

void GridGeometryModel::setMaximized(const QString& sessionID)
{
    if (!m_app) {
        setMaximizedSessionID(sessionID);
        return;
    }
    m_app->setMaximizedSessionID(uuidFromText(sessionID));
}

}  // namespace brinmoor
