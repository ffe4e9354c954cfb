// Provider tool logins and detection through the login shell, with SHELL pointing at scripts
// that stand in for the user's shell and tools (zsh is never needed).

#include "AppModel.h"
#include "ChatHost.h"
#include "ChildProcess.h"
#include "ProviderDetection.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSettings>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace brinmoor;
using brinmoor::test::ScopedDataHome;
using brinmoor::test::waitUntil;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

// A fake login shell: `$0 -lic <command>`. Logs each command, answers the probes like the real
// tools would (after the probe's mark, which a real shell prints first as the probe's command
// begins), and makes each login write 1 MiB to both output streams.
const char* kFakeShell = R"(#!/bin/sh
[ "$1" = "-lic" ] || exit 64
echo "$2" >> "$FAKE_SHELL_LOG"
case "$2" in
  "claude auth login"|"codex login")
    head -c 1048576 /dev/zero | tr '\0' 'x'
    head -c 1048576 /dev/zero | tr '\0' 'y' >&2
    sleep 0.3 ;;
  *"command -v claude"*)
    echo "$BRINMOOR_PROBE_MARK"
    printf '/usr/local/bin/claude\n2.1.3 (Claude Code)\n---AUTH---\nNot logged in\n' ;;
  *"command -v codex"*)
    echo "$BRINMOOR_PROBE_MARK"
    printf '  /opt/codex/bin/codex\t\ncodex-cli 0.9.1\nLogged in using ChatGPT\n' ;;
  *"command -v code"*)
    echo "$BRINMOOR_PROBE_MARK"
    echo "$FAKE_CODE" ;;
  "big")
    head -c 1048576 /dev/zero | tr '\0' 'z' ;;
  "hang")
    sleep 30 &
    echo $! > "$FAKE_SHELL_LOG.child"
    wait ;;
esac
exit 0
)";

// Alive and not a zombie waiting for its reaper.
bool isRunning(pid_t pid)
{
    if (::kill(pid, 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || close + 2 >= text.size() || text.at(close + 2) != 'Z';
}

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldShell = qgetenv("SHELL");
        shellPath = dir.path() + QStringLiteral("/fake-shell");
        QFile f(shellPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kFakeShell);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        logPath = dir.path() + QStringLiteral("/log");
        qputenv("SHELL", shellPath.toUtf8());
        qputenv("FAKE_SHELL_LOG", logPath.toUtf8());
        settings = std::make_unique<QSettings>(dir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat);
    }
    void TearDown() override { qputenv("SHELL", oldShell); }

    QStringList logged() const
    {
        QFile f(logPath);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    ScopedDataHome home;
    QTemporaryDir dir;
    QString shellPath, logPath;
    QByteArray oldShell;
    std::unique_ptr<QSettings> settings;
};

} // namespace

TEST_F(LoginTest, chatty_login_finishes_then_detection_runs_and_the_flag_clears)
{
    AppModel m(Store(false), settings.get());
    m.login(ChatProvider::Claude);
    EXPECT_TRUE(m.claudeLoggingIn());
    m.login(ChatProvider::Claude);  // busy: starts nothing
    ASSERT_TRUE(waitUntil([&] { return !m.claudeLoggingIn(); }));

    const QStringList log = logged();
    EXPECT_EQ(log.count(QStringLiteral("claude auth login")), 1);
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[1], QString::fromLatin1(ClaudeDetector::command));
    ASSERT_TRUE(m.claude());
    EXPECT_TRUE(m.claude()->found);
    EXPECT_EQ(m.claude()->path, QStringLiteral("/usr/local/bin/claude"));
    EXPECT_EQ(m.claude()->version, QStringLiteral("2.1.3 (Claude Code)"));
    EXPECT_FALSE(m.claude()->authed);
    EXPECT_EQ(ChatHost::shared().claudePath, QStringLiteral("/usr/local/bin/claude"));
    EXPECT_FALSE(m.codex());
}

