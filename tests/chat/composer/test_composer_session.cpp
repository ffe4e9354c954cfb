// The composer and the session controls wired to a real chat session on the scripted fake
// sidecar: the lines they make it write, and the one state-file write of the auto-compact switch.
#include "AgentChatHost.h"
#include "AppModel.h"
#include "ChatAttachments.h"
#include "ChatPaneMemory.h"
#include "ClaudeSession.h"
#include "ComposerModel.h"
#include "HiddenCharacters.h"
#include "SessionControls.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

QList<QJsonObject> named(const FakeSidecar& fake, const QString& name)
{
    QList<QJsonObject> out;
    for (const QJsonObject& c : fake.commands())
        if (c.value(S("cmd")).toString() == name)
            out << c;
    return out;
}

// An attachment that carries its bytes: an image, or pasted text.
ChatAttachment withBytes(const QString& name, const QString& mediaType, const QByteArray& data)
{
    ChatAttachment a;
    a.name = name;
    a.isImage = mediaType.startsWith(S("image/"));
    a.mediaType = mediaType;
    a.data = data;
    return a;
}

// A composer on a chat session that runs the scripted fake sidecar.
struct ComposerOnFake {
    FakeSidecar fake;
    SessionUnderTest t{fake};
    ComposerModel composer;

    bool start()
    {
        composer.setSession(&t.session);
        return t.startAndWait(fake);
    }
    // Sends `draft` with `attachments`; the one "user" line it had the session write.
    QJsonObject send(const QString& draft, const QList<ChatAttachment>& attachments)
    {
        composer.attachments()->append(attachments);
        composer.setDraft(draft);
        composer.send();
        if (!fake.waitForCommand(S("user")))
            return {};
        const QList<QJsonObject> users = named(fake, S("user"));
        return users.size() == 1 ? users[0] : QJsonObject{};
    }
};

} // namespace

TEST(ComposerOnSession, return_sends_one_user_line_with_the_image_and_stop_interrupts)
{
    ComposerOnFake c;
    ASSERT_TRUE(c.start());
    auto& [fake, t, composer] = c;

    const ChatAttachment image = withBytes(S("pasted.png"), S("image/png"), QByteArray("\x89PNG fake bytes", 14));
    const QJsonObject user = c.send(S("look at this"), {image});
    EXPECT_EQ(user[S("text")], S("look at this"));
    EXPECT_EQ(user[S("attachments")].toArray(),
              (QJsonArray{QJsonObject{{S("mediaType"), S("image/png")}, {S("data"), QString::fromLatin1(image.data->toBase64())}}}));
    EXPECT_EQ(composer.attachments()->count(), 0);
    EXPECT_TRUE(composer.busy());

    composer.stop();
    ASSERT_TRUE(fake.waitForCommand(S("interrupt")));
    t.session.stop();
    // With no sidecar the draft stays: nothing is shown as sent that no agent would read.
    composer.setDraft(S("still here"));
    EXPECT_FALSE(composer.canSend());
    composer.send();
    EXPECT_EQ(composer.draft(), S("still here"));
    EXPECT_EQ(t.session.messageCount(), 1);
}

// Text pasted as an attachment (too long for the editor) is sent whole inside the message, after
// what was typed and before the list of attached files; the transcript shows the typed words and
// the chips.
TEST(ComposerOnSession, pasted_text_goes_whole_inside_the_message_after_what_was_typed)
{
    ComposerOnFake c;
    ASSERT_TRUE(c.start());

    const QString log = S("2025-03-14T09:00:00Z INFO request handled in 12 ms — ok\n").repeated(5000);
    ChatAttachment file;
    file.name = S("b.txt");
    file.path = S("/a/b.txt");
    const QJsonObject user = c.send(S("why does it fail?"), {withBytes(S("Pasted text (285.2 kB)"), S("text/plain"), log.toUtf8()), file});
    EXPECT_EQ(user[S("text")].toString(), S("why does it fail?\n\n") + log + S("\n\nAttached files (read them):\n- /a/b.txt"));
    EXPECT_TRUE(user[S("attachments")].toArray().isEmpty());
    const ChatMessage& sent = c.t.session.transcript().last();
    EXPECT_EQ(sent.blocks.value(0).text, S("why does it fail?"));
    EXPECT_EQ(sent.attachments.size(), 2);
    c.t.session.stop();
}

