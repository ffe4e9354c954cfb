#pragma once

#include "ChatHost.h"
#include "ClaudeSession.h"
#include "Models.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace brinmoor {

// The real chat host: one ClaudeSession per chat pane, made and started on the pane's first
// display and kept (with its sidecar and conversation) until AppModel stops the pane. Installed as
// ChatHost::shared() by shared(), which the program's entry calls before AppModel is made.
class AgentChatHost : public QObject, public ChatHost {
    Q_OBJECT
    QML_NAMED_ELEMENT(ChatHost)
    QML_SINGLETON
public:
    // The one host, installed as ChatHost::shared() on first use.
    static AgentChatHost& shared();
    static AgentChatHost* create(QQmlEngine*, QJSEngine*);
    ~AgentChatHost() override;

    // The pane's session, made and started when there is none.
    ClaudeSession* session(const Session& record);
    Q_INVOKABLE brinmoor::ClaudeSession* sessionFor(const brinmoor::Session& record) { return session(record); }
    // The pane's live session, or null (never makes one).
    Q_INVOKABLE brinmoor::ClaudeSession* existing(const QString& paneID) const;
    ClaudeSession* existing(const QUuid& paneID) const { return m_sessions.value(paneID); }
    // Switches a pane's live session to a stored conversation; nothing without one.
    void resume(const QUuid& paneID, const QString& conversationID);
    Q_INVOKABLE void resume(const QString& paneID, const QString& conversationID);

    // Where new sessions find their tools (tests).
    void setTools(const SidecarTools& tools) { m_tools = tools; }

    QSet<QUuid> sessions() const override;
    void stopSession(const QUuid& sessionID) override;
    void dropPane(const QUuid& sessionID) override;

    // What the pane keeps beyond any one of its sessions: a holder, made on first use, for the
    // objects the chat views leave with the pane itself (the unsent draft). A stop, a restart or
    // the agent's end leaves it; only dropPane() (the pane closed) lets it go. Null for a null id.
    QObject* paneKeep(const QUuid& paneID);
    // The same, never made: null when the pane has none.
    QObject* existingPaneKeep(const QUuid& paneID) const { return m_paneKeeps.value(paneID); }

    // Why the pane's sidecar ended by itself ("" when it runs, or when the pane has no session).
    Q_INVOKABLE QString exitReason(const QString& paneID) const;

signals:
    // The pane's session was stopped and dropped (a stop, a restart, a close): a view that holds
    // it lets it go, and asks again once the pane is live.
    void sessionEnded(const QString& paneID);

private:
    AgentChatHost();

    QHash<QUuid, ClaudeSession*> m_sessions;
    QHash<QUuid, QObject*> m_paneKeeps;  // children of the host
    SidecarTools m_tools = SidecarTools::real();
};

} // namespace brinmoor