TEST_F(LoginTest, both_providers_log_in_independently)
{
    AppModel m(Store(false), settings.get());
    m.login(QStringLiteral("codex"));
    m.login(QStringLiteral("claude"));
    m.login(QStringLiteral("codex"));
    m.login(QStringLiteral("gemini"));  // unknown: ignored
    EXPECT_TRUE(m.codexLoggingIn());
    EXPECT_TRUE(m.claudeLoggingIn());
    ASSERT_TRUE(waitUntil([&] { return !m.codexLoggingIn() && !m.claudeLoggingIn(); }));
    EXPECT_EQ(logged().count(QStringLiteral("codex login")), 1);
    EXPECT_EQ(logged().count(QStringLiteral("claude auth login")), 1);
    ASSERT_TRUE(m.codex());
    EXPECT_EQ(m.codex()->path, QStringLiteral("/opt/codex/bin/codex"));
    EXPECT_EQ(m.codex()->version, QStringLiteral("codex-cli 0.9.1"));
    EXPECT_TRUE(m.codex()->authed);
    EXPECT_EQ(ChatHost::shared().codexPath, QStringLiteral("/opt/codex/bin/codex"));
    // A later login is accepted again, and runs the tool the detection found.
    m.login(ChatProvider::Codex);
    EXPECT_TRUE(m.codexLoggingIn());
    ASSERT_TRUE(waitUntil([&] { return !m.codexLoggingIn(); }));
    EXPECT_EQ(logged().count(QStringLiteral("codex login")), 1);
    EXPECT_EQ(logged().count(QStringLiteral("'/opt/codex/bin/codex' login")), 1);
}

TEST_F(LoginTest, a_shell_that_cannot_start_still_detects_and_clears_the_flag)
{
    qputenv("SHELL", QByteArray("/nonexistent/shell"));
    AppModel m(Store(false), settings.get());
    m.login(ChatProvider::Codex);
    ASSERT_TRUE(waitUntil([&] { return !m.codexLoggingIn(); }));
    ASSERT_TRUE(m.codex());
    EXPECT_FALSE(m.codex()->found);
    EXPECT_FALSE(m.codex()->path);
    EXPECT_EQ(ChatHost::shared().codexPath, std::nullopt);
}

// The tools installed where installers put them (~/.local/bin, Claude's own ~/.claude/local),
// neither of which is on the login shell's PATH, under a home folder whose name needs quoting.
// A login runs the tool detection found, quoted; a login that could not start the tool says why.
TEST_F(LoginTest, a_login_runs_the_tool_detection_found_off_the_login_shells_path)
{
    const QString home = dir.path() + QStringLiteral("/it's home");
    const QString argvLog = dir.path() + QStringLiteral("/argv");
    // A login shell that runs its command with the system's PATH only.
    QFile shell(shellPath);
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly | QIODevice::Truncate));
    shell.write("#!/bin/sh\n[ \"$1\" = \"-lic\" ] || exit 64\nPATH=/usr/bin:/bin; export PATH\nexec /bin/sh -c \"$2\"\n");
    shell.close();
    // Each stand-in logs its path and arguments, and stays signed out.
    const QByteArray tool = "#!/bin/sh\necho \"$0 $*\" >> \"$ARGV_LOG\"\ncase \"$*\" in --version) echo \"1.0.0\" ;; *status) echo \"Not logged in\" ;; esac\n";
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("ARGV_LOG", QFile::encodeName(argvLog));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    const struct {
        ChatProvider provider;
        const char* installed;  // under the home folder
        const char* bareName;
        const char* loginArgs;
    } tools[] = {{ChatProvider::Codex, "/.local/bin/codex", "codex", "login"},
                 {ChatProvider::Claude, "/.claude/local/claude", "claude", "auth login"}};
    for (const auto& t : tools) {
        const QString path = home + QString::fromLatin1(t.installed);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(tool);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    AppModel m(Store(false), settings.get());
    const auto loggingIn = [&](ChatProvider p) { return p == ChatProvider::Codex ? m.codexLoggingIn() : m.claudeLoggingIn(); };
    const auto problem = [&](ChatProvider p) { return p == ChatProvider::Codex ? m.codexLoginProblem() : m.claudeLoginProblem(); };
    for (const auto& t : tools) {
        const QString path = home + QString::fromLatin1(t.installed);
        QFile::remove(argvLog);
        // Before any detection the login can only ask the PATH, which does not hold the tool:
        // the card is told so.
        m.login(t.provider);
        ASSERT_TRUE(waitUntil([&] { return !loggingIn(t.provider); })) << t.bareName;
        EXPECT_EQ(problem(t.provider), QStringLiteral("Could not start %1 (not found).").arg(QString::fromLatin1(t.bareName)));
        // That login's detection found the tool; the next login runs it.
        m.login(t.provider);
        EXPECT_TRUE(problem(t.provider).isEmpty()) << "a new login clears the last one's problem";
        ASSERT_TRUE(waitUntil([&] { return !loggingIn(t.provider); })) << t.bareName;
        EXPECT_TRUE(problem(t.provider).isEmpty()) << problem(t.provider).toStdString();
        QFile log(argvLog);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << t.bareName;
        const QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
        EXPECT_TRUE(lines.contains(path + u' ' + QString::fromLatin1(t.loginArgs))) << lines.join(u'|').toStdString();
    }
}

