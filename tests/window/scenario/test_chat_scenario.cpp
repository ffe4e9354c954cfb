// A chat pane in the whole application: the real window file on a saved state of one chat pane,
// whose session runs the scripted fake sidecar (tests/agent/fakes/fake-sidecar.mjs). The pane
// shows every kind of row, the permission card (a plan's approval switches the permission mode
// first) and the two-step question card, and goes idle with its cost. Screenshots of each step go
// under the build folder (chat_*.png) or $BRINMOOR_SHOT_DIR; runs offscreen in ctest and under
// xvfb-run with QT_QPA_PLATFORM=xcb.
#include "AgentChatHost.h"
#include "AppModel.h"
#include "AppQmlModules.h"
#include "Assets.h"
#include "ChatModels.h"
#include "support/QtTestSupport.h"
#include "support/SamplePng.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

const QString kPane = QStringLiteral("5E1F0A00-0000-4000-8000-0000000000C1");

QJsonObject ev(const QString& name, QJsonObject fields = {})
{
    fields.insert("ev", name);
    return QJsonObject{{"ev", fields}};
}
QJsonObject block(const QString& type, QJsonObject fields)
{
    fields.insert("type", type);
    return fields;
}
QJsonObject assistant(std::initializer_list<QJsonObject> blocks)
{
    QJsonArray a;
    for (const QJsonObject& b : blocks)
        a.append(b);
    return ev("assistant", {{"blocks", a}, {"tokensIn", 800}, {"tokensOut", 434}});
}

// The conversation the fake plays: the first turn thinks (the test moves the session's clock 12 s on), answers, edits, lists to-dos,
// shows a tool's output and asks to run a command; each decision brings the next prompt.
QJsonObject script()
{
    QJsonArray todos;
    const char* items[][2] = {{"Read the log", "completed"}, {"Find the library", "completed"},
                              {"Fix CMake", "in_progress"}, {"Rebuild", "pending"}, {"Run tests", "pending"}};
    for (auto& t : items)
        todos.append(QJsonObject{{"content", t[0]}, {"status", t[1]}, {"activeForm", t[0]}});
    const QJsonObject questions = ev("question", {{"id", "q1"}, {"questions", QJsonArray{
        QJsonObject{{"question", "Which database?"}, {"header", ""}, {"multiSelect", false},
                    {"options", QJsonArray{QJsonObject{{"label", "Postgres"}, {"description", "Relational"}},
                                           QJsonObject{{"label", "SQLite"}, {"description", "A file"}}}}},
        QJsonObject{{"question", "Which extras?"}, {"header", "Extras"}, {"multiSelect", true},
                    {"options", QJsonArray{QJsonObject{{"label", "Cache"}, {"description", ""}},
                                           QJsonObject{{"label", "Search"}, {"description", ""}}}}}}}});
    return {
        {"start", QJsonArray{QJsonArray{ev("session", {{"id", "conv-1"}, {"model", "claude-opus-4-8"}})}}},
        {"user", QJsonArray{QJsonArray{
            assistant({block("thinking", {{"text", "The linker cannot find md4c; CMake marks it optional."}})}),
            assistant({block("text", {{"text", "The **linker** misses `md4c`. I will:\n\n- make it required\n- rebuild"}})}),
            assistant({block("tool_use", {{"id", "t1"}, {"name", "Edit"}, {"input", QJsonObject{
                {"file_path", "CMakeLists.txt"}, {"old_string", "pkg_check_modules(MD4C md4c)\nadd_library(x)"},
                {"new_string", "pkg_check_modules(MD4C REQUIRED md4c)\nadd_library(x)"}}}})}),
            assistant({block("tool_use", {{"id", "t2"}, {"name", "TodoWrite"}, {"input", QJsonObject{{"todos", todos}}}})}),
            assistant({block("tool_result", {{"text", "-- Found md4c\n-- Configuring done\n-- Generating done\n-- Build files written\n"}})}),
            ev("permission_request", {{"id", "p1"}, {"tool", "Bash"}, {"input", QJsonObject{{"command", "cmake --build build"}}}})}}},
        {"permission", QJsonArray{
            QJsonArray{ev("permission_request", {{"id", "p2"}, {"tool", "ExitPlanMode"},
                                                 {"input", QJsonObject{{"plan", "## Plan\n\n1. Require md4c\n2. Rebuild"}}}})},
            QJsonArray{questions}}},
        {"answer", QJsonArray{QJsonArray{
            assistant({block("text", {{"text", "Done: **SQLite** with cache and search."}})}),
            ev("result", {{"costUsd", 0.01234}, {"isError", false}, {"tokensIn", 1000}, {"tokensOut", 234}, {"durationMs", 900}})}}},
    };
}

class ChatScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.isValid());
        const QString root = sandbox.path();
        test::useSandboxHome(root);
        for (const char* dir : {"/data/Brinmoor", "/projects/web", "/sidecar"})
            QDir().mkpath(root + dir);
        // The fake under both providers' script names, its script and its command log.
        for (const char* name : {"brinmoor-agent.mjs", "codex-agent.mjs"})
            QFile::copy(QStringLiteral(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/fake-sidecar.mjs"), root + "/sidecar/" + name);
        QFile s(root + "/sidecar/script.json");
        ASSERT_TRUE(s.open(QIODevice::WriteOnly));
        s.write(QJsonDocument(script()).toJson());
        s.close();
        qputenv("BRINMOOR_SIDECAR_DIR", QFile::encodeName(root + "/sidecar"));
        qputenv("FAKE_SIDECAR_LOG", QFile::encodeName(root + "/sidecar/commands.log"));
        qputenv("FAKE_SIDECAR_SCRIPT", QFile::encodeName(s.fileName()));

        const QJsonObject pane{{"autoApprove", false}, {"autoCompact", true}, {"directory", root + "/projects/web"},
                               {"id", kPane}, {"kind", "chat"}, {"muted", false}, {"project", "web"},
                               {"provider", "claude"}, {"sessionLabel", "session 1"}};
        const QJsonObject state{{"recents", QJsonArray{}}, {"selected", "5E1F0A00-0000-4000-8000-000000000001"},
                                {"workspaces", QJsonArray{QJsonObject{
                                    {"bigSideLeft", false}, {"colorHex", "5b8cee"}, {"maxRows", 4}, {"name", "Brinmoor"},
                                    {"id", "5E1F0A00-0000-4000-8000-000000000001"}, {"sessions", QJsonArray{pane}}}}}};
        QFile f(root + "/data/Brinmoor/state.json");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(state).toJson());
    }

    QStringList commands() const
    {
        QFile f(sandbox.filePath("sidecar/commands.log"));
        QStringList out;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    out << QString::fromUtf8(line);
        return out;
    }
    QStringList commandNames() const
    {
        QStringList out;
        for (const QString& line : commands())
            out << QJsonDocument::fromJson(line.toUtf8()).object().value("cmd").toString();
        return out;
    }

    void shot(const QString& name)
    {
        QString dir = qEnvironmentVariable("BRINMOOR_SHOT_DIR");
        if (dir.isEmpty())
            dir = QStringLiteral(BRINMOOR_BINARY_DIR) + "/gallery";
        QDir().mkpath(dir);
        QTest::qWait(80);
        window->grabWindow().save(dir + "/chat_" + name + ".png");
    }
    static void collect(QQuickItem* at, const QString& name, QList<QQuickItem*>& out)
    {
        if (!at->isVisible())
            return;
        if (at->objectName() == name)
            out << at;
        for (QQuickItem* child : at->childItems())
            collect(child, name, out);
    }
    QQuickItem* item(const QString& name) const
    {
        QList<QQuickItem*> out;
        collect(window->contentItem(), name, out);
        return out.isEmpty() ? nullptr : out.first();
    }
    bool waitFor(const QString& name, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return item(name) != nullptr; }, ms);
    }
    void click(const QString& name)
    {
        QQuickItem* target = item(name);
        ASSERT_NE(target, nullptr) << name.toStdString();
        // Cards are laid out anew when they change: click where the item is now.
        QTest::qWait(50);
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier,
                          target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
    }

    QTemporaryDir sandbox;
    QQuickWindow* window = nullptr;
};

} // namespace

