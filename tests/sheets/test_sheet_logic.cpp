// The rules behind the sheets and the onboarding: the status card's state, the folder list and
// its display, workspace names, the onboarding's steps, and which tools it probes (with fake
// `claude`/`codex` scripts reached through a login shell in a temporary HOME).
#include "AppInfo.h"
#include "AppModel.h"
#include "ChatHost.h"
#include "FolderChooserLogic.h"
#include "FolderListing.h"
#include "OnboardingFlow.h"
#include "SheetLogic.h"
#include "TestEnvironment.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brinmoor;
using brinmoor::test::ScopedDataHome;
using brinmoor::test::waitUntil;
using State = SheetLogic::CardState;

BRINMOOR_APP_TEST_ENVIRONMENT();

TEST(StatusCard, state_follows_found_then_authed_and_ready_detail_drops_absent_parts)
{
    EXPECT_EQ(SheetLogic::cardState(std::nullopt), State::Checking);
    EXPECT_EQ(SheetLogic::cardState(ProviderInfo{false, QStringLiteral("/x"), QStringLiteral("1"), true}), State::Missing);
    EXPECT_EQ(SheetLogic::cardState(ProviderInfo{true, QStringLiteral("/x"), QStringLiteral("1"), false}), State::NeedsLogin);
    EXPECT_EQ(SheetLogic::cardState(ProviderInfo{true, std::nullopt, std::nullopt, true}), State::Ready);
    // A login shell that did not finish starting: neither missing nor signed out, found or not.
    EXPECT_EQ(SheetLogic::cardState(ProviderInfo{true, QStringLiteral("/x"), std::nullopt, false, QStringLiteral("slow"), true}), State::ShellTimedOut);
    EXPECT_EQ(SheetLogic::cardState(ProviderInfo{false, std::nullopt, std::nullopt, false, QStringLiteral("slow"), true}), State::ShellTimedOut);

    EXPECT_EQ(SheetLogic::readyDetail({true, std::nullopt, std::nullopt, true}), QString());
    EXPECT_EQ(SheetLogic::readyDetail({true, QStringLiteral("/bin/c"), std::nullopt, true}), "/bin/c");
    EXPECT_EQ(SheetLogic::readyDetail({true, std::nullopt, QStringLiteral("2.1"), true}), "2.1");
    EXPECT_EQ(SheetLogic::readyDetail({true, QStringLiteral("/bin/c"), QStringLiteral("2.1"), true}),
              QString::fromUtf8("2.1 · /bin/c"));
    // What QML hands over: null before the first detection, else the record.
    SheetLogic logic;
    EXPECT_EQ(logic.cardStateName(QVariant()), "checking");
    EXPECT_EQ(logic.cardStateName(QVariant::fromValue(ProviderInfo{true, {}, {}, false})), "needsLogin");
    EXPECT_EQ(logic.cardStateName(QVariant::fromValue(ProviderInfo{false, {}, {}, false, QStringLiteral("slow"), true})), "shellTimedOut");
    // Copy, twice: the clipboard holds the command once.
    logic.copyText(QStringLiteral("npm i -g @openai/codex"));
    logic.copyText(QStringLiteral("npm i -g @openai/codex"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "npm i -g @openai/codex");
}

TEST(AddSessionFolders, chosen_folder_goes_on_top_once_and_home_is_abbreviated_only_at_a_boundary)
{
    const QStringList recents{"/a", "/b"};
    EXPECT_EQ(SheetLogic::dirOptions(recents, QString()), recents);
    EXPECT_EQ(SheetLogic::dirOptions(recents, "/b"), recents);
    EXPECT_EQ(SheetLogic::dirOptions(recents, "/c"), (QStringList{"/c", "/a", "/b"}));
    EXPECT_EQ(SheetLogic::dirOptions({}, "/c"), QStringList{"/c"});

    EXPECT_EQ(SheetLogic::displayPath("/home/me/dev/app", "/home/me"), "~/dev/app");
    EXPECT_EQ(SheetLogic::displayPath("/home/me", "/home/me"), "~");
    EXPECT_EQ(SheetLogic::displayPath("/home/meg/app", "/home/me"), "/home/meg/app");
    EXPECT_EQ(SheetLogic::displayPath("/opt/app", "/home/me"), "/opt/app");
    EXPECT_EQ(SheetLogic::displayPath("/srv/x", "/"), "~/srv/x");
}

TEST(WorkspaceNames, blank_gives_untitled_and_only_the_ends_are_trimmed)
{
    EXPECT_EQ(SheetLogic::newWorkspaceName(QString()), "Untitled");
    EXPECT_EQ(SheetLogic::newWorkspaceName(" \t\u00a0 "), "Untitled");
    EXPECT_EQ(SheetLogic::newWorkspaceName("  Q3  "), "Q3");
    EXPECT_EQ(SheetLogic::newWorkspaceName(" Q3 Launch\t"), "Q3 Launch");
    EXPECT_EQ(SheetLogic::newWorkspaceName("Q3\n"), "Q3\n") << "line breaks are not trimmed";
    EXPECT_EQ(SheetLogic::trimPlainSpacesAndTabs("\t My Project \t"), "My Project");
    EXPECT_EQ(SheetLogic::trimPlainSpacesAndTabs("\u00a0x"), "\u00a0x");
}

TEST(FolderChooser, opens_at_the_first_of_the_selected_and_recent_folders_that_is_there_else_home)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir().mkpath(root + "/home");
    QDir().mkpath(root + "/web");
    QDir().mkpath(root + "/api");
    QFile(root + "/file").open(QIODevice::WriteOnly);
    const QString home = root + "/home";
    using F = FolderChooserLogic;
    EXPECT_EQ(F::startFolder(root + "/web", {root + "/api"}, home), root + "/web");
    EXPECT_EQ(F::startFolder(QString(), {root + "/api", root + "/web"}, home), root + "/api");
    EXPECT_EQ(F::startFolder(root + "/gone", {root + "/file", "relative", root + "/web/"}, home), root + "/web");
    EXPECT_EQ(F::startFolder(root + "/gone", {}, home), home);
    EXPECT_EQ(F::startFolder(QString(), {}, root + "/no-home"), QDir::rootPath());
}