TEST_F(LoginTest, probe_reads_large_output_and_a_hung_probe_is_killed_with_its_children)
{
    const auto big = LoginShell::output(QStringLiteral("big"));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->size(), 1048576);

    // The limit is the subject; a loaded machine may kill the shell before it starts its child,
    // so the limit grows until the shell got that far.
    const QString childPath = logPath + QStringLiteral(".child");
    for (int limit = 500; QFileInfo(childPath).size() == 0 && limit <= 16000; limit *= 2)
        EXPECT_FALSE(LoginShell::output(QStringLiteral("hang"), limit));
    QFile childPid(childPath);
    ASSERT_TRUE(childPid.open(QIODevice::ReadOnly));
    const pid_t pid = childPid.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);
    // The shell's own child (a tool it started) went with it.
    EXPECT_TRUE(waitUntil([&] { return !isRunning(pid); }, 3000));
}

TEST_F(LoginTest, login_shell_is_shell_variable_else_the_password_database)
{
    EXPECT_EQ(LoginShell::path(), shellPath);
    qunsetenv("SHELL");
    const passwd* pw = getpwuid(getuid());
    const QString expected = pw && pw->pw_shell && *pw->pw_shell ? QString::fromLocal8Bit(pw->pw_shell)
                                                                 : QStringLiteral("/bin/sh");
    if (pw && pw->pw_shell && *pw->pw_shell)
        EXPECT_EQ(LoginShell::path(), expected);
    else
        EXPECT_FALSE(LoginShell::path().isEmpty());
}

// Claude installed in ~/.local/bin as the user's tools would have it, run through a login shell
// that runs its command with the system's PATH: ready only when it answers as the tool; one whose
// interpreter is gone says it cannot run, with its error; one that never answers says so.
TEST_F(LoginTest, the_card_is_ready_only_when_the_tool_answered_as_the_tool)
{
    QFile shell(shellPath);
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly | QIODevice::Truncate));
    shell.write("#!/bin/sh\n[ \"$1\" = \"-lic\" ] || exit 64\nPATH=/usr/bin:/bin; export PATH\nexec /bin/sh -c \"$2\"\n");
    shell.close();
    const QString home = dir.path() + QStringLiteral("/home");
    const QString tool = home + QStringLiteral("/.local/bin/claude");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(tool).path()));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    const QByteArray answers = "#!/bin/sh\ncase \"$*\" in --version) echo '2.1.3 (Claude Code)' ;; 'auth status') ";
    const struct {
        const char* name;
        QByteArray script;
        bool authed;
        QString problem;  // %1: the tool
    } tools[] = {
        {"signed in", answers + "echo 'Logged in' ;; esac\n", true, {}},
        {"signed out", answers + "echo 'Not logged in'; exit 1 ;; esac\n", false, {}},
        {"interpreter gone", "#!/nonexistent/bin/node\n", false, QStringLiteral("%1 can't run: ")},
        {"status never answers", answers + "exec sleep 60 ;; esac\n", false, QStringLiteral("%1 did not answer auth status within 3 s.")},
    };
    for (const auto& t : tools) {
        SCOPED_TRACE(t.name);
        QFile f(tool);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(t.script);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const ClaudeInfo info = ClaudeDetector::run(3000);
        EXPECT_TRUE(info.found);
        EXPECT_EQ(info.path, tool);
        EXPECT_EQ(info.authed, t.authed);
        if (t.problem.isEmpty()) {
            EXPECT_EQ(info.problem, QString());
        } else {
            EXPECT_TRUE(info.problem.startsWith(t.problem.arg(tool))) << info.problem.toStdString();
        }
        if (QByteArray(t.name) == "interpreter gone") {
            EXPECT_GT(info.problem.size(), t.problem.arg(tool).size()) << "the tool's error is part of it";
        }
    }
}

