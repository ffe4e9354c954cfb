// Finding the provider tools, Node.js and our sidecar scripts, against fake `claude`, `codex` and
// `node` scripts in a temporary HOME whose login profile puts them on the PATH (SHELL=/bin/bash).

#include "NodeDetector.h"
#include "ProviderDetection.h"
#include "SidecarTools.h"
#include "ToolLocators.h"
#include "support/TaskLimit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>
#include <thread>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

// QProcess wants an event dispatcher on the thread that runs it, even when it only blocks.
class CoreApp : public ::testing::Environment {
public:
    void SetUp() override { app = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[16] = "agent-detection";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
};
[[maybe_unused]] ::testing::Environment* const coreApp = ::testing::AddGlobalTestEnvironment(new CoreApp);

class Home : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = {qgetenv("HOME"), qgetenv("SHELL")};
        qputenv("HOME", dir.path().toUtf8());
        qputenv("SHELL", "/bin/bash");
        write(".bash_profile", "export PATH=\"$HOME/bin:$PATH\"\n");
    }
    void TearDown() override
    {
        qputenv("HOME", saved.first);
        qputenv("SHELL", saved.second);
    }

    QString path(const QString& rel) const { return dir.path() + QLatin1Char('/') + rel; }
    QString write(const QString& rel, const QByteArray& text, bool executable = false) const
    {
        const QString p = path(rel);
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        f.close();
        if (executable)
            f.setPermissions(f.permissions() | QFile::ExeOwner);
        return p;
    }
    // A script that prints `version` for --version and `status` for anything else.
    QString tool(const QString& rel, const QByteArray& version, const QByteArray& status = "") const
    {
        return write(rel, "#!/bin/sh\n[ \"$1\" = --version ] && { echo '" + version + "'; exit 0; }\necho '" + status + "'\n", true);
    }

    QTemporaryDir dir;
    std::pair<QByteArray, QByteArray> saved;
};

} // namespace

TEST_F(Home, tools_are_found_with_their_path_version_and_sign_in)
{
    const QString claude = tool("bin/claude", "2.1.3 (Claude Code)", "Not logged in");
    const QString codex = tool("bin/codex", "codex-cli 0.9.1", "Logged in using ChatGPT");
    const ClaudeInfo c = ClaudeDetector::run();
    EXPECT_TRUE(c.found);
    EXPECT_EQ(c.path, claude);
    EXPECT_EQ(c.version, QStringLiteral("2.1.3 (Claude Code)"));
    EXPECT_FALSE(c.authed);
    EXPECT_EQ(CodexDetector::run(), (ProviderInfo{true, codex, QStringLiteral("codex-cli 0.9.1"), true}));

    // The locators: an executable preferred path, else the fixed places, else the login shell.
    const QString plain = write("plain", "not executable");
    EXPECT_EQ(ToolLocation::locate("claude", claude, {}, probeLimitMs), claude);
    EXPECT_EQ(ToolLocation::locate("claude", plain, {plain, codex}, probeLimitMs), codex);
    EXPECT_EQ(ToolLocation::locate("claude", QString(), {plain}, probeLimitMs), claude);
    EXPECT_TRUE(ClaudeLocator::fixedPaths().contains(dir.path() + "/.claude/local/claude"));
}

// An installer's own folder (~/.local/bin) that the login shell's PATH lacks: detection finds the
// tools there, as location does and in its order (before the PATH's copy), with version and
// sign-in asked of that executable; a path that needs quoting does not trip the probe.
TEST_F(Home, detection_finds_a_tool_wherever_location_does_in_the_same_order)
{
    tool("bin/claude", "0.1 (on the PATH)");
    const QString claude = tool(".local/bin/claude", "2.1.3 (Claude Code)", "Logged in");
    const QString codex = tool(".local/bin/codex", "codex-cli 0.9.1", "Not logged in");
    EXPECT_EQ(ClaudeDetector::run(), (ClaudeInfo{{true, claude, QStringLiteral("2.1.3 (Claude Code)"), true}}));
    EXPECT_EQ(CodexDetector::run(), (ProviderInfo{true, codex, QStringLiteral("codex-cli 0.9.1"), false}));
    EXPECT_EQ(ClaudeLocator::path(std::nullopt), claude);
    EXPECT_EQ(CodexLocator::path(std::nullopt), codex);
    EXPECT_EQ(ClaudeDetector::commandFor(std::nullopt), QString::fromLatin1(ClaudeDetector::command));

    qputenv("HOME", path("it's here").toUtf8());
    const QString quoted = tool("it's here/.local/bin/codex", "codex-cli 1.0");
    EXPECT_EQ(CodexDetector::run(), (ProviderInfo{true, quoted, QStringLiteral("codex-cli 1.0"), true}));
}

