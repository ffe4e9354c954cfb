#pragma once

#include "Models.h"
#include "NodeDetector.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace brinmoor {

// Where the provider tool is; none when it is not there, or when it could not be looked for (then
// `notSearched` says why: the login shell did not finish starting, or ended first, or no thread
// could be started for the search). Made from a path alone, as a test's stand-in gives it.
struct ToolFound {
    std::optional<QString> path;
    QString notSearched;
    ToolFound(std::optional<QString> p = std::nullopt) : path(std::move(p)) {}
    ToolFound(const QString& p) : path(p) {}
};

// What a sidecar needs found before it can run: a Node executable, the provider tool and our
// script. The real ones search the machine (Node and the tool through the login shell, off the
// GUI thread); tests hand in their own.
struct SidecarTools {
    // Calls `done` on the GUI thread with Node's path or none (and, with none, why it was not
    // searched for, if it was not), unless `context` has gone.
    std::function<void(QObject* context, std::function<void(NodeFound)> done)> findNode;
    // Blocking (runs on a worker thread): the tool's path, trying `preferred` first.
    std::function<ToolFound(ChatProvider, const std::optional<QString>& preferred)> locateTool;
    // The provider's sidecar script, or none.
    std::function<std::optional<QString>(ChatProvider)> scriptPath;

    static SidecarTools real();

    // `search` run under one lock for every caller, its found paths remembered by `key` while they
    // stay executable: panes that start together wait for one search instead of each running a
    // login shell of its own (sixteen at once can outlast the probe limit on a busy machine). A
    // miss is searched again next time. Blocking; worker threads only.
    static std::optional<QString> rememberedLocate(const QString& key, const std::function<std::optional<QString>()>& search);

    // Finds all three (Node, then the tool off the GUI thread, then the script) and calls `done`
    // on the GUI thread, unless `context` has gone. A missing one is none.
    struct Found {
        std::optional<QString> node, tool, script;
        QString toolNotSearched;  // ToolFound::notSearched
        QString nodeNotSearched;  // NodeFound::notSearched
    };
    void find(QObject* context, ChatProvider provider, const std::optional<QString>& preferred,
              std::function<void(const Found&)> done) const;
};

} // namespace brinmoor
