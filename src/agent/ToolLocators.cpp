#include "ToolLocators.h"

namespace brinmoor {

bool ToolLocation::isExecutable(const QString& path)
{
    return ToolSearch::isExecutable(path);
}

std::optional<QString> ToolLocation::locate(const QString& tool, const std::optional<QString>& preferred,
                                            const QStringList& fixed, int limitMs, bool* shellTimedOut,
                                            bool* shellEnded)
{
    if (shellTimedOut)
        *shellTimedOut = false;
    if (shellEnded)
        *shellEnded = false;
    if (preferred && !preferred->isEmpty() && isExecutable(*preferred))
        return preferred;
    for (const QString& p : fixed)
        if (isExecutable(p))
            return p;
    return LoginShell::resolve(QStringLiteral("command -v ") + tool, limitMs, shellTimedOut, shellEnded);
}

// The fixed places are detection's too (ToolSearch): what the sheet finds is what the pane runs.
QStringList ClaudeLocator::fixedPaths()
{
    return ToolSearch::fixedPaths(QStringLiteral("claude"));
}

std::optional<QString> ClaudeLocator::path(const std::optional<QString>& preferred, int limitMs, bool* shellTimedOut,
                                        bool* shellEnded)
{
    return ToolLocation::locate(QStringLiteral("claude"), preferred, fixedPaths(), limitMs, shellTimedOut, shellEnded);
}

QStringList CodexLocator::fixedPaths()
{
    return ToolSearch::fixedPaths(QStringLiteral("codex"));
}

std::optional<QString> CodexLocator::path(const std::optional<QString>& preferred, int limitMs, bool* shellTimedOut,
                                        bool* shellEnded)
{
    return ToolLocation::locate(QStringLiteral("codex"), preferred, fixedPaths(), limitMs, shellTimedOut, shellEnded);
}

} // namespace brinmoor
