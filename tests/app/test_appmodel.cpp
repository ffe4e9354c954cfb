// AppModel: start-up, the save matrix, the host hooks, session and workspace operations, and the
// list models' row-level changes.

#include "AppInfo.h"
#include "AppModel.h"
#include "Assets.h"
#include "ChatHost.h"
#include "ProjectColorRegistry.h"
#include "TerminalHost.h"
#include "support/RecordingHosts.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

using namespace brinmoor;
using brinmoor::test::ScopedDataHome;
using brinmoor::test::waitUntil;

BRINMOOR_APP_TEST_ENVIRONMENT();

namespace {

class AppModelTest : public ::testing::Test {
protected:
    AppModelTest()
        : settings(settingsDir.path() + QStringLiteral("/defaults.ini"), QSettings::IniFormat)
    {
    }

    // A model over whatever state file the data home holds now.
    std::unique_ptr<AppModel> makeModel()
    {
        auto m = std::make_unique<AppModel>(Store(false), &settings);
        saves = std::make_unique<QSignalSpy>(m.get(), &AppModel::stateSaved);
        return m;
    }

    // A model with two workspaces: "A" (selected) with three terminal sessions, "B" with one.
    std::unique_ptr<AppModel> populated()
    {
        auto m = makeModel();
        m->addWorkspace(QStringLiteral("A"), QStringLiteral("5b8cee"));
        m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/src/one"), false, ChatProvider::Claude);
        m->addSession(PaneKind::Chat, QStringLiteral("Two"), QStringLiteral("/src/two"), true, ChatProvider::Codex);
        m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/src/three"), false, ChatProvider::Claude);
        a = m->workspaces()[0].id;
        m->addWorkspace(QStringLiteral("B"), QStringLiteral("e0a84f"));
        m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/src/four"), false, ChatProvider::Claude);
        b = m->workspaces()[1].id;
        m->selectWorkspace(a);
        saves->clear();
        return m;
    }

    QUuid sessionAt(const AppModel& m, int w, int s) const { return m.workspaces()[w].sessions[s].id; }

    ScopedDataHome home;
    QTemporaryDir settingsDir;
    QSettings settings;
    std::unique_ptr<QSignalSpy> saves;
    QUuid a, b;
};

} // namespace

// --- Start-up -------------------------------------------------------------------------------

TEST_F(AppModelTest, first_run_starts_empty_with_onboarding_unless_the_flag_is_set)
{
    {
        auto m = makeModel();
        EXPECT_TRUE(m->workspaces().isEmpty());
        EXPECT_FALSE(m->selectedWorkspaceID());
        EXPECT_TRUE(m->showOnboarding());
        EXPECT_EQ(m->themePreference(), ThemePreference::Dark);
        EXPECT_FALSE(m->claude());
        EXPECT_EQ(saves->count(), 0);  // start-up writes nothing
    }
    settings.setValue(QLatin1String(AppInfo::onboardedKey), true);
    auto m = makeModel();
    EXPECT_FALSE(m->showOnboarding());
}

TEST_F(AppModelTest, damaged_state_starts_with_what_could_be_read_and_a_notice)
{
    {
        auto m = populated();  // three sessions in "A", one in "B"
    }
    // The second session of "A" loses a required key, "B" gets an unknown kind of pane.
    QByteArray bytes = home.readState();
    const qsizetype second = bytes.indexOf("\"muted\"", bytes.indexOf("\"muted\"") + 1);
    bytes.replace(second, 7, "\"mute_\"");
    bytes.replace("\"kind\" : \"terminal\",\n          \"muted\" : false,\n          \"project\" : \"four\"",
                  "\"kind\" : \"chatx\",\n          \"muted\" : false,\n          \"project\" : \"four\"");
    home.writeState(bytes);
    testing::internal::CaptureStderr();
    auto m = makeModel();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(m->workspaces().size(), 2);
    EXPECT_EQ(m->workspaces()[0].sessions.size(), 2);
    EXPECT_TRUE(m->workspaces()[1].sessions.isEmpty());
    EXPECT_FALSE(m->showOnboarding());
    EXPECT_TRUE(m->startupNotice().startsWith(QStringLiteral("2 sessions could not be read"))) << m->startupNotice().toStdString();
    QSignalSpy changed(m.get(), &AppModel::startupNoticeChanged);
    m->dismissStartupNotice();
    EXPECT_TRUE(m->startupNotice().isEmpty());
    EXPECT_EQ(changed.count(), 1);

    // Not JSON at all: the fresh start of a first run, with the notice naming the moved file.
    home.writeState("{ not json");
    testing::internal::CaptureStderr();
    auto fresh = makeModel();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fresh->workspaces().isEmpty());
    EXPECT_TRUE(fresh->showOnboarding());
    EXPECT_TRUE(fresh->startupNotice().contains(QStringLiteral("state.json.unreadable-")));
}

