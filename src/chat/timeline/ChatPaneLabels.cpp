#include "ChatPaneLabels.h"

#include "ChatLabels.h"
#include "ClaudeSession.h"

namespace brinmoor {

void ChatPaneLabels::setSession(ClaudeSession* session)
{
    if (m_session == session)
        return;
    for (const QMetaObject::Connection& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_session = session;
    if (session) {
        m_connections << connect(session, &ClaudeSession::tokensInChanged, this, &ChatPaneLabels::changed)
                      << connect(session, &ClaudeSession::tokensOutChanged, this, &ChatPaneLabels::changed)
                      << connect(session, &ClaudeSession::costUsdChanged, this, &ChatPaneLabels::changed);
    }
    emit sessionChanged();
    emit changed();
}

QString ChatPaneLabels::costText() const
{
    return m_session ? ChatLabels::costLabel(double(m_session->tokensIn()), double(m_session->tokensOut()), m_session->costUsd())
                     : QString();
}

} // namespace brinmoor
