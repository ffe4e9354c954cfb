// A chat pane's unsent draft in the whole application: the text typed in its composer (two lines
// and a hidden character's mark) and its chips (an image and a file) outlive every way the pane's
// session ends while the pane stays: the menu's Restart session idle and mid-turn, Stop and the
// stopped card's Restart, and an agent that died and the card's Restart. The stopped card shows the
// draft and copies it; sent afterwards it arrives whole; closing the pane lets it go. Claude and
// Codex panes, on the scripted fake sidecar, which answers no message (a turn stays at work).
#include "AgentChatHost.h"
#include "AppQmlModules.h"
#include "ChatPaneMemory.h"
#include "support/AppScenario.h"
#include "support/FakeChatAgents.h"
#include "support/SamplePng.h"

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QStandardPaths>

#include <csignal>
#include <functional>

namespace {

using brinmoor::test::SeedSession;

const QString kWeb = QStringLiteral("D2AF7000-0000-4000-8000-0000000000A1");
const QString kApi = QStringLiteral("D2AF7000-0000-4000-8000-0000000000A2");

const QList<brinmoor::test::SeedWorkspace> kSeed{
    {"D2AF7000-0000-4000-8000-000000000001", "Drafts",
     {SeedSession{.id = kWeb, .kind = "chat", .project = "web"},
      SeedSession{.id = kApi, .kind = "chat", .project = "api", .provider = "codex"}}},
};

class ChatDraftKept : public AppScenarioBase
{
protected:
    static void SetUpTestSuite()
    {
        setUpSandbox(kSeed, {"web", "api"});
        qunsetenv("FAKE_SIDECAR_SCRIPT");
        qputenv("FAKE_SIDECAR_LOG", QFile::encodeName(sandbox->filePath("sidecar.log")));
        brinmoor::test::runChatPanesOnFakeSidecar();
    }
    // The "user" lines the sidecars received, in order.
    static QList<QJsonObject> userLines()
    {
        QList<QJsonObject> out;
        QFile f(sandbox->filePath("sidecar.log"));
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value("cmd").toString() == "user")
                out << o;
        }
        return out;
    }
    QQuickItem* within(QQuickItem* pane, const QString& name) const
    {
        QList<QQuickItem*> found;
        if (pane)
            collect(pane, name, found);
        return found.isEmpty() ? nullptr : found.first();
    }
    QObject* composerOf(QQuickItem* pane) const
    {
        QQuickItem* bar = within(pane, "chatInputBar");
        return bar ? bar->property("composer").value<QObject*>() : nullptr;
    }
    // What the pane's composer shows: its text, its chips and its marks.
    struct Shown {
        QString text;
        int chips = -1;
        int marks = -1;
        bool operator==(const Shown&) const = default;
    };
    Shown shown(QQuickItem* pane) const
    {
        QQuickItem* edit = within(pane, "chatEdit");
        QObject* composer = composerOf(pane);
        if (!edit || !composer)
            return {};
        const auto* chips = composer->property("attachments").value<QObject*>();
        return {edit->property("text").toString(), chips ? chips->property("count").toInt() : -1,
                composer->property("hiddenCount").toInt()};
    }
    void menu(QQuickItem* pane, const char* entry)
    {
        click(within(pane, "menuButton"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return item(entry) != nullptr; }, 2000));
        click(item(entry));
    }
    static brinmoor::ClaudeSession* sessionOf(const QString& id)
    {
        return brinmoor::AgentChatHost::shared().existing(QUuid(id));
    }
    static bool started(const QString& id)
    {
        brinmoor::ClaudeSession* s = sessionOf(id);
        return s && s->processId() > 0 && s->accepting();
    }
};

} // namespace

