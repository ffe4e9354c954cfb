#pragma once

#include "LocalProcessTerminalView.h"
#include "TerminalHostShell.h"

#include "TerminalHost.h" // the application core's seam (src/app/TerminalHost.h)

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class TerminalSurfaceView;

// Carries a session id for a terminal view's exit report. The view refers to it weakly; the
// host holds it, so once the host drops a pane's entry a later exit of that shell reaches no one.
class ProcessDelegate : public LocalProcessTerminalViewDelegate {
public:
    using Callback = std::function<void(const QUuid& id, std::optional<int32_t> exitCode)>;

    ProcessDelegate(const QUuid& id, Callback onTerminated) : id(id), onTerminated(std::move(onTerminated)) {}

    const QUuid id;
    const Callback onTerminated;

    void sizeChanged(LocalProcessTerminalView&, int, int) override {}
    void setTerminalTitle(LocalProcessTerminalView&, const QString&) override {}
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>&) override {}
    void processTerminated(TerminalView&, std::optional<int32_t> exitCode) override
    {
        if (onTerminated)
            onTerminated(id, exitCode);
    }
};

// The application's one keeper of terminal panes' runtimes: one terminal view and one exit
// reporter per terminal session id. A view is made, themed and given its login shell the first
// time its pane is shown, and handed out again whenever the pane's view is rebuilt, so the shell
// and its screen survive layout changes. The host owns every view; a surface only shows it.
//
// Ending a pane's runtime (close, stop, restart, workspace delete: the application core calls
// dropView) detaches the exit report, hangs up the terminal, sends SIGTERM, and SIGKILL after
// two seconds to whatever still runs: no process of the pane remains and no exit is reported.
class TerminalHost : public QObject, public brinmoor::TerminalHost {
    Q_OBJECT
public:
    explicit TerminalHost(QObject* parent = nullptr);
    ~TerminalHost() override;

    // The process-wide host, made on first use and installed as the application core's host.
    static TerminalHost& shared();

    // The session's view, made and started when it has none; an existing one only gets the
    // theme again (no new shell). A new view starts at `size` when one is given (the size of
    // the surface it is made for), so that its shell starts at the size it is shown at.
    LocalProcessTerminalView* view(const QUuid& sessionID, const QString& directory, bool dark,
                                   const QSizeF& size = QSizeF());
    // The session's view, or nullptr.
    LocalProcessTerminalView* existingView(const QUuid& sessionID) const;

    // Font and default colours of the light or dark terminal theme.
    void applyTheme(LocalProcessTerminalView* view, bool dark);
    static QFont themeFont();
    static QColor themeBackground(bool dark);
    static QColor themeForeground(bool dark);

    // brinmoor::TerminalHost
    QSet<QUuid> views() const override;
    QSet<QUuid> delegates() const override;
    void dropView(const QUuid& sessionID) override;
    void applyTheme(QObject* view, bool dark) override;

    // Ends every pane's processes and waits for them (the application is quitting).
    void shutdown();

    // The surfaces that want to show a session's view: the view sits in the latest one that is
    // still there. Called by TerminalSurfaceView.
    void claim(const QUuid& sessionID, TerminalSurfaceView* surface);
    void release(const QUuid& sessionID, TerminalSurfaceView* surface);

    PaneProcessEnder& ender() { return m_ender; }

signals:
    // A session's view was dropped (its runtime ended); a surface that showed it is empty now.
    void viewDropped(const QUuid& sessionID);

private:
    void spawnShell(LocalProcessTerminalView* view, const QString& directory);
    void placeView(const QUuid& sessionID);
    // Takes the session's view and entry out of the host and adds its ending (the hang-up
    // included) to `endings`; its surfaces are told.
    void takeView(const QUuid& sessionID, QList<PaneProcessEnder::Ending>& endings);

    QHash<QUuid, LocalProcessTerminalView*> m_views; // owned
    QHash<QUuid, std::shared_ptr<ProcessDelegate>> m_delegates;
    QHash<const LocalProcessTerminalView*, PaneProcessEnder::ProcessRef> m_shells; // each view's shell as started
    QHash<QUuid, QList<QPointer<TerminalSurfaceView>>> m_surfaces;
    PaneProcessEnder m_ender;
    int m_reporting = 0; // exit reports being delivered right now
};
