#include "NodeDetector.h"

#include "ReadThreads.h"
#include "ToolLocators.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSet>

namespace brinmoor {

namespace {

struct Waiter {
    QPointer<QObject> context;
    std::function<void(NodeFound)> done;
};

QList<Waiter>& waiters()
{
    static QList<Waiter> list;
    return list;
}

} // namespace

void NodeDetector::search(QObject* context, std::function<void(NodeFound)> done)
{
    if (cachedNode) {
        done(cachedNode);
        return;
    }
    const bool searching = !waiters().isEmpty();
    waiters().append({context, std::move(done)});
    if (searching)
        return;
    const int limitMs = detectionLimitMs();
    // Held by the application object: every waiter is told, whichever asked first.
    runProbe<NodeFound>(
        QCoreApplication::instance(), [limitMs] { return locateFound(limitMs); },
        [](const NodeFound& node) {
            if (node.path)
                cachedNode = node.path;  // a miss is searched again next time
            const QList<Waiter> told = std::exchange(waiters(), {});
            for (const Waiter& w : told)
                if (w.context)
                    w.done(node);
        },
        [] {
            NodeFound refused;
            refused.notSearched = QStringLiteral("Node.js could not be searched for: %1.").arg(ReadThreads::refusal());
            return refused;
        });
}

void NodeDetector::find(QObject* context, std::function<void(std::optional<QString>)> done)
{
    search(context, [done = std::move(done)](const NodeFound& node) { done(node.path); });
}

std::optional<QString> NodeDetector::locate(int limitMs)
{
    return locateFound(limitMs).path;
}

NodeFound NodeDetector::locateFound(int limitMs)
{
    return locateFound(limitMs, candidates(std::nullopt, QDir::homePath()));
}

NodeFound NodeDetector::locateFound(int limitMs, const QStringList& elsewhere)
{
    bool cut = false;
    bool ended = false;
    const auto shellAnswer = LoginShell::resolve(QStringLiteral("command -v node"), limitMs, &cut, &ended);
    QStringList all;
    if (shellAnswer)
        all << *shellAnswer;
    all << elsewhere;
    NodeFound found = best(all, limitMs);
    if (!found.path && (cut || ended))
        found.notSearched = LoginShell::notSearched(QStringLiteral("node"), limitMs, ended);
    return found;
}

QStringList NodeDetector::candidates(const std::optional<QString>& shellAnswer, const QString& home)
{
    QStringList out;
    if (shellAnswer)
        out << *shellAnswer;
    // Version managers keep one folder per version; the file system's own order.
    QStringList managers{home + QStringLiteral("/.nvm/versions/node")};
#ifdef Q_OS_MACOS
    managers << home + QStringLiteral("/Library/Application Support/Herd/config/nvm/versions/node");
#endif
    for (const QString& folder : managers) {
        const QDir dir(folder);
        for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted))
            out << dir.filePath(entry) + QStringLiteral("/bin/node");
    }
#ifdef Q_OS_MACOS
    out << QStringLiteral("/opt/homebrew/bin/node");
#else
    out << home + QStringLiteral("/.volta/bin/node") << home + QStringLiteral("/.local/bin/node");
#endif
    out << QStringLiteral("/usr/local/bin/node") << QStringLiteral("/usr/bin/node");
    return out;
}

std::optional<QString> NodeDetector::best(const QStringList& candidates, int limitMs)
{
    std::optional<QString> bestPath;
    Version bestVersion;
    QSet<QString> seen;
    for (const QString& path : candidates) {
        if (seen.contains(path))
            continue;  // the shell's answer is often one of the fixed places too
        seen.insert(path);
        if (!ToolLocation::isExecutable(path))
            continue;
        const auto v = nodeVersion(path, limitMs);
        if (!v || v->isEmpty() || v->first() < minimumMajor)
            continue;
        // Strictly higher only: on a tie the earlier candidate (the shell's own node) stays.
        if (!bestPath || bestVersion < *v) {
            bestPath = path;
            bestVersion = *v;
        }
    }
    return bestPath;
}

std::optional<NodeDetector::Version> NodeDetector::nodeVersion(const QString& path, int limitMs)
{
    const auto out = runChild(path, {QStringLiteral("--version")}, limitMs);
    if (!out)
        return std::nullopt;
    return parseVersion(QString::fromUtf8(*out));
}

std::optional<NodeDetector::Version> NodeDetector::parseVersion(const QString& text)
{
    Version v;
    const QStringList pieces = text.trimmed().remove(QLatin1Char('v')).split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        bool ok = false;
        const int n = piece.toInt(&ok);
        if (ok)
            v.append(n);
    }
    if (v.isEmpty())
        return std::nullopt;
    return v;
}

QString Sidecar::baseName(ChatProvider provider)
{
    return provider == ChatProvider::Codex ? QStringLiteral("codex-agent") : QStringLiteral("brinmoor-agent");
}

QString Sidecar::folder()
{
    const QString over = qEnvironmentVariable("BRINMOOR_SIDECAR_DIR");
    if (!over.isEmpty())
        return over;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/sidecar");
}

std::optional<QString> Sidecar::scriptPath(ChatProvider provider)
{
    const QString path = folder() + QLatin1Char('/') + baseName(provider) + QStringLiteral(".mjs");
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return path;
}

} // namespace brinmoor