TEST_F(AppModelTest, restart_restores_workspaces_selection_and_recents)
{
    {
        auto m = populated();
        m->selectWorkspace(b);
    }
    auto m = makeModel();
    ASSERT_EQ(m->workspaces().size(), 2);
    EXPECT_EQ(m->selectedWorkspaceID(), b);
    EXPECT_EQ(m->recents().first(), QStringLiteral("/src/four"));
    EXPECT_FALSE(m->showOnboarding());  // there are workspaces: the flag is not consulted
    for (const Session& s : m->workspaces()[0].sessions)
        EXPECT_EQ(s.state, PaneState::Idle);
}

// A save that fails leaves the state unsaved: the window is told why (once, not per try), and the
// state is written again after a back-off, with the next change and at quit, until it is written;
// nothing changed meanwhile is lost.
TEST_F(AppModelTest, a_failed_save_is_tried_again_until_written_and_says_why_meanwhile)
{
    struct Retry {
        int saved = AppModel::saveRetryMs;
        ~Retry() { AppModel::saveRetryMs = saved; }
    } retry;
    // A folder where the file should be: every write fails, whoever runs the test.
    const auto block = [&] {
        QFile::remove(home.statePath());
        return QDir().mkpath(home.statePath() + QStringLiteral("/in-the-way"));
    };
    const auto unblock = [&] { QDir(home.statePath()).removeRecursively(); };
    const QString folder = QFileInfo(home.statePath()).path();
    {
        auto m = populated();
        ASSERT_TRUE(block());
        AppModel::saveRetryMs = 20;
        QSignalSpy told(m.get(), &AppModel::saveFailureChanged);
        m->addSession(PaneKind::Chat, QStringLiteral("added while failing"), QStringLiteral("/src/five"), false, ChatProvider::Claude);
        EXPECT_TRUE(m->hasUnsavedChanges());
        EXPECT_EQ(m->saveFailure(), QStringLiteral("Changes can't be saved to %1: Is a directory. Brinmoor keeps trying and saves them once it can.").arg(folder));
        ASSERT_TRUE(waitUntil([&] { return saves->count() >= 4; }));  // the first try and three more
        EXPECT_EQ(told.count(), 1);
        unblock();
        ASSERT_TRUE(waitUntil([&] { return m->saveFailure().isEmpty(); }));
        EXPECT_FALSE(m->hasUnsavedChanges());
    }
    {
        auto m = makeModel();
        ASSERT_EQ(m->workspaces()[0].sessions.size(), 4);
        EXPECT_EQ(m->workspaces()[0].sessions[3].project, QStringLiteral("added while failing"));
        EXPECT_TRUE(m->saveFailure().isEmpty());

        // The folder comes back before the next try: quitting writes what is still unsaved, also
        // a change whose caller had not saved it yet.
        AppModel::saveRetryMs = 600000;
        ASSERT_TRUE(block());
        const QUuid first = sessionAt(*m, 0, 0);
        m->rename(first, QStringLiteral("renamed while failing"));
        m->save();
        EXPECT_FALSE(m->saveFailure().isEmpty());
        m->toggleMute(first);
        unblock();
    }
    auto m = makeModel();
    EXPECT_EQ(m->workspaces()[0].sessions[0].project, QStringLiteral("renamed while failing"));
    EXPECT_TRUE(m->workspaces()[0].sessions[0].muted);
}

// At quit, what is unsaved is tried once more; only when that fails too does the window ask,
// saying where and why.
TEST_F(AppModelTest, quitting_tries_once_more_and_says_what_cannot_be_saved)
{
    struct Retry {
        int saved = AppModel::saveRetryMs;
        ~Retry() { AppModel::saveRetryMs = saved; }
    } retry;
    AppModel::saveRetryMs = 600000;
    auto m = populated();
    EXPECT_TRUE(m->saveBeforeQuit());
    EXPECT_EQ(m->unsavedChangesText(), QString());
    QFile::remove(home.statePath());
    ASSERT_TRUE(QDir().mkpath(home.statePath() + QStringLiteral("/in-the-way")));
    m->renameWorkspace(a, QStringLiteral("Renamed"));
    saves->clear();
    EXPECT_FALSE(m->saveBeforeQuit());
    EXPECT_EQ(saves->count(), 1);  // the one more try
    EXPECT_EQ(m->unsavedChangesText(),
              QStringLiteral("Your latest changes to workspaces and panes could not be saved to %1: Is a directory. If you quit now, they are lost.")
                  .arg(QFileInfo(home.statePath()).path()));
    QDir(home.statePath()).removeRecursively();
    EXPECT_TRUE(m->saveBeforeQuit());
    EXPECT_TRUE(home.readState().contains("\"name\" : \"Renamed\""));
}