TEST(FolderChooser, a_typed_path_loses_blanks_and_quotes_and_is_read_from_the_folder_shown)
{
    const struct {
        const char* typed;
        const char* path;
    } rows[] = {
        {"/srv/app", "/srv/app"},
        {"  /srv/app/ \n", "/srv/app"},
        {"'/srv/my app'", "/srv/my app"},
        {"\"/srv/my app\"", "/srv/my app"},
        {"'/srv/odd\"", "/base/'/srv/odd\""},  // unmatched quotes are part of a relative name
        {"file:///srv/my%20app", "/srv/my app"},
        {"~", "/home/me"},
        {"~/dev", "/home/me/dev"},
        {"~other", "/base/~other"},
        {"sub/dir", "/base/sub/dir"},
        {"../up", "/up"},
        {"/a/./b/../c", "/a/c"},
        {"   ", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FolderChooserLogic::typedPath(QString::fromUtf8(r.typed), "/base", "/home/me"), QString::fromUtf8(r.path))
            << r.typed;
}

TEST(FolderChooser, problems_and_new_folders_say_what_is_wrong_in_the_system_s_words)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir().mkpath(root + "/old");
    QFile(root + "/file").open(QIODevice::WriteOnly);
    using F = FolderChooserLogic;
    EXPECT_EQ(F::folderProblem(root), QString());
    EXPECT_EQ(F::folderProblem(root + "/gone"), "There is no folder at " + root + "/gone.");
    EXPECT_EQ(F::folderProblem(root + "/file"), root + "/file is a file, not a folder.");
    EXPECT_EQ(F::folderProblem(QString()), "Type the path of a folder.");

    EXPECT_EQ(F::makeFolder(root, "  "), "Type a name for the new folder.");
    EXPECT_EQ(F::makeFolder(root, "a/b"), QString::fromUtf8("A folder's name cannot hold “/”."));
    EXPECT_EQ(F::makeFolder(root, ".."), QString::fromUtf8("“..” cannot be a folder's name."));
    EXPECT_EQ(F::makeFolder(root, "old"), QString::fromUtf8("“old” already exists here."));
    EXPECT_EQ(F::makeFolder(root + "/file", "x"), QString::fromUtf8("“x” could not be made: Not a directory."));
    EXPECT_EQ(F::makeFolder(root, " new one "), QString());
    EXPECT_TRUE(QFileInfo(root + "/new one").isDir());
    EXPECT_EQ(F::makeFolder(root, ".hidden"), QString());
    EXPECT_TRUE(QFileInfo(root + "/.hidden").isDir());

    FolderChooserLogic logic;
    EXPECT_EQ(logic.parentOf("/srv/app"), "/srv");
    EXPECT_EQ(logic.parentOf("/srv"), "/");
    EXPECT_EQ(logic.parentOf("/"), QString());
    EXPECT_EQ(FolderChooserLogic::joinPath("/", "srv"), "/srv");
    EXPECT_EQ(FolderChooserLogic::joinPath("/srv", "app"), "/srv/app");
}