// "Open in VS Code" runs the editor the login shell names, with the pane's folder (left-to-right
// and right-to-left names alike). Under the task limit the look-up gets no thread: the pane is
// told why, instead of the editor being taken for missing; once tasks are free it opens again.
TEST_F(LoginTest, open_in_vs_code_runs_the_login_shells_editor_and_a_refused_look_up_says_so)
{
    const QString code = dir.path() + QStringLiteral("/code");
    const QString args = dir.path() + QStringLiteral("/code.args");
    QFile script(code);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.args\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("FAKE_CODE", QFile::encodeName(code));
    const auto restore = qScopeGuard([] { qunsetenv("FAKE_CODE"); });
    const QStringList folders{dir.path() + QStringLiteral("/project"), dir.path() + QStringLiteral("/פרויקט 2")};
    AppModel m(Store(false), settings.get());
    m.addWorkspace(QStringLiteral("A"), QStringLiteral("5b8cee"));
    for (const QString& folder : folders) {
        ASSERT_TRUE(QDir().mkpath(folder));
        m.addSession(PaneKind::Terminal, std::nullopt, folder, false, ChatProvider::Claude);
    }
    QSignalSpy failed(&m, &AppModel::paneCommandFailed);
    const auto opened = [&] {
        QFile f(args);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    };
    for (int i = 0; i < folders.size(); ++i) {
        m.openInVSCode(m.workspaces()[0].sessions[i].id);
        ASSERT_TRUE(waitUntil([&] { return opened().size() == i + 1; }, 30000));
    }
    EXPECT_EQ(opened(), folders);
    EXPECT_EQ(failed.count(), 0);

    const QUuid id = m.workspaces()[0].sessions[1].id;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            rlimit limit{};
            ::getrlimit(RLIMIT_NPROC, &limit);
            const rlim_t most = limit.rlim_max;
            limit.rlim_cur = 1;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() == 0 && ::setresuid(65534, 65534, 0) != 0))
                std::_Exit(3);
            m.openInVSCode(id);
            const bool told = waitUntil([&] { return failed.count() == 1; }, 30000);
            limit.rlim_cur = most;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() != 0 && ::setresuid(0, 0, 0) != 0))
                std::_Exit(4);
            std::fprintf(stderr, "[%d, %s, %s]\n", int(told), qPrintable(told ? failed.at(0).at(0).toString() == uuidText(id) ? QStringLiteral("this pane") : QStringLiteral("another pane") : QString()),
                         qPrintable(told ? failed.at(0).at(1).toString() : QString()));
            m.openInVSCode(id);
            const bool again = waitUntil([&] { return opened().size() == 3; }, 30000);
            std::fprintf(stderr, "[%d, %d]\n", int(again), int(failed.count()));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "\\[1, this pane, VS Code could not be looked for: no thread could be started\\.\\]\n"
        "\\[1, 1\\]");
}

// A browser login that never returns (the user closed the browser tab): Cancel ends it and what it
// started, the flag clears at once, and the login can be tried again; cancelling nothing is harmless.
TEST_F(LoginTest, a_login_that_never_returns_is_cancelled_and_can_be_tried_again)
{
    QFile shell(shellPath);
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly | QIODevice::Truncate));
    shell.write(R"(#!/bin/sh
[ "$1" = "-lic" ] || exit 64
echo "$2" >> "$FAKE_SHELL_LOG"
case "$2" in
  "claude auth login")
    if [ ! -e "$FAKE_SHELL_LOG.once" ]; then
      : > "$FAKE_SHELL_LOG.once"
      sleep 300 &
      echo $! > "$FAKE_SHELL_LOG.child"
      wait
    fi ;;
  *"command -v claude"*)
    echo "$BRINMOOR_PROBE_MARK"
    printf '/usr/local/bin/claude
