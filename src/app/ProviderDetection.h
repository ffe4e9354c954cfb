#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

namespace brinmoor {

// What detection found for a provider tool.
struct ProviderInfo {
    Q_GADGET
    QML_VALUE_TYPE(providerInfo)
    Q_PROPERTY(bool found MEMBER found)
    Q_PROPERTY(QString path READ pathText)
    Q_PROPERTY(QString version READ versionText)
    Q_PROPERTY(bool authed MEMBER authed)
public:
    bool found = false;
    std::optional<QString> path;     // absolute path of the executable
    std::optional<QString> version;  // the tool's version line as printed
    bool authed = false;             // signed in

    QString pathText() const { return path.value_or(QString()); }
    QString versionText() const { return version.value_or(QString()); }
    friend bool operator==(const ProviderInfo&, const ProviderInfo&) = default;
};

// The same record for the Claude tool.
using ClaudeInfo = ProviderInfo;

// Runs commands through the user's login shell.
class LoginShell {
public:
    // $SHELL, else the user's shell from the password database, else /bin/zsh when it exists,
    // else /bin/sh.
    static QString path();
    // Runs `command` as `<shell> -lic <command>` with no standard input, in a process group of
    // its own, and returns its whole standard output (standard error is discarded). Blocks the
    // calling thread, so never call it on the GUI thread. A shell that cannot start, or that is
    // still running after `timeoutMs` (then it and its children are killed), gives none.
    static std::optional<QByteArray> output(const QString& command, int timeoutMs = 15000);
    // Splits output into lines at line feeds, trims blanks and tabs, drops empty lines.
    static QStringList lines(const QString& text);
};

// Probes of the `claude` tool: where it is, its version and whether the user is signed in.
class ClaudeDetector {
public:
    static constexpr const char* command =
        "command -v claude; claude --version 2>/dev/null; echo '---AUTH---'; claude auth status 2>&1";
    // Blocking probe (off the GUI thread only).
    static ClaudeInfo run();
    // Reads a probe's output.
    static ClaudeInfo parse(const QString& output);
    // Runs the probe on a worker thread and calls `done` on the GUI thread, unless `context` was
    // destroyed meanwhile.
    static void detect(QObject* context, std::function<void(ClaudeInfo)> done);
};

// Probes of the `codex` tool.
class CodexDetector {
public:
    static constexpr const char* command =
        "command -v codex; codex --version 2>/dev/null; codex login status 2>&1";
    static ProviderInfo run();
    static ProviderInfo parse(const QString& output);
    static void detect(QObject* context, std::function<void(ProviderInfo)> done);
    // The login shell's whole standard output for a command; none when it produced no text.
    static std::optional<QString> loginShellOutput(const QString& command);
};

} // namespace brinmoor
