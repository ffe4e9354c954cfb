#pragma once

// Node.js 18 or later on the user's machine, and our sidecar scripts next to the executable.

#include "Models.h"
#include "ProviderDetection.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace brinmoor {

// What a search for Node.js found: its path, or none; and when none, whether it was really looked
// for. `notSearched` says why not (the login shell did not finish starting, or no thread could be
// started for the search), for the pane to say instead of "not found". Made from a path alone, as
// a test's stand-in gives it.
struct NodeFound {
    std::optional<QString> path;
    QString notSearched;
    NodeFound(std::optional<QString> p = std::nullopt) : path(std::move(p)) {}
    NodeFound(const QString& p) : path(p) {}
};

class NodeDetector {
public:
    // Major, minor, patch…; compared from the left, a prefix first ([20] < [20, 0]).
    using Version = QList<int>;
    static constexpr int minimumMajor = 18;

    // The path found earlier in this run. Read and written on the GUI thread only.
    static inline std::optional<QString> cachedNode;

    // The node to use: the cached one, else a search off the GUI thread (see locate, with the
    // detections' limit, detectionLimitMs) whose result, when there is one, is cached. Searches
    // asked for while one runs share it. `done` runs on the GUI thread unless `context` has gone.
    static void search(QObject* context, std::function<void(NodeFound)> done);
    // As search, with the path alone.
    static void find(QObject* context, std::function<void(std::optional<QString>)> done);

    // Blocking search (off the GUI thread only): the highest version of at least 18 among the
    // candidates, the earliest of equal ones.
    static std::optional<QString> locate(int limitMs = probeLimitMs);
    // As locate; with none found, `notSearched` says so when the login shell was not searched
    // (LoginShell::notSearched), since Node may be on the PATH only it sets.
    static NodeFound locateFound(int limitMs = probeLimitMs);
    // The same with `elsewhere` as the places tried after the login shell's answer, instead of
    // candidates()'s own.
    static NodeFound locateFound(int limitMs, const QStringList& elsewhere);
    // In order, each once: the login shell's `command -v node`, every version in nvm's folder,
    // then the usual install places.
    static QStringList candidates(const std::optional<QString>& shellAnswer, const QString& home);
    // The best of the given candidates; each executable one is asked its version once.
    static std::optional<QString> best(const QStringList& candidates, int limitMs = probeLimitMs);
    // `<path> --version`, read by parseVersion; none when it cannot run or runs past the limit.
    static std::optional<Version> nodeVersion(const QString& path, int limitMs = probeLimitMs);
    // "v22.3.0-nightly" reads as [22, 3]: "v"s removed, pieces that are not numbers left out.
    static std::optional<Version> parseVersion(const QString& text);
    static std::optional<QString> shellResolve(const QString& command, int limitMs = probeLimitMs)
    {
        return LoginShell::resolve(command, limitMs);
    }
};

// Our sidecar scripts, installed as real files in "sidecar/" beside the executable (Node cannot
// read Qt resources): the build tree's bin/sidecar during development, the same in an install.
// BRINMOOR_SIDECAR_DIR names another folder (tests).
class Sidecar {
public:
    // "brinmoor-agent" for claude, "codex-agent" for codex.
    static QString baseName(ChatProvider provider);
    static QString folder();
    // The script's path; none when the file is missing.
    static std::optional<QString> scriptPath(ChatProvider provider);
};

} // namespace brinmoor