TEST(FolderChooser, the_listing_shows_the_latest_folder_asked_for_and_hidden_ones_on_request)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* path : {"/a/Beta", "/a/alpha", "/a/.git", "/b/only", "/empty"})
        QDir().mkpath(root + path);
    QFile(root + "/a/file").open(QIODevice::WriteOnly);
    FolderListing listing;
    const auto names = [&] {
        QStringList out;
        for (int i = 0; i < listing.count(); ++i)
            out << listing.nameAt(i);
        return out;
    };
    // Asked for one folder and then at once for another: the other's folders, whichever read
    // ends first.
    for (int round = 0; round < 20; ++round) {
        listing.setFolder(root + "/a");
        listing.setFolder(root + "/b");
        ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
        EXPECT_EQ(names(), QStringList{"only"});
        listing.setFolder(root);
        ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
    }
    listing.setFolder(root + "/a");
    ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
    EXPECT_EQ(names(), (QStringList{"alpha", "Beta"}));
    EXPECT_EQ(listing.hiddenCount(), 1);
    EXPECT_EQ(listing.indexOf("Beta"), 1);
    listing.setShowHidden(true);
    EXPECT_EQ(names(), (QStringList{".git", "alpha", "Beta"}));
    EXPECT_EQ(listing.hiddenCount(), 0);
    EXPECT_TRUE(listing.isHidden(0));
    EXPECT_FALSE(listing.isHidden(1));
    // A folder that went away, or an empty one: nothing listed.
    for (const char* path : {"/gone", "/empty"}) {
        listing.setFolder(root + path);
        ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
        EXPECT_EQ(listing.count(), 0) << path;
    }
}

// The listing reads the directory's own entries: links to folders count as folders, links to
// files or to nothing do not. Dropped (the chooser closed), it holds nothing until read again.
TEST(FolderChooser, links_to_folders_are_listed_and_a_dropped_listing_is_empty_until_read_again)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir().mkpath(root + "/real");
    QFile(root + "/file").open(QIODevice::WriteOnly);
    const struct {
        const char* name;
        const char* target;
    } links[] = {{"toReal", "real"}, {"toFile", "file"}, {"dangling", "gone"}};
    for (const auto& l : links)
        ASSERT_TRUE(QFile::link(l.target, root + "/" + l.name)) << l.name;
    FolderListing listing;
    listing.setFolder(root);
    ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
    EXPECT_EQ(listing.names(), (QStringList{"real", "toReal"}));

    listing.refresh();
    listing.drop();
    EXPECT_FALSE(listing.loading());
    EXPECT_EQ(listing.count(), 0);
    EXPECT_EQ(listing.nameAt(0), QString());
    listing.refresh();
    ASSERT_TRUE(waitUntil([&] { return !listing.loading(); }));
    EXPECT_EQ(listing.names(), (QStringList{"real", "toReal"}));
}

// The task limit reached as the chooser reads a folder: the read gets no thread, and the listing
// says so at once instead of showing the folder as empty (or loading for good); once tasks are
// free, reading again lists the folders, right-to-left names beside left-to-right ones.
TEST(FolderChooser, a_read_refused_a_thread_says_so_and_the_next_read_lists_the_folder)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(60);
            QTemporaryDir dir;
            QDir().mkpath(dir.path() + "/real");
            QDir().mkpath(dir.path() + QStringLiteral("/מסמכים"));
            FolderListing listing;
            rlimit limit{};
            ::getrlimit(RLIMIT_NPROC, &limit);
            const rlim_t most = limit.rlim_max;
            limit.rlim_cur = 1;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() == 0 && ::setresuid(65534, 65534, 0) != 0))
                std::_Exit(3);
            listing.setFolder(dir.path());
            const bool answered = waitUntil([&] { return !listing.loading(); }, 30000);
            std::fprintf(stderr, "[%d, %d, %s]\n", int(answered), int(listing.count()), qPrintable(listing.problem()));
            limit.rlim_cur = most;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0 || (::getuid() != 0 && ::setresuid(0, 0, 0) != 0))
                std::_Exit(4);
            listing.refresh();
            const bool read = waitUntil([&] { return !listing.loading(); }, 30000);
            std::fprintf(stderr, "[%d, %s, %s]\n", int(read), qPrintable(listing.names().join(u'|')), qPrintable(listing.problem()));
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "\\[1, 0, This folder could not be read: no thread could be started\\.\\]\n"
        "\\[1, real\\|מסמכים, \\]");
}