// Every way a name, path or id enters the model holds it to what a load takes, so the file the
// app writes reads back whole at the next start: no notice, no copy set aside.
TEST_F(AppModelTest, names_and_ids_taken_in_read_back_whole_at_the_next_start)
{
    const QString name300(300, QLatin1Char('n'));
    // A surrogate pair across the bound is not split.
    const QString straddling = QString(255, QLatin1Char('p')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("tail");
    const QString farPath = QStringLiteral("/") + QString(5000, QLatin1Char('d'));
    {
        auto m = populated();
        m->addWorkspace(name300, QString(40, QLatin1Char('c')));
        m->renameWorkspace(a, QString(10000, QLatin1Char('w')));
        m->setWorkspaceColor(b, QStringLiteral("not a colour at all"));
        const QUuid pane = sessionAt(*m, 0, 0), chat = sessionAt(*m, 0, 1);
        m->rename(pane, straddling);
        m->selectWorkspace(a);
        EXPECT_TRUE(m->addSession(PaneKind::Terminal, name300, QStringLiteral("/src/x"), false, ChatProvider::Claude));
        EXPECT_FALSE(m->addSession(PaneKind::Terminal, std::nullopt, farPath, false, ChatProvider::Claude));
        m->rememberRecent(farPath);
        ChatHost::shared().reportSessionId(chat, QStringLiteral("conv-1"));
        ChatHost::shared().reportSessionId(chat, QString(200, QLatin1Char('i')));
        m->resumeChat(chat, QStringLiteral("has a space"));
        ChatHost::shared().reportFigures(chat, ChatFigures{.costUsd = std::numeric_limits<double>::infinity(), .tokensIn = 5});
        ChatHost::shared().reportFigures(chat, ChatFigures{.costUsd = 0.5, .tokensIn = -1});
        m->save();
    }
    auto m = makeModel();
    EXPECT_EQ(m->startupNotice(), QString());
    EXPECT_EQ(QDir(QFileInfo(home.statePath()).path()).entryList({QStringLiteral("state.json.*")}), QStringList());
    EXPECT_EQ(m->workspaces()[0].name, QString(256, QLatin1Char('w')));
    EXPECT_EQ(m->workspaces()[1].colorHex, QStringLiteral("e0a84f"));
    EXPECT_EQ(m->workspaces()[2].name, name300.left(256));
    EXPECT_EQ(m->workspaces()[2].colorHex, QStringLiteral("5b8cee"));
    const QList<Session>& panes = m->workspaces()[0].sessions;
    EXPECT_EQ(panes[0].project, straddling.left(255));
    EXPECT_EQ(panes[1].claudeSessionId, QStringLiteral("conv-1"));
    EXPECT_TRUE(panes[1].figures.isEmpty());
    ASSERT_EQ(panes.size(), 4);
    EXPECT_EQ(panes[3].project, name300.left(256));
    EXPECT_FALSE(m->recents().contains(farPath));
}

TEST_F(AppModelTest, saved_selection_naming_no_workspace_is_kept_and_blocks_adding_sessions)
{
    Store::Snapshot snap;
    Workspace w;
    w.id = QUuid::createUuid();
    w.name = QStringLiteral("W");
    snap.workspaces = {w};
    const QUuid ghost = QUuid::createUuid();
    snap.selected = ghost;
    Store(false).save(snap);

    auto m = makeModel();
    EXPECT_EQ(m->selectedWorkspaceID(), ghost);
    EXPECT_FALSE(m->selectedWorkspaceIndex());
    EXPECT_EQ(m->selectedSessions(), nullptr);
    EXPECT_FALSE(m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/x"), false, ChatProvider::Claude));
    EXPECT_EQ(saves->count(), 0);

    snap.selected.reset();
    Store(false).save(snap);
    auto again = makeModel();
    EXPECT_EQ(again->selectedWorkspaceID(), w.id);
}

TEST_F(AppModelTest, start_up_registers_project_folders_in_saved_order)
{
    const QString tag = QUuid::createUuid().toString();
    Store::Snapshot snap;
    for (int w = 0; w < 2; ++w) {
        Workspace ws;
        ws.id = QUuid::createUuid();
        for (int s = 0; s < 2; ++s) {
            Session se;
            se.id = QUuid::createUuid();
            se.directory = tag + QString::number(w * 2 + s);
            ws.sessions.append(se);
        }
        snap.workspaces.append(ws);
    }
    Store(false).save(snap);
    auto m = makeModel();
    const int first = ProjectColorRegistry::shared().index(tag + QStringLiteral("0"));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(ProjectColorRegistry::shared().index(tag + QString::number(i)), first + i);
}

// --- The save matrix ----------------------------------------------------------------------------

TEST_F(AppModelTest, structural_operations_save_once_and_runtime_operations_never)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0);
    const QUuid s1 = sessionAt(*m, 0, 1);
    const QUuid s2 = sessionAt(*m, 0, 2);
    struct Op {
        const char* name;
        std::function<void()> run;
        int saves;
    };
    const Op ops[] = {
        {"addSession", [&] { m->addSession(PaneKind::Terminal, std::nullopt, "/n", false, ChatProvider::Claude); }, 1},
        {"selectWorkspace", [&] { m->selectWorkspace(a); }, 1},
        {"setGridLayout", [&] { m->setGridLayout(2, 3); }, 1},
        {"swapSessions", [&] { m->swapSessions(s0, s1); }, 1},
        {"setBigSide", [&] { m->setBigSide(true); }, 1},
        {"renameWorkspace", [&] { m->renameWorkspace(a, "A2"); }, 1},
        {"setWorkspaceColor", [&] { m->setWorkspaceColor(a, "ff0000"); }, 1},
        {"finishOnboarding", [&] { m->finishOnboarding(); }, 1},
        {"terminal exit", [&] { TerminalHost::shared().reportExit(s2, 0); }, 1},
        {"conversation id", [&] { ChatHost::shared().reportSessionId(s1, "conv-1"); }, 1},
        {"chat state", [&] { ChatHost::shared().reportState(s1, PaneState::Running); }, 0},
        {"stop", [&] { m->stop(s0); }, 0},
        {"restart", [&] { m->restart(s0); }, 0},
        {"approve", [&] { m->approve(s0); }, 0},
        {"deny", [&] { m->deny(s0); }, 0},
        {"toggleMute", [&] { m->toggleMute(s0); }, 0},
        {"rename", [&] { m->rename(s0, "renamed"); }, 0},
        {"resumeChat", [&] { m->resumeChat(s1, "conv-2"); }, 0},
        {"setAutoCompact", [&] { m->setAutoCompact(s1, false); }, 0},
        {"toggleMaximize", [&] { m->toggleMaximize(s0); }, 0},
        {"focusPane", [&] { m->focusPane(s0); }, 0},
        {"blurPane", [&] { m->blurPane(s0); }, 0},
        {"beginDrag", [&] { m->beginDrag(s0); }, 0},
        {"endDrag", [&] { m->endDrag(); }, 0},
        {"rememberRecent", [&] { m->rememberRecent("/r"); }, 0},
        {"close", [&] { m->close(s0); }, 1},
        {"deleteWorkspace", [&] { m->deleteWorkspace(b); }, 1},
        {"addWorkspace", [&] { m->addWorkspace("C", "5b8cee"); }, 1},
    };
    for (const Op& op : ops) {
        saves->clear();
        op.run();
        EXPECT_EQ(saves->count(), op.saves) << op.name;
    }
}

