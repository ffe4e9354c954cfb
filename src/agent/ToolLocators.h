#pragma once

// Where the provider tools' executables are, for the sidecars that drive them. Detection (what the
// add-session sheet shows: version, sign-in) is ClaudeDetector and CodexDetector in the application
// core; the locators only answer a path, trying the path detection found first, then the same
// places in the same order as detection (ToolSearch).
//
// Both block while the login shell runs (at most probeLimitMs): call them off the GUI thread, for
// instance through runProbe.

#include "ProviderDetection.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace brinmoor {

namespace ToolLocation {
// An existing file the current user may execute.
bool isExecutable(const QString& path);
// The preferred path when executable, else the first executable of `fixed`, else the login
// shell's answer to `command -v <tool>`. With `shellTimedOut`, *shellTimedOut says that none was
// found because the login shell did not finish starting within `limitMs`, and with `shellEnded`,
// *shellEnded that the shell ended before it ran the search: the tool was not searched for, which
// is not the same as missing.
std::optional<QString> locate(const QString& tool, const std::optional<QString>& preferred,
                              const QStringList& fixed, int limitMs, bool* shellTimedOut = nullptr,
                              bool* shellEnded = nullptr);
} // namespace ToolLocation

class ClaudeLocator {
public:
    static std::optional<QString> path(const std::optional<QString>& preferred, int limitMs = probeLimitMs,
                                       bool* shellTimedOut = nullptr, bool* shellEnded = nullptr);
    // The usual install places, in the order they are tried (ToolSearch::fixedPaths).
    static QStringList fixedPaths();
    static std::optional<QString> loginShellResolve(const QString& command, int limitMs = probeLimitMs)
    {
        return LoginShell::resolve(command, limitMs);
    }
};

class CodexLocator {
public:
    static std::optional<QString> path(const std::optional<QString>& preferred, int limitMs = probeLimitMs,
                                       bool* shellTimedOut = nullptr, bool* shellEnded = nullptr);
    static QStringList fixedPaths();
};

} // namespace brinmoor
