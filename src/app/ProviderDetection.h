#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

namespace brinmoor {

// What detection found for the Codex tool (and, as the base of ClaudeInfo, for any tool). The
// "not found" value is the default one.
struct ProviderInfo {
    Q_GADGET
    QML_VALUE_TYPE(providerInfo)
    Q_PROPERTY(bool found MEMBER found)
    Q_PROPERTY(QString path READ pathText)
    Q_PROPERTY(QString version READ versionText)
    Q_PROPERTY(bool authed MEMBER authed)
    Q_PROPERTY(QString problem MEMBER problem)
    Q_PROPERTY(bool shellTimedOut MEMBER shellTimedOut)
public:
    bool found = false;
    std::optional<QString> path;     // absolute path of the executable
    std::optional<QString> version;  // the tool's version line as printed
    bool authed = false;             // signed in
    // Found, but it did not answer as the tool: why, as one sentence (it could not run, with its
    // error; or it did not answer in time). "" otherwise. Never signed in then.
    QString problem = QString();
    // The login shell the probe runs in never ran it: it did not finish starting before the
    // probe's time limit, or it ended before (a start-up file that exits, or execs another
    // program). Nothing was asked of the tool. `found` and `path` then say what was known without
    // the shell (a tool at one of the usual install places), and `problem` says what happened.
    bool shellTimedOut = false;

    QString pathText() const { return path.value_or(QString()); }
    QString versionText() const { return version.value_or(QString()); }
    friend bool operator==(const ProviderInfo&, const ProviderInfo&) = default;
};

// The same record for the Claude tool: a type of its own, so the two results cannot be mixed up.
struct ClaudeInfo : ProviderInfo {
    Q_GADGET
    QML_VALUE_TYPE(claudeInfo)
public:
    friend bool operator==(const ClaudeInfo&, const ClaudeInfo&) = default;
};

// How long any probe of the user's tools may run before it (with everything it started) is
// killed.
inline constexpr int probeLimitMs = 15000;
// The limit of the detections the sheets start: probeLimitMs, or BRINMOOR_PROBE_LIMIT_MS when set
// to a positive number of milliseconds (tests of a login shell that never finishes starting).
int detectionLimitMs();

// The threads probes run on. A probe waits on the user's programs (a login shell may take the whole
// limit), so it never runs on Qt's shared pool: the software renderer splits its fills over that
// pool, and a window waits for them. At most a few run at once (more wait their turn rather than
// start more shells at once), each on a QThread, so a blocking QProcess is at home there; threads
// still running at the end of the process are left to it (their programs end with the app), so
// quitting never waits for one. Adds `work` and returns true, or returns false when no thread runs
// and none could be made (the task limit reached): the work is then not kept. A pool hid such a
// refusal and counted the thread as busy, so every later probe waited behind it.
bool startProbe(std::function<void()> work);

// Runs `work` on a probe thread and hands the result to `done` on the GUI thread, unless `context`
// was destroyed meanwhile. When no thread could be made, `done` has `refused()` instead, at once.
template <typename Result>
void runProbe(QObject* context, std::function<Result()> work, std::function<void(Result)> done,
              std::function<Result()> refused = [] { return Result{}; })
{
    QPointer<QObject> guard(context);
    const bool started = startProbe([guard, work = std::move(work), done] {
        Result r = work();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [guard, done, r = std::move(r)] {
                if (guard)
                    done(r);
            }, Qt::QueuedConnection);
    });
    if (!started)
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, r = refused()] {
            if (guard)
                done(r);
        }, Qt::QueuedConnection);
}

// Runs a program with no standard input and its standard error discarded, in a session of its own,
// and returns its whole standard output; it ends with the app. Blocks the calling thread, so never
// call it on the GUI thread. A program that cannot start, or that still runs after `limitMs` (then it and everything
// it started are killed), gives none; with `timedOut`, a program that ran out of time gives what it
// had written by then, and *timedOut says so.
// `environment` adds variables to the application's own for the child.
std::optional<QByteArray> runChild(const QString& program, const QStringList& arguments, int limitMs = probeLimitMs,
                                   bool* timedOut = nullptr, const QMap<QString, QString>& environment = {});

// Runs commands through the user's login shell.
class LoginShell {
public:
    // $SHELL, else the user's shell from the password database, else /bin/zsh when it exists,
    // else /bin/sh.
    static QString path();
    // `<shell> -lic <command>` through runChild.
    static std::optional<QByteArray> output(const QString& command, int limitMs = probeLimitMs, bool* timedOut = nullptr);

