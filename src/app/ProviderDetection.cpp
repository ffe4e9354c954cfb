#include "ProviderDetection.h"

#include "ChildProcess.h"
#include "HiddenCharacters.h"
#include "ReadThreads.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QThread>
#include <QUuid>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <deque>
#include <mutex>

namespace brinmoor {

namespace {

// Decodes strictly: text that is not UTF-8 counts as no text.
std::optional<QString> strictUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Path is the first path line; version the first other line with a digit.
ProviderInfo readHead(const QString& head)
{
    ProviderInfo info;
    const QStringList lines = LoginShell::lines(head);
    QString path;
    for (const QString& l : lines)
        if (LoginShell::isPathLine(l)) {
            path = l;
            break;
        }
    if (path.isEmpty())
        return ProviderInfo{};
    info.found = true;
    info.path = path;
    for (const QString& l : lines) {
        if (l == path)
            continue;
        bool digit = false;
        for (QChar c : l)
            if (c.isDigit()) {
                digit = true;
                break;
            }
        if (digit) {
            info.version = l;
            break;
        }
    }
    return info;
}

} // namespace

QString LoginShell::path()
{
    const QString env = qEnvironmentVariable("SHELL");
    if (!env.isEmpty())
        return env;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_shell && *pw->pw_shell)
        return QString::fromLocal8Bit(pw->pw_shell);
    if (QFileInfo(QStringLiteral("/bin/zsh")).isExecutable())
        return QStringLiteral("/bin/zsh");
    return QStringLiteral("/bin/sh");
}

std::optional<QByteArray> runChild(const QString& program, const QStringList& arguments, int limitMs, bool* timedOut,
                                   const QMap<QString, QString>& environment)
{
    if (timedOut)
        *timedOut = false;
    QProcess p;
    p.setProgram(program);
    p.setArguments(arguments);
    if (!environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        p.setProcessEnvironment(env);
    }
    p.setStandardErrorFile(QProcess::nullDevice());
    // No terminal for an interactive shell to take over, and one process group, so the limit
    // ends the tools the child started as well; the group also ends with the app, should the app
    // end before the limit (a killed app never reaches it).
    endWithApplication(p);
    p.start();
    if (!p.waitForStarted(limitMs))
        return std::nullopt;
    const pid_t pid = pid_t(p.processId());
    if (!p.waitForFinished(limitMs)) {
        ::kill(-pid, SIGKILL);
        p.kill();
        p.waitForFinished(2000);
        if (!timedOut)
            return std::nullopt;
        *timedOut = true;
        return p.readAllStandardOutput();
    }
    return p.readAllStandardOutput();
}

std::optional<QByteArray> LoginShell::output(const QString& command, int limitMs, bool* timedOut)
{
    return runChild(path(), {QStringLiteral("-lic"), command}, limitMs, timedOut);
}

bool LoginShell::isPathLine(const QString& line)
{
    // The shell's own error for a missing tool also begins with "/" when the shell is named by its
    // path ("/bin/sh: 1: codex: not found", "/bin/bash: line 1: codex: command not found"); the
    // ": " after the shell's name tells it apart.
    return line.startsWith(QLatin1Char('/')) && !line.contains(QLatin1String(": "));
}

std::optional<QString> LoginShell::probe(const QString& command, int limitMs, bool* timedOut, bool* endedFirst)
{
    bool cut = false;
    if (endedFirst)
        *endedFirst = false;
    // Random, so that no start-up file prints it by chance; new each run, so that a start-up file
    // that prints its environment cannot print it ahead of the command either.
    const QString mark = QStringLiteral("brinmoor-probe-") + QUuid::createUuid().toString(QUuid::Id128);
    const auto bytes = runChild(path(), {QStringLiteral("-lic"), command}, limitMs, &cut,
                                {{QString::fromLatin1(markVariable), mark}});
    if (timedOut)
        *timedOut = cut;
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> answer = afterMark(strictUtf8(*bytes).value_or(QString()), mark);
    // No mark from a shell that ended by itself: a start-up file ended it (`exit`, or `exec` of
    // another program) before the command ran, and all it printed is the start-up's own.
    if (!answer && !cut && endedFirst)
        *endedFirst = true;
    return answer.value_or(QString());
}

std::optional<QString> LoginShell::afterMark(const QString& output, const QString& mark)
{
    const qsizetype at = output.indexOf(mark);
    if (at < 0)
        return std::nullopt;
    // A start-up file's last words need not end their line: the mark may follow them on it.
    const qsizetype end = output.indexOf(QLatin1Char('\n'), at + mark.size());
    return end < 0 ? QString() : output.mid(end + 1);
}