2.1.3
---EXIT 0
---AUTH---
Not logged in
---EXIT 1
' ;;
esac
exit 0
)");
    shell.close();
    AppModel m(Store(false), settings.get());
    m.cancelLogin(ChatProvider::Claude);  // none runs
    EXPECT_FALSE(m.claudeLoggingIn());
    m.login(QStringLiteral("claude"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(logPath + QStringLiteral(".child")).size() > 0; }));
    QFile childPid(logPath + QStringLiteral(".child"));
    ASSERT_TRUE(childPid.open(QIODevice::ReadOnly));
    const pid_t child = childPid.readAll().trimmed().toInt();
    ASSERT_GT(child, 0);
    EXPECT_TRUE(m.claudeLoggingIn());
    m.cancelLogin(QStringLiteral("claude"));
    EXPECT_FALSE(m.claudeLoggingIn());
    EXPECT_TRUE(waitUntil([&] { return !isRunning(child); }, 3000)) << "the tool the login started is still running";
    // Tried again: this one ends by itself, and the flag clears after the detection it runs.
    m.login(ChatProvider::Claude);
    EXPECT_TRUE(m.claudeLoggingIn());
    ASSERT_TRUE(waitUntil([&] { return !m.claudeLoggingIn(); }));
    EXPECT_EQ(logged().count(QStringLiteral("claude auth login")) + logged().count(QStringLiteral("'/usr/local/bin/claude' auth login")), 2);
    ASSERT_TRUE(m.claude());
    EXPECT_TRUE(m.claude()->found);
    EXPECT_FALSE(m.claude()->authed);
    EXPECT_EQ(m.claudeLoginProblem(), QString());
}

// The application started from a shell: its input is the terminal, which is its controlling
// terminal, and it is in the foreground there. A login must run all the same: handed that terminal
// from another process group, an interactive login shell stops itself and never runs the login.
// The test runs itself again on a pseudo-terminal, the way a shell starts the application, and
// that run signs in through a real bash whose `claude` (a stand-in on the profile's PATH) notes
// that its login ran to its end.
TEST(LoginFromTerminal, a_login_started_by_an_app_on_a_terminal_runs_to_its_end)
{
    static const char* const onTerminal = "BRINMOOR_LOGIN_ON_TERMINAL";
    if (qEnvironmentVariableIsSet(onTerminal)) {
        ASSERT_TRUE(::isatty(STDIN_FILENO));
        const QString root = qEnvironmentVariable(onTerminal);
        qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
        qputenv("SHELL", "/bin/bash");
        QSettings settings(root + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        AppModel m(Store(false), &settings);
        m.login(ChatProvider::Claude);
        ASSERT_TRUE(waitUntil([&] { return !m.claudeLoggingIn(); }, 30000)) << "the login never ended";
        EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/home/signed-in")));
        ASSERT_TRUE(m.claude());
        EXPECT_TRUE(m.claude()->authed);

        // A detached child (the editor, the updater's script) gets no terminal either: it reads
        // the null device and has no controlling terminal (tty number 0).
        const QString seen = root + QStringLiteral("/detached");
        ASSERT_TRUE(startDetached(QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"),
                                   QStringLiteral("{ readlink /proc/$$/fd/0; cut -d' ' -f7 /proc/$$/stat; } >\"$1.part\"; mv \"$1.part\" \"$1\""),
                                   QStringLiteral("sh"), seen}));
        ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(seen); }));
        QFile f(seen);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("/dev/null\n0\n"));
        return;
    }
    if (!QFileInfo(QStringLiteral("/bin/bash")).isExecutable())
        GTEST_SKIP() << "no /bin/bash to log in through";
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/home/bin")));
    const auto write = [&](const QString& name, const char* text, bool executable) {
        QFile f(dir.path() + QStringLiteral("/home/") + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        if (executable)
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    write(QStringLiteral(".profile"), "PATH=\"$HOME/bin:$PATH\"; export PATH\n", false);
    write(QStringLiteral("bin/claude"), R"sh(#!/bin/sh
case "$*" in
  "auth login") sleep 0.2; echo yes > "$HOME/signed-in" ;;
  "--version") echo "2.1.3 (Claude Code)" ;;
  "auth status") if [ -f "$HOME/signed-in" ]; then echo "Logged in"; else echo "Not logged in"; fi ;;