namespace {

// A temporary HOME whose login profile puts fake tools first on PATH (a login shell resets
// PATH), SHELL=/bin/bash, and a model with its own state and defaults.
class OnboardingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldHome = qgetenv("HOME");
        oldShell = qgetenv("SHELL");
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("SHELL", "/bin/bash");
        QDir().mkpath(dir.path() + "/bin");
        QFile profile(dir.path() + "/.bash_profile");
        ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
        profile.write("export PATH=\"" + QFile::encodeName(dir.path()) + "/bin:$PATH\"\n");
        settings = std::make_unique<QSettings>(dir.path() + "/d.ini", QSettings::IniFormat);
    }
    void TearDown() override
    {
        qputenv("HOME", oldHome);
        qputenv("SHELL", oldShell);
    }
    // A tool that logs each call and answers as signed in.
    void fakeTool(const QString& name, const QByteArray& version)
    {
        QFile f(dir.path() + "/bin/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"" + name.toUtf8() + " $*\" >> \"$HOME/calls\"\n"
                "[ \"$1\" = --version ] && echo '" + version + "'\nexit 0\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QStringList calls() const
    {
        QFile f(dir.path() + "/calls");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    }

    ScopedDataHome data;
    QTemporaryDir dir;
    QByteArray oldHome, oldShell;
    std::unique_ptr<QSettings> settings;
};

} // namespace

TEST_F(OnboardingTest, steps_advance_and_go_back_and_the_last_creates_the_workspace_then_finishes)
{
    AppModel m(Store(false), settings.get());
    ASSERT_TRUE(m.showOnboarding());
    OnboardingFlow flow(&m);
    EXPECT_EQ(flow.stepLabel(), "Welcome");
    flow.back();
    EXPECT_EQ(flow.step(), 0) << "never below the first step";
    flow.advance();
    flow.advance();
    ASSERT_EQ(flow.step(), 2);
    EXPECT_FALSE(flow.canAdvance());
    flow.setWsName(" \t ");
    flow.advance();
    EXPECT_EQ(flow.step(), 2) << "a blank name stays on the name step";
    flow.setWsName("\t My  Project ");
    flow.back();
    flow.advance();
    EXPECT_EQ(flow.wsName(), "\t My  Project ") << "the name survives going back";
    flow.advance();
    ASSERT_EQ(flow.step(), 3);
    EXPECT_EQ(flow.footerTitle(), "Create & open Brinmoor");
    EXPECT_TRUE(m.workspaces().isEmpty());

    // The workspace is added (and saved) before the onboarding ends.
    QStringList order;
    QObject::connect(&m, &AppModel::selectedWorkspaceIDChanged, [&] { order << "workspace"; });
    QObject::connect(&m, &AppModel::showOnboardingChanged, [&] { order << "finished"; });
    flow.advance();
    EXPECT_EQ(order, (QStringList{"workspace", "finished"}));
    ASSERT_EQ(m.workspaces().size(), 1);
    EXPECT_EQ(m.workspaces().first().name, "My  Project");
    EXPECT_EQ(m.workspaces().first().colorHex, "5b8cee");
    EXPECT_TRUE(settings->value(AppInfo::onboardedKey).toBool());
    EXPECT_TRUE(data.readState().contains("My  Project"));
}

TEST_F(OnboardingTest, skip_creates_nothing)
{
    AppModel m(Store(false), settings.get());
    OnboardingFlow flow(&m);
    flow.skip();
    EXPECT_FALSE(m.showOnboarding());
    EXPECT_TRUE(m.workspaces().isEmpty());
    EXPECT_TRUE(settings->value(AppInfo::onboardedKey).toBool());
}