TEST_F(Home, missing_tools_and_a_probe_past_the_limit_are_not_found)
{
    EXPECT_EQ(ClaudeDetector::run(), ClaudeInfo{});
    EXPECT_EQ(CodexDetector::run(), ProviderInfo{});
    EXPECT_FALSE(ToolLocation::locate("codex", {}, {}, probeLimitMs));

    // A tool that never answers is killed with the shell at the limit (the limit is the subject):
    // found, but not answering, which the card says instead of "not found".
    const QString hung = write("bin/claude", "#!/bin/sh\nexec sleep 600\n", true);
    const ClaudeInfo info = ClaudeDetector::run(1500);
    EXPECT_EQ(info, (ClaudeInfo{{true, hung, std::nullopt, false, hung + QStringLiteral(" did not answer --version within 1.5 s.")}}));
    EXPECT_EQ(info.problem, hung + QStringLiteral(" did not answer --version within 1.5 s."));
}

// Debian's ~/.profile sources ~/.bashrc, which here never finishes (a passphrase prompt, a dead
// network folder): the probe is ended at its limit before the shell printed a word. A tool at a
// usual install place was seen without the shell, and is the one a pane starts: it is found, with
// its path, and the record says that the shell did not start in time; one that only the shell's
// PATH could name is not called missing either. A shell that started and printed nothing else
// still finds nothing.
TEST_F(Home, a_login_shell_that_does_not_finish_starting_leaves_found_tools_found)
{
    QFile::remove(path(".bash_profile"));
    write(".profile", "[ -f \"$HOME/.bashrc\" ] && . \"$HOME/.bashrc\"\nexport PATH=\"$HOME/bin:$PATH\"\n");
    write(".bashrc", "sleep 600\n");
    const QString claude = tool(".local/bin/claude", "2.1.3 (Claude Code)", "Logged in");
    tool("bin/codex", "codex-cli 0.9.1", "Logged in");
    const QString slow = QStringLiteral("the login shell did not finish starting within 1 s, so ");
    EXPECT_EQ(ClaudeDetector::run(1000),
              (ClaudeInfo{{true, claude, std::nullopt, false, claude + QStringLiteral(": ") + slow + QStringLiteral("its version and sign-in were not checked."), true}}));
    EXPECT_EQ(CodexDetector::run(1000),
              (ProviderInfo{false, std::nullopt, std::nullopt, false, QStringLiteral("The login shell did not finish starting within 1 s, so its PATH was not searched for codex."), true}));

    // How the output reads: (output, ended at the limit, the tool at a usual place) -> found, shell too slow.
    const QString known = QStringLiteral("/home/u/.local/bin/codex");
    const struct {
        QString output;
        bool timedOut;
        std::optional<QString> known;
        bool found, shellTimedOut;
    } cases[] = {
        {QString(), true, known, true, true},
        {QStringLiteral("Enter passphrase for key '/home/u/.ssh/id_ed25519': "), true, known, true, true},  // a prompt, then waiting
        {QString(), true, std::nullopt, false, true},
        {QString(), false, known, false, false},  // the shell ended having printed nothing: no tool
        {known + QStringLiteral("\n"), true, known, true, false},  // got as far as the tool, which hung: its own problem
    };
    for (const auto& c : cases) {
        const ProviderInfo info = CodexDetector::parse(c.output, c.timedOut, probeLimitMs, c.known);
        EXPECT_EQ(info.found, c.found) << c.output.toStdString();
        EXPECT_EQ(info.shellTimedOut, c.shellTimedOut) << c.output.toStdString();
        EXPECT_EQ(info.path, c.found ? c.known : std::nullopt) << c.output.toStdString();
        EXPECT_EQ(info.problem.isEmpty(), !c.timedOut) << c.output.toStdString();
        EXPECT_FALSE(info.authed);
    }
    EXPECT_TRUE(CodexDetector::parse({}, true, probeLimitMs, known).problem.contains(QStringLiteral(" within 15 s, so ")));
}

