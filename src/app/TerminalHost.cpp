#include "TerminalHost.h"

#include "SharedHost.h"

namespace brinmoor {

TerminalHost::~TerminalHost() = default;

TerminalHost& TerminalHost::shared()
{
    return SharedHost<TerminalHost>::shared();
}

void TerminalHost::install(TerminalHost* host)
{
    SharedHost<TerminalHost>::install(host, [](const TerminalHost& previous, TerminalHost& next) {
        carryUnset(next.onTerminated, previous.onTerminated);
    });
}

QSet<QUuid> TerminalHost::views() const
{
    return m_views;
}

QSet<QUuid> TerminalHost::delegates() const
{
    return m_views;
}

void TerminalHost::dropView(const QUuid& sessionID)
{
    if (m_views.remove(sessionID))
        m_dropped.append(sessionID);
}

void TerminalHost::applyTheme(QObject*, bool) {}

void TerminalHost::registerView(const QUuid& sessionID)
{
    m_views.insert(sessionID);
}

void TerminalHost::reportExit(const QUuid& sessionID, std::optional<int32_t> exitCode)
{
    if (onTerminated)
        onTerminated(sessionID, exitCode);
}

} // namespace brinmoor
