// The terminal host with real login shells: one view and one shell per session, what the shell
// is started with, theme changes, and ending a pane's runtime so that nothing of it remains.

#include "TerminalHostLocal.h"
#include "test_terminal_host_support.h"

#include "AppModel.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QSettings>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class TerminalHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!proc::available())
            GTEST_SKIP() << "needs a /proc process table";
    }
    void TearDown() override
    {
        host.reset(); // ends whatever the test left running
    }

    LocalProcessTerminalView* show(const QUuid& id, const QString& directory = QString(), bool dark = true)
    {
        LocalProcessTerminalView* view = host->view(id, directory, dark);
        EXPECT_TRUE(waitUntil([&] {
            return view->process->running() && view->process->shellPid() > 0 && proc::execed(view->process->shellPid());
        }, 5000));
        return view;
    }
    // Waits until the shell has read its start-up files and answers input.
    bool ready(LocalProcessTerminalView* view, const QByteArray& marker = "ready-1")
    {
        sendText(view, "echo " + marker.left(marker.size() - 2) + "-$((0+1))\n");
        return waitUntil([&] { return screenText(view).find(marker.toStdString()) != std::string::npos; }, 5000);
    }

    // Two panes: the first runs a shell that ignores SIGTERM and SIGHUP, the second a plain /bin/sh.
    void showStubbornAndPlainShell(pid_t& stubbornPid, pid_t& plainPid)
    {
        env.set("SHELL", env.script(QStringLiteral("stubborn-shell"),
                                    "#!/bin/sh\ntrap '' TERM HUP\necho stubborn-ready\nwhile :; do sleep 0.2; done\n")
                             .toUtf8());
        LocalProcessTerminalView* stubborn = show(QUuid::createUuid());
        ASSERT_TRUE(waitUntil([&] { return screenText(stubborn).find("stubborn-ready") != std::string::npos; }, 5000));
        stubbornPid = stubborn->process->shellPid();
        env.set("SHELL", "/bin/sh");
        plainPid = show(QUuid::createUuid())->process->shellPid();
    }

    HostTestEnvironment env;
    std::unique_ptr<TerminalHost> host = makeHost();

    // The SIGTERM-to-SIGKILL delay is shortened: the stubborn-shell cases would each wait 2 s.
    static std::unique_ptr<TerminalHost> makeHost()
    {
        auto h = std::make_unique<TerminalHost>();
        h->ender().setKillDelayMs(400);
        return h;
    }
};

TEST_F(TerminalHostTest, same_session_shown_twice_gives_the_same_view_and_one_shell)
{
    const QUuid id = QUuid::createUuid();
    LocalProcessTerminalView* first = show(id);
    LocalProcessTerminalView* second = host->view(id, QStringLiteral("/elsewhere"), false);
    EXPECT_EQ(first, second);
    EXPECT_EQ(host->views(), QSet<QUuid>{id});
    EXPECT_EQ(host->delegates(), QSet<QUuid>{id});
    spin(100); // a moment in which a wrongly started second shell would show
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{first->process->shellPid()});

    // Another session gets a view and a shell of its own.
    LocalProcessTerminalView* other = show(QUuid::createUuid());
    EXPECT_NE(other, first);
    EXPECT_NE(other->process->shellPid(), first->process->shellPid());
    EXPECT_EQ(proc::childLoginShells().size(), 2);
}

TEST_F(TerminalHostTest, theme_switch_restyles_the_view_and_keeps_the_shell)
{
    const QUuid id = QUuid::createUuid();
    LocalProcessTerminalView* view = show(id, QString(), true);
    ASSERT_TRUE(ready(view));
    const pid_t pid = view->process->shellPid();
    EXPECT_EQ(view->nativeBackgroundColor(), QColor(0x0a, 0x0b, 0x0d));
    EXPECT_EQ(view->nativeForegroundColor(), QColor(0xc5, 0xc9, 0xd0));
    EXPECT_EQ(view->font().pixelSize(), 12);
    EXPECT_EQ(view->font().weight(), QFont::Normal);

    EXPECT_EQ(host->view(id, QString(), false), view);
    EXPECT_EQ(view->nativeBackgroundColor(), QColor(0xf4, 0xf5, 0xf8));
    EXPECT_EQ(view->nativeForegroundColor(), QColor(0x3a, 0x40, 0x48));

    // Through the application core's seam as well.
    static_cast<brinmoor::TerminalHost&>(*host).applyTheme(static_cast<QObject*>(view), true);
    EXPECT_EQ(view->nativeBackgroundColor(), TerminalHost::themeBackground(true));
    static_cast<brinmoor::TerminalHost&>(*host).applyTheme(static_cast<QObject*>(nullptr), true); // harmless

    EXPECT_EQ(view->process->shellPid(), pid);
    EXPECT_TRUE(proc::running(pid));
    EXPECT_TRUE(screenText(view).find("ready-1") != std::string::npos) << "the screen was kept";
    EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{pid});
}