TEST_F(OnboardingTest, detects_claude_and_codex_side_by_side_and_only_tools_not_yet_known)
{
    // Each tool, asked for its version, waits (up to 10 s) for the other to be asked too and says
    // whether it was: probes run one after the other would leave the first alone.
    for (const char* name : {"claude", "codex"}) {
        const QByteArray other = qstrcmp(name, "claude") == 0 ? "codex" : "claude";
        QFile f(dir.path() + "/bin/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"" + QByteArray(name) + " $*\" >> \"$HOME/calls\"\n"
                "[ \"$1\" = --version ] || exit 0\n"
                ": > \"$HOME/" + name + ".asked\"\n"
                "n=0; while [ ! -e \"$HOME/" + other + ".asked\" ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done\n"
                "[ -e \"$HOME/" + other + ".asked\" ] && echo '" + name + " together with " + other + "' >> \"$HOME/calls\"\n"
                "echo '" + (qstrcmp(name, "claude") == 0 ? "2.1.3 (Claude Code)" : "codex-cli 0.9.1") + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    AppModel m(Store(false), settings.get());
    OnboardingFlow flow(&m);
    flow.detectUnknownTools();
    ASSERT_TRUE(waitUntil([&] { return m.claude() && m.codex(); }, 30000));
    const QStringList first = calls();
    EXPECT_TRUE(first.contains("claude together with codex")) << first.join(" | ").toStdString();
    EXPECT_TRUE(first.contains("codex together with claude")) << first.join(" | ").toStdString();
    EXPECT_EQ(m.claude()->path, dir.path() + "/bin/claude");
    EXPECT_EQ(m.claude()->version, "2.1.3 (Claude Code)");
    EXPECT_EQ(m.codex()->version, "codex-cli 0.9.1");

    // Both known: a new onboarding probes nothing.
    OnboardingFlow again(&m);
    again.detectUnknownTools();
    EXPECT_EQ(calls(), first);
}

// Debian's ~/.profile sourcing a ~/.bashrc that waits (a passphrase prompt, a dead network
// folder), with both tools installed at ~/.local/bin: each detection is ended at its limit
// (BRINMOOR_PROBE_LIMIT_MS here, 15 s otherwise) before the shell printed a word, and neither card
// says "not found": each names the tool's path and says the shell did not start in time. The path
// goes to the chat host, which starts it. The ordinary detection beside it finds the tools whole.
TEST_F(OnboardingTest, a_login_shell_that_does_not_finish_starting_never_makes_an_installed_tool_missing)
{
    fakeTool("claude", "2.1.3 (Claude Code)");
    fakeTool("codex", "codex-cli 0.9.1");
    QStringList installed;
    for (const QString name : {"claude", "codex"}) {
        installed << dir.path() + "/.local/bin/" + name;
        QDir().mkpath(dir.path() + "/.local/bin");
        ASSERT_TRUE(QFile::rename(dir.path() + "/bin/" + name, installed.last()));
    }
    SheetLogic logic;
    {
        AppModel m(Store(false), settings.get());
        OnboardingFlow(&m).detectUnknownTools();
        ASSERT_TRUE(waitUntil([&] { return m.claude() && m.codex(); }));
        EXPECT_EQ(logic.cardStateName(QVariant::fromValue(ProviderInfo(*m.claude()))), "ready");
        EXPECT_EQ(m.codex()->path, installed.at(1));
        EXPECT_EQ(m.codex()->version, "codex-cli 0.9.1");
    }

    QFile::remove(dir.path() + "/.bash_profile");
    QFile profile(dir.path() + "/.profile"), rc(dir.path() + "/.bashrc");
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly) && rc.open(QIODevice::WriteOnly));
    profile.write("if [ -n \"$BASH_VERSION\" ] && [ -f \"$HOME/.bashrc\" ]; then . \"$HOME/.bashrc\"; fi\n");
    rc.write("sleep 600\n");
    profile.close();
    rc.close();
    qputenv("BRINMOOR_PROBE_LIMIT_MS", "1000");
    AppModel m(Store(false), settings.get());
    OnboardingFlow(&m).detectUnknownTools();
    const bool both = waitUntil([&] { return m.claude() && m.codex(); });
    qunsetenv("BRINMOOR_PROBE_LIMIT_MS");
    ASSERT_TRUE(both);
    const ProviderInfo records[] = {*m.claude(), *m.codex()};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(logic.cardStateName(QVariant::fromValue(records[i])), "shellTimedOut");
        EXPECT_TRUE(records[i].found);
        EXPECT_EQ(records[i].path, installed.at(i));
        EXPECT_EQ(records[i].problem,
                  installed.at(i) + QStringLiteral(": the login shell did not finish starting within 1 s, so its version and sign-in were not checked."));
    }
    EXPECT_EQ(ChatHost::shared().claudePath, installed.at(0));
    EXPECT_EQ(ChatHost::shared().codexPath, installed.at(1));
}

