#include "ToolLocators.h"

#include <QDir>
#include <QFileInfo>

namespace brinmoor {

bool ToolLocation::isExecutable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

std::optional<QString> ToolLocation::locate(const QString& tool, const std::optional<QString>& preferred,
                                            const QStringList& fixed, int limitMs)
{
    if (preferred && !preferred->isEmpty() && isExecutable(*preferred))
        return preferred;
    for (const QString& p : fixed)
        if (isExecutable(p))
            return p;
    return LoginShell::resolve(QStringLiteral("command -v ") + tool, limitMs);
}

QStringList ClaudeLocator::fixedPaths()
{
    const QString home = QDir::homePath();
    QStringList paths;
#ifdef Q_OS_MACOS
    paths << QStringLiteral("/opt/homebrew/bin/claude");
#endif
    paths << QStringLiteral("/usr/local/bin/claude") << home + QStringLiteral("/.local/bin/claude")
          << home + QStringLiteral("/.claude/local/claude") << QStringLiteral("/usr/bin/claude");
    return paths;
}

std::optional<QString> ClaudeLocator::path(const std::optional<QString>& preferred, int limitMs)
{
    return ToolLocation::locate(QStringLiteral("claude"), preferred, fixedPaths(), limitMs);
}

QStringList CodexLocator::fixedPaths()
{
    QStringList paths;
#ifdef Q_OS_MACOS
    paths << QStringLiteral("/opt/homebrew/bin/codex");
#endif
    paths << QStringLiteral("/usr/local/bin/codex") << QDir::homePath() + QStringLiteral("/.local/bin/codex")
          << QStringLiteral("/usr/bin/codex");
    return paths;
}

std::optional<QString> CodexLocator::path(const std::optional<QString>& preferred, int limitMs)
{
    return ToolLocation::locate(QStringLiteral("codex"), preferred, fixedPaths(), limitMs);
}

} // namespace brinmoor
