#include "TerminalHostLocal.h"

#include "TerminalHostSurface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QProcessEnvironment>
#include <QQmlEngine>

namespace {

template <typename Hash>
QSet<QUuid> sessionIDs(const Hash& bySession)
{
    QSet<QUuid> ids;
    for (auto it = bySession.cbegin(); it != bySession.cend(); ++it)
        ids.insert(it.key());
    return ids;
}

} // namespace

TerminalHost::TerminalHost(QObject* parent) : QObject(parent), m_ender(this)
{
    // No shell outlives the application: quitting ends every pane as closing it would.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TerminalHost::shutdown);
}

TerminalHost::~TerminalHost()
{
    shutdown();
    if (&brinmoor::TerminalHost::shared() == this)
        brinmoor::TerminalHost::install(nullptr);
}

TerminalHost& TerminalHost::shared()
{
    static TerminalHost* host = [] {
        auto* h = new TerminalHost(QCoreApplication::instance());
        brinmoor::TerminalHost::install(h);
        return h;
    }();
    return *host;
}

LocalProcessTerminalView* TerminalHost::existingView(const QUuid& sessionID) const
{
    return m_views.value(sessionID, nullptr);
}

LocalProcessTerminalView* TerminalHost::view(const QUuid& sessionID, const QString& directory, bool dark,
                                             const QSizeF& size)
{
    if (LocalProcessTerminalView* existing = m_views.value(sessionID, nullptr)) {
        applyTheme(existing, dark);
        return existing;
    }

    // Owned here, never by QML: a surface that goes away must not take the shell with it.
    auto* view = new LocalProcessTerminalView(nullptr);
    QQmlEngine::setObjectOwnership(view, QQmlEngine::CppOwnership);
    applyTheme(view, dark); // the font first: it gives the cells that the size is counted in
    view->setSize(size.width() > 0 && size.height() > 0 ? size : QSizeF(640, 360));

    // The exit report reads the host's callback when the exit arrives, so a callback installed
    // after the view was made still hears it.
    QPointer<TerminalHost> self(this);
    auto reporter = std::make_shared<ProcessDelegate>(sessionID, [self](const QUuid& id, std::optional<int32_t> code) {
        if (!self)
            return;
        ++self->m_reporting;
        self->reportExit(id, code);
        if (self)
            --self->m_reporting;
    });
    view->processDelegate = reporter.get();
    m_delegates.insert(sessionID, reporter);

    spawnShell(view, directory);
    m_views.insert(sessionID, view);
    return view;
}

void TerminalHost::spawnShell(LocalProcessTerminalView* view, const QString& directory)
{
    // The folder is the child's own working directory: ours never changes.
    const QString folder = ShellLaunch::resolveDirectory(directory, QDir::homePath());
    const QString shell = ShellLaunch::loginShell();
    view->startProcess(shell, {}, ShellLaunch::shellEnvironment(QProcessEnvironment::systemEnvironment()),
                       ShellLaunch::loginArgumentZero(shell), folder);
    // Identified now, while the pid is surely this shell's, so ending it later never hits a
    // process that reused the pid.
    if (view->process->shellPid() > 0)
        m_shells.insert(view, PaneProcessEnder::identify(view->process->shellPid()));
}

QFont TerminalHost::themeFont()
{
    static const QFont font = [] {
        // The design's font when installed, else the system's monospaced font; 12 logical pixels.
        QFont f = QFontDatabase::families().contains(QStringLiteral("SF Mono"))
            ? QFont(QStringLiteral("SF Mono"))
            : QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPixelSize(12);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        return f;
    }();
    return font;
}

QColor TerminalHost::themeBackground(bool dark)
{
    return dark ? QColor(0x0a, 0x0b, 0x0d) : QColor(0xf4, 0xf5, 0xf8);
}

QColor TerminalHost::themeForeground(bool dark)
{
    return dark ? QColor(0xc5, 0xc9, 0xd0) : QColor(0x3a, 0x40, 0x48);
}