TEST_F(AppModelTest, operations_on_unknown_ids_change_nothing_and_save_only_where_told)
{
    auto m = populated();
    const QUuid nobody = QUuid::createUuid();
    const QByteArray before = home.readState();
    m->stop(nobody);
    m->toggleMute(nobody);
    m->renameWorkspace(nobody, "x");
    m->setWorkspaceColor(nobody, "000000");
    m->deleteWorkspace(nobody);
    m->swapSessions(nobody, sessionAt(*m, 0, 0));
    EXPECT_EQ(saves->count(), 0);
    EXPECT_EQ(home.readState(), before);
    // Closing an unknown id, an exit report and a conversation id for a closed pane still write.
    m->close(nobody);
    TerminalHost::shared().reportExit(nobody, 3);
    ChatHost::shared().reportSessionId(nobody, "c");
    EXPECT_EQ(saves->count(), 3);
    // Grid settings save even with nothing selected.
    m->selectWorkspace(nobody);
    saves->clear();
    m->setGridLayout(std::nullopt, 2);
    m->setBigSide(true);
    EXPECT_EQ(saves->count(), 2);
}

// --- Host hooks ---------------------------------------------------------------------------------

TEST_F(AppModelTest, terminal_exit_marks_stopped_or_error_clears_cost_and_is_saved)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0);
    struct Row {
        std::optional<int32_t> code;
        PaneState state;
    } rows[] = {{0, PaneState::Stopped}, {1, PaneState::Error}, {std::nullopt, PaneState::Stopped}, {-9, PaneState::Error}};
    for (const Row& r : rows) {
        m->restart(s0);
        saves->clear();
        TerminalHost::shared().reportExit(s0, r.code);
        EXPECT_EQ(m->session(s0)->state, r.state);
        EXPECT_TRUE(m->session(s0)->cost.isEmpty());
        EXPECT_EQ(saves->count(), 1);
    }
}

