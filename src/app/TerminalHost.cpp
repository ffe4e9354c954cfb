#include "TerminalHost.h"

namespace brinmoor {

namespace {

class RegistryTerminalHost final : public TerminalHost {};

TerminalHost*& installedHost()
{
    static TerminalHost* host = nullptr;
    return host;
}

TerminalHost& builtInHost()
{
    static RegistryTerminalHost* host = new RegistryTerminalHost;  // lives for the whole process
    return *host;
}

} // namespace

TerminalHost::~TerminalHost() = default;

TerminalHost& TerminalHost::shared()
{
    TerminalHost* h = installedHost();
    return h ? *h : builtInHost();
}

void TerminalHost::install(TerminalHost* host)
{
    TerminalHost& previous = shared();
    TerminalHost& next = host ? *host : builtInHost();
    if (&previous == &next)
        return;
    if (!next.onTerminated)
        next.onTerminated = previous.onTerminated;
    installedHost() = host;
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