// The launch rules themselves are plain functions (test_terminal_host_launch); here the shell says
// what it got, on its own terminal: reading /proc races the child's execve.
TEST_F(TerminalHostTest, login_shell_gets_its_argument_zero_environment_and_folder)
{
    env.set("TERM", "dumb");
    env.set("LANG", "de_DE.UTF-8");
    env.set("BRINMOOR_HOST_TEST_MARK", "kept as is");
    QDir(env.home()).mkpath(QStringLiteral("projects/app"));

    LocalProcessTerminalView* view = show(QUuid::createUuid(), QStringLiteral("~/projects/app"));
    sendText(view, "printf '<%s|%s|%s|%s>\\n' \"$0\" \"$TERM\" \"$LANG\" \"$BRINMOOR_HOST_TEST_MARK\"; pwd -P\n");
    const std::string folder = QDir(env.home() + QStringLiteral("/projects/app")).canonicalPath().toStdString();
    EXPECT_TRUE(waitUntil([&] {
        const std::string screen = screenText(view);
        return screen.find("<-sh|xterm-256color|de_DE.UTF-8|kept as is>") != std::string::npos
            && screen.find("\n" + folder) != std::string::npos;
    }, 5000)) << screenText(view);
    // The application's own folder never changes.
    EXPECT_NE(QDir::currentPath(), QDir(env.home() + QStringLiteral("/projects/app")).canonicalPath());
}

