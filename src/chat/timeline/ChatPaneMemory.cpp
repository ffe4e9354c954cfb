#include "ChatPaneMemory.h"

#include "AgentChatHost.h"
#include "ClaudeSession.h"

#include <QQmlEngine>

#include <cmath>

namespace brinmoor {

namespace {

// The chat host that keeps the panes' sessions, when it is the one installed.
AgentChatHost* chatHost()
{
    return dynamic_cast<AgentChatHost*>(&ChatHost::shared());
}

ComposerDraft* draftIn(const QObject* keep)
{
    return keep ? keep->findChild<ComposerDraft*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The draft of the pane whose live session this is, made on first use; null for a session the
// host does not hold (the memory then keeps one of its own).
ComposerDraft* paneDraft(QObject* session)
{
    auto* chat = qobject_cast<ClaudeSession*>(session);
    AgentChatHost* host = chatHost();
    if (!chat || !host || host->existing(chat->paneID()) != chat)
        return nullptr;
    QObject* keep = host->paneKeep(chat->paneID());
    if (ComposerDraft* kept = draftIn(keep))
        return kept;
    auto* draft = new ComposerDraft(keep);
    QQmlEngine::setObjectOwnership(draft, QQmlEngine::CppOwnership);
    return draft;
}

} // namespace

ChatPaneMemory::ChatPaneMemory(QObject* parent, ComposerDraft* draft)
    : QObject(parent), m_draft(draft ? draft : new ComposerDraft(this)), m_questionFlow(new QuestionFlow(this))
{
    QQmlEngine::setObjectOwnership(m_draft, QQmlEngine::CppOwnership);
    QQmlEngine::setObjectOwnership(m_questionFlow, QQmlEngine::CppOwnership);
}

ChatPaneMemory* ChatPaneMemory::of(QObject* session)
{
    if (!session)
        return nullptr;
    if (auto* kept = session->findChild<ChatPaneMemory*>(QString(), Qt::FindDirectChildrenOnly))
        return kept;
    auto* memory = new ChatPaneMemory(session, paneDraft(session));
    QQmlEngine::setObjectOwnership(memory, QQmlEngine::CppOwnership);
    return memory;
}

ComposerDraft* ChatPaneMemory::keptDraft(const QUuid& paneID)
{
    const AgentChatHost* host = chatHost();
    return host ? draftIn(host->existingPaneKeep(paneID)) : nullptr;
}

void ChatPaneMemory::keepReadingPosition(const QString& rowId, double offset)
{
    const double at = rowId.isEmpty() || !std::isfinite(offset) ? 0 : offset;
    if (rowId == m_readingRow && at == m_readingOffset)
        return;
    m_readingRow = rowId;
    m_readingOffset = at;
    emit readingChanged();
}

ChatPaneMemory* ChatMemory::of(QObject* session) const
{
    return ChatPaneMemory::of(session);
}

ComposerDraft* ChatMemory::keptDraft(const QString& paneID) const
{
    return ChatPaneMemory::keptDraft(QUuid::fromString(paneID));
}

} // namespace brinmoor
