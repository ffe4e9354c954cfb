// Chat panes of the whole application on the scripted fake sidecar instead of the agents' tools.
// Needs BRINMOOR_SOURCE_DIR and the agent library.
#pragma once

#include "AgentChatHost.h"
#include "SidecarTools.h"

#include <QStandardPaths>
#include <QString>

#include <functional>
#include <optional>

namespace brinmoor::test {

// Chat panes started from now on run tests/agent/fakes/fake-sidecar.mjs on Node (its script and
// its log as FAKE_SIDECAR_SCRIPT and FAKE_SIDECAR_LOG name them), with /bin/true standing in for
// the agent's tool. False, and nothing changed, when Node is not installed.
inline bool runChatPanesOnFakeSidecar()
{
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        return false;
    SidecarTools tools = SidecarTools::real();
    tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
    tools.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>("/bin/true"); };
    tools.scriptPath = [](ChatProvider) {
        return std::optional<QString>(QStringLiteral(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/fake-sidecar.mjs"));
    };
    AgentChatHost::shared().setTools(tools);
    return true;
}

} // namespace brinmoor::test