// A pasted file link whose name holds a line break (or another hidden character) reaches the
// agent as one quoted, escaped path per line: it cannot split, nor add lines to the message.
TEST(ComposerOnSession, a_pasted_file_with_a_line_break_in_its_name_goes_as_one_path)
{
    ComposerOnFake c;
    ASSERT_TRUE(c.start());
    QMimeData mime;
    mime.setUrls({QUrl(S("file:///tmp/files/new%0Aline.txt")), QUrl(S("file:///tmp/files/invoice%E2%80%AEfdp.sh")),
                  QUrl(S("file:///tmp/files/plain.txt"))});
    const ChatAttachments::PasteResult pasted = ChatAttachments::fromMimeData(&mime);
    ASSERT_EQ(pasted.attachments.size(), 3);
    EXPECT_EQ(pasted.attachments[0].name, S("new\nline.txt"));
    const QJsonObject user = c.send(QString(), pasted.attachments);
    EXPECT_EQ(user[S("text")].toString(), S("Attached files (read them):\n"
                                            "- \"/tmp/files/new\\nline.txt\"\n"
                                            "- \"/tmp/files/invoice\\u202efdp.sh\"\n"
                                            "- /tmp/files/plain.txt"));
    c.t.session.stop();
}

TEST(ComposerOnSession, slash_compact_compacts_an_idle_claude_pane_and_is_text_elsewhere)
{
    FakeSidecar fake;
    SessionUnderTest claude(fake);
    ASSERT_TRUE(claude.startAndWait(fake));
    ComposerModel composer;
    composer.setSession(&claude.session);
    composer.setDraft(S(" /Compact "));
    composer.send();
    ASSERT_TRUE(fake.waitForCommand(S("compact")));
    EXPECT_EQ(composer.draft(), S(""));
    EXPECT_TRUE(named(fake, S("user")).isEmpty());
    claude.session.stop();

    FakeSidecar fake2;
    SessionUnderTest codex(fake2, ChatProvider::Codex);
    ASSERT_TRUE(codex.startAndWait(fake2));
    composer.setSession(&codex.session);
    composer.setDraft(S("/compact"));
    composer.send();
    ASSERT_TRUE(fake2.waitForCommand(S("user")));
    EXPECT_EQ(named(fake2, S("user"))[0][S("text")], S("/compact"));
    EXPECT_TRUE(named(fake2, S("compact")).isEmpty());
    codex.session.stop();
}

// An effort change reaches the running sidecar once, with no restart (which would end what the
// agent started); choices already in force send nothing.
TEST(SessionControlsOnSession, effort_is_sent_once_without_a_restart_and_unchanged_choices_send_nothing)
{
    FakeSidecar fake;
    SessionUnderTest t(fake);
    ASSERT_TRUE(t.startAndWait(fake));
    SessionControls::chooseEffort(&t.session, S("high"));      // already set
    SessionControls::chooseMode(&t.session, S("default"));     // already set
    SessionControls::chooseModel(&t.session, S("claude-opus-4-8"));
    SessionControls::chooseMode(&t.session, S("plan"));
    ASSERT_TRUE(fake.waitForCommand(S("set_permission_mode")));
    SessionControls::chooseEffort(&t.session, S("low"));
    SessionControls::chooseEffort(&t.session, S("low"));      // now set
    ASSERT_TRUE(fake.waitForCommand(S("set_effort")));
    EXPECT_EQ(named(fake, S("set_effort"))[0][S("effort")], S("low"));
    EXPECT_EQ(fake.commandNames(), (QStringList{S("start"), S("set_permission_mode"), S("set_effort")}));
    t.session.stop();
}