TEST_F(Home, node_18_or_later_the_highest_version_wins)
{
    const QString v16 = tool(".nvm/versions/node/v16.20.0/bin/node", "v16.20.0");
    const QString v20 = tool(".nvm/versions/node/v20.11.0/bin/node", "v20.11.0");
    const QString v17 = tool("bin/node", "v17.9.1");
    const QString hung = write("hung/node", "#!/bin/sh\nexec sleep 600\n", true);

    EXPECT_EQ(NodeDetector::shellResolve("command -v node"), v17);
    const QStringList candidates = NodeDetector::candidates(v17, dir.path());
    EXPECT_EQ(candidates.first(), v17);
    EXPECT_TRUE(candidates.contains(v16) && candidates.contains(v20));
    EXPECT_EQ(candidates.mid(3), (QStringList{path(".volta/bin/node"), path(".local/bin/node"), "/usr/local/bin/node", "/usr/bin/node"}));

    EXPECT_EQ(NodeDetector::best({v17, v16, v20, v16}), v20);
    EXPECT_FALSE(NodeDetector::best({v16, v17, path("missing")}));
    EXPECT_FALSE(NodeDetector::best({hung}, 1000));
    const QString v20b = tool("other/node", "v20.11.0");
    EXPECT_EQ(NodeDetector::best({v20b, v20}), v20b);  // a tie keeps the earlier

    using V = NodeDetector::Version;
    EXPECT_EQ(NodeDetector::parseVersion("v22.3.0-nightly\n"), (V{22, 3}));
    EXPECT_FALSE(NodeDetector::parseVersion("vv.\n"));
    EXPECT_LT((V{20, 0, 5}), (V{20, 1}));
    EXPECT_LT((V{20}), (V{20, 0}));
}

// The task limit reached as detections start: each gets no thread, and its answer comes at once,
// saying why the tool was not checked; once tasks are free the next detection runs and finds the
// tool. Before, a refused thread never ran, the detection never answered, and the probes' pool,
// counting it busy, kept the later ones waiting. (RLIMIT_NPROC binds root only once the real user
// is another: the child takes the user nobody for the while, keeping root as its saved user.)
TEST_F(Home, a_detection_refused_a_thread_says_so_and_the_next_one_runs)
{
    const QString claude = tool("bin/claude", "2.1.3 (Claude Code)", "Logged in");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            QObject context;
            QList<ClaudeInfo> told;
            const auto waitForTold = [&](int n) {
                QDeadlineTimer deadline(30000);
                while (told.size() < n && !deadline.hasExpired())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            };
            if (!test::limitTasks(false))
                std::_Exit(3);
            for (int i = 0; i < 2; ++i)
                ClaudeDetector::detect(&context, [&](ClaudeInfo info) { told << info; });
            waitForTold(2);
            if (!test::limitTasks(true))
                std::_Exit(4);
            ClaudeDetector::detect(&context, [&](ClaudeInfo info) { told << info; });
            waitForTold(3);
            for (const ClaudeInfo& info : told)
                std::fprintf(stderr, "[found %d, %s]\n", int(info.found), qPrintable(info.problem));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "\\[found 0, claude could not be checked: no thread could be started\\.\\]\n"
        "\\[found 0, claude could not be checked: no thread could be started\\.\\]\n"
        "\\[found 1, \\]");
}