    // A login shell's start-up files (~/.profile, ~/.bashrc) print what they like before the
    // command runs: a folder, a banner with a version, a fortune. A probe's answer is therefore
    // read only after a mark of its own: `command` prints the value of markVariable on a line of
    // its own first, and each run sets it to a new random word. What comes before the mark is
    // never read.
    static constexpr const char* markVariable = "BRINMOOR_PROBE_MARK";
    // The shell text that prints the mark, for the start of a probe's command (the mark is a plain
    // word, which every shell's echo prints as it is).
    static constexpr const char* printMark = "echo \"$BRINMOOR_PROBE_MARK\"; ";
    // `command` (which starts with printMark) through the login shell with a fresh mark; the
    // output after the mark. Without the mark the shell never got to the command, and what it
    // printed came from its start-up: the answer is empty, with *timedOut set when the shell was
    // ended at the limit and *endedFirst when it ended by itself before. None when the shell could
    // not be run.
    static std::optional<QString> probe(const QString& command, int limitMs = probeLimitMs, bool* timedOut = nullptr,
                                        bool* endedFirst = nullptr);
    // The part of `output` after the line holding `mark`, as probe() reads it; none without the
    // mark.
    static std::optional<QString> afterMark(const QString& output, const QString& mark);
    // Splits output into lines at line feeds, trims blanks and tabs, drops empty lines.
    static QStringList lines(const QString& text);
    // A line that `command -v` prints for an executable: an absolute path, not the shell's own
    // "not found" message.
    static bool isPathLine(const QString& line);
    // The first path line a command prints through the login shell (after the probe's mark, so
    // never one of the start-up files'); none without one. With `timedOut`, *timedOut says that
    // the shell was ended at the limit before the command answered, and with `endedFirst`,
    // *endedFirst that it ended by itself before running the command: nothing was searched for.
    static std::optional<QString> resolve(const QString& command, int limitMs = probeLimitMs, bool* timedOut = nullptr,
                                          bool* endedFirst = nullptr);
    // Why a tool could not be looked for on the login shell's PATH: the shell did not finish
    // starting within `limitMs`, or (`endedFirst`) it ended before it ran the search. The
    // add-session sheet's card and a pane say the same.
    static QString notSearched(const QString& tool, int limitMs, bool endedFirst = false);
    // `text` as one word of shell text, taken literally: in single quotes.
    static QString quote(const QString& text);
};

// Where a provider tool ("claude", "codex") is looked for: the one order that detection (the
// sheets' status rows) and location (the tool a pane runs, ToolLocators) both follow, so that the
// sheet never calls a tool missing that the pane then starts. The usual install places come first,
// since an installer's own folder (~/.local/bin) need not be on the login shell's PATH; then the
// login shell's `command -v`.
namespace ToolSearch {
// An existing file the current user may execute.
bool isExecutable(const QString& path);
// The usual install places of a tool, in the order they are tried.
QStringList fixedPaths(const QString& tool);
// The first executable of fixedPaths(tool); none when no usual place holds it.
std::optional<QString> firstFixed(const QString& tool);
} // namespace ToolSearch

// Probes of the `claude` tool: where it is, its version and whether the user is signed in.
class ClaudeDetector {
public:
    // The probe of a tool found only through the login shell's PATH, after the probe's mark
    // (LoginShell::probe). The exit status of each call follows its output on a line
    // "---EXIT <status>".
    static constexpr const char* command =
        "echo \"$BRINMOOR_PROBE_MARK\"; command -v claude; claude --version 2>/dev/null; echo \"---EXIT $?\"; echo '---AUTH---'; claude auth status 2>&1; "
        "echo \"---EXIT $?\"";
    // The probe for the tool at `fixed` (one of the usual install places), else `command`; both
    // run through the login shell, whose profile the tool may need (its Node.js).
    static QString commandFor(const std::optional<QString>& fixed);
    // The browser login of the tool at `path` (the one detection found, which a pane starts),
    // quoted; of the `claude` on the login shell's PATH without one.
    static QString loginCommand(const std::optional<QString>& path);
    // Blocking probe (off the GUI thread only).
    static ClaudeInfo run(int limitMs = probeLimitMs);
    // Reads a probe's output; `timedOut` when the probe was ended at its time limit. Signed in only
    // when the tool answered as the tool: a version, and `auth status` ending with status 0 and
    // not saying "not logged in". A tool that cannot run, or did not answer, has a `problem`. A
    // probe ended before its login shell printed anything is read as a shell that did not finish
    // starting, with `known` (the usual install place that holds the tool, if any) as its path.
    // With `endedFirst` the shell ended before it ran the probe, which is read the same way.
    static ClaudeInfo parse(const QString& output, bool timedOut = false, int limitMs = probeLimitMs,
                            const std::optional<QString>& known = std::nullopt, bool endedFirst = false);
    // Runs the probe on a worker thread and calls `done` on the GUI thread, unless `context` was
    // destroyed meanwhile.
    static void detect(QObject* context, std::function<void(ClaudeInfo)> done);
};

// Probes of the `codex` tool.
class CodexDetector {
public:
    // As ClaudeDetector::command.
    static constexpr const char* command =
        "echo \"$BRINMOOR_PROBE_MARK\"; command -v codex; codex --version 2>/dev/null; echo \"---EXIT $?\"; echo '---AUTH---'; codex login status 2>&1; "
        "echo \"---EXIT $?\"";
    static QString commandFor(const std::optional<QString>& fixed);
    // As ClaudeDetector::loginCommand.
    static QString loginCommand(const std::optional<QString>& path);
    static ProviderInfo run(int limitMs = probeLimitMs);
    // As ClaudeDetector::parse, with `login status` as the status call.
    static ProviderInfo parse(const QString& output, bool timedOut = false, int limitMs = probeLimitMs,
                              const std::optional<QString>& known = std::nullopt, bool endedFirst = false);
    static void detect(QObject* context, std::function<void(ProviderInfo)> done);
};

} // namespace brinmoor
