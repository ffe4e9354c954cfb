#include "AgentChatHost.h"

#include <QCoreApplication>
#include <QQmlEngine>

namespace brinmoor {

AgentChatHost::AgentChatHost() = default;

AgentChatHost::~AgentChatHost()
{
    for (ClaudeSession* s : std::as_const(m_sessions))
        delete s;  // each lets its sidecar go
    if (&ChatHost::shared() == this)
        ChatHost::install(nullptr);
}

AgentChatHost& AgentChatHost::shared()
{
    static AgentChatHost* host = [] {
        auto* h = new AgentChatHost;  // lives for the whole process
        ChatHost::install(h);
        return h;
    }();
    return *host;
}

AgentChatHost* AgentChatHost::create(QQmlEngine*, QJSEngine*)
{
    AgentChatHost* h = &shared();
    QQmlEngine::setObjectOwnership(h, QQmlEngine::CppOwnership);
    return h;
}

ClaudeSession* AgentChatHost::session(const Session& record)
{
    if (ClaudeSession* s = m_sessions.value(record.id))
        return s;
    auto* s = new ClaudeSession(record.id, record.directory, record.autoApprove, record.claudeSessionId,
                                record.provider, record.autoCompact);
    QQmlEngine::setObjectOwnership(s, QQmlEngine::CppOwnership);
    s->setTools(m_tools);
    // The host's callbacks are read when a report comes, so AppModel may install them later.
    QPointer<AgentChatHost> self(this);
    s->onSessionId = [self](const QUuid& id, const QString& conversation) {
        if (self)
            self->reportSessionId(id, conversation);
    };
    s->onState = [self](const QUuid& id, PaneState state) {
        if (self)
            self->reportState(id, state);
    };
    s->onFigures = [self](const QUuid& id, const ChatFigures& figures) {
        if (self)
            self->reportFigures(id, figures);
    };
    // The conversation's figures as the pane kept them, until its agent reports new ones.
    s->restoreFigures(record.figures);
    m_sessions.insert(record.id, s);
    s->startIfNeeded(record.provider == ChatProvider::Codex ? codexPath : claudePath);
    return s;
}

ClaudeSession* AgentChatHost::existing(const QString& paneID) const
{
    return m_sessions.value(QUuid::fromString(paneID));
}

void AgentChatHost::resume(const QUuid& paneID, const QString& conversationID)
{
    if (ClaudeSession* s = m_sessions.value(paneID))
        s->resume(conversationID);
}

void AgentChatHost::resume(const QString& paneID, const QString& conversationID)
{
    resume(QUuid::fromString(paneID), conversationID);
}

QSet<QUuid> AgentChatHost::sessions() const
{
    QSet<QUuid> ids;
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it)
        ids.insert(it.key());
    return ids;
}

void AgentChatHost::stopSession(const QUuid& sessionID)
{
    ClaudeSession* s = m_sessions.take(sessionID);
    if (!s)
        return;
    s->stop();
    emit sessionEnded(uuidText(sessionID));
    // Views may still hold it until they go; deleted once control returns to the event loop.
    s->deleteLater();
}

void AgentChatHost::dropPane(const QUuid& sessionID)
{
    stopSession(sessionID);
    // Views may still hold what it kept until they go, as with a stopped session.
    if (QObject* keep = m_paneKeeps.take(sessionID))
        keep->deleteLater();
}

QObject* AgentChatHost::paneKeep(const QUuid& paneID)
{
    if (paneID.isNull())
        return nullptr;
    QObject*& keep = m_paneKeeps[paneID];
    if (!keep) {
        keep = new QObject(this);
        QQmlEngine::setObjectOwnership(keep, QQmlEngine::CppOwnership);
    }
    return keep;
}

QString AgentChatHost::exitReason(const QString& paneID) const
{
    const ClaudeSession* s = m_sessions.value(QUuid::fromString(paneID));
    return s ? s->exitReason() : QString();
}

} // namespace brinmoor