std::optional<QString> LoginShell::resolve(const QString& command, int limitMs, bool* timedOut, bool* endedFirst)
{
    bool cut = false;
    bool ended = false;
    const auto text = probe(QString::fromLatin1(printMark) + command, limitMs, &cut, &ended);
    if (timedOut)
        *timedOut = false;
    if (endedFirst)
        *endedFirst = ended;
    if (!text)
        return std::nullopt;
    for (const QString& line : lines(*text))
        if (isPathLine(line))
            return line;
    // Ended before the command printed a path: it was still starting, or still searching.
    if (timedOut)
        *timedOut = cut;
    return std::nullopt;
}

QString LoginShell::notSearched(const QString& tool, int limitMs, bool endedFirst)
{
    if (endedFirst)
        return QStringLiteral("The login shell ended before it ran the check, so its PATH was not searched for %1.").arg(tool);
    return QStringLiteral("The login shell did not finish starting within %1 s, so its PATH was not searched for %2.")
        .arg(QString::number(limitMs / 1000.0, 'g', 3), tool);
}

QStringList LoginShell::lines(const QString& text)
{
    QStringList out;
    for (QString line : text.split(QLatin1Char('\n'))) {
        qsizetype b = 0, e = line.size();
        while (b < e && (line.at(b) == QLatin1Char(' ') || line.at(b) == QLatin1Char('\t')))
            ++b;
        while (e > b && (line.at(e - 1) == QLatin1Char(' ') || line.at(e - 1) == QLatin1Char('\t')))
            --e;
        line = line.mid(b, e - b);
        if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

QString LoginShell::quote(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

bool ToolSearch::isExecutable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QStringList ToolSearch::fixedPaths(const QString& tool)
{
    const QString home = QDir::homePath();
    QStringList paths;
#ifdef Q_OS_MACOS
    paths << QStringLiteral("/opt/homebrew/bin/") + tool;
#endif
    paths << QStringLiteral("/usr/local/bin/") + tool << home + QStringLiteral("/.local/bin/") + tool;
    // Claude Code's "local" install keeps its launcher in a folder of its own.
    if (tool == QLatin1String("claude"))
        paths << home + QStringLiteral("/.claude/local/claude");
    paths << QStringLiteral("/usr/bin/") + tool;
    return paths;
}

std::optional<QString> ToolSearch::firstFixed(const QString& tool)
{
    for (const QString& p : fixedPaths(tool))
        if (isExecutable(p))
            return p;
    return std::nullopt;
}

namespace {
// The first word of a probe: how the tool's path is printed, and how the tool is called. Through
// the PATH the shell finds it; at a usual install place the path is given, quoted.
std::pair<QString, QString> probeWords(const QString& tool, const std::optional<QString>& fixed)
{
    if (!fixed)
        return {QStringLiteral("command -v ") + tool, tool};
    const QString quoted = LoginShell::quote(*fixed);
    return {QStringLiteral("printf '%s\\n' ") + quoted, quoted};
}
} // namespace

QString ClaudeDetector::commandFor(const std::optional<QString>& fixed)
{
    // Word for word `command` when the tool is looked up through the PATH.
    const auto [where, exe] = probeWords(QStringLiteral("claude"), fixed);
    return QString::fromLatin1(LoginShell::printMark) + where + QStringLiteral("; ") + exe
           + QStringLiteral(" --version 2>/dev/null; echo \"---EXIT $?\"; echo '---AUTH---'; ") + exe + QStringLiteral(" auth status 2>&1; echo \"---EXIT $?\"");
}

QString CodexDetector::commandFor(const std::optional<QString>& fixed)
{
    const auto [where, exe] = probeWords(QStringLiteral("codex"), fixed);
    return QString::fromLatin1(LoginShell::printMark) + where + QStringLiteral("; ") + exe
           + QStringLiteral(" --version 2>/dev/null; echo \"---EXIT $?\"; echo '---AUTH---'; ") + exe + QStringLiteral(" login status 2>&1; echo \"---EXIT $?\"");
}

QString ClaudeDetector::loginCommand(const std::optional<QString>& path)
{
    return probeWords(QStringLiteral("claude"), path).second + QStringLiteral(" auth login");
}

QString CodexDetector::loginCommand(const std::optional<QString>& path)
{
    return probeWords(QStringLiteral("codex"), path).second + QStringLiteral(" login");
}

namespace {
// Takes the exit status line ("---EXIT <n>") off the end of a call's output; none when the call
// never got that far (the probe was ended first) or the output predates these lines.
std::optional<int> takeExit(QString& part)
{
    static const QString tag = QStringLiteral("---EXIT ");
    const qsizetype at = part.lastIndexOf(tag);
    if (at < 0 || (at > 0 && part.at(at - 1) != QLatin1Char('\n')))
        return std::nullopt;
    bool ok = false;
    const int code = LoginShell::lines(part.mid(at + tag.size())).value(0).toInt(&ok);
    part.truncate(at);
    return ok ? std::optional<int>(code) : std::nullopt;
}

// The last line a call of `tool` wrote (its error, for one that could not run), cut to a
// sentence's length. A shell's error names the shell and the tool first ("bash: line 1: <tool>:
// cannot execute: ..."): what follows the tool's name is kept.
QString lastLine(const QString& text, const QString& tool)
{
    const QStringList lines = LoginShell::lines(text);
    QString line = lines.isEmpty() ? QString() : lines.last();
    line.remove(QLatin1Char('\r'));
    const QString named = tool + QStringLiteral(": ");
    if (const qsizetype at = line.lastIndexOf(named); at >= 0 && at + named.size() < line.size())
        line = line.mid(at + named.size());
    return line.size() > 300 ? line.left(300) + QChar(0x2026) : line;
}
} // namespace

namespace {
// A probe's output read into a record: the tool's path and version, then, after "---AUTH---", what
// its status call (`statusCall`, "auth status") said; each call followed by its exit status.
ProviderInfo readProbe(const QString& output, bool timedOut, int limitMs, const QString& statusCall,
                       const QString& name, const std::optional<QString>& known, bool endedFirst)
{
    static const QString marker = QStringLiteral("---AUTH---");
    const qsizetype at = output.indexOf(marker);
    const QString head = at < 0 ? output : output.left(at);
    QString status;
    if (at >= 0) {
        const qsizetype from = at + marker.size();
        const qsizetype next = output.indexOf(marker, from);
        status = next < 0 ? output.mid(from) : output.mid(from, next - from);
    }
    QString versionPart = head;
    const std::optional<int> versionExit = takeExit(versionPart);
    const std::optional<int> statusExit = takeExit(status);
    ProviderInfo info = readHead(versionPart);
    const QString seconds = QString::number(limitMs / 1000.0, 'g', 3);
    if (!info.found && (timedOut || endedFirst)) {
        // Ended before the shell printed the tool's path, which it does first: its start-up (a profile waiting for a passphrase
        // or a network folder) took all the time, and nothing was asked. A tool at a usual install
        // place was seen before the shell started, and is the one a pane starts: it is not missing.
        info.shellTimedOut = true;
        info.found = known.has_value();
        info.path = known;
        const QString why = endedFirst ? QStringLiteral("the login shell ended before it ran the check")
                                       : QStringLiteral("the login shell did not finish starting within %1 s").arg(seconds);
        info.problem = known
            ? QStringLiteral("%1: %2, so its version and sign-in were not checked.").arg(HiddenCharacters::inSentence(*known), why)
            : LoginShell::notSearched(name, limitMs, endedFirst);
        return info;
    }
    if (!info.found)
        return info;
    const QString tool = *info.path;
    // The path as it stands in the sentences below: a folder named right to left (the user's home)
    // does not turn them around.
    const QString shownTool = HiddenCharacters::inSentence(tool);
    // A probe without exit lines is read as it always was: signed in unless it says otherwise.
    const bool legacy = !versionExit && !statusExit && !timedOut;
    if (legacy) {
        info.authed = !(at < 0 ? output : status).contains(QLatin1String("not logged in"), Qt::CaseInsensitive);
        return info;
    }
    if (!versionExit) {
        info.problem = QStringLiteral("%1 did not answer --version within %2 s.").arg(shownTool, seconds);
    } else if (*versionExit != 0 || !info.version) {
        // Its own error comes from the status call, whose messages are kept.
        const QString error = lastLine(status, tool);
        info.problem = statusExit && (*statusExit == 126 || *statusExit == 127) && !error.isEmpty()
            ? QStringLiteral("%1 can't run: %2").arg(shownTool, error)
            : QStringLiteral("%1 can't run: --version ended with exit status %2.").arg(shownTool, QString::number(*versionExit));
    } else if (!statusExit) {
        info.problem = QStringLiteral("%1 did not answer %2 within %3 s.").arg(shownTool, statusCall, seconds);
    } else if (*statusExit == 126 || *statusExit == 127) {
        info.problem = QStringLiteral("%1 can't run: %2").arg(shownTool, lastLine(status, tool));
    }
    if (!info.problem.isEmpty()) {
        info.version.reset();
        return info;
    }
    info.authed = *statusExit == 0 && !status.contains(QLatin1String("not logged in"), Qt::CaseInsensitive);
    return info;
}
} // namespace

namespace {

// The probes waiting for a thread, and the threads taking them in turn.
struct ProbeQueue {
    // Enough for the detections, Node's search, the editor's and the folder chooser's look-ups to
    // run side by side.
    static constexpr int mostThreads = 6;
    std::mutex mutex;
    std::deque<std::function<void()>> waiting;
    int threads = 0;

    void drain()
    {
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard lock(mutex);
                if (waiting.empty()) {
                    --threads;
                    return;
                }
                work = std::move(waiting.front());
                waiting.pop_front();
            }
            work();
        }
    }
};

// Made once and left to the end of the process, with any thread still running.
ProbeQueue& probeQueue()
{
    static auto* const queue = new ProbeQueue;
    return *queue;
}

} // namespace

bool startProbe(std::function<void()> work)
{
    ProbeQueue& q = probeQueue();
    {
        std::lock_guard lock(q.mutex);
        q.waiting.push_back(std::move(work));
        if (q.threads >= ProbeQueue::mostThreads)
            return true;
        ++q.threads;
    }
    QThread* thread = QThread::create([&q] { q.drain(); });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    // A refused thread neither runs nor finishes (QThread::start only warns).
    if (thread->isRunning() || thread->isFinished())
        return true;
    delete thread;
    std::lock_guard lock(q.mutex);
    --q.threads;
    // Threads still running take it in turn; with none, nothing would.
    if (q.threads > 0)
        return true;
    q.waiting.pop_back();
    return false;
}

int detectionLimitMs()
{
    const int ms = qEnvironmentVariableIntValue("BRINMOOR_PROBE_LIMIT_MS");
    return ms > 0 ? ms : probeLimitMs;
}

ClaudeInfo ClaudeDetector::parse(const QString& output, bool timedOut, int limitMs, const std::optional<QString>& known,
                          bool endedFirst)
{
    return ClaudeInfo{readProbe(output, timedOut, limitMs, QStringLiteral("auth status"), QStringLiteral("claude"), known, endedFirst)};
}

ClaudeInfo ClaudeDetector::run(int limitMs)
{
    bool timedOut = false;
    bool endedFirst = false;
    const std::optional<QString> fixed = ToolSearch::firstFixed(QStringLiteral("claude"));
    const auto answer = LoginShell::probe(commandFor(fixed), limitMs, &timedOut, &endedFirst);
    return parse(answer.value_or(QString()), timedOut, limitMs, fixed, endedFirst);
}

void ClaudeDetector::detect(QObject* context, std::function<void(ClaudeInfo)> done)
{
    const int limitMs = detectionLimitMs();
    runProbe<ClaudeInfo>(context, [limitMs] { return run(limitMs); }, std::move(done), [] {
        ClaudeInfo info;
        info.problem = QStringLiteral("claude could not be checked: %1.").arg(ReadThreads::refusal());
        return info;
    });
}

ProviderInfo CodexDetector::parse(const QString& output, bool timedOut, int limitMs, const std::optional<QString>& known,
                          bool endedFirst)
{
    return readProbe(output, timedOut, limitMs, QStringLiteral("login status"), QStringLiteral("codex"), known, endedFirst);
}

ProviderInfo CodexDetector::run(int limitMs)
{
    bool timedOut = false;
    bool endedFirst = false;
    const std::optional<QString> fixed = ToolSearch::firstFixed(QStringLiteral("codex"));
    const auto answer = LoginShell::probe(commandFor(fixed), limitMs, &timedOut, &endedFirst);
    return parse(answer.value_or(QString()), timedOut, limitMs, fixed, endedFirst);
}

void CodexDetector::detect(QObject* context, std::function<void(ProviderInfo)> done)
{
    const int limitMs = detectionLimitMs();
    runProbe<ProviderInfo>(context, [limitMs] { return run(limitMs); }, std::move(done), [] {
        ProviderInfo info;
        info.problem = QStringLiteral("codex could not be checked: %1.").arg(ReadThreads::refusal());
        return info;
    });
}

} // namespace brinmoor
