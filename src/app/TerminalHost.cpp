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
    return {};
}

QSet<QUuid> TerminalHost::delegates() const
{
    return {};
}

void TerminalHost::dropView(const QUuid&) {}

void TerminalHost::applyTheme(QObject*, bool) {}

void TerminalHost::reportExit(const QUuid& sessionID, std::optional<int32_t> exitCode)
{
    if (onTerminated)
        onTerminated(sessionID, exitCode);
}

} // namespace brinmoor