TEST_F(TerminalHostTest, missing_or_unusable_folders_start_the_shell_at_home)
{
    QFile plain(env.home() + QStringLiteral("/a-file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString home = QDir(env.home()).canonicalPath();
    for (const QString& folder : {QStringLiteral("~/does/not/exist"), QStringLiteral("/no/such/folder"),
                                  env.home() + QStringLiteral("/a-file"), QString(), QStringLiteral("~")}) {
        LocalProcessTerminalView* view = show(QUuid::createUuid(), folder);
        const pid_t pid = view->process->shellPid();
        ASSERT_TRUE(waitUntil([&] { return proc::execed(pid); }, 5000)) << proc::describe({pid});
        EXPECT_EQ(proc::workingDirectory(pid), home) << folder.toStdString();
    }
}

TEST_F(TerminalHostTest, late_installed_on_terminated_still_hears_the_exit)
{
    const QUuid id = QUuid::createUuid();
    LocalProcessTerminalView* view = show(id);
    ASSERT_TRUE(ready(view));

    QList<QPair<QUuid, std::optional<int32_t>>> heard;
    host->onTerminated = [&](const QUuid& who, std::optional<int32_t> code) { heard.append({who, code}); };
    sendText(view, "exit 3\n");
    ASSERT_TRUE(waitUntil([&] { return !heard.isEmpty(); }, 5000));
    ASSERT_EQ(heard.size(), 1);
    EXPECT_EQ(heard[0].first, id);
    EXPECT_EQ(heard[0].second, std::optional<int32_t>(3 << 8)); // the raw wait status
    // The entry stays: the pane keeps showing the last screen.
    EXPECT_EQ(host->existingView(id), view);
    EXPECT_TRUE(screenText(view).find("exit 3") != std::string::npos);
}

TEST_F(TerminalHostTest, a_shell_that_cannot_start_is_reported_as_an_error_exit)
{
    env.set("SHELL", env.script(QStringLiteral("broken-shell"), "#!/no/such/interpreter\n").toUtf8());
    std::optional<int32_t> heard;
    host->onTerminated = [&](const QUuid&, std::optional<int32_t> code) { heard = code; };
    host->view(QUuid::createUuid(), QString(), true);
    ASSERT_TRUE(waitUntil([&] { return heard.has_value(); }, 5000));
    EXPECT_NE(*heard, 0);
}

// Stop, restart and close through the application core: each ends the pane's shell and its jobs
// at once (hang-up), reports no exit, and a restart runs exactly one new shell.
TEST_F(TerminalHostTest, ending_a_pane_leaves_no_process_and_reports_no_exit)
{
    QTemporaryDir defaultsDir;
    QSettings defaults(defaultsDir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat);
    brinmoor::TerminalHost::install(host.get());
    {
        brinmoor::AppModel model(brinmoor::Store(false), &defaults);
        ASSERT_TRUE(model.addWorkspace(QStringLiteral("W"), QStringLiteral("5b8cdd")));
        int exitsHeard = 0;
        const auto coreHook = host->onTerminated;
        ASSERT_TRUE(bool(coreHook));
        host->onTerminated = [&](const QUuid& id, std::optional<int32_t> code) {
            ++exitsHeard;
            coreHook(id, code);
        };

        struct Case {
            const char* name;
            std::function<void(const QUuid&)> end;
            brinmoor::PaneState stateAfter;
        };
        const std::vector<Case> cases = {
            {"stop", [&](const QUuid& id) { model.stop(id); }, brinmoor::PaneState::Stopped},
            {"restart", [&](const QUuid& id) { model.restart(id); }, brinmoor::PaneState::Running},
            {"close", [&](const QUuid& id) { model.close(id); }, brinmoor::PaneState::Idle},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_TRUE(model.addSession(brinmoor::PaneKind::Terminal, std::nullopt, env.home(), false,
                                         brinmoor::ChatProvider::Claude));
            const QUuid id = model.workspaces()[0].sessions.last().id;
            LocalProcessTerminalView* view = show(id);
            ASSERT_TRUE(ready(view));
            const pid_t shell = view->process->shellPid();
            // A background job and a foreground one, both in the shell's session.
            sendText(view, "sleep 300 & sleep 301\n");
            ASSERT_TRUE(waitUntil([&] { return proc::sessionOf(shell).size() >= 3; }, 5000));
            QPointer<LocalProcessTerminalView> watched(view);

            QElapsedTimer t;
            t.start();
            c.end(id);
            EXPECT_FALSE(host->views().contains(id));
            EXPECT_FALSE(host->delegates().contains(id));
            EXPECT_TRUE(watched.isNull()) << "the view went with its entry";
            // The hang-up ends a shell that honours it (and SIGTERM its jobs); the SIGKILL after 2 s
            // is only the last resort, so under load this may take a little longer.
            EXPECT_TRUE(waitUntil([&] { return proc::remainingOf(shell).isEmpty(); }, 4000))
                << "left: " << proc::describe(proc::remainingOf(shell));
            spin(300); // a window for a late exit notice that must not come
            EXPECT_EQ(exitsHeard, 0);
            if (c.stateAfter != brinmoor::PaneState::Idle) {
                ASSERT_TRUE(model.session(id).has_value());
                EXPECT_EQ(model.session(id)->state, c.stateAfter);
            } else {
                EXPECT_FALSE(model.session(id).has_value());
            }
            EXPECT_TRUE(proc::childLoginShells().isEmpty());

            if (c.stateAfter == brinmoor::PaneState::Running) {
                // The restarted pane, shown again, runs exactly one new shell.
                LocalProcessTerminalView* fresh = show(id);
                EXPECT_NE(fresh->process->shellPid(), shell);
                spin(100); // a moment in which a second shell would show
                EXPECT_EQ(proc::childLoginShells(), QList<pid_t>{fresh->process->shellPid()});
                model.close(id);
                EXPECT_TRUE(waitUntil([&] { return proc::childLoginShells().isEmpty(); }, 2500));
            }
        }
        host->onTerminated = nullptr;
    }
    brinmoor::TerminalHost::install(nullptr);
}

TEST_F(TerminalHostTest, deleting_a_workspace_ends_every_shell_of_it)
{
    brinmoor::TerminalHost::install(host.get());
    QTemporaryDir defaultsDir;
    QSettings defaults(defaultsDir.path() + QStringLiteral("/d.ini"), QSettings::IniFormat);
    {
        brinmoor::AppModel model(brinmoor::Store(false), &defaults);
        ASSERT_TRUE(model.addWorkspace(QStringLiteral("W"), QStringLiteral("5b8cdd")));
        QList<pid_t> shells;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(model.addSession(brinmoor::PaneKind::Terminal, std::nullopt, env.home(), false,
                                         brinmoor::ChatProvider::Claude));
            shells.append(show(model.workspaces()[0].sessions.last().id)->process->shellPid());
        }
        model.deleteWorkspace(model.workspaces()[0].id);
        EXPECT_TRUE(host->views().isEmpty());
        EXPECT_TRUE(waitUntil([&] {
            for (pid_t p : shells)
                if (!proc::remainingOf(p).isEmpty())
                    return false;
            return true;
        }, 2500));
    }
    brinmoor::TerminalHost::install(nullptr);
}

TEST_F(TerminalHostTest, a_shell_that_ignores_sigterm_and_hangup_is_killed_after_the_delay)
{
    env.set("SHELL", env.script(QStringLiteral("stubborn-shell"),
                                "#!/bin/sh\ntrap '' TERM HUP\necho stubborn-ready\nwhile :; do sleep 0.2; done\n")
                         .toUtf8());
    bool heard = false;
    host->onTerminated = [&](const QUuid&, std::optional<int32_t>) { heard = true; };
    const QUuid id = QUuid::createUuid();
    LocalProcessTerminalView* view = show(id);
    ASSERT_TRUE(waitUntil([&] { return screenText(view).find("stubborn-ready") != std::string::npos; }, 5000));
    const pid_t shell = view->process->shellPid();

    QElapsedTimer t;
    t.start();
    host->dropView(id);
    EXPECT_EQ(host->ender().pending(), 1);
    // Alive until the SIGKILL: SIGTERM and the hang-up are ignored.
    ASSERT_TRUE(waitUntil([&] { return proc::remainingOf(shell).isEmpty(); }, 3000))
        << "left: " << proc::describe(proc::remainingOf(shell));
    EXPECT_GE(t.elapsed(), host->ender().killDelayMs() - 20);
    EXPECT_EQ(host->ender().pending(), 0);
    spin(200); // a window for a late exit notice that must not come
    EXPECT_FALSE(heard);
}

TEST_F(TerminalHostTest, dropping_a_pane_whose_shell_already_exited_signals_nothing)
{
    const QUuid id = QUuid::createUuid();
    LocalProcessTerminalView* view = show(id);
    ASSERT_TRUE(ready(view));
    int exits = 0;
    host->onTerminated = [&](const QUuid&, std::optional<int32_t>) { ++exits; };
    sendText(view, "exit\n");
    ASSERT_TRUE(waitUntil([&] { return exits == 1; }, 5000));
    host->dropView(id);
    EXPECT_EQ(host->ender().pending(), 0) << "nothing left to end";
    EXPECT_TRUE(host->views().isEmpty());
    host->dropView(id); // a second drop of the same id is harmless
    host->dropView(QUuid::createUuid());
}

TEST_F(TerminalHostTest, shutdown_ends_every_shell_before_returning)
{
    pid_t first = 0;
    pid_t second = 0;
    ASSERT_NO_FATAL_FAILURE(showStubbornAndPlainShell(first, second));

    host->shutdown();
    EXPECT_TRUE(proc::remainingOf(first).isEmpty()) << proc::describe(proc::remainingOf(first));
    EXPECT_TRUE(proc::remainingOf(second).isEmpty()) << proc::describe(proc::remainingOf(second));
    EXPECT_TRUE(host->views().isEmpty());
}

// A quit ends every pane in one pass: the process table is read a few times for all the panes
// together, not a few times for each (a hundred panes made a quit linger for seconds). Each
// pane's shell has a background job, and one pane's job ignores SIGTERM and the hang-up, so the
// SIGKILL sweep covers them too; nothing of any pane remains.
TEST_F(TerminalHostTest, a_quit_reads_the_process_table_for_all_panes_together)
{
    constexpr int panes = 24;
    QList<pid_t> shells;
    for (int i = 0; i < panes; ++i) {
        LocalProcessTerminalView* view = show(QUuid::createUuid());
        ASSERT_TRUE(ready(view));
        const QByteArray job = i == 0 ? "(trap '' TERM HUP; exec sleep 300) &\n" : "sleep 300 &\n";
        sendText(view, job);
        const pid_t shell = view->process->shellPid();
        ASSERT_TRUE(waitUntil([&] { return proc::sessionOf(shell).size() >= 2; }, 5000));
        shells.append(shell);
    }
    int reads = 0;
    host->ender().setProcessTable([&reads] {
        ++reads;
        return PaneProcessEnder::readProcessTable();
    });

    host->shutdown();
    EXPECT_TRUE(host->views().isEmpty());
    for (pid_t shell : std::as_const(shells))
        EXPECT_TRUE(proc::remainingOf(shell).isEmpty()) << proc::describe(proc::remainingOf(shell));
    EXPECT_GE(reads, 1);
    EXPECT_LT(reads, panes) << "the table was read per pane";
    EXPECT_EQ(host->ender().pending(), 0);
}

TEST_F(TerminalHostTest, quitting_the_application_ends_every_shell)
{
    pid_t first = 0;
    pid_t second = 0;
    ASSERT_NO_FATAL_FAILURE(showStubbornAndPlainShell(first, second));

    // The event loop ends as it does when the last window closes: aboutToQuit, then exec returns.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_TRUE(host->views().isEmpty());
    EXPECT_TRUE(proc::remainingOf(first).isEmpty()) << proc::describe(proc::remainingOf(first));
    EXPECT_TRUE(proc::remainingOf(second).isEmpty()) << proc::describe(proc::remainingOf(second));
}

} // namespace
