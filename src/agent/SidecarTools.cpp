#include "SidecarTools.h"

#include "NodeDetector.h"
#include "ReadThreads.h"
#include "ToolLocators.h"

#include <QHash>
#include <QPointer>

#include <mutex>

namespace brinmoor {

SidecarTools SidecarTools::real()
{
    SidecarTools t;
    t.findNode = [](QObject* context, std::function<void(NodeFound)> done) {
        NodeDetector::search(context, std::move(done));
    };
    t.locateTool = [](ChatProvider provider, const std::optional<QString>& preferred) {
        // The sheets' limit: a pane searches as long as the card's detection does.
        const int limitMs = detectionLimitMs();
        bool cut = false;
        bool ended = false;
        ToolFound found = rememberedLocate(rawValue(provider) + u'\n' + preferred.value_or(QString()), [&] {
            return provider == ChatProvider::Codex ? CodexLocator::path(preferred, limitMs, &cut, &ended)
                                                   : ClaudeLocator::path(preferred, limitMs, &cut, &ended);
        });
        if (!found.path && (cut || ended))
            found.notSearched = LoginShell::notSearched(rawValue(provider), limitMs, ended);
        return found;
    };
    t.scriptPath = [](ChatProvider provider) { return Sidecar::scriptPath(provider); };
    return t;
}

std::optional<QString> SidecarTools::rememberedLocate(const QString& key,
                                                      const std::function<std::optional<QString>()>& search)
{
    static std::mutex lock;
    static QHash<QString, QString> found;
    const std::lock_guard<std::mutex> hold(lock);
    if (const auto it = found.constFind(key); it != found.cend() && ToolLocation::isExecutable(*it))
        return *it;
    const std::optional<QString> path = search();
    if (path)
        found.insert(key, *path);
    else
        found.remove(key);
    return path;
}

void SidecarTools::find(QObject* context, ChatProvider provider, const std::optional<QString>& preferred,
                        std::function<void(const Found&)> done) const
{
    auto locate = locateTool;
    auto script = scriptPath;
    QPointer<QObject> guard(context);
    findNode(context, [guard, provider, preferred, locate, script, done](const NodeFound& nodeFound) {
        if (!guard)
            return;
        const std::optional<QString> node = nodeFound.path;
        // A later search is pointless once an earlier one failed: the first failure is the one told.
        const std::optional<QString> found = node ? script(provider) : std::nullopt;
        if (!node || !found) {
            done(Found{node, std::nullopt, found, {}, nodeFound.notSearched});
            return;
        }
        runProbe<ToolFound>(
            guard, [locate, provider, preferred] { return locate(provider, preferred); },
            [node, found, done](const ToolFound& tool) {
                done(Found{node, tool.path, found, tool.notSearched, {}});
            },
            [provider] {
                ToolFound refused;
                refused.notSearched = QStringLiteral("%1 could not be searched for: %2.").arg(rawValue(provider), ReadThreads::refusal());
                return refused;
            });
    });
}

} // namespace brinmoor