esac
)sh", true);

    const QByteArray exe = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray filter = "--gtest_filter=LoginFromTerminal.a_login_started_by_an_app_on_a_terminal_runs_to_its_end";
    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back(QByteArray(onTerminal) + '=' + QFile::encodeName(dir.path()));
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(exe.constData()), const_cast<char*>(filter.constData()), nullptr};

    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    // Read what the run prints (a full terminal would hold it up) until it ends.
    QByteArray output;
    int status = 0;
    QDeadlineTimer deadline(120000);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                output.append(buf, n);
        }
    }
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/home/signed-in"))) << output.toStdString();
}

// A login waiting for the browser ends with the app that started it, however the app ends: a quit,
// a signal from outside (a logout sends SIGTERM or SIGHUP), SIGKILL, or exit(1), which is how Qt
// ends the app when its display goes away. The test runs itself again as the app: that run starts
// a login through a stand-in shell that notes its own pid and that of the tool it waits for, and
// then ends as the row says.
TEST(LoginEndsWithApp, a_login_waiting_for_the_browser_ends_however_the_app_ends)
{
    static const char* const asApp = "BRINMOOR_LOGIN_APP";
    if (qEnvironmentVariableIsSet(asApp)) {
        const QString root = qEnvironmentVariable(asApp);
        qputenv("SHELL", QFile::encodeName(root + QStringLiteral("/shell")));  // the test environment chose /bin/sh
        QSettings settings(root + QStringLiteral("/defaults.ini"), QSettings::IniFormat);
        if (qgetenv("BRINMOOR_LOGIN_APP_END").startsWith("probe")) {
            LoginShell::output(QStringLiteral("probe"), 600000);  // blocks until the row's signal
            return;
        }
        AppModel m(Store(false), &settings);
        m.login(ChatProvider::Claude);
        ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(root + QStringLiteral("/waiting")); }, 30000));
        const QByteArray how = qgetenv("BRINMOOR_LOGIN_APP_END");
        if (how == "quit")
            QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
        else if (how == "exit")
            QTimer::singleShot(0, qApp, [] { std::exit(1); });
        QCoreApplication::exec();  // the signal rows end here
        return;
    }
    const struct {
        const char* how;
        int signal;  // sent from here; 0: the app ends itself
    } ends[] = {{"quit", 0}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGKILL", SIGKILL}, {"exit", 0},
                // A probe of the login shell (the tools' paths and versions) is waited for up to
                // its limit; an app killed meanwhile takes it along too.
                {"probe, SIGKILL", SIGKILL}, {"probe, SIGTERM", SIGTERM}};
    for (const auto& e : ends) {
        SCOPED_TRACE(e.how);
        QTemporaryDir dir;
        const QString shell = dir.filePath(QStringLiteral("shell")), waiting = dir.filePath(QStringLiteral("waiting"));
        QFile f(shell);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\ncase \"$2\" in *'auth login'|probe)\n  sleep 300 &\n"
                "  echo \"$$ $!\" > \"$WAITING.part\"; mv \"$WAITING.part\" \"$WAITING\"; wait ;;\nesac\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(asApp), dir.path());
        env.insert(QStringLiteral("BRINMOOR_LOGIN_APP_END"), QString::fromLatin1(e.how));
        env.insert(QStringLiteral("WAITING"), waiting);
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);  // shown when it fails
        app.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--gtest_filter=LoginEndsWithApp.a_login_waiting_for_the_browser_ends_however_the_app_ends")});
        ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(waiting); }, 30000)) << app.readAll().toStdString();
        QFile pids(waiting);
        ASSERT_TRUE(pids.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = pids.readAll().simplified().split(' ');
        ASSERT_EQ(words.size(), 2);
        const pid_t loginShell = words[0].toInt(), tool = words[1].toInt();
        ASSERT_GT(loginShell, 0);
        ASSERT_GT(tool, 0);
        const auto leftovers = qScopeGuard([&] {
            ::kill(loginShell, SIGKILL);
            ::kill(tool, SIGKILL);
        });
        if (e.signal)
            ::kill(pid_t(app.processId()), e.signal);
        app.waitForFinished(30000);  // false when it had ended already
        ASSERT_EQ(app.state(), QProcess::NotRunning);
        EXPECT_TRUE(waitUntil([&] { return !isRunning(tool) && !isRunning(loginShell); }, 10000))
            << "the login outlived the app: tool " << (isRunning(tool) ? "running" : "gone") << ", login shell "
            << (isRunning(loginShell) ? "running" : "gone");
    }
}

