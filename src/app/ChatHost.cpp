#include "ChatHost.h"

namespace brinmoor {

namespace {

class RegistryChatHost final : public ChatHost {};

ChatHost*& installedHost()
{
    static ChatHost* host = nullptr;
    return host;
}

ChatHost& builtInHost()
{
    static RegistryChatHost* host = new RegistryChatHost;  // lives for the whole process
    return *host;
}

} // namespace

ChatHost::~ChatHost() = default;

ChatHost& ChatHost::shared()
{
    ChatHost* h = installedHost();
    return h ? *h : builtInHost();
}

void ChatHost::install(ChatHost* host)
{
    ChatHost& previous = shared();
    ChatHost& next = host ? *host : builtInHost();
    if (&previous == &next)
        return;
    if (!next.onState)
        next.onState = previous.onState;
    if (!next.onSessionId)
        next.onSessionId = previous.onSessionId;
    if (!next.claudePath)
        next.claudePath = previous.claudePath;
    if (!next.codexPath)
        next.codexPath = previous.codexPath;
    installedHost() = host;
}

QSet<QUuid> ChatHost::sessions() const
{
    return m_sessions;
}

void ChatHost::stopSession(const QUuid& sessionID)
{
    if (m_sessions.remove(sessionID))
        m_stopped.append(sessionID);
}

void ChatHost::registerSession(const QUuid& sessionID)
{
    m_sessions.insert(sessionID);
}

void ChatHost::reportState(const QUuid& sessionID, PaneState state)
{
    if (onState)
        onState(sessionID, state);
}

void ChatHost::reportSessionId(const QUuid& sessionID, const QString& conversationID)
{
    if (onSessionId)
        onSessionId(sessionID, conversationID);
}

} // namespace brinmoor