TEST_F(ChatScenario, rows_permission_plan_and_questions_on_a_scripted_sidecar)
{
    int argc = 1;
    char name[] = "brinmoor";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    SidecarTools tools = SidecarTools::real();
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    ASSERT_FALSE(node.isEmpty()) << "the fake sidecar runs on Node";
    tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
    tools.locateTool = [](ChatProvider, const std::optional<QString>&) { return std::optional<QString>("/bin/true"); };
    AgentChatHost::shared().setTools(tools);

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    ASSERT_EQ(engine.rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(1240, 960);  // room for the whole first turn in the screenshots

    // The pane starts its session; the empty hint names the project.
    ASSERT_TRUE(waitFor("chatPaneView"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return commandNames().contains("start"); }, 20000));
    ASSERT_TRUE(waitFor("emptyHint"));
    // The history button sits in the frame's header.
    ASSERT_TRUE(waitFor("historyButton"));
    EXPECT_EQ(item("historyButton")->parentItem()->objectName(), "accessoryItemSlot");
    ClaudeSession* session = AgentChatHost::shared().existing(QUuid(kPane));
    ASSERT_NE(session, nullptr);

    // A message with an image (what the composer's send does).
    ChatAttachment image;
    image.name = "screenshot.png";
    image.isImage = true;
    image.mediaType = "image/png";
    image.data = test::samplePng();
    const int alerts = AlertSound::playCount();
    session->sendUser("Why does the build fail?", {image});
    // The turn has started; its thinking arrives "12.1 s" later.
    struct ClockBack {
        std::function<QDateTime()> real = ClaudeSession::clock;
        ~ClockBack() { ClaudeSession::clock = real; }
    } clockBack;
    ClaudeSession::clock = [real = clockBack.real] { return real().addMSecs(12100); };
    ASSERT_TRUE(waitFor("permissionCard", 30000));
    // Waiting for the user: the pane's record turns awaiting (the amber frame), its chip in the
    // attention strip shows it, and the alert rings once.
    EXPECT_EQ(AppModel::instance()->session(QUuid(kPane))->state, PaneState::Awaiting);
    QQuickItem* chip = item("chip:" + kPane);
    ASSERT_NE(chip, nullptr);
    const QVariant record = chip->property("session");
    ASSERT_TRUE(record.canConvert<Session>());
    EXPECT_EQ(record.value<Session>().state, PaneState::Awaiting);
    EXPECT_EQ(AlertSound::playCount(), alerts + 1);
    ASSERT_TRUE(waitFor("thumbnail"));
    // The pane follows new rows on the next turn of the event loop.
    ASSERT_TRUE(waitFor("caption"));
    EXPECT_EQ(item("caption")->property("text").toString(), "Thought for 12s");
    EXPECT_TRUE(item("detail")->property("isDiff").toBool());
    EXPECT_TRUE(item("detail")->property("showExpand").toBool());
    EXPECT_EQ(item("count")->property("text").toString(), "2/5");
    EXPECT_EQ(item("toolResult")->property("lineCount").toInt(), 3);
    EXPECT_NE(item("deny"), nullptr);
    shot("1_rows_and_permission");

    // Approving the command; the plan comes next, and its approval switches to accepting edits
    // before it allows.
    click("approve");
    ASSERT_TRUE(QTest::qWaitFor([&] { return session->pendingPermission() && session->pendingPermission()->tool == "ExitPlanMode"; }, 10000));
    ASSERT_TRUE(waitFor("permissionCard"));
    shot("2_plan");
    click("approve");
    ASSERT_TRUE(QTest::qWaitFor([&] { return commandNames().count("permission") == 2; }, 10000));
    const QStringList names = commandNames();
    const qsizetype mode = names.indexOf("set_permission_mode");
    ASSERT_GE(mode, 0);
    EXPECT_EQ(names.at(mode + 1), "permission");
    EXPECT_TRUE(commands().at(mode).contains("\"acceptEdits\""));
    EXPECT_TRUE(commands().at(mode + 1).contains("\"allow\""));

    // Two questions, one step each, one answer.
    ASSERT_TRUE(waitFor("questionCard", 10000));
    EXPECT_EQ(item("progress")->property("text").toString(), "1 of 2");
    shot("3_question_1");
    click("option:SQLite");
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("progress")->property("text").toString() == "2 of 2"; }, 2000));
    click("option:Search");
    click("option:Cache");
    shot("4_question_2");
    click("next");
    ASSERT_TRUE(QTest::qWaitFor([&] { return commandNames().contains("answer"); }, 10000));
    EXPECT_EQ(commandNames().count("answer"), 1);
    const QString answer = commands().at(commandNames().indexOf("answer"));
    EXPECT_TRUE(answer.contains("\"Which extras?\":\"Cache, Search\"")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("\"Which database?\":\"SQLite\"")) << answer.toStdString();

    // The turn ends: idle with its cost in the frame.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session->busy(); }, 10000));
    QQuickItem* pane = item("chatPaneView");
    EXPECT_EQ(pane->property("costText").toString(), "1.2k · $0.0123");
    EXPECT_EQ(pane->property("paneState").toString(), "idle");
    shot("5_idle");
}