TEST_F(ChatDraftKept, a_draft_outlives_every_restart_of_its_pane_and_goes_with_the_pane)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) << "the fake sidecar runs on Node";
    QQmlApplicationEngine eng;
    start(eng);
    window->resize(1240, 780);
    auto* model = brinmoor::AppModel::instance();
    const QString image = sandbox->filePath("shot.png"), notes = sandbox->filePath("notes.txt");
    {
        QFile png(image), txt(notes);
        ASSERT_TRUE(png.open(QIODevice::WriteOnly) && png.write(brinmoor::test::samplePng()) > 0);
        ASSERT_TRUE(txt.open(QIODevice::WriteOnly) && txt.write("notes\n") > 0);
    }

    using Ending = std::function<void(const QString&)>;
    // The stopped card shows the draft, and its copy button puts it on the clipboard.
    const auto cardShows = [&](const QString& project, const QString& draft) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return within(paneNamed(project), "stoppedDraft") != nullptr; }, 5000));
        QQuickItem* card = within(paneNamed(project), "stoppedPlaceholder");
        shot("draft_on_the_stopped_card_" + project);
        EXPECT_EQ(within(card, "draftText")->property("text").toString(), draft);
        EXPECT_EQ(within(card, "draftCaption")->property("text").toString(), QStringLiteral("Unsent draft · 2 attachments"));
        QGuiApplication::clipboard()->clear();
        click(within(card, "copyDraftButton"));
        EXPECT_EQ(QGuiApplication::clipboard()->text(), draft);
        click(within(card, "restartButton"));
    };
    const QList<std::pair<const char*, Ending>> endings{
        {"Restart session while idle", [&](const QString& project) { menu(paneNamed(project), "menuItem1"); }},
        {"Restart session mid-turn",
         [&](const QString& project) {
             const QString id = project == "web" ? kWeb : kApi;
             sessionOf(id)->sendUser(QStringLiteral("keep working"), {});
             ASSERT_TRUE(QTest::qWaitFor([&] { return sessionOf(id)->busy(); }));
             menu(paneNamed(project), "menuItem1");
         }},
        {"Stop, then Restart",
         [&](const QString& project) {
             const Shown before = shown(paneNamed(project));
             menu(paneNamed(project), "menuItem5");
             cardShows(project, before.text);
         }},
        {"the agent died, then Restart",
         [&](const QString& project) {
             const QString id = project == "web" ? kWeb : kApi;
             const Shown before = shown(paneNamed(project));
             ::kill(pid_t(sessionOf(id)->processId()), SIGKILL);
             ASSERT_TRUE(QTest::qWaitFor([&] { return model->session(QUuid(id))->state == brinmoor::PaneState::Stopped; }, 5000));
             cardShows(project, before.text);
         }},
    };

    for (const QString& project : {QStringLiteral("web"), QStringLiteral("api")}) {
        SCOPED_TRACE(project.toStdString());
        const QString id = project == "web" ? kWeb : kApi;
        ASSERT_TRUE(QTest::qWaitFor([&] { return started(id) && within(paneNamed(project), "chatEdit"); }, 20000));
        // Typed, with a hidden character pasted (a mark) and two files pasted (two chips).
        click(within(paneNamed(project), "chatEdit"));
        for (const char c : QByteArray("DRAFT kept words"))
            QTest::keyClick(window, c);
        QTest::keyClick(window, Qt::Key_Return, Qt::ShiftModifier);
        for (const char c : QByteArray("second line "))
            QTest::keyClick(window, c);
        QGuiApplication::clipboard()->setText(QStringLiteral("a\u202Eb"));
        QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier);
        auto* files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(image), QUrl::fromLocalFile(notes)});
        QGuiApplication::clipboard()->setMimeData(files);
        QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier);
        const Shown draft{QStringLiteral("DRAFT kept words\nsecond line a<U+202E>b"), 2, 1};
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown(paneNamed(project)) == draft; }, 5000))
            << shown(paneNamed(project)).text.toStdString() << " " << shown(paneNamed(project)).chips;

        for (const auto& [name, end] : endings) {
            SCOPED_TRACE(name);
            QPointer<brinmoor::ClaudeSession> old(sessionOf(id));
            end(project);
            ASSERT_TRUE(QTest::qWaitFor([&] { return sessionOf(id) && sessionOf(id) != old && started(id); }, 20000));
            EXPECT_TRUE(QTest::qWaitFor([&] { return shown(paneNamed(project)) == draft; }, 5000))
                << shown(paneNamed(project)).text.toStdString() << " / chips " << shown(paneNamed(project)).chips
                << " / marks " << shown(paneNamed(project)).marks;
        }
        shot("draft_kept_" + project);

        // Sent, it arrives whole: the text as it reads, the image, the file's path.
        const qsizetype sent = userLines().size();
        click(within(paneNamed(project), "chatEdit"));
        QTest::keyClick(window, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return userLines().size() > sent; }, 5000));
        const QJsonObject user = userLines().at(sent);
        EXPECT_TRUE(user["text"].toString().startsWith(draft.text)) << user["text"].toString().toStdString();
        EXPECT_TRUE(user["text"].toString().contains(notes));
        EXPECT_EQ(user["attachments"].toArray().size(), 1);
        EXPECT_EQ(shown(paneNamed(project)).text, QString());
    }

    // Closed, a pane's draft goes with it.
    brinmoor::ChatPaneMemory* memory = brinmoor::ChatPaneMemory::of(sessionOf(kWeb));
    ASSERT_NE(memory, nullptr);
    memory->draft()->keep(QStringLiteral("left behind"), 0);
    const QPointer<brinmoor::ComposerDraft> kept(brinmoor::ChatPaneMemory::keptDraft(QUuid(kWeb)));
    ASSERT_FALSE(kept.isNull());
    menu(paneNamed("web"), "menuItem6");
    EXPECT_FALSE(model->session(QUuid(kWeb)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return kept.isNull(); }));
    EXPECT_NE(brinmoor::ChatPaneMemory::keptDraft(QUuid(kApi)), nullptr);
}
