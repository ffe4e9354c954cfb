#include "ChatPaneMemory.h"

#include <QQmlEngine>

#include <cmath>

namespace brinmoor {

ChatPaneMemory::ChatPaneMemory(QObject* parent)
    : QObject(parent), m_draft(new ComposerDraft(this)), m_questionFlow(new QuestionFlow(this))
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
    auto* memory = new ChatPaneMemory(session);
    QQmlEngine::setObjectOwnership(memory, QQmlEngine::CppOwnership);
    return memory;
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

} // namespace brinmoor
