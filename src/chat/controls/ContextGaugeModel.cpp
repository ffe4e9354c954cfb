#include "ContextGaugeModel.h"

#include "ClaudeSession.h"
#include "SessionControls.h"

namespace brinmoor {

void ContextGaugeModel::setSession(ClaudeSession* session)
{
    if (m_session == session)
        return;
    for (const auto& link : std::as_const(m_links))
        disconnect(link);
    m_links.clear();
    m_session = session;
    if (m_session)
        for (auto signal : {&ClaudeSession::contextTokensChanged, &ClaudeSession::contextWindowChanged,
                            &ClaudeSession::autoCompactChanged})
            m_links << connect(m_session, signal, this, &ContextGaugeModel::changed);
    emit sessionChanged();
    emit changed();
}

bool ContextGaugeModel::shown() const
{
    return m_session && m_session->provider() == ChatProvider::Claude && m_session->contextTokens() > 0;
}

int ContextGaugeModel::percent() const
{
    return m_session ? SessionControls::contextPercent(m_session->contextTokens(), m_session->contextWindow()) : 0;
}

QString ContextGaugeModel::level() const
{
    return SessionControls::gaugeLevel(percent());
}

QString ContextGaugeModel::tooltip() const
{
    if (!m_session)
        return {};
    return SessionControls::gaugeTooltip(m_session->contextTokens(), m_session->contextWindow(),
                                         m_session->autoCompact(), m_session->compactThreshold());
}

} // namespace brinmoor
