#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <optional>

namespace brinmoor {

// The application's keeper of terminal panes' runtimes, as the application core sees it.
//
// This class is the seam between the core and the terminal view library: the core (AppModel)
// only ever talks to `TerminalHost::shared()`. The base class has no views and starts no process;
// the terminal view library derives the real host from it
// (overriding views(), delegates(), dropView() and applyTheme()) and installs it with
// `TerminalHost::install()` before AppModel is created.
class TerminalHost {
public:
    using TerminatedCallback = std::function<void(const QUuid& sessionID, std::optional<int32_t> exitCode)>;

    virtual ~TerminalHost();

    // The one process-wide host: the installed one, else the built-in registry.
    static TerminalHost& shared();
    // Makes `host` the shared one (the caller keeps it alive for the whole process); nullptr
    // returns to the built-in registry. The exit callback moves over to the new host.
    static void install(TerminalHost* host);

    // Called on the main thread when a pane's shell exits; nothing is called while unset.
    TerminatedCallback onTerminated;

    // Session ids that have a terminal view (from the pane's first display until dropView).
    virtual QSet<QUuid> views() const;
    // Session ids whose process delegate is registered (removed together with the view).
    virtual QSet<QUuid> delegates() const;
    // Ends the pane's shell so that no process of it remains (its exit report is detached first,
    // so it reaches no callback), and removes its view and delegate entries.
    virtual void dropView(const QUuid& sessionID);
    // Applies the dark or light terminal colours and font to a pane's terminal view.
    virtual void applyTheme(QObject* view, bool dark);


    // Reports a shell's exit to the installed callback (the per-pane process delegate's job).
    void reportExit(const QUuid& sessionID, std::optional<int32_t> exitCode);

protected:
    TerminalHost() = default;
};

} // namespace brinmoor