// The same task limit for the searches a chat pane starts with: Node's search and the tool's search
// each say that no thread could be started, where "not found" would send the user to install
// what is there; once tasks are free they run and find.
TEST_F(Home, a_node_or_tool_search_refused_a_thread_says_so_instead_of_not_found)
{
    const QString claude = tool("bin/claude", "2.1.3 (Claude Code)", "Logged in");
    const QString script = write("sidecar/brinmoor-agent.mjs", "// script\n");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            QObject context;
            QStringList told;
            const auto waitForTold = [&](int n) {
                QDeadlineTimer deadline(30000);
                while (told.size() < n && !deadline.hasExpired())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            };
            SidecarTools tools = SidecarTools::real();
            tools.findNode = [](QObject*, std::function<void(NodeFound)> done) { done(QStringLiteral("/bin/node")); };
            tools.scriptPath = [script](ChatProvider) { return std::optional<QString>(script); };
            const auto search = [&] {
                NodeDetector::cachedNode.reset();
                NodeDetector::search(&context, [&](NodeFound n) {
                    told << QStringLiteral("node %1, %2").arg(n.path.value_or(QStringLiteral("none")), n.notSearched);
                });
                tools.find(&context, ChatProvider::Claude, std::nullopt, [&](const SidecarTools::Found& f) {
                    told << QStringLiteral("claude %1, %2").arg(f.tool.value_or(QStringLiteral("none")), f.toolNotSearched);
                });
            };
            rlimit limit{};
            ::getrlimit(RLIMIT_NPROC, &limit);
            const rlim_t most = limit.rlim_max;
            limit.rlim_cur = 1;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() == 0 && ::setresuid(65534, 65534, 0) != 0))
                std::_Exit(3);
            search();
            waitForTold(2);
            limit.rlim_cur = most;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() != 0 && ::setresuid(0, 0, 0) != 0))
                std::_Exit(4);
            search();
            waitForTold(4);
            told.sort();
            for (const QString& line : told)
                std::fprintf(stderr, "[%s]\n", qPrintable(line));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "\\[claude /[^,]*/bin/claude, \\]\n"
        "\\[claude none, claude could not be searched for: no thread could be started\\.\\]\n"
        "\\[node [^,]*, \\]\n"
        "\\[node none, Node.js could not be searched for: no thread could be started\\.\\]");
}

