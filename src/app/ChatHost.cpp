#include "ChatHost.h"

#include "SharedHost.h"

namespace brinmoor {

ChatHost::~ChatHost() = default;

ChatHost& ChatHost::shared()
{
    return SharedHost<ChatHost>::shared();
}

void ChatHost::install(ChatHost* host)
{
    SharedHost<ChatHost>::install(host, [](const ChatHost& previous, ChatHost& next) {
        carryUnset(next.onState, previous.onState);
        carryUnset(next.onSessionId, previous.onSessionId);
        carryUnset(next.onFigures, previous.onFigures);
        carryUnset(next.claudePath, previous.claudePath);
        carryUnset(next.codexPath, previous.codexPath);
    });
}

QSet<QUuid> ChatHost::sessions() const
{
    return {};
}

void ChatHost::stopSession(const QUuid&) {}

void ChatHost::dropPane(const QUuid&) {}

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

void ChatHost::reportFigures(const QUuid& sessionID, const ChatFigures& figures)
{
    if (onFigures)
        onFigures(sessionID, figures);
}

} // namespace brinmoor