TEST_F(AppModelTest, entering_awaiting_alerts_only_for_an_unmuted_existing_session)
{
    auto m = populated();
    const QUuid chat = sessionAt(*m, 0, 1);
    int plays = AlertSound::playCount();
    ChatHost::shared().reportState(chat, PaneState::Awaiting);
    EXPECT_EQ(m->session(chat)->state, PaneState::Awaiting);
    EXPECT_EQ(AlertSound::playCount(), ++plays);
    ChatHost::shared().reportState(chat, PaneState::Running);
    EXPECT_EQ(AlertSound::playCount(), plays);
    m->toggleMute(chat);
    ChatHost::shared().reportState(chat, PaneState::Awaiting);
    EXPECT_EQ(m->session(chat)->state, PaneState::Awaiting);
    EXPECT_EQ(AlertSound::playCount(), plays);
    ChatHost::shared().reportState(QUuid::createUuid(), PaneState::Awaiting);
    EXPECT_EQ(AlertSound::playCount(), plays);
    EXPECT_EQ(saves->count(), 0);
    // The queued playback runs without an audio device and without crashing.
    QTest::qWait(50); // a moment for that playback to run
}

TEST_F(AppModelTest, conversation_id_is_stored_and_written)
{
    auto m = populated();
    const QUuid chat = sessionAt(*m, 0, 1);
    ChatHost::shared().reportSessionId(chat, QStringLiteral("conv/77"));
    EXPECT_EQ(m->session(chat)->claudeSessionId, QStringLiteral("conv/77"));
    EXPECT_TRUE(home.readState().contains("\"claudeSessionId\" : \"conv\\/77\""));
}

TEST_F(AppModelTest, hooks_of_a_destroyed_model_do_nothing)
{
    {
        auto m = populated();
    }
    TerminalHost::shared().reportExit(QUuid::createUuid(), 0);
    ChatHost::shared().reportState(QUuid::createUuid(), PaneState::Awaiting);
    ChatHost::shared().reportSessionId(QUuid::createUuid(), "x");
    SUCCEED();
}

// --- Session operations -------------------------------------------------------------------------

TEST_F(AppModelTest, add_session_names_it_after_its_folder_and_remembers_the_folder)
{
    auto m = populated();
    ASSERT_TRUE(m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/home/me/src/app/"), false,
                              ChatProvider::Claude));
    const Session s = m->workspaces()[0].sessions.last();
    EXPECT_EQ(s.project, QStringLiteral("app"));
    EXPECT_EQ(s.sessionLabel, QStringLiteral("session 1"));
    EXPECT_EQ(s.state, PaneState::Idle);
    EXPECT_TRUE(s.autoCompact);
    EXPECT_FALSE(s.muted);
    EXPECT_EQ(m->recents().first(), QStringLiteral("/home/me/src/app/"));
    EXPECT_EQ(m->workspaces()[0].sessions[1].project, QStringLiteral("Two"));
    EXPECT_EQ(m->workspaces()[0].sessions[1].provider, ChatProvider::Codex);
}

