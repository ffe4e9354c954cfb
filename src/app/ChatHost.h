#pragma once

#include "Models.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace brinmoor {

// The process-wide registry of chat panes' sessions, as the application core sees it.
//
// The core (AppModel) only talks to `ChatHost::shared()`: it installs the two callbacks, hands
// over the detected tool paths and stops a pane's session. The base class has no sessions and
// starts no sidecar; the agent library derives the real host from it (owning one chat session per
// pane, overriding sessions() and stopSession()) and installs it with `ChatHost::install()` before
// AppModel is created.
class ChatHost {
public:
    using StateCallback = std::function<void(const QUuid& sessionID, PaneState state)>;
    using SessionIdCallback = std::function<void(const QUuid& sessionID, const QString& conversationID)>;
    using FiguresCallback = std::function<void(const QUuid& sessionID, const ChatFigures& figures)>;

    virtual ~ChatHost();

    static ChatHost& shared();
    // Makes `host` the shared one (kept alive by the caller); nullptr returns to the built-in
    // registry. Installed callbacks and tool paths move over to the new host.
    static void install(ChatHost* host);

    // A pane's chat session changed state (called only on a change, on the main thread).
    StateCallback onState;
    // A pane's sidecar announced the provider's conversation id.
    SessionIdCallback onSessionId;
    // A pane's conversation has new figures to keep (a turn ended, it was compacted, another
    // conversation was resumed).
    FiguresCallback onFigures;
    // The tool executables new chat sessions use; set after each detection.
    std::optional<QString> claudePath;
    std::optional<QString> codexPath;

    // Pane ids with a live chat session.
    virtual QSet<QUuid> sessions() const;
    // Stops the pane's session (quit command, sidecar ended) and removes it from the registry.
    virtual void stopSession(const QUuid& sessionID);
    // The pane is gone for good (closed, or its workspace deleted): what it kept beyond its
    // sessions (the unsent draft, which outlives a stop and a restart) goes too.
    virtual void dropPane(const QUuid& sessionID);


    // Forward a session's reports to the installed callbacks, read at call time.
    void reportState(const QUuid& sessionID, PaneState state);
    void reportSessionId(const QUuid& sessionID, const QString& conversationID);
    void reportFigures(const QUuid& sessionID, const ChatFigures& figures);

protected:
    ChatHost() = default;
};

} // namespace brinmoor
