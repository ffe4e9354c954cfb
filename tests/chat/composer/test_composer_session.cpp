// The composer and the session controls wired to a real chat session on the scripted fake
// sidecar: the lines they make it write, and the one state-file write of the auto-compact switch.
#include "AppModel.h"
#include "ChatAttachments.h"
#include "ClaudeSession.h"
#include "ComposerModel.h"
#include "SessionControls.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>

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