void TerminalHost::applyTheme(LocalProcessTerminalView* view, bool dark)
{
    if (!view)
        return;
    view->setFont(themeFont()); // a no-op for the same font
    const QColor bg = themeBackground(dark);
    const QColor fg = themeForeground(dark);
    if (view->nativeBackgroundColor() != bg)
        view->setNativeBackgroundColor(bg);
    if (view->nativeForegroundColor() != fg)
        view->setNativeForegroundColor(fg);
}

void TerminalHost::applyTheme(QObject* view, bool dark)
{
    applyTheme(qobject_cast<LocalProcessTerminalView*>(view), dark);
}

QSet<QUuid> TerminalHost::views() const
{
    return sessionIDs(m_views);
}

QSet<QUuid> TerminalHost::delegates() const
{
    return sessionIDs(m_delegates);
}

void TerminalHost::dropView(const QUuid& sessionID)
{
    QList<PaneProcessEnder::Ending> endings;
    takeView(sessionID, endings);
    m_ender.endAll(endings);
    emit viewDropped(sessionID);
}

void TerminalHost::takeView(const QUuid& sessionID, QList<PaneProcessEnder::Ending>& endings)
{
    LocalProcessTerminalView* view = m_views.take(sessionID);
    // The exit report goes first: whatever the shell does from now on reaches no one.
    std::shared_ptr<ProcessDelegate> reporter = m_delegates.take(sessionID);
    if (view)
        view->processDelegate = nullptr;

    // Surfaces that showed it are empty now; they may ask for a fresh view later.
    const QList<QPointer<TerminalSurfaceView>> surfaces = m_surfaces.take(sessionID);
    for (const QPointer<TerminalSurfaceView>& s : surfaces)
        if (s)
            s->setShownView(nullptr);

    if (view) {
        view->setParentItem(nullptr);
        view->setVisible(false);
        PaneProcessEnder::ProcessRef shell = m_shells.take(view);
        if (shell.pid != view->process->shellPid())
            shell = {};
        const bool running = view->process->running();
        // Destroying the view closes the terminal's master: the hang-up. While an exit report
        // is being delivered the view may still be on the stack, so it goes a moment later.
        const bool reporting = m_reporting > 0;
        endings.append({shell, running, [view, reporting] {
                            if (reporting)
                                view->deleteLater();
                            else
                                delete view;
                        }});
    }
    for (const QPointer<TerminalSurfaceView>& s : surfaces)
        if (s)
            s->notifyDropped();
}

void TerminalHost::shutdown()
{
    // Every pane in one ending: the process table is read for all of them together.
    const QList<QUuid> ids = m_views.keys();
    QList<PaneProcessEnder::Ending> endings;
    for (const QUuid& id : ids)
        takeView(id, endings);
    m_ender.endAll(endings);
    for (const QUuid& id : ids)
        emit viewDropped(id);
    m_ender.finishAll();
}

void TerminalHost::claim(const QUuid& sessionID, TerminalSurfaceView* surface)
{
    QList<QPointer<TerminalSurfaceView>>& list = m_surfaces[sessionID];
    list.removeAll(QPointer<TerminalSurfaceView>(surface));
    list.append(surface);
    placeView(sessionID);
}

void TerminalHost::release(const QUuid& sessionID, TerminalSurfaceView* surface)
{
    auto it = m_surfaces.find(sessionID);
    if (it == m_surfaces.end())
        return;
    it->removeAll(QPointer<TerminalSurfaceView>(surface));
    surface->setShownView(nullptr);
    placeView(sessionID);
}

void TerminalHost::placeView(const QUuid& sessionID)
{
    LocalProcessTerminalView* view = m_views.value(sessionID, nullptr);
    auto it = m_surfaces.find(sessionID);
    if (it != m_surfaces.end())
        it->removeAll(QPointer<TerminalSurfaceView>());
    if (it == m_surfaces.end() || it->isEmpty()) {
        if (it != m_surfaces.end())
            m_surfaces.erase(it);
        if (view)
            view->setParentItem(nullptr);
        return;
    }
    // The latest surface shows the view; the others are empty until it goes away.
    TerminalSurfaceView* target = it->last();
    for (const QPointer<TerminalSurfaceView>& s : std::as_const(*it))
        if (s != target)
            s->setShownView(nullptr);
    target->setShownView(view);
}