TEST_F(AppModelTest, close_stop_and_restart_end_the_runtime_and_adjust_maximize)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0), s1 = sessionAt(*m, 0, 1), s2 = sessionAt(*m, 0, 2);
    test::RecordingTerminalHost terms;
    test::RecordingChatHost chats;
    terms.live = {s0, s2};
    chats.live = {s1};

    m->toggleMaximize(s1);
    m->close(s0);  // another pane: the maximized one stays
    EXPECT_FALSE(m->session(s0));
    EXPECT_EQ(m->maximizedSessionID(), s1);
    EXPECT_TRUE(terms.dropped.contains(s0));
    EXPECT_FALSE(terms.views().contains(s0));
    // The ended shell's late exit report reaches nothing of the closed pane.
    m->close(s1);
    EXPECT_FALSE(m->maximizedSessionID());
    EXPECT_TRUE(chats.stopped.contains(s1));

    m->toggleMaximize(s2);
    m->stop(s2);
    EXPECT_EQ(m->session(s2)->state, PaneState::Stopped);
    EXPECT_TRUE(terms.dropped.contains(s2));
    EXPECT_EQ(m->maximizedSessionID(), s2);  // stop leaves the maximized pane
    m->restart(s2);
    EXPECT_EQ(m->session(s2)->state, PaneState::Running);
    EXPECT_FALSE(m->maximizedSessionID());
    // Only the closed panes are gone for good: a stop or a restart keeps what the pane holds
    // beyond its session (its unsent draft).
    EXPECT_EQ(chats.droppedPanes, (QList<QUuid>{s0, s1}));
}

TEST_F(AppModelTest, toggle_maximize_switches_and_returns)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0), s1 = sessionAt(*m, 0, 1);
    m->toggleMaximize(s0);
    EXPECT_EQ(m->maximizedSessionID(), s0);
    m->toggleMaximize(s1);
    EXPECT_EQ(m->maximizedSessionID(), s1);
    m->toggleMaximize(s1);
    EXPECT_FALSE(m->maximizedSessionID());
}

TEST_F(AppModelTest, blur_clears_focus_after_the_delay_only_for_the_same_pane)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0), s1 = sessionAt(*m, 0, 1);
    QSignalSpy focusChanges(m.get(), &AppModel::focusedSessionIDChanged);
    m->focusPane(s0);
    m->focusPane(s0);  // equal: nothing written
    EXPECT_EQ(focusChanges.count(), 1);

    m->blurPane(s0);
    EXPECT_EQ(m->focusedSessionID(), s0);  // not at once
    m->focusPane(s1);                      // focus moves within the delay
    QTest::qWait(200); // past the delay: the earlier blur must not land
    EXPECT_EQ(m->focusedSessionID(), s1);

    m->blurPane(s1);
    EXPECT_TRUE(waitUntil([&] { return !m->focusedSessionID().has_value(); }, 2000));
}

// --- Workspaces, grid settings, drag, recents ---------------------------------------------------------

TEST_F(AppModelTest, rename_workspace_trims_spaces_and_tabs_but_not_line_breaks)
{
    auto m = populated();
    m->renameWorkspace(a, QStringLiteral("  Web\t"));
    EXPECT_EQ(m->workspaces()[0].name, QStringLiteral("Web"));
    m->renameWorkspace(a, QStringLiteral("\u00a0\u2003Docs\u00a0"));  // Unicode spaces count too
    EXPECT_EQ(m->workspaces()[0].name, QStringLiteral("Docs"));
    saves->clear();
    m->renameWorkspace(a, QStringLiteral("   \t "));
    EXPECT_EQ(m->workspaces()[0].name, QStringLiteral("Docs"));
    EXPECT_EQ(saves->count(), 0);
    m->renameWorkspace(a, QStringLiteral(" \nNotes\n "));
    EXPECT_EQ(m->workspaces()[0].name, QStringLiteral("\nNotes\n"));
    // Renaming to the same name still saves (the trimmed name is non-empty).
    saves->clear();
    m->renameWorkspace(a, QStringLiteral("\nNotes\n"));
    EXPECT_EQ(saves->count(), 1);
}

TEST_F(AppModelTest, grid_layout_clamps_rows_and_stores_columns_unchanged)
{
    auto m = populated();
    m->setGridLayout(3, 0);
    EXPECT_EQ(m->workspaces()[0].forcedColumns, 3);
    EXPECT_EQ(m->workspaces()[0].maxRows, 1);
    m->setGridLayout(std::nullopt, 9);
    EXPECT_FALSE(m->workspaces()[0].forcedColumns);
    EXPECT_EQ(m->workspaces()[0].maxRows, 4);
    m->setBigSide(true);
    EXPECT_TRUE(m->workspaces()[0].bigSideLeft);
    EXPECT_FALSE(m->workspaces()[1].bigSideLeft);
}