TEST(ProviderProbeOutput, claude_output_is_read_into_a_record)
{
    const struct {
        const char* name;
        const char* output;
        ProviderInfo want;
    } rows[] = {
        {"signed out", "/usr/local/bin/claude\n2.1.3 (Claude Code)\n---AUTH---\nNot logged in\n",
         {true, QStringLiteral("/usr/local/bin/claude"), QStringLiteral("2.1.3 (Claude Code)"), false}},
        {"no marker means signed in", "/usr/local/bin/claude\n2.1.3\n", {true, QStringLiteral("/usr/local/bin/claude"), QStringLiteral("2.1.3"), true}},
        {"no path line", "2.1.3 (Claude Code)\n---AUTH---\nok", {}},
        {"empty", "", {}},
        {"repeated path and digitless lines", "  /bin/claude \n/bin/claude\nwelcome\nv2\n",
         {true, QStringLiteral("/bin/claude"), QStringLiteral("v2"), true}},
        {"no version", "/bin/claude\n---AUTH---\nLogged in\n", {true, QStringLiteral("/bin/claude"), std::nullopt, true}},
        {"status only up to the next marker", "/c\n---AUTH---\nfine\n---AUTH---\nnot logged in",
         {true, QStringLiteral("/c"), std::nullopt, true}},
        {"marker before the path", "---AUTH---\n/c\n", {}},
        // With each call's exit status: ready only when the tool answered as the tool.
        {"answered and signed in", "/c\n2.1.3 (Claude Code)\n---EXIT 0\n---AUTH---\nLogged in\n---EXIT 0\n",
         {true, QStringLiteral("/c"), QStringLiteral("2.1.3 (Claude Code)"), true}},
        {"signed out, status 1", "/c\n2.1.3\n---EXIT 0\n---AUTH---\nNot logged in\n---EXIT 1\n", {true, QStringLiteral("/c"), QStringLiteral("2.1.3"), false}},
        {"status fails otherwise", "/c\n2.1.3\n---EXIT 0\n---AUTH---\nTypeError: x is undefined\n---EXIT 1\n",
         {true, QStringLiteral("/c"), QStringLiteral("2.1.3"), false}},
        {"its interpreter is gone", "/h/.local/bin/claude\n---EXIT 127\n---AUTH---\nbash: line 1: /h/.local/bin/claude: cannot execute: "
                                    "required file not found\n---EXIT 127\n",
         {true, QStringLiteral("/h/.local/bin/claude"), std::nullopt, false,
          QStringLiteral("/h/.local/bin/claude can't run: cannot execute: required file not found")}},
        {"no version, whatever the status says", "/c\n---EXIT 1\n---AUTH---\nLogged in\n---EXIT 0\n",
         {true, QStringLiteral("/c"), std::nullopt, false, QStringLiteral("/c can't run: --version ended with exit status 1.")}},
        {"cannot execute its status call", "/c\n2.1.3\n---EXIT 0\n---AUTH---\nsh: 1: /c: Permission denied\n---EXIT 126\n",
         {true, QStringLiteral("/c"), std::nullopt, false, QStringLiteral("/c can't run: Permission denied")}},
        {"an error that does not name it", "/c\n---EXIT 127\n---AUTH---\nenv: 'node': No such file or directory\n---EXIT 127\n",
         {true, QStringLiteral("/c"), std::nullopt, false, QStringLiteral("/c can't run: env: 'node': No such file or directory")}},
    };
    for (const auto& r : rows) {
        const ClaudeInfo got = ClaudeDetector::parse(QString::fromUtf8(r.output));
        EXPECT_EQ(got, r.want) << r.name;
        EXPECT_EQ(got.problem, r.want.problem) << r.name;
    }
    // Ended at the time limit: the call that did not answer is named.
    const struct {
        const char* output;
        const char* problem;
    } cut[] = {
        {"/c\n", "/c did not answer --version within 15 s."},
        {"/c\n2.1.3\n---EXIT 0\n---AUTH---\n", "/c did not answer auth status within 15 s."},
    };
    for (const auto& c : cut) {
        const ClaudeInfo got = ClaudeDetector::parse(QString::fromUtf8(c.output), true, 15000);
        EXPECT_TRUE(got.found) << c.output;
        EXPECT_FALSE(got.authed) << c.output;
        EXPECT_EQ(got.problem, QString::fromUtf8(c.problem));
    }
}