TEST_F(Home, the_node_search_runs_off_the_gui_thread_once_and_is_cached)
{
    QObject context;
    const QString node = tool("bin/node", "v99.0.0");
    std::optional<QString> first, second;
    int calls = 0;
    NodeDetector::cachedNode.reset();
    NodeDetector::find(&context, [&](std::optional<QString> n) { first = n, ++calls; });
    NodeDetector::find(&context, [&](std::optional<QString> n) { second = n, ++calls; });  // shares the search
    EXPECT_EQ(calls, 0);
    QDeadlineTimer deadline(30000);
    while (calls < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(first, node);
    EXPECT_EQ(second, node);
    EXPECT_EQ(NodeDetector::cachedNode, node);
    QFile::remove(node);
    NodeDetector::find(&context, [&](std::optional<QString> n) { first = n, ++calls; });
    EXPECT_EQ(calls, 3);  // from the cache, at once
    EXPECT_EQ(first, node);
    NodeDetector::cachedNode.reset();
}

// Node only on the PATH a login profile sets, behind a start-up that hangs: the search is ended at
// the detections' limit (BRINMOOR_PROBE_LIMIT_MS, as the cards and the tool search are) and says
// that the shell's PATH was not searched, not that Node is missing; without the hang Node is
// found there.
TEST_F(Home, the_node_search_under_a_hanging_login_shell_keeps_the_limit_and_says_it_did_not_search)
{
    const QString node = tool("bin/node", "v20.1.0");
    const QByteArray onPath = "export PATH=\"$HOME/bin:$PATH\"\n";
    const struct {
        const char* name;
        QByteArray profile;
        NodeFound want;
    } rows[] = {
        {"hangs", "echo /srv/www\nsleep 600\n" + onPath, NodeFound{}},
        {"starts", "echo /srv/www\n" + onPath, NodeFound{node}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        write(".bash_profile", r.profile);
        const NodeFound found = NodeDetector::locateFound(500, {});
        EXPECT_EQ(found.path, r.want.path);
        EXPECT_EQ(found.notSearched, r.want.path ? QString() : LoginShell::notSearched(QStringLiteral("node"), 500));
    }
    EXPECT_EQ(LoginShell::notSearched(QStringLiteral("node"), 500),
              QStringLiteral("The login shell did not finish starting within 0.5 s, so its PATH was not searched for node."));

    // The search the panes ask for keeps the same limit: it answers long before the probes' own
    // 15 s. (Node at a usual install place, if the machine has one, is found without the shell.)
    write(".bash_profile", "sleep 600\n" + onPath);
    qputenv("BRINMOOR_PROBE_LIMIT_MS", "500");
    const auto restore = qScopeGuard([] {
        qunsetenv("BRINMOOR_PROBE_LIMIT_MS");
        NodeDetector::cachedNode.reset();
    });
    NodeDetector::cachedNode.reset();
    QObject context;
    std::optional<NodeFound> told;
    NodeDetector::search(&context, [&](NodeFound n) { told = n; });
    QDeadlineTimer deadline(probeLimitMs * 2 / 3);
    while (!told && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(told) << "no answer within 10 s";
    EXPECT_NE(told->path, node);
    if (!told->path) {
        EXPECT_EQ(told->notSearched, LoginShell::notSearched(QStringLiteral("node"), 500));
    }
}

TEST_F(Home, panes_starting_together_share_one_tool_search_and_a_missing_tool_is_searched_again)
{
    const QString claude = tool("bin/claude", "2.0.0 (Claude Code)");
    std::atomic<int> searches = 0;
    const auto search = [&]() -> std::optional<QString> {
        ++searches;
        return QFile::exists(claude) ? std::optional<QString>(claude) : std::nullopt;
    };
    std::vector<std::thread> panes;
    std::vector<std::optional<QString>> found(16);
    for (int i = 0; i < 16; ++i)
        panes.emplace_back([&, i] { found[i] = SidecarTools::rememberedLocate(QStringLiteral("claude\n"), search); });
    for (std::thread& t : panes)
        t.join();
    EXPECT_EQ(searches, 1);
    for (const auto& f : found)
        EXPECT_EQ(f, claude);
    QFile::remove(claude);
    EXPECT_FALSE(SidecarTools::rememberedLocate(QStringLiteral("claude\n"), search));
    EXPECT_FALSE(SidecarTools::rememberedLocate(QStringLiteral("claude\n"), search));
    EXPECT_EQ(searches, 3);
}

TEST_F(Home, sidecar_scripts_are_looked_up_in_the_sidecar_folder)
{
    qputenv("BRINMOOR_SIDECAR_DIR", path("sidecar").toUtf8());
    const QString claude = write("sidecar/brinmoor-agent.mjs", "// script\n");
    EXPECT_EQ(Sidecar::scriptPath(ChatProvider::Claude), claude);
    EXPECT_FALSE(Sidecar::scriptPath(ChatProvider::Codex));
    EXPECT_EQ(Sidecar::baseName(ChatProvider::Codex), QStringLiteral("codex-agent"));
    qunsetenv("BRINMOOR_SIDECAR_DIR");
}

// Start-up files that print: Debian's ~/.profile sources ~/.bashrc, which here prints a folder, a
// banner with a version, a greeting, right-to-left words with digits, a path with no line end.
// None of it is read as the tool's path, version or sign-in: the probe's answer starts after its
// own mark. When the start-up then hangs, the probe is ended at its limit having asked nothing,
// and the cards and the locators say so instead of naming one of those lines.
TEST_F(Home, what_start_up_files_print_is_never_taken_for_the_tool)
{
    QFile::remove(path(".bash_profile"));
    write(".profile", "[ -f \"$HOME/.bashrc\" ] && . \"$HOME/.bashrc\"\nexport PATH=\"$HOME/bin:$PATH\"\n");
    const QString claude = tool(".local/bin/claude", "2.1.3 (Claude Code)", "Logged in");
    const QString codex = tool("bin/codex", "codex-cli 0.9.1", "Not logged in");
    const QByteArray printed[] = {
        "echo /srv/www\n",
        "echo 'Welcome to host 7 (Debian 12.4)'\necho /srv/www\n",
        "pwd\necho Hello\necho 'v22.1.0'\n",
        "echo 'שלום /srv/www גרסה 3.1'\necho 'مرحبا 42'\n",
        "echo /opt/tools/bin/claude\necho /opt/tools/bin/codex\nprintf /srv/www\n",
        "echo 'Not logged in'\necho '---AUTH---'\necho '---EXIT 0'\n",
    };
    for (const QByteArray& bashrc : printed) {
        SCOPED_TRACE(bashrc.toStdString());
        write(".bashrc", bashrc);
        EXPECT_EQ(ClaudeDetector::run(), (ClaudeInfo{{true, claude, QStringLiteral("2.1.3 (Claude Code)"), true}}));
        EXPECT_EQ(CodexDetector::run(), (ProviderInfo{true, codex, QStringLiteral("codex-cli 0.9.1"), false}));
        bool cut = true;
        EXPECT_EQ(ToolLocation::locate("codex", {}, {}, probeLimitMs, &cut), codex);
        EXPECT_FALSE(cut);
        EXPECT_EQ(NodeDetector::shellResolve("command -v codex"), codex);

        write(".bashrc", bashrc + "sleep 600\n");
        const QString slow = QStringLiteral("the login shell did not finish starting within 0.5 s, so ");
        EXPECT_EQ(ClaudeDetector::run(500),
                  (ClaudeInfo{{true, claude, std::nullopt, false, claude + QStringLiteral(": ") + slow + QStringLiteral("its version and sign-in were not checked."), true}}));
        EXPECT_EQ(CodexDetector::run(500),
                  (ProviderInfo{false, std::nullopt, std::nullopt, false, LoginShell::notSearched(QStringLiteral("codex"), 500), true}));
        EXPECT_FALSE(ToolLocation::locate("codex", {}, {}, 500, &cut));
        EXPECT_TRUE(cut);
    }
    // A tool that is not there, under a start-up that prints a path and finishes: missing, and
    // searched for.
    QFile::remove(codex);
    write(".bashrc", "echo /srv/www\n");
    bool cut = true;
    EXPECT_EQ(CodexDetector::run(), ProviderInfo{});
    EXPECT_FALSE(ToolLocation::locate("codex", {}, {}, probeLimitMs, &cut));
    EXPECT_FALSE(cut);
}

// How the answer is cut from what the shell printed: after the line holding the mark (which may
// follow a start-up file's unfinished line); without the mark, nothing at all, whether the shell
// was ended at the limit or ended by itself: what it printed came from its start-up (a start-up
// file that exits, or execs another program, before the command runs).
TEST(ProbeMark, the_answer_is_what_follows_the_marks_line)
{
    const QString mark = QStringLiteral("brinmoor-probe-0123");
    const struct {
        QString output;
        bool timedOut;  // how the shell ended: the answer is cut the same either way
        std::optional<QString> want;
    } rows[] = {
        {"/srv/www\n" + mark + "\n/c\n2.1\n", false, QStringLiteral("/c\n2.1\n")},
        {"/srv/www" + mark + "\n/c\n", false, QStringLiteral("/c\n")},
        {"/srv/www\n" + mark + "\n/c\n", true, QStringLiteral("/c\n")},
        {QStringLiteral("/srv/www\n2.1\n"), true, std::nullopt},
        {QStringLiteral("/c\n2.1\n"), false, std::nullopt},
        {"/srv/www\n" + mark, true, QString()},
        {QStringLiteral("מסלול /srv/www\n") + mark + QStringLiteral("\n/c\n"), false, QStringLiteral("/c\n")},
        {QStringLiteral("מסלול /srv/www 3.1\n"), false, std::nullopt},
        {QString(), false, std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(LoginShell::afterMark(r.output, mark), r.want) << r.output.toStdString() << " timed out: " << r.timedOut;
}

// A start-up file that prints and then ends the shell (`exit`, or `exec` of another program)
// before the probe runs: nothing it printed is taken for a path, a version or a sign-in. The
// cards say the shell ended before it ran the check (a tool at a usual install place is still
// named), the locators and Node's search say nothing was searched; a start-up that goes on to
// run the probe is read as ever.
TEST_F(Home, a_login_shell_that_ends_before_the_probe_runs_answers_nothing)
{
    QFile::remove(path(".bash_profile"));
    write(".profile", "[ -f \"$HOME/.bashrc\" ] && . \"$HOME/.bashrc\"\nexport PATH=\"$HOME/bin:$PATH\"\n");
    const QString claude = tool(".local/bin/claude", "2.1.3 (Claude Code)", "Logged in");
    const QString codex = tool("bin/codex", "codex-cli 0.9.1", "Not logged in");
    const QString node = tool("bin/node", "v20.1.0");
    const QString ended = QStringLiteral(": the login shell ended before it ran the check, so its version and sign-in were not checked.");
    const struct {
        const char* name;
        QByteArray bashrc;
        bool endsFirst;
    } rows[] = {
        {"a folder, then exit", "echo /srv/www\nexit\n", true},
        {"a banner and paths, then exit 0", "echo 'Welcome to host 7 (Debian 12.4)'\necho /opt/tools/bin/codex\necho v22.1.0\nexit 0\n", true},
        {"a folder, then exec of another program", "echo /srv/www\nexec /bin/echo /usr/local/bin/claude\n", true},
        {"right-to-left words, then exit 1", "echo 'שלום /srv/www גרסה 3.1'\necho 'Logged in'\nexit 1\n", true},
        {"a folder, and the probe runs", "echo /srv/www\n", false},
        {"right-to-left words, and the probe runs", "echo 'שלום /srv/www גרסה 3.1'\n", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        write(".bashrc", r.bashrc);
        bool cut = true;
        bool shellEnded = !r.endsFirst;
        const std::optional<QString> located = ToolLocation::locate("codex", {}, {}, probeLimitMs, &cut, &shellEnded);
        EXPECT_FALSE(cut);
        EXPECT_EQ(shellEnded, r.endsFirst);
        const NodeFound nodeFound = NodeDetector::locateFound(probeLimitMs, {});
        if (r.endsFirst) {
            EXPECT_EQ(ClaudeDetector::run(), (ClaudeInfo{{true, claude, std::nullopt, false, claude + ended, true}}));
            EXPECT_EQ(CodexDetector::run(),
                      (ProviderInfo{false, std::nullopt, std::nullopt, false, LoginShell::notSearched(QStringLiteral("codex"), probeLimitMs, true), true}));
            EXPECT_EQ(LoginShell::notSearched(QStringLiteral("codex"), probeLimitMs, true),
                      QStringLiteral("The login shell ended before it ran the check, so its PATH was not searched for codex."));
            EXPECT_FALSE(located);
            EXPECT_FALSE(NodeDetector::shellResolve("command -v codex"));
            EXPECT_FALSE(nodeFound.path);
            EXPECT_EQ(nodeFound.notSearched, LoginShell::notSearched(QStringLiteral("node"), probeLimitMs, true));
        } else {
            EXPECT_EQ(ClaudeDetector::run(), (ClaudeInfo{{true, claude, QStringLiteral("2.1.3 (Claude Code)"), true}}));
            EXPECT_EQ(CodexDetector::run(), (ProviderInfo{true, codex, QStringLiteral("codex-cli 0.9.1"), false}));
            EXPECT_EQ(located, codex);
            EXPECT_EQ(NodeDetector::shellResolve("command -v codex"), codex);
            EXPECT_EQ(nodeFound.path, node);
            EXPECT_EQ(nodeFound.notSearched, QString());
        }
    }
}