TEST_F(AppModelTest, delete_workspace_selection_rules_and_runtimes)
{
    auto m = populated();
    m->addWorkspace(QStringLiteral("C"), QStringLiteral("5b8cee"));
    const QUuid c = m->workspaces()[2].id;
    const QUuid inB = sessionAt(*m, 1, 0);
    m->selectWorkspace(b);
    m->toggleMaximize(inB);
    test::RecordingTerminalHost terms;
    test::RecordingChatHost chats;
    terms.live.insert(inB);

    // Deleting one that is not selected keeps the selection and the maximized pane.
    m->deleteWorkspace(c);
    EXPECT_EQ(m->selectedWorkspaceID(), b);
    EXPECT_EQ(m->maximizedSessionID(), inB);

    // Deleting the selected one selects the first remaining (not the neighbour), leaves the
    // maximized view and ends every pane's runtime.
    const QList<QUuid> sessionsOfA = {sessionAt(*m, 0, 0), sessionAt(*m, 0, 1), sessionAt(*m, 0, 2)};
    for (const QUuid& id : sessionsOfA)
        terms.live.insert(id);
    chats.live.insert(sessionsOfA[1]);
    m->deleteWorkspace(b);
    EXPECT_EQ(m->selectedWorkspaceID(), a);
    EXPECT_FALSE(m->maximizedSessionID());
    EXPECT_TRUE(terms.dropped.contains(inB));

    m->deleteWorkspace(a);
    EXPECT_FALSE(m->selectedWorkspaceID());
    EXPECT_TRUE(m->workspaces().isEmpty());
    for (const QUuid& id : sessionsOfA) {
        EXPECT_TRUE(terms.dropped.contains(id));
        EXPECT_FALSE(terms.views().contains(id));
    }
    EXPECT_TRUE(chats.stopped.contains(sessionsOfA[1]));
    EXPECT_FALSE(chats.sessions().contains(sessionsOfA[1]));
    for (const QUuid& id : sessionsOfA)
        EXPECT_TRUE(chats.droppedPanes.contains(id));
    EXPECT_TRUE(chats.droppedPanes.contains(inB));
}

TEST_F(AppModelTest, swap_sessions_moves_whole_records_and_refuses_the_impossible)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0), s2 = sessionAt(*m, 0, 2), inB = sessionAt(*m, 1, 0);
    m->swapSessions(s0, s2);
    EXPECT_EQ(sessionAt(*m, 0, 0), s2);
    EXPECT_EQ(sessionAt(*m, 0, 2), s0);
    EXPECT_EQ(saves->count(), 1);

    saves->clear();
    m->swapSessions(s0, s0);         // with itself
    m->swapSessions(s0, inB);        // with another workspace's pane
    m->swapSessions(QUuid(), s0);    // with nothing
    m->selectWorkspace(QUuid::createUuid());
    saves->clear();
    m->swapSessions(s0, s2);         // no selected workspace
    EXPECT_EQ(saves->count(), 0);
}

TEST_F(AppModelTest, drag_begins_and_ends_also_without_a_drop)
{
    auto m = populated();
    const QUuid s0 = sessionAt(*m, 0, 0);
    m->setDropTarget(DropTarget::side(true));
    m->beginDrag(s0);
    EXPECT_EQ(m->draggingSessionID(), s0);
    EXPECT_FALSE(m->dropTarget());
    m->setDropTarget(DropTarget::swap(sessionAt(*m, 0, 1)));
    m->endDrag();  // a cancelled drag
    EXPECT_FALSE(m->draggingSessionID());
    EXPECT_FALSE(m->dropTarget());
}

TEST_F(AppModelTest, recents_keep_eight_most_recent_first_without_duplicates)
{
    auto m = makeModel();
    for (int i = 0; i < 9; ++i)
        m->rememberRecent(QStringLiteral("/d%1").arg(i));
    ASSERT_EQ(m->recents().size(), 8);
    EXPECT_EQ(m->recents().first(), QStringLiteral("/d8"));
    EXPECT_EQ(m->recents().last(), QStringLiteral("/d1"));  // /d0, the oldest, is gone
    m->rememberRecent(QStringLiteral("/d4"));
    EXPECT_EQ(m->recents().size(), 8);
    EXPECT_EQ(m->recents().first(), QStringLiteral("/d4"));
    EXPECT_EQ(m->recents().count(QStringLiteral("/d4")), 1);
}