TEST_F(OnboardingTest, a_login_runs_without_a_time_limit_and_ends_with_its_group_when_the_model_goes)
{
    QFile f(dir.path() + "/bin/claude");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n[ \"$1 $2\" = 'auth login' ] && echo $$ > \"$HOME/login.pid\" && exec sleep 600\n[ \"$1\" = --version ] && echo 2.0\n"
            "[ \"$1\" = auth ] && echo 'Not logged in'\nexit 0\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile pidFile(dir.path() + "/login.pid");
    {
        AppModel m(Store(false), settings.get());
        m.login(ChatProvider::Claude);
        EXPECT_TRUE(m.claudeLoggingIn());
        ASSERT_TRUE(waitUntil([&] { return pidFile.exists() && pidFile.size() > 0; }, 15000));
        // A second click while the sign-in runs starts nothing.
        m.login(ChatProvider::Claude);
        EXPECT_TRUE(m.claudeLoggingIn());
    }
    // The model went (its window closed): the tool the shell was waiting for went with it (gone,
    // or a zombie awaiting its reaper).
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const QString stat = QStringLiteral("/proc/%1/stat").arg(pidFile.readAll().trimmed().toInt());
    EXPECT_TRUE(waitUntil([&] {
        QFile f(stat);
        return !f.open(QIODevice::ReadOnly) || f.readAll().contains(") Z ");
    }, 3000));
}

// A folder whose name is no UTF-8 text is listed with U+FFFD for its bytes; opened, it is refused
// with the reason, never "There is no folder" for a folder on screen. A folder whose name holds a
// real U+FFFD opens, and a missing one is still missing.
TEST(FolderChooser, a_folder_named_in_bytes_that_are_no_text_is_refused_with_the_reason)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QByteArray native = QFile::encodeName(root);
    ASSERT_EQ(::mkdir((native + "/bad\xff\xfename").constData(), 0755), 0);
    ASSERT_EQ(::mkdir((native + "/ok\xef\xbf\xbd").constData(), 0755), 0);
    ASSERT_EQ(::mkdir((native + "/bad\xff\xfename/inner").constData(), 0755), 0);
    const QString shown = root + QString::fromUtf8("/bad\uFFFD\uFFFDname");
    using F = FolderChooserLogic;
    const struct {
        QString path, said;
    } cases[] = {
        {shown, shown + " cannot be opened: its name is not UTF-8 text, so it cannot be passed on as a path."},
        {shown + "/inner", shown + "/inner cannot be opened: its name is not UTF-8 text, so it cannot be passed on as a path."},
        {root + QString::fromUtf8("/ok\uFFFD"), QString()},
        {root + QString::fromUtf8("/gone\uFFFD"), "There is no folder at " + root + QString::fromUtf8("/gone\uFFFD.")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(F::folderProblem(c.path), c.said) << qPrintable(c.path);
}

// A path or name in the chooser's sentences: isolated, its hidden characters and line breaks as
// marks, so an override cannot turn the words after it around.
TEST(FolderChooser, problems_show_hidden_characters_in_names_as_marks)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString fsi = QString(QChar(0x2068)), pdi = QString(QChar(0x2069));
    const QString spoofed = QString::fromUtf8("lit\u202Eeral");
    QDir().mkpath(root + "/" + spoofed);
    QFile(root + "/new\nline").open(QIODevice::WriteOnly);
    using F = FolderChooserLogic;
    const struct {
        QString problem, said;
    } cases[] = {
        {F::folderProblem(root + "/rlo\u202Egpj.exe"), "There is no folder at " + fsi + root + "/rlo<U+202E>gpj.exe" + pdi + "."},
        {F::folderProblem(root + "/new\nline"), fsi + root + "/new<U+000A>line" + pdi + " is a file, not a folder."},
        {F::folderProblem(root + "/" + spoofed), QString()},
        {F::makeFolder(root, spoofed), QString::fromUtf8("“") + fsi + "lit<U+202E>eral" + pdi + QString::fromUtf8("” already exists here.")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.problem, c.said);
}
