#include "TerminalHostSurface.h"

#include "TerminalHostLocal.h"

#include <QQuickWindow>
#include <QTimer>

TerminalSurfaceView::TerminalSurfaceView(QQuickItem* parent) : QQuickItem(parent)
{
    setFlag(ItemIsFocusScope, true);
    // A press anywhere on the terminal gives it the keyboard, so typed keys reach the shell and
    // not the window's shortcuts.
    setFiltersChildMouseEvents(true);
    connect(&TerminalHost::shared(), &TerminalHost::viewDropped, this, [this](const QUuid& id) {
        if (id == m_session)
            m_claimed = false;
    });
}

TerminalSurfaceView::~TerminalSurfaceView()
{
    m_destroying = true; // no change signals from a surface that is going away
    detach();
}

void TerminalSurfaceView::setSessionID(const QString& id)
{
    if (id == m_sessionText)
        return;
    detach();
    m_sessionText = id;
    m_session = QUuid::fromString(id);
    emit sessionIDChanged();
    attachIfShown();
}

void TerminalSurfaceView::setDirectory(const QString& directory)
{
    if (directory == m_directory)
        return;
    m_directory = directory;
    emit directoryChanged();
}

void TerminalSurfaceView::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    if (m_view)
        TerminalHost::shared().applyTheme(m_view.data(), m_dark);
    emit darkChanged();
}

QQuickItem* TerminalSurfaceView::view() const
{
    return m_view.data();
}

int TerminalSurfaceView::shellPid() const
{
    return m_view && m_view->process && m_view->process->running() ? int(m_view->process->shellPid()) : 0;
}

void TerminalSurfaceView::reattach()
{
    m_claimed = false;
    attachIfShown();
}

void TerminalSurfaceView::componentComplete()
{
    QQuickItem::componentComplete();
    attachIfShown();
}

void TerminalSurfaceView::itemChange(ItemChange change, const ItemChangeData& value)
{
    QQuickItem::itemChange(change, value);
    if (change == ItemSceneChange && m_sizing) {
        disconnect(m_sizing); // sized in the new window's frame instead
        m_sizing = {};
        polish();
    }
    if (change == ItemSceneChange || change == ItemVisibleHasChanged)
        attachIfShown();
    if (change == ItemVisibleHasChanged && value.boolValue && m_view)
        polish();
}

void TerminalSurfaceView::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (m_view)
        polish();
}

void TerminalSurfaceView::updatePolish()
{
    QQuickItem::updatePolish();
    // Layouts settle in the frame's polish pass, in no set order (a pane's header takes its
    // height from its row layout there, possibly after this item): the view takes the size
    // the pass ends with, before the frame is drawn.
    QQuickWindow* w = window();
    if (!w) {
        sizeView();
        return;
    }
    if (!m_sizing) {
        m_sizing = connect(w, &QQuickWindow::afterAnimating, this, [this] {
            disconnect(m_sizing);
            m_sizing = {};
            sizeView();
        });
    }
}

void TerminalSurfaceView::sizeView()
{
    if (!m_view || m_view->parentItem() != this || !isVisible() || width() <= 0 || height() <= 0)
        return;
    if (m_view->size() != size())
        m_view->setSize(size());
}

bool TerminalSurfaceView::childMouseEventFilter(QQuickItem* item, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && m_view && !m_view->hasActiveFocus())
        m_view->forceActiveFocus(Qt::MouseFocusReason);
    return QQuickItem::childMouseEventFilter(item, event);
}

void TerminalSurfaceView::attachIfShown()
{
    // First display: complete, in a window, visible, and naming a session.
    if (m_claimed || !isComponentComplete() || !window() || !isVisible() || m_session.isNull())
        return;
    m_claimed = true;
    TerminalHost& host = TerminalHost::shared();
    host.view(m_session, m_directory, m_dark, size());
    host.claim(m_session, this);
}

void TerminalSurfaceView::detach()
{
    if (!m_claimed && !m_view)
        return;
    m_claimed = false;
    if (!m_session.isNull())
        TerminalHost::shared().release(m_session, this);
    setShownView(nullptr);
}

void TerminalSurfaceView::notifyDropped()
{
    QTimer::singleShot(0, this, [this] { emit viewDropped(); });
}

void TerminalSurfaceView::setShownView(LocalProcessTerminalView* view)
{
    if (m_view == view)
        return;
    // Let go of the old view only if it is still ours to show (another surface may hold it).
    if (m_view && m_view->parentItem() == this)
        m_view->setParentItem(nullptr);
    m_view = view;
    if (view) {
        view->setParentItem(this);
        view->setPosition(QPointF(0, 0));
        // Sized at the frame, to the size the layout ends at: a pane built again (a return to a
        // workspace) starts at a size it does not keep, and resizing a running terminal to it
        // and back would reset its scroll region, drop its selection and signal its program.
        polish();
        view->setVisible(true);
    }
    if (!m_destroying)
        emit viewChanged();
}