TEST_F(AppModelTest, finishing_onboarding_sets_the_flag_and_hides_it)
{
    auto m = makeModel();
    ASSERT_TRUE(m->showOnboarding());
    m->addWorkspace(QStringLiteral("First"), QStringLiteral("5b8cee"));
    EXPECT_EQ(m->selectedWorkspaceID(), m->workspaces()[0].id);  // a new workspace is selected at once
    m->finishOnboarding();
    EXPECT_FALSE(m->showOnboarding());
    EXPECT_TRUE(settings.value(QLatin1String(AppInfo::onboardedKey)).toBool());
}

// --- QML-facing forms and list models ------------------------------------------------------------------

TEST_F(AppModelTest, list_models_change_row_by_row_never_by_reset)
{
    auto m = populated();
    SessionListModel* rows = m->selectedSessions();
    ASSERT_NE(rows, nullptr);
    QSignalSpy resets(rows, &QAbstractItemModel::modelReset);
    QSignalSpy wsResets(m->workspaceModel(), &QAbstractItemModel::modelReset);
    QSignalSpy moved(rows, &QAbstractItemModel::rowsMoved);
    QSignalSpy inserted(rows, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(rows, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(rows, &QAbstractItemModel::dataChanged);

    const QUuid s0 = sessionAt(*m, 0, 0), s2 = sessionAt(*m, 0, 2);
    m->toggleMute(s0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 0);
    EXPECT_TRUE(rows->data(rows->index(0), SessionListModel::MutedRole).toBool());

    m->swapSessions(s0, s2);
    EXPECT_GE(moved.count(), 1);
    EXPECT_EQ(rows->data(rows->index(0), SessionListModel::IdRole).toString(), uuidText(s2));
    EXPECT_EQ(rows->data(rows->index(2), SessionListModel::IdRole).toString(), uuidText(s0));

    m->addSession(PaneKind::Terminal, std::nullopt, QStringLiteral("/x"), false, ChatProvider::Claude);
    EXPECT_EQ(inserted.count(), 1);
    m->close(s0);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(rows->count(), 3);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(wsResets.count(), 0);
    // Same object throughout: delegates bound to it live on.
    EXPECT_EQ(m->selectedSessions(), rows);
    EXPECT_EQ(m->workspaceModel()->sessionsOf(a), rows);
}

TEST_F(AppModelTest, qml_forms_take_text_ids_and_reject_bad_ones_safely)
{
    auto m = populated();
    const QString s0 = uuidText(sessionAt(*m, 0, 0));
    m->toggleMute(s0);
    EXPECT_TRUE(m->session(sessionAt(*m, 0, 0))->muted);
    m->toggleMute(QStringLiteral("not-a-uuid"));
    m->toggleMute(QString());
    m->swapSessions(QStringLiteral("{") + s0 + QStringLiteral("}"), s0);
    EXPECT_EQ(saves->count(), 0);

    EXPECT_TRUE(m->addSession(QStringLiteral("chat"), QVariant(), QStringLiteral("/p/q"), false, QStringLiteral("codex")));
    EXPECT_EQ(m->workspaces()[0].sessions.last().project, QStringLiteral("q"));
    EXPECT_EQ(m->workspaces()[0].sessions.last().kind, PaneKind::Chat);
    m->setGridLayout(QVariant(), 2);
    EXPECT_FALSE(m->workspaces()[0].forcedColumns);
    m->setGridLayout(QVariant(2), 2);
    EXPECT_EQ(m->workspaces()[0].forcedColumns, 2);

    m->setActiveSheetText(QStringLiteral("newWorkspace"));
    EXPECT_EQ(m->activeSheet(), ActiveSheet::NewWorkspace);
    m->setActiveSheetText(QString());
    EXPECT_FALSE(m->activeSheet());
    m->setThemePreferenceText(QStringLiteral("light"));
    EXPECT_EQ(m->themePreference(), ThemePreference::Light);
    m->setThemePreferenceText(QStringLiteral("purple"));  // ignored
    EXPECT_EQ(m->themePreference(), ThemePreference::Light);
    m->setSwapTarget(s0);
    EXPECT_EQ(m->dropTarget(), DropTarget::swap(sessionAt(*m, 0, 0)));
    m->setDropTargetVariant(QVariant());
    EXPECT_FALSE(m->dropTarget());
    m->setMaximizedSessionIDText(s0);
    EXPECT_EQ(m->maximizedSessionIDText(), s0);
    m->setMaximizedSessionIDText(QStringLiteral("garbage"));
    EXPECT_TRUE(m->maximizedSessionIDText().isEmpty());
}