TEST(ProviderProbeOutput, codex_output_is_read_into_a_record)
{
    EXPECT_EQ(CodexDetector::parse(QStringLiteral("/usr/bin/codex\ncodex-cli 0.9.1\nNOT LOGGED IN\n")),
              (ProviderInfo{true, QStringLiteral("/usr/bin/codex"), QStringLiteral("codex-cli 0.9.1"), false}));
    EXPECT_EQ(CodexDetector::parse(QStringLiteral("codex-cli 0.9.1\n")), ProviderInfo{});
    // With each call's exit status, Codex is read as Claude is: ready only when it answered as itself.
    const QString codex = QStringLiteral("/h/.local/bin/codex");
    const struct {
        const char* output;
        ProviderInfo want;
        bool timedOut = false;
    } rows[] = {
        {"/h/.local/bin/codex\ncodex-cli 0.9.1\n---EXIT 0\n---AUTH---\nLogged in using ChatGPT\n---EXIT 0\n",
         {true, codex, QStringLiteral("codex-cli 0.9.1"), true}},
        {"/h/.local/bin/codex\ncodex-cli 0.9.1\n---EXIT 0\n---AUTH---\nError: config.toml is invalid\n---EXIT 1\n",
         {true, codex, QStringLiteral("codex-cli 0.9.1"), false}},
        {"/h/.local/bin/codex\n---EXIT 127\n---AUTH---\nbash: line 1: /h/.local/bin/codex: cannot execute: required file not found\n---EXIT 127\n",
         {true, codex, std::nullopt, false, codex + QStringLiteral(" can't run: cannot execute: required file not found")}},
        {"/h/.local/bin/codex\ncodex-cli 0.9.1\n---EXIT 0\n---AUTH---\n",
         {true, codex, std::nullopt, false, codex + QStringLiteral(" did not answer login status within 15 s.")}, true},
    };
    for (const auto& r : rows) {
        const ProviderInfo got = CodexDetector::parse(QString::fromUtf8(r.output), r.timedOut, 15000);
        EXPECT_EQ(got, r.want) << r.output;
        EXPECT_EQ(got.problem, r.want.problem) << r.output;
    }
    // A missing tool: the shell's own error message is not a path, whichever shell says it.
    EXPECT_EQ(CodexDetector::parse(QStringLiteral("/bin/sh: 1: codex: not found\n")), ProviderInfo{});
    EXPECT_EQ(CodexDetector::parse(QStringLiteral("/bin/bash: line 1: codex: command not found\n")), ProviderInfo{});
    EXPECT_EQ(ClaudeDetector::parse(QStringLiteral("---AUTH---\n/bin/sh: 1: claude: not found\n")), ProviderInfo{});
    EXPECT_EQ(ClaudeDetector::parse(QStringLiteral("/bin/bash: claude: command not found\n/opt/claude\n")),
              (ProviderInfo{true, QStringLiteral("/opt/claude"), std::nullopt, true}));
    EXPECT_EQ(LoginShell::lines(QStringLiteral(" a\t\n\n\tb \r\n")), (QStringList{"a", "b \r"}));
}