TEST(SessionControlsOnSession, auto_compact_switch_writes_the_state_file_once)
{
    ScopedDataHome home;
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(S("defaults.ini")), QSettings::IniFormat);
    AppModel app(Store(false), &settings);
    AppModel::setInstance(&app);
    app.addWorkspace(S("W"), S("5b8cee"));
    app.addSession(PaneKind::Chat, std::nullopt, S("/src/a"), false, ChatProvider::Claude);
    const QUuid pane = app.workspaces()[0].sessions[0].id;
    ClaudeSession session(pane, S("/src/a"), false, std::nullopt, ChatProvider::Claude, true);
    QSignalSpy saves(&app, &AppModel::stateSaved);

    SessionControls::setAutoCompact(&session, false);
    EXPECT_FALSE(session.autoCompact());
    EXPECT_EQ(saves.count(), 1);
    EXPECT_FALSE(app.workspaces()[0].sessions[0].autoCompact);
    EXPECT_TRUE(home.readState().contains("\"autoCompact\" : false"));
    AppModel::setInstance(nullptr);
}

// A pane's unsent draft (text, cursor, a hidden character's mark and a chip) outlives every way its
// session ends while the pane stays, for both agents: the pane menu's Restart session idle and
// mid-turn, Stop then the stopped card's Restart, and an agent that died then Restart. While the
// pane is stopped its draft can still be read; the composer of the next session shows it, and
// sending delivers it whole. Closing the pane lets it go.
TEST(ComposerOnSession, a_panes_draft_outlives_every_restart_of_its_session_and_goes_with_the_pane)
{
    ScopedDataHome home;
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(S("defaults.ini")), QSettings::IniFormat);
    // The fake answers no message: a turn is still at work when the pane is restarted.
    FakeSidecar fake;
    AgentChatHost& host = AgentChatHost::shared();
    host.setTools(fake.tools());
    AppModel app(Store(false), &settings);
    AppModel::setInstance(&app);
    app.addWorkspace(S("W"), S("5b8cee"));
    const ChatProvider providers[] = {ChatProvider::Claude, ChatProvider::Codex};
    for (ChatProvider p : providers)
        ASSERT_TRUE(app.addSession(PaneKind::Chat, S("web"), fake.dir(), false, p));

    const QString text = S("two lines ") + HiddenCharacters::markFor(0x202E) + S("\nsecond line");
    const QList<ComposerDraft::Mark> marks{{10, 0x202E}};
    const ChatAttachment image = withBytes(S("shot.png"), S("image/png"), QByteArray("\x89PNG chip bytes", 15));
    ChatAttachment file;
    file.name = S("notes.txt");
    file.path = S("/tmp/notes.txt");

    using Ending = std::function<void(const QUuid&, ClaudeSession*)>;
    const auto stopped = [&](const QUuid& id) { return app.session(id)->state == PaneState::Stopped; };
    // Stopped: the draft waits where the stopped card reads it.
    const auto waitsWhileStopped = [&](const QUuid& id) {
        const ComposerDraft* kept = ChatPaneMemory::keptDraft(id);
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->text(), text);
        EXPECT_EQ(kept->attachments()->count(), 2);
    };
    const QList<std::pair<const char*, Ending>> endings{
        {"Restart session while idle", [&](const QUuid& id, ClaudeSession*) { app.restart(id); }},
        {"Restart session mid-turn",
         [&](const QUuid& id, ClaudeSession* s) {
             s->sendUser(S("keep working"), {});
             ASSERT_TRUE(waitUntil([&] { return s->busy(); }));
             app.restart(id);
         }},
        {"Stop, then Restart",
         [&](const QUuid& id, ClaudeSession*) {
             app.stop(id);
             waitsWhileStopped(id);
             app.restart(id);
         }},
        {"the agent died, then Restart",
         [&](const QUuid& id, ClaudeSession* s) {
             ::kill(pid_t(s->processId()), SIGKILL);
             ASSERT_TRUE(waitUntil([&] { return stopped(id); }));
             waitsWhileStopped(id);
             app.restart(id);
         }},
    };
    for (int pane = 0; pane < 2; ++pane) {
        const Session record = app.workspaces()[0].sessions[pane];
        // The first composer: its draft as typed, as the pane's view leaves it when it goes.
        ClaudeSession* session = host.session(record);
        ASSERT_TRUE(waitUntil([&] { return session->processId() > 0 && session->accepting(); }));
        {
            ComposerModel first;
            first.setSession(session);
            first.setStore(ChatPaneMemory::of(session)->draft());
            first.store()->keep(text, 4, marks);
            first.attachments()->append({image, file});
        }
        for (const auto& [name, end] : endings) {
            SCOPED_TRACE(std::string(name) + (pane ? " (Codex)" : " (Claude)"));
            end(record.id, session);
            ASSERT_NE(host.existing(record.id), session) << "a new session for the pane";
            session = host.session(*app.session(record.id));
            ASSERT_TRUE(waitUntil([&] { return session->processId() > 0 && session->accepting(); }));
            ComposerModel next;
            next.setSession(session);
            next.setStore(ChatPaneMemory::of(session)->draft());
            EXPECT_EQ(next.draft(), text);
            EXPECT_EQ(next.store()->cursorPosition(), 4);
            EXPECT_EQ(next.store()->marks(), marks);
            ASSERT_EQ(next.attachments()->count(), 2);
            EXPECT_EQ(next.attachments()->items().at(0).name, S("shot.png"));
            EXPECT_EQ(next.attachments()->items().at(1).name, S("notes.txt"));
            EXPECT_TRUE(next.canSend());
        }
        // Sent from the last session's composer, the draft arrives whole with its chips.
        const auto sentDrafts = [&] {
            QList<QJsonObject> out;
            for (const QJsonObject& user : named(fake, S("user")))
                if (user[S("text")].toString().startsWith(text))
                    out << user;
            return out;
        };
        const qsizetype sent = sentDrafts().size();
        ComposerModel last;
        last.setSession(session);
        last.setStore(ChatPaneMemory::of(session)->draft());
        last.send();
        ASSERT_TRUE(waitUntil([&] { return sentDrafts().size() > sent; }));
        const QJsonObject user = sentDrafts().at(sent);
        EXPECT_TRUE(user[S("text")].toString().contains(S("/tmp/notes.txt")));
        EXPECT_EQ(user[S("attachments")].toArray().size(), 1);
        EXPECT_EQ(last.draft(), QString());
        EXPECT_EQ(last.attachments()->count(), 0);
    }

    // Closing a pane lets its draft go; the other pane's stays.
    const QUuid closed = app.workspaces()[0].sessions[0].id, open = app.workspaces()[0].sessions[1].id;
    ChatPaneMemory::of(host.session(*app.session(open)))->draft()->keep(S("other pane"), 0);
    const QPointer<ComposerDraft> gone(ChatPaneMemory::keptDraft(closed));
    ASSERT_FALSE(gone.isNull());
    app.close(closed);
    EXPECT_EQ(ChatPaneMemory::keptDraft(closed), nullptr);
    ASSERT_TRUE(waitUntil([&] { return gone.isNull(); }));
    ASSERT_NE(ChatPaneMemory::keptDraft(open), nullptr);
    EXPECT_EQ(ChatPaneMemory::keptDraft(open)->text(), S("other pane"));
    app.close(open);
    EXPECT_TRUE(host.sessions().isEmpty());
    AppModel::setInstance(nullptr);
}
