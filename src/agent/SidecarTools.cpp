#include "SidecarTools.h"

#include "NodeDetector.h"
#include "ToolLocators.h"

#include <QPointer>

namespace brinmoor {

SidecarTools SidecarTools::real()
{
    SidecarTools t;
    t.findNode = [](QObject* context, std::function<void(std::optional<QString>)> done) {
        NodeDetector::find(context, std::move(done));
    };
    t.locateTool = [](ChatProvider provider, const std::optional<QString>& preferred) {
        return provider == ChatProvider::Codex ? CodexLocator::path(preferred) : ClaudeLocator::path(preferred);
    };
    t.scriptPath = [](ChatProvider provider) { return Sidecar::scriptPath(provider); };
    return t;
}

void SidecarTools::find(QObject* context, ChatProvider provider, const std::optional<QString>& preferred,
                        std::function<void(const Found&)> done) const
{
    auto locate = locateTool;
    auto script = scriptPath;
    QPointer<QObject> guard(context);
    findNode(context, [guard, provider, preferred, locate, script, done](std::optional<QString> node) {
        if (!guard)
            return;
        // A later search is pointless once an earlier one failed: the first failure is the one told.
        const std::optional<QString> found = node ? script(provider) : std::nullopt;
        if (!node || !found) {
            done(Found{node, std::nullopt, found});
            return;
        }
        runProbe<std::optional<QString>>(
            guard, [locate, provider, preferred] { return locate(provider, preferred); },
            [node, found, done](const std::optional<QString>& tool) {
                done(Found{node, tool, found});
            });
    });
}

} // namespace brinmoor
