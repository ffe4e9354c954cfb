// A chat session on a scripted fake sidecar: the lines it writes, the events it applies, its
// states, and how it starts, fails and stops.
#include "AgentChatHost.h"
#include "ClaudeSession.h"
#include "NodeDetector.h"
#include "ProcessTree.h"
#include "SidecarProcess.h"
#include "SidecarTools.h"
#include "PseudoTerminalHelpers.h"
#include "UserCommandLine.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <unistd.h>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

QJsonObject result(double cost = 0.5, bool isError = false)
{
    return ev(S("result"), {{S("costUsd"), cost}, {S("isError"), isError}, {S("tokensIn"), 100}, {S("tokensOut"), 20}});
}

// The size of the picture encoded in `bytes`.
QSize pictureSize(const QByteArray& bytes)
{
    return QImage::fromData(bytes).size();
}

QStringList keys(const QJsonObject& o)
{
    QStringList k = o.keys();
    k.sort();
    return k;
}

} // namespace

TEST(ChatSession, start_lines_per_provider)
{
    FakeSidecar fake;
    SessionUnderTest claude(fake);
    ASSERT_TRUE(claude.startAndWait(fake));
    EXPECT_EQ(claude.session.state(), PaneState::Idle);
    const QJsonObject start = fake.commands().at(0);
    EXPECT_EQ(keys(start), (QStringList{S("binPath"), S("claudePath"), S("cmd"), S("cwd"), S("effort"), S("model"), S("permissionMode")}));
    EXPECT_EQ(start[S("claudePath")], S("/bin/true"));
    EXPECT_EQ(start[S("cwd")], fake.dir());
    EXPECT_EQ(start[S("permissionMode")], S("default"));
    EXPECT_EQ(start[S("model")], S("claude-opus-4-8"));
    claude.session.stop();

    FakeSidecar fake2;
    SessionUnderTest codex(fake2, ChatProvider::Codex, S("thread-7"));
    ASSERT_TRUE(codex.startAndWait(fake2));
    ASSERT_TRUE(fake2.waitForCommand(S("history")));
    const QList<QJsonObject> lines = fake2.commands();
    EXPECT_EQ(keys(lines.at(0)), (QStringList{S("binPath"), S("cmd"), S("cwd"), S("effort"), S("permissionMode"), S("resume")}));
    EXPECT_EQ(lines.at(0)[S("resume")], S("thread-7"));
    // Resuming: "history" comes right after "start".
    EXPECT_EQ(lines.at(1), (QJsonObject{{S("cmd"), S("history")}, {S("sessionId"), S("thread-7")}, {S("cwd"), fake2.dir()}}));
}

TEST(ChatSession, a_turn_with_attachments_permission_garbage_and_split_lines)
{
    // The answer to the message mixes garbage, an event split over three reads, and a permission
    // request; approving it brings the reply and the result.
    QJsonArray toUser = answer({ev(S("session"), {{S("id"), S("conv-1")}, {S("model"), S("opus")}})});
    toUser.append(QJsonObject{{S("raw"), S("not json\n{\"ev\":\"nope\"}\n\n[1,2]\n{\"ev\":\"perm")}});
    toUser.append(QJsonObject{{S("pause"), 40}});
    toUser.append(QJsonObject{{S("raw"), S("ission_request\",\"id\":\"p1\",\"tool\":\"Bash\",")}});
    toUser.append(QJsonObject{{S("pause"), 40}});
    toUser.append(QJsonObject{{S("raw"), S("\"input\":{\"command\":\"touch x\"}}\n")}});
    const QJsonArray toPermission = answer({ev(S("assistant"), {{S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S("Done")}}}}}), result()});
    FakeSidecar fake({{S("user"), QJsonArray{toUser}}, {S("permission"), QJsonArray{toPermission}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));

    ChatAttachment file;
    file.name = S("b.txt");
    file.path = S("/a/b.txt");
    ChatAttachment image;
    image.isImage = true;
    image.data = QByteArray("PNG!");
    s.sendUser(S("  hi \n"), {file, image});
    EXPECT_EQ(s.state(), PaneState::Running);
    EXPECT_TRUE(s.busy());
    ASSERT_EQ(s.transcript().size(), 1);
    EXPECT_EQ(s.timeline()->rows().at(0).text, S("hi"));
    EXPECT_EQ(s.timeline()->rows().at(0).attachments.size(), 2);

    ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }));
    EXPECT_EQ(s.state(), PaneState::Awaiting);
    EXPECT_EQ(s.pendingPermission()->summary, S("Bash  touch x"));
    EXPECT_EQ(s.claudeSessionId(), S("conv-1"));
    const QJsonObject user = fake.commands().at(1);
    EXPECT_EQ(user[S("text")], S("hi\n\nAttached files (read them):\n- /a/b.txt"));
    EXPECT_EQ(user[S("attachments")], (QJsonArray{QJsonObject{{S("mediaType"), S("image/png")}, {S("data"), S("UE5HIQ==")}}}));

    s.resolvePermission(true);
    EXPECT_EQ(s.state(), PaneState::Running);
    EXPECT_FALSE(s.pendingPermission());
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle; }));
    EXPECT_EQ(fake.commands().at(2), (QJsonObject{{S("cmd"), S("permission")}, {S("id"), S("p1")}, {S("decision"), S("allow")}}));
    EXPECT_DOUBLE_EQ(s.costUsd(), 0.5);
    EXPECT_FALSE(s.busy());
    EXPECT_EQ(s.timeline()->rows().last().text, S("Done"));
    // Reported once when the sidecar started, then on every change and only then.
    EXPECT_EQ(t.reported, (QList<PaneState>{PaneState::Idle, PaneState::Running, PaneState::Awaiting, PaneState::Running, PaneState::Idle}));
}

TEST(ChatSession, a_line_too_long_to_read_is_reported_in_the_conversation)
{
    const qsizetype tooLong = LineAccumulator::maxLineBytes + 1;
    QJsonArray toUser{QJsonObject{{S("longLine"), double(tooLong)}}};
    toUser.append(QJsonObject{{S("ev"), ev(S("assistant"), {{S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S("after")}}}}})}});
    toUser.append(QJsonObject{{S("ev"), result()}});
    FakeSidecar fake({{S("user"), QJsonArray{toUser}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    s.sendUser(S("q"), {});
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle; }));
    // The notice follows the events read together with the dropped line: before or after "after".
    ASSERT_EQ(s.timeline()->count(), 3);
    const QString texts = s.timeline()->rows().at(1).text + u'|' + s.timeline()->rows().at(2).text;
    EXPECT_TRUE(texts.contains(S("larger than 16 MB and could not be read"))) << texts.toStdString();
    EXPECT_TRUE(texts.startsWith(S("after|")) || texts.endsWith(S("|after")));
}

// Reads of megabytes are decoded off the GUI thread; what comes after them, events and the exit,
// still arrives after them. A big answer, a small one and the result, then the sidecar exits.
TEST(ChatSession, a_large_read_and_what_follows_it_arrive_in_order)
{
    QString big;
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
        big += S("Line %1 of a long answer.\n").arg(i);
    const auto text = [](const QString& t) { return ev(S("assistant"), {{S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), t}}}}}); };
    QJsonArray toUser = answer({text(big), text(S("after")), result()});
    toUser.append(QJsonObject{{S("exit"), 0}});
    FakeSidecar fake({{S("user"), QJsonArray{toUser}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    s.sendUser(S("q"), {});
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Stopped; }, 20000));
    QString joined;
    for (const TimelineRow& r : s.timeline()->rows().sliced(1, s.timeline()->count() - 2))
        joined += r.text;
    EXPECT_EQ(joined, big);
    EXPECT_EQ(s.timeline()->rows().last().text, S("after"));
    EXPECT_DOUBLE_EQ(s.costUsd(), 0.5);
    EXPECT_EQ(t.reported, (QList<PaneState>{PaneState::Idle, PaneState::Running, PaneState::Idle, PaneState::Stopped}));
}

// A message's images go in Base64 on one line, which is made a piece at a time on a pool thread as
// the sidecar takes it: the same bytes as the command made whole, never more than a few pieces
// waiting in the app (the GUI thread used to make it whole: ten 19 MB photos froze the window
// seconds and took a gigabyte). Lines written meanwhile follow it; a sidecar let go mid-line gets
// the line ended, and what it had of it is dropped whole.
TEST(SidecarProcess, a_line_with_images_is_made_in_pieces_as_the_sidecar_takes_it)
{
    const auto image = [](qsizetype size, char seed) {
        ChatAttachment a;
        a.isImage = true;
        a.mediaType = S("image/png");
        QByteArray data(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char(seed + i * 7 + (i >> 11));
        a.data = data;
        return a;
    };
    // The same bytes as the command made whole, in pieces of any size.
    const QString texts[] = {S(""), S("hi"), S("quote\" back\\ \n\t\x01 é 😀 </script>")};
    for (const QString& text : texts) {
        for (const QList<ChatAttachment>& images : {QList<ChatAttachment>{}, {image(0, 1)}, {image(1, 2), image(2, 3), image(3, 4)},
                                                    {image(100001, 5), image(4096, 6)}}) {
            const QByteArray whole = SidecarCommand::encode(SidecarCommand::user(text, images));
            for (qsizetype budget : {1, 5, 4096, 1 << 20}) {
                UserCommandLine line(text, images);
                QByteArray joined;
                while (!line.done()) {
                    const QByteArray piece = line.next(budget);
                    ASSERT_FALSE(piece.isEmpty());
                    EXPECT_LE(piece.size(), std::max<qsizetype>(budget, 4) + 200 + 3 * text.size());
                    joined += piece;
                }
                EXPECT_EQ(joined, whole) << text.toStdString() << " " << images.size() << " " << budget;
            }
        }
    }

    // Through a sidecar: three images of 19 MB, a command after them, the app's queue for the pipe
    // looked at as it drains.
    FakeSidecar fake;
    auto* process = new SidecarProcess;
    bool started = false;
    bool gone = false;
    process->onStarted = [&] { started = true; };
    QObject::connect(process, &QObject::destroyed, [&] { gone = true; });
    process->start(FakeSidecar::node(), fake.dir() + S("/") + Sidecar::baseName(ChatProvider::Claude) + S(".mjs"), fake.dir(),
                   {{S("FAKE_SIDECAR_LOG"), fake.dir() + S("/commands.log")}});
    ASSERT_TRUE(waitUntil([&] { return started; }));
    const QList<ChatAttachment> photos{image(19'000'000, 7), image(19'000'000, 8), image(19'000'000, 9)};
    process->write(std::make_shared<UserCommandLine>(S("three photos"), photos));
    process->write(SidecarCommand::setModel(S("after")));
    qint64 most = 0;
    ASSERT_TRUE(waitUntil([&] {
        most = std::max(most, process->bytesToWrite());
        return fake.commandNames().contains(S("set_model"));
    }, 60000));
    EXPECT_LE(most, SidecarProcess::waitingBytes + 2 * SidecarProcess::pieceBytes);
    QList<QJsonObject> got = fake.commands();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0][S("text")], S("three photos"));
    const QJsonArray sent = got[0][S("attachments")].toArray();
    ASSERT_EQ(sent.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sent[i][S("data")].toString().toLatin1() == photos[i].data->toBase64()) << i;
    EXPECT_EQ(got[1][S("model")], S("after"));

    // Let go while a line is being written: the line is ended where it was cut, and "quit" still
    // arrives, on a line of its own.
    process->write(std::make_shared<UserCommandLine>(S("cut short"), photos));
    ASSERT_TRUE(waitUntil([&] { return process->bytesToWrite() > 0; }));
    process->release();
    ASSERT_TRUE(waitUntil([&] { return gone; }, 20000));
    got = fake.commands();
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[2], QJsonObject());  // the line cut short, dropped
    EXPECT_EQ(got[3], SidecarCommand::quit());
}

// A message's pasted texts go inside its "text", made a piece at a time on a pool thread like its
// images: the same bytes as the command made whole, with every character JSON must escape and
// several-byte characters at every cut, the typed text and the pasted UTF-8 joined as they are.
TEST(SidecarProcess, a_message_of_pasted_text_is_made_in_pieces_with_the_same_bytes)
{
    QString awkward;
    for (char16_t c = 0; c < 0x80; ++c)
        awkward += QChar(c);
    awkward += S("é ß € 😀 \u2028 </script> \\\" end");
    using Parts = QList<UserCommandLine::TextPart>;
    const struct {
        Parts parts;
        QString joined;
    } cases[] = {
        {{S("")}, S("")},
        {{S("typed"), S("\n\n"), awkward.toUtf8()}, S("typed\n\n") + awkward},
        {{S(""), QByteArray(), awkward.toUtf8(), S("\n\n"), QString(5000, u'€').toUtf8()}, awkward + S("\n\n") + QString(5000, u'€')},
        {{awkward, S("\n\nAttached files (read them):\n- /a/b.txt")}, awkward + S("\n\nAttached files (read them):\n- /a/b.txt")},
    };
    ChatAttachment image;
    image.isImage = true;
    image.mediaType = S("image/png");
    image.data = QByteArray("PNG!");
    for (const auto& c : cases) {
        for (const QList<ChatAttachment>& images : {QList<ChatAttachment>{}, {image}}) {
            const QByteArray whole = SidecarCommand::encode(SidecarCommand::user(c.joined, images));
            for (qsizetype budget : {1, 3, 7, 4096, 1 << 20}) {
                UserCommandLine line(c.parts, images);
                QByteArray joined;
                while (!line.done()) {
                    const QByteArray piece = line.next(budget);
                    ASSERT_FALSE(piece.isEmpty());
                    // A cut falls between characters: every piece is whole UTF-8.
                    EXPECT_TRUE(QString::fromUtf8(piece).toUtf8() == piece) << budget;
                    joined += piece;
                }
                EXPECT_EQ(joined, whole) << c.joined.size() << " " << budget;
            }
        }
    }
}

// Once a message has gone, the app keeps what its bubble shows: a pasted text's name (its bytes
// went inside the message's text, as pasted), a file's name and path, an image's thumbnail. The
// bytes the composer handed over are let go by every holder; the ordinary typed text and the
// agent's answer are as before.
TEST(ChatSession, a_sent_message_keeps_only_what_its_bubble_shows)
{
    FakeSidecar fake({{S("user"), QJsonArray{answer({ev(S("assistant"), {{S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S("Seen")}}}}}), result()})}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));

    const auto picture = [](QSize size, QImage::Format format, const char* type) {
        QImage image(size, format);
        image.fill(QColor(20, 120, 200, format == QImage::Format_ARGB32 ? 100 : 255));
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, type);
        return out;
    };
    const auto attachment = [](const QString& name, const QByteArray& bytes, bool isImage, const QString& type) {
        ChatAttachment a;
        a.name = name;
        a.isImage = isImage;
        a.mediaType = type;
        a.data = bytes;
        return a;
    };
    QByteArray photo = picture({3000, 2000}, QImage::Format_RGB32, "jpeg");
    QByteArray drawing = picture({400, 1000}, QImage::Format_ARGB32, "png");
    QByteArray pasted = (S("pasted ") + QString(200000, u'ü')).toUtf8();
    // Copies of their own, so the ones handed over can tell when nothing else holds them.
    const QByteArray photoSent(photo.constData(), photo.size()), drawingSent(drawing.constData(), drawing.size()),
        pastedSent(pasted.constData(), pasted.size());
    ChatAttachment file;
    file.name = S("b.txt");
    file.path = S("/a/b.txt");
    QList<ChatAttachment> attached{attachment(S("photo.jpg"), photo, true, S("image/jpeg")), attachment(S("Pasted text (390.6 kB)"), pasted, false, S("text/plain")),
                                   attachment(S("drawing.png"), drawing, true, S("image/png")), file};
    ASSERT_TRUE(s.send(S(" hi "), {QVariant::fromValue(attached[0]), QVariant::fromValue(attached[1]), QVariant::fromValue(attached[2]), QVariant::fromValue(attached[3])}));
    attached.clear();
    // The views are never handed the pictures (a value given to QML lives until its collector
    // runs): their names until the thumbnails are made.
    for (const ChatAttachment& a : s.transcript().at(0).attachments)
        EXPECT_FALSE(a.data) << a.name.toStdString();

    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle; }, 20000));
    const QJsonObject user = fake.commands().at(1);
    EXPECT_TRUE(user[S("text")].toString() == S("hi\n\n") + QString::fromUtf8(pastedSent) + S("\n\nAttached files (read them):\n- /a/b.txt"));
    const QJsonArray images = user[S("attachments")].toArray();
    ASSERT_EQ(images.size(), 2);
    EXPECT_TRUE(images[0][S("data")].toString().toLatin1() == photoSent.toBase64());
    EXPECT_EQ(images[0][S("mediaType")], S("image/jpeg"));
    EXPECT_TRUE(images[1][S("data")].toString().toLatin1() == drawingSent.toBase64());

    // Each picture becomes its thumbnail, covering 256 × 256 and no larger; an opaque one as JPEG.
    const auto kept = [&] { return s.transcript().at(0).attachments; };
    ASSERT_TRUE(waitUntil([&] { return kept()[0].data && kept()[2].data; }));
    EXPECT_LT(kept()[0].data->size(), photoSent.size());
    EXPECT_LT(kept()[2].data->size(), drawingSent.size());
    const struct {
        qsizetype index;
        QSize size;
        const char* type;
    } thumbnails[] = {{0, {384, 256}, "image/jpeg"}, {2, {256, 640}, "image/png"}};
    const QList<ChatAttachment> now = kept();
    for (const auto& th : thumbnails) {
        const ChatAttachment& a = now[th.index];
        EXPECT_TRUE(a.isImage);
        EXPECT_EQ(a.mediaType, S(th.type));
        EXPECT_EQ(pictureSize(*a.data), th.size) << th.index;
    }
    EXPECT_EQ(kept()[1].name, S("Pasted text (390.6 kB)"));
    EXPECT_FALSE(kept()[1].data);
    EXPECT_EQ(kept()[3], file);
    // The rows show what the transcript holds.
    EXPECT_EQ(s.timeline()->rows().at(0).attachments, kept());
    EXPECT_EQ(s.timeline()->rows().at(0).text, S("hi"));
    EXPECT_EQ(s.timeline()->rows().last().text, S("Seen"));
    // Nothing in the app holds the bytes that were sent any more: these copies are the last.
    EXPECT_TRUE(waitUntil([&] { return photo.isDetached() && drawing.isDetached() && pasted.isDetached(); }));
}

// A message's line that cannot be made (no memory for its next piece) is not sent: the turn it
// began ends, the pane says why and takes the next message, instead of waiting for an answer
// that cannot come.
TEST(ChatSession, a_message_whose_line_cannot_be_made_ends_its_turn_with_a_line)
{
    struct NoMemory : CommandLineSource {
        QByteArray next(qsizetype) override { throw std::bad_alloc(); }
        bool done() const override { return false; }
    };
    FakeSidecar fake({{S("user"), QJsonArray{QJsonArray{}, answer({result()})}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    ASSERT_TRUE(s.sendUser(S("first"), {}));
    ASSERT_TRUE(fake.waitForCommand(S("user")));
    s.send(std::make_shared<NoMemory>());
    ASSERT_TRUE(waitUntil([&] { return !s.busy(); }));
    EXPECT_EQ(s.state(), PaneState::Error);
    EXPECT_TRUE(s.turnError()->startsWith(S("The message was not sent"))) << s.turnError()->toStdString();
    EXPECT_TRUE(s.transcript().at(0).unanswered);
    // The next message goes and is answered.
    ASSERT_TRUE(s.sendUser(S("second"), {}));
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle; }));
    EXPECT_EQ(fake.commands().last()[S("text")], S("second"));
}

TEST(ChatSession, an_error_after_interrupt_ends_quietly_and_one_without_is_shown)
{
    const QJsonArray err = answer({ev(S("error"), {{S("message"), S("Interrupted")}})});
    FakeSidecar fake({{S("interrupt"), QJsonArray{err}}, {S("user"), QJsonArray{QJsonArray{}, err}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    s.sendUser(S("long job"), {});
    s.interrupt();
    ASSERT_TRUE(waitUntil([&] { return !s.busy(); }));
    EXPECT_EQ(s.state(), PaneState::Idle);
    EXPECT_FALSE(s.turnError());

    s.sendUser(S("again"), {});
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Error; }));
    EXPECT_EQ(s.turnError(), S("Interrupted"));
}

// An interrupt that ends the turn in other words than "Interrupted" (the agent did not answer and
// had to be ended) is said in the pane, which stays ready: the next message goes out and clears it.
TEST(ChatSession, an_agent_ended_after_an_interrupt_is_said_and_the_pane_stays_ready)
{
    const QString ended = S("Claude Code did not respond to Stop and had to be ended.");
    const QJsonArray err = answer({ev(S("error"), {{S("message"), ended}})});
    const QJsonArray done = answer({ev(S("result"), {{S("costUsd"), 0.1}, {S("isError"), false}})});
    FakeSidecar fake({{S("interrupt"), QJsonArray{err}}, {S("user"), QJsonArray{QJsonArray{}, done}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    s.sendUser(S("long job"), {});
    s.interrupt();
    ASSERT_TRUE(waitUntil([&] { return !s.busy(); }));
    EXPECT_EQ(s.state(), PaneState::Idle);
    EXPECT_EQ(s.turnError(), ended);

    s.sendUser(S("are you back?"), {});
    EXPECT_FALSE(s.turnError());
    ASSERT_TRUE(waitUntil([&] { return !s.busy(); }));
    EXPECT_EQ(s.state(), PaneState::Idle);
    EXPECT_EQ(fake.commandNames().count(S("user")), 2);
}

TEST(ChatSession, auto_compacts_at_the_threshold_only_for_claude)
{
    // Each case: one turn that leaves `tokens` in the context. Whether "compact" was written is
    // read once a later command has arrived, so no wait is needed for something that must not come.
    const auto run = [](ChatProvider provider, qint64 tokens) {
        const QJsonArray turn = answer({ev(S("context"), {{S("tokens"), tokens}, {S("window"), 200000}}), result()});
        FakeSidecar fake({{S("user"), QJsonArray{turn}}});
        SessionUnderTest t(fake, provider);
        EXPECT_TRUE(t.startAndWait(fake));
        t.session.sendUser(S("go"), {});
        EXPECT_TRUE(waitUntil([&] { return t.session.costUsd() > 0; }));
        t.session.requestSessions();
        EXPECT_TRUE(fake.waitForCommand(S("list_sessions")));
        return fake.commandNames().contains(S("compact")) && t.session.compacting();
    };
    qunsetenv("BRINMOOR_COMPACT_AT");
    EXPECT_TRUE(run(ChatProvider::Claude, 160000));
    EXPECT_FALSE(run(ChatProvider::Claude, 159999));
    EXPECT_FALSE(run(ChatProvider::Codex, 160000));
    qputenv("BRINMOOR_COMPACT_AT", "1000");
    EXPECT_TRUE(run(ChatProvider::Claude, 1000));
    qputenv("BRINMOOR_COMPACT_AT", "-5");
    EXPECT_FALSE(run(ChatProvider::Claude, 1000));
    qunsetenv("BRINMOOR_COMPACT_AT");
}

TEST(ChatSession, events_applied_directly)
{
    ClaudeSession s(QUuid::createUuid(), S("/nonexistent"), true, std::nullopt, ChatProvider::Claude, true);
    EXPECT_EQ(s.permissionMode(), S("bypassPermissions"));
    // A missing folder is not replaced by another: starting there is refused instead.
    EXPECT_EQ(s.expandedDirectory(), S("/nonexistent"));
    const auto apply = [&](const QJsonObject& o) {
        s.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))));
    };
    apply(ev(S("compacted"), {{S("preTokens"), 123456}}));
    apply(ev(S("compacted")));
    ASSERT_EQ(s.timeline()->count(), 2);
    EXPECT_EQ(s.timeline()->rows().at(0).text, S("✦ Conversation compacted (was ~123k tokens) — context freed, earlier messages summarized."));
    EXPECT_EQ(s.timeline()->rows().at(1).text, S("✦ Conversation compacted — context freed, earlier messages summarized."));
    // A blank thinking block adds nothing; the state stays.
    apply(ev(S("assistant"), {{S("blocks"), QJsonArray{QJsonObject{{S("type"), S("thinking")}, {S("text"), S("  ")}}}}}));
    EXPECT_EQ(s.timeline()->count(), 2);
    EXPECT_EQ(s.state(), PaneState::Idle);
    // History shorter than a transcript with a user message is ignored.
    s.sendUser(S("q"), {});
    const QJsonObject one{{S("role"), S("assistant")}, {S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S("old")}}}}};
    apply(ev(S("history"), {{S("messages"), QJsonArray{one}}}));
    EXPECT_EQ(s.transcript().size(), 3);
    apply(ev(S("history_start")));
    apply(ev(S("history_chunk"), {{S("messages"), QJsonArray{one, one}}}));
    apply(ev(S("history_chunk"), {{S("messages"), QJsonArray{one}}}));
    apply(ev(S("history_end")));
    EXPECT_EQ(s.transcript().size(), 3);
    EXPECT_EQ(s.timeline()->rows().at(0).text, S("old"));
    // A failed result without an interrupt: error with no message; "closed" keeps the error.
    apply(ev(S("result"), {{S("isError"), true}}));
    EXPECT_EQ(s.state(), PaneState::Error);
    EXPECT_FALSE(s.turnError());
    apply(ev(S("closed")));
    EXPECT_EQ(s.state(), PaneState::Error);
    apply(ev(S("tokens"), {{S("tokensIn"), 0}, {S("tokensOut"), 0}}));
    EXPECT_EQ(s.tokensOut(), 0);
}

// The conversation read back after a restart (a new effort or model) is the one shown: its
// messages keep their ids, so its rows stay as they are (no row removed and made again) and the
// user's place in them holds. Where the stored one goes another way, its messages are new.
TEST(ChatSession, a_conversation_read_back_keeps_the_rows_it_shows)
{
    const auto message = [](const char* role, const char* text) {
        return QJsonObject{{S("role"), S(role)}, {S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S(text)}}}}};
    };
    const QJsonArray shown{message("user", "q"), message("assistant", "a1"), message("user", "more"), message("assistant", "a2")};
    struct Case {
        const char* name;
        QJsonArray readBack;
        int keptRows;     // rows of the shown ones that keep their id
        int removedRows;  // rows removed from the list
    };
    const QList<Case> cases{
        {"the same", shown, 4, 0},
        {"one more at its end", QJsonArray{shown[0], shown[1], shown[2], shown[3], message("assistant", "a3")}, 4, 0},
        {"another way from its third", QJsonArray{shown[0], shown[1], message("assistant", "other"), message("user", "x")}, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClaudeSession s(QUuid::createUuid(), S("/nonexistent"), false, std::nullopt, ChatProvider::Claude, true);
        const auto apply = [&](const QJsonObject& o) {
            s.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))));
        };
        apply(ev(S("history"), {{S("messages"), shown}}));
        QStringList before;
        for (const TimelineRow& r : s.timeline()->rows())
            before << r.id;
        ASSERT_EQ(before.size(), 4);
        int removed = 0;
        QObject::connect(s.timeline(), &QAbstractItemModel::rowsRemoved, [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });
        apply(ev(S("history"), {{S("messages"), c.readBack}}));
        ASSERT_EQ(s.timeline()->count(), c.readBack.size());
        int kept = 0;
        for (qsizetype i = 0; i < before.size(); ++i)
            kept += s.timeline()->rows().at(i).id == before.at(i) ? 1 : 0;
        EXPECT_EQ(kept, c.keptRows);
        EXPECT_EQ(removed, c.removedRows);
        EXPECT_EQ(s.timeline()->rows().at(2).text, c.readBack[2].toObject()[S("blocks")].toArray()[0].toObject()[S("text")].toString());
    }
}

// A session on a stored conversation given a message while it starts (one that waited for a paste
// across a restart goes as soon as the pane's new composer comes): the conversation read back
// shows, the message after it. Before, the read-back replaced the transcript, and the message the
// agent was answering left the pane. Without such a message, the read-back alone.
TEST(ChatSession, a_message_given_while_the_conversation_is_read_back_stays_after_it)
{
    const auto message = [](const char* role, const char* text) {
        return QJsonObject{{S("role"), S(role)}, {S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S(text)}}}}};
    };
    const QJsonArray stored{message("user", "q"), message("assistant", "a")};
    for (const char* given : {"", "new words", "\u05e9\u05dc\u05d5\u05dd words"}) {
        SCOPED_TRACE(given);
        FakeSidecar fake({{S("history"), QJsonArray{answer({ev(S("history"), {{S("messages"), stored}})})}}});
        SessionUnderTest t(fake, ChatProvider::Claude, S("conv-9"));
        ClaudeSession& s = t.session;
        QStringList want{S("q"), S("a")};
        if (*given) {
            EXPECT_TRUE(s.sendUser(S(given), {}));
            want << S(given);
        }
        ASSERT_TRUE(t.startAndWait(fake));
        ASSERT_TRUE(fake.waitForCommand(S("history")));
        ASSERT_TRUE(waitUntil([&] { return s.transcript().size() == want.size() && s.transcript().first().blocks[0].text == S("q"); }));
        QStringList texts;
        for (const ChatMessage& m : s.transcript())
            texts << m.blocks.value(0).text;
        EXPECT_EQ(texts, want);
        EXPECT_EQ(s.transcript().last().role, *given ? ChatRole::User : ChatRole::Assistant);
        EXPECT_EQ(s.timeline()->count(), want.size());
    }
}

// How each turn ended shows on its calls and its question: a result settles the call it names
// (rows drawn again in place), a cut turn interrupts what waits and marks a question nothing
// answered, a read-back conversation is settled whole; the agent's word on a reconnect lasts while
// the turn waits on it.
TEST(ChatSession, how_a_turn_ended_shows_on_its_calls_and_its_question)
{
    ClaudeSession s(QUuid::createUuid(), S("/nonexistent"), false, std::nullopt, ChatProvider::Claude, true);
    const auto apply = [&](const QJsonObject& o) {
        s.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))));
    };
    const auto blocks = [&](QJsonArray b) { apply(ev(S("assistant"), {{S("blocks"), b}})); };
    const auto use = [](const char* id) { return QJsonObject{{S("type"), S("tool_use")}, {S("id"), S(id)}, {S("name"), S("Write")}}; };
    const TimelineModel& rows = *s.timeline();
    const auto role = [&](qsizetype row, int r) { return rows.data(rows.index(int(row)), r); };

    s.sendUser(S("write it"), {});
    blocks({use("w1"), use("b2")});
    apply(ev(S("status"), {{S("text"), S(" Reconnecting… 1/5 ")}}));
    EXPECT_EQ(s.statusNote(), S("Reconnecting… 1/5"));
    blocks({QJsonObject{{S("type"), S("tool_result")}, {S("toolUseId"), S("w1")}, {S("isError"), true}, {S("reason"), S("denied")}}});
    EXPECT_EQ(s.statusNote(), QString()) << "the turn moved on";
    EXPECT_EQ(role(1, TimelineModel::OutcomeRole), S("denied"));
    EXPECT_EQ(role(2, TimelineModel::OutcomeRole), S("pending"));
    EXPECT_EQ(role(3, TimelineModel::OutcomeRole), S("denied"));
    s.interrupt();
    apply(ev(S("result"), {{S("isError"), true}}));
    EXPECT_EQ(s.state(), PaneState::Idle);
    EXPECT_EQ(role(2, TimelineModel::OutcomeRole), S("interrupted"));
    EXPECT_FALSE(role(0, TimelineModel::UnansweredRole).toBool()) << "calls came after it";

    // A question nothing answered says what ended its turn: the error, or the user's stop.
    const auto noAnswer = [&] { return role(rows.count() - 1, TimelineModel::NoAnswerRole).toString(); };
    s.sendUser(S("and now?"), {});
    apply(ev(S("error"), {{S("message"), S("stream disconnected: no route to host")}}));
    EXPECT_TRUE(role(rows.count() - 1, TimelineModel::UnansweredRole).toBool());
    EXPECT_EQ(noAnswer(), S("stream disconnected: no route to host"));
    apply(ev(S("status"), {{S("text"), S("late")}}));
    EXPECT_EQ(s.statusNote(), QString()) << "no turn waits on it";
    EXPECT_EQ(rows.rows(), TimelineRow::build(s.transcript())) << "rows drawn again match the transcript";

    // A card goes with its turn, however it ends: a stop (at once), an error, a restart.
    s.sendUser(S("run it"), {});
    apply(ev(S("permission_request"), {{S("id"), S("p1")}, {S("tool"), S("Bash")}, {S("input"), QJsonObject{{S("command"), S("echo stale > stale.txt")}}}}));
    ASSERT_TRUE(s.pendingPermission());
    s.interrupt();
    EXPECT_FALSE(s.pendingPermission());
    EXPECT_EQ(s.state(), PaneState::Running) << "the turn is still ending";
    apply(ev(S("result"), {{S("isError"), true}}));
    EXPECT_EQ(noAnswer(), S("interrupted"));
    s.sendUser(S("ask me"), {});
    apply(ev(S("question"), {{S("id"), S("q1")}, {S("questions"), QJsonArray{QJsonObject{{S("question"), S("Which?")}}}}}));
    ASSERT_TRUE(s.pendingQuestion());
    apply(ev(S("error"), {{S("message"), S(R"(API Error: 500 {"type":"error","error":{"type":"api_error","message":"Internal server error"}})")}}));
    EXPECT_FALSE(s.pendingQuestion());
    EXPECT_EQ(noAnswer(), S("API Error: 500 Internal server error"));
    s.sendUser(S("once more"), {});
    apply(ev(S("permission_request"), {{S("id"), S("p2")}, {S("tool"), S("Bash")}, {S("input"), QJsonObject{}}}));
    s.restartPreservingConversation();
    EXPECT_FALSE(s.pendingPermission());
    EXPECT_EQ(noAnswer(), S("interrupted"));

    // A message sent while the agent starts, and the start fails: it says why, nothing works on it.
    ClaudeSession unstarted(QUuid::createUuid(), S("/nonexistent"), false, std::nullopt, ChatProvider::Claude, true);
    ASSERT_TRUE(unstarted.sendUser(S("hello"), {}));
    unstarted.startIfNeeded(std::nullopt);
    EXPECT_FALSE(unstarted.busy());
    EXPECT_TRUE(unstarted.timeline()->rows().last().unanswered);
    EXPECT_EQ(unstarted.timeline()->rows().last().noAnswer, S("Project folder not found: /nonexistent"));

    // Read back: the call with no result was cut, the question with nothing after it too.
    const auto text = [](const char* role, const char* t) {
        return QJsonObject{{S("role"), S(role)}, {S("blocks"), QJsonArray{QJsonObject{{S("type"), S("text")}, {S("text"), S(t)}}}}};
    };
    ClaudeSession restored(QUuid::createUuid(), S("/nonexistent"), false, S("conv-2"), ChatProvider::Claude, true);
    QJsonObject refused = text("user", "q2");
    refused[S("noAnswer")] = S("Prompt is too long");
    restored.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(ev(S("history"), {{S("messages"), QJsonArray{
        text("user", "q1"), QJsonObject{{S("role"), S("assistant")}, {S("blocks"), QJsonArray{use("t")}}}, refused}}}))
                                                               .toJson(QJsonDocument::Compact))));
    const TimelineModel& back = *restored.timeline();
    ASSERT_EQ(back.count(), 3);
    EXPECT_FALSE(back.rows().at(0).unanswered);
    EXPECT_EQ(back.rows().at(1).outcome, ToolOutcome::Interrupted);
    EXPECT_TRUE(back.rows().at(2).unanswered);
    EXPECT_EQ(back.rows().at(2).noAnswer, S("Prompt is too long")) << "as the store told";
}

TEST(ChatSession, closed_and_a_crash_both_end_in_stopped)
{
    const QJsonArray closed = answer({ev(S("closed"))});
    const QJsonArray crash{QJsonArray{QJsonObject{{S("raw"), S("{\"ev\":\"assist")}}, QJsonObject{{S("crash"), true}}}};
    FakeSidecar fake({{S("list_sessions"), QJsonArray{closed}}, {S("user"), crash}});
    SessionUnderTest a(fake);
    ASSERT_TRUE(a.startAndWait(fake));
    a.session.requestSessions();
    ASSERT_TRUE(waitUntil([&] { return a.session.state() == PaneState::Stopped; }));
    a.session.stop();

    FakeSidecar fake2({{S("user"), crash}});
    SessionUnderTest b(fake2);
    ASSERT_TRUE(b.startAndWait(fake2));
    b.session.sendUser(S("boom"), {});
    ASSERT_TRUE(waitUntil([&] { return b.session.state() == PaneState::Stopped; }));
    EXPECT_FALSE(b.session.busy());
    EXPECT_FALSE(b.session.hasProcess());
    EXPECT_EQ(b.reported, (QList<PaneState>{PaneState::Idle, PaneState::Running, PaneState::Stopped}));
}

TEST(ChatSession, start_failures_say_exactly_why)
{
    FakeSidecar fake;
    const auto failure = [&](ChatProvider provider, SidecarTools tools) {
        ClaudeSession s(QUuid::createUuid(), fake.dir(), false, std::nullopt, provider, true);
        s.setTools(tools);
        s.startIfNeeded(std::nullopt);
        waitUntil([&] { return s.failure().has_value(); });
        EXPECT_EQ(s.state(), PaneState::Error);
        return s.failureText();
    };
    SidecarTools noNode = fake.tools();
    noNode.findNode = [](QObject*, std::function<void(std::optional<QString>)> done) { done(std::nullopt); };
    EXPECT_EQ(failure(ChatProvider::Claude, noNode), S("Node ≥ 18 not found. The chat pane needs Node to run the provider sidecar."));
    SidecarTools noScript = fake.tools();
    noScript.scriptPath = [](ChatProvider) { return std::nullopt; };
    EXPECT_EQ(failure(ChatProvider::Codex, noScript), S("Sidecar (codex-agent.mjs) not found in the app bundle."));
    EXPECT_EQ(failure(ChatProvider::Claude, fake.tools(std::nullopt)), S("Claude Code not found. Install it, then restart this pane."));
    EXPECT_EQ(failure(ChatProvider::Codex, fake.tools(std::nullopt)),
              S("Codex CLI not found. Install it (npm i -g @openai/codex or brew), then restart this pane."));
    SidecarTools badNode = fake.tools();
    badNode.findNode = [](QObject*, std::function<void(std::optional<QString>)> done) { done(S("/nonexistent/node")); };
    EXPECT_TRUE(failure(ChatProvider::Claude, badNode).startsWith(S("Couldn't launch the sidecar: ")));
    // Node or the tool not searched for (the login shell cut at its limit or ended first, no
    // thread for the search) is not missing: the pane says why, and that a restart tries again.
    const struct {
        const char* name;
        NodeFound node;
        ToolFound tool;
        QString failure;
    } unsearched[] = {
        {"node, the shell cut", [] { NodeFound n; n.notSearched = LoginShell::notSearched(S("node"), 500); return n; }(), ToolFound(FakeSidecar::node()),
         S("The login shell did not finish starting within 0.5 s, so its PATH was not searched for node. Restart this pane to try again.")},
        {"node, the shell ended first", [] { NodeFound n; n.notSearched = LoginShell::notSearched(S("node"), 500, true); return n; }(), ToolFound(FakeSidecar::node()),
         S("The login shell ended before it ran the check, so its PATH was not searched for node. Restart this pane to try again.")},
        {"node, no thread", [] { NodeFound n; n.notSearched = S("Node.js could not be searched for: no thread could be started."); return n; }(), ToolFound(FakeSidecar::node()),
         S("Node.js could not be searched for: no thread could be started. Restart this pane to try again.")},
        {"the tool, no thread", NodeFound(FakeSidecar::node()), [] { ToolFound t; t.notSearched = S("claude could not be searched for: no thread could be started."); return t; }(),
         S("claude could not be searched for: no thread could be started. Restart this pane to try again.")},
    };
    for (const auto& r : unsearched) {
        SCOPED_TRACE(r.name);
        SidecarTools tools = fake.tools();
        tools.findNode = [node = r.node](QObject*, std::function<void(NodeFound)> done) { done(node); };
        tools.locateTool = [tool = r.tool](ChatProvider, const std::optional<QString>&) { return tool; };
        EXPECT_EQ(failure(ChatProvider::Claude, tools), r.failure);
    }

    // After a failure a second start does nothing; a restart tries again.
    ClaudeSession s(QUuid::createUuid(), fake.dir(), false, std::nullopt, ChatProvider::Claude, true);
    s.setTools(fake.tools(std::nullopt));
    s.startIfNeeded(std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return s.failure().has_value(); }));
    s.setTools(fake.tools());
    s.startIfNeeded(std::nullopt);
    EXPECT_FALSE(s.hasProcess());
    s.restartPreservingConversation();
    ASSERT_TRUE(fake.waitForCommand(S("start")));
    EXPECT_FALSE(s.failure());
}

// The agent works where it starts: a pane whose folder was moved or deleted (or is a file now, or
// goes while the tools are searched for) starts none, and says which folder it looked for; once
// the folder is back, a restart starts the agent there.
TEST(ChatSession, a_missing_project_folder_starts_no_agent_until_it_is_back)
{
    FakeSidecar fake;
    const QString folder = fake.dir() + S("/project");
    QFile plain(fake.dir() + S("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    SidecarTools vanishing = fake.tools();
    vanishing.findNode = [folder](QObject*, std::function<void(std::optional<QString>)> done) {
        QDir(folder).removeRecursively();
        done(FakeSidecar::node());
    };
    const struct {
        const char* name;
        QString directory;
        bool makeFolder;
        SidecarTools tools;
        QString shown;
    } rows[] = {
        {"missing", folder, false, fake.tools(), folder},
        {"a file", plain.fileName(), false, fake.tools(), plain.fileName()},
        {"under the home folder", S("~/moved-away"), false, fake.tools(), QDir::homePath() + S("/moved-away")},
        {"gone during the search", folder, true, vanishing, folder},
        // Its name isolated, the override a mark: the sentence cannot end "rloexe.jpg".
        {"an override in its name", fake.dir() + S("/rlo\u202Egpj.exe"), false, fake.tools(),
         S("\u2068") + fake.dir() + S("/rlo<U+202E>gpj.exe\u2069")},
    };
    for (const auto& r : rows) {
        if (r.makeFolder) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        ClaudeSession s(QUuid::createUuid(), r.directory, false, S("conv-1"), ChatProvider::Claude, true);
        s.setTools(r.tools);
        QList<PaneState> reported;
        s.onState = [&](const QUuid&, PaneState st) { reported << st; };
        s.startIfNeeded(std::nullopt);
        ASSERT_TRUE(waitUntil([&] { return s.failure().has_value(); })) << r.name;
        EXPECT_EQ(s.failureText(), S("Project folder not found: ") + r.shown) << r.name;
        EXPECT_EQ(reported, QList<PaneState>{PaneState::Error}) << r.name;
        EXPECT_FALSE(s.hasProcess()) << r.name;
        EXPECT_FALSE(s.accepting()) << r.name;
        EXPECT_FALSE(s.sendUser(S("hello"), {})) << r.name;
    }
    EXPECT_TRUE(fake.commands().isEmpty());

    // Back in place: the restart runs the agent in the folder, on the same conversation.
    ClaudeSession s(QUuid::createUuid(), folder, false, S("conv-1"), ChatProvider::Claude, true);
    s.setTools(fake.tools());
    s.startIfNeeded(std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return s.failure().has_value(); }));
    ASSERT_TRUE(QDir().mkpath(folder));
    s.restartPreservingConversation();
    ASSERT_TRUE(fake.waitForCommand(S("start")));
    EXPECT_EQ(fake.commands().at(0)[S("cwd")], folder);
    EXPECT_EQ(fake.commands().at(0)[S("resume")], S("conv-1"));
    EXPECT_FALSE(s.failure());
    s.stop();
}

TEST(ChatSession, stop_sends_quit_ends_the_sidecar_and_reports_nothing)
{
    FakeSidecar fake;
    SessionUnderTest t(fake);
    ASSERT_TRUE(t.startAndWait(fake));
    ASSERT_TRUE(waitUntil([&] { return t.session.processId() > 0; }));
    const qint64 pid = t.session.processId();
    const QList<PaneState> before = t.reported;
    t.session.stop();
    EXPECT_FALSE(t.session.hasProcess());
    ASSERT_TRUE(fake.waitForCommand(S("quit")));
    ASSERT_TRUE(waitUntil([&] { return !processRunning(pid); }));
    EXPECT_EQ(t.reported, before);
    EXPECT_EQ(t.session.state(), PaneState::Idle);
    // Nothing is written once stopped.
    t.session.sendUser(S("lost"), {});
    EXPECT_EQ(fake.commandNames().count(S("user")), 0);
}

TEST(ChatSession, commands_given_while_starting_follow_start)
{
    FakeSidecar fake;
    SessionUnderTest t(fake);
    t.session.startIfNeeded(std::nullopt);
    t.session.sendUser(S("early"), {});
    t.session.setModel(QString());
    ASSERT_TRUE(fake.waitForCommand(S("set_model")));
    EXPECT_EQ(fake.commandNames(), (QStringList{S("start"), S("user"), S("set_model")}));
    // The same model again sends nothing.
    t.session.setModel(QString());
    t.session.setPermissionMode(S("plan"));
    ASSERT_TRUE(fake.waitForCommand(S("set_permission_mode")));
    EXPECT_EQ(fake.commandNames().count(S("set_model")), 1);
}

TEST(ChatHost, one_session_per_pane_reporting_through_callbacks_installed_later)
{
    FakeSidecar fake({{S("start"), QJsonArray{answer({ev(S("permission_request"), {{S("id"), S("p")}})})}}});
    AgentChatHost& host = AgentChatHost::shared();
    EXPECT_EQ(&ChatHost::shared(), &host);
    host.setTools(fake.tools());
    Session record;
    record.id = QUuid::createUuid();
    record.kind = PaneKind::Chat;
    record.directory = fake.dir();
    ClaudeSession* s = host.session(record);
    EXPECT_EQ(host.session(record), s);
    QList<PaneState> states;
    host.onState = [&](const QUuid& id, PaneState st) {
        if (id == record.id)
            states.append(st);
    };
    ASSERT_TRUE(waitUntil([&] { return states.size() == 2; }));
    EXPECT_EQ(states, (QList<PaneState>{PaneState::Idle, PaneState::Awaiting}));
    EXPECT_EQ(fake.commandNames().count(S("start")), 1);
    host.resume(QUuid::createUuid(), S("x"));  // no session: nothing made
    EXPECT_EQ(host.sessions().size(), 1);
    QStringList ended;
    QObject::connect(&host, &AgentChatHost::sessionEnded, &host, [&](const QString& id) { ended << id; });
    const QPointer<ClaudeSession> old(s);
    host.stopSession(record.id);
    EXPECT_TRUE(host.sessions().isEmpty());
    EXPECT_EQ(ended, QStringList{record.idText()});
    ASSERT_TRUE(fake.waitForCommand(S("quit")));
    // The restarted pane asks again: a fresh session, which says its state once it has started
    // although that state (awaiting, from the script) is where the record already was not.
    ASSERT_TRUE(waitUntil([&] { return old.isNull(); }));
    states.clear();
    host.session(record);
    ASSERT_TRUE(waitUntil([&] { return states.size() == 2; }));
    EXPECT_EQ(states.first(), PaneState::Idle);
    EXPECT_EQ(fake.commandNames().count(S("start")), 2);
    host.stopSession(record.id);
    host.disconnect(&host);
    host.onState = nullptr;
}

TEST(ChatSession, quitting_the_application_ends_every_sidecar)
{
    // The fake ignores nothing here, but a sidecar that never answered "quit" would be ended with
    // its group once the grace has passed; this checks the ordinary way out.
    FakeSidecar fake;
    SessionUnderTest a(fake), b(fake, ChatProvider::Codex);
    ASSERT_TRUE(a.startAndWait(fake));
    ASSERT_TRUE(fake.waitForCommand(S("start"), 1));
    b.session.startIfNeeded(std::nullopt);
    ASSERT_TRUE(fake.waitForCommand(S("start"), 2));
    ASSERT_TRUE(waitUntil([&] { return a.session.processId() > 0 && b.session.processId() > 0; }));
    const qint64 pa = a.session.processId(), pb = b.session.processId();
    SidecarProcess::shutdownAll(4000);
    EXPECT_FALSE(processRunning(pa));
    EXPECT_FALSE(processRunning(pb));
    EXPECT_EQ(fake.commandNames().count(S("quit")), 2);
}

// One sidecar that ignores "quit" (and SIGTERM) among others that honour it: every one is told,
// and the stubborn one is ended at the deadline with the child it started.
TEST(ChatSession, a_quit_tells_every_sidecar_and_ends_a_stubborn_one_with_its_child_at_the_deadline)
{
    FakeSidecar fake;
    qputenv("FAKE_SIDECAR_STUBBORN", "1");
    SessionUnderTest stubborn(fake);
    ASSERT_TRUE(stubborn.startAndWait(fake));
    qunsetenv("FAKE_SIDECAR_STUBBORN");
    const qint64 pid = stubborn.session.processId();
    QList<qint64> tree;
    ASSERT_TRUE(waitUntil([&] { return !(tree = descendants(pid)).isEmpty(); }));
    SessionUnderTest a(fake), b(fake, ChatProvider::Codex);
    a.session.startIfNeeded(std::nullopt);
    b.session.startIfNeeded(std::nullopt);
    ASSERT_TRUE(fake.waitForCommand(S("start"), 3));
    const QList<qint64> others{a.session.processId(), b.session.processId()};
    SidecarProcess::shutdownAll(1500);
    EXPECT_EQ(fake.commandNames().count(S("quit")), 3) << fake.commandNames().join(u' ').toStdString();
    for (qint64 p : QList<qint64>{pid} + tree + others)
        EXPECT_FALSE(processRunning(p)) << p;
}

TEST(ChatSession, a_sidecar_that_ignores_quit_is_ended_with_its_children)
{
    FakeSidecar fake;
    qputenv("FAKE_SIDECAR_STUBBORN", "1");
    SessionUnderTest t(fake);
    ASSERT_TRUE(t.startAndWait(fake));
    const qint64 pid = t.session.processId();
    QList<qint64> group{pid};
    ASSERT_TRUE(waitUntil([&] {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        children.open(QIODevice::ReadOnly);
        const QByteArray ids = children.readAll().trimmed();
        if (!ids.isEmpty())
            group << ids.split(' ').first().toLongLong();
        return group.size() > 1;
    }));
    qunsetenv("FAKE_SIDECAR_STUBBORN");
    const int quitGrace = std::exchange(SidecarProcess::quitGraceMs, 300);
    const int killGrace = std::exchange(SidecarProcess::killGraceMs, 300);
    t.session.stop();
    ASSERT_TRUE(fake.waitForCommand(S("quit")));
    // SIGTERM after the grace, then the whole group.
    EXPECT_TRUE(waitUntil([&] { return !processRunning(group.at(0)) && !processRunning(group.at(1)); },
                          SidecarProcess::quitGraceMs + SidecarProcess::killGraceMs + 5000));
    SidecarProcess::quitGraceMs = quitGrace;
    SidecarProcess::killGraceMs = killGrace;
}

TEST(ChatSession, a_sidecar_killed_mid_turn_leaves_nothing_it_started_running)
{
    // The fake leaves what a CLI does: a child in the sidecar's group, under it a shell in its own session.
    FakeSidecar fake;
    qputenv("FAKE_SIDECAR_TREE", "1");
    SessionUnderTest t(fake);
    ASSERT_TRUE(t.startAndWait(fake));
    qunsetenv("FAKE_SIDECAR_TREE");
    const qint64 pid = t.session.processId();
    const auto sleeps = [](qint64 p) { QFile f(QStringLiteral("/proc/%1/comm").arg(p)); return f.open(QIODevice::ReadOnly) && f.readAll() == "sleep\n"; };
    QList<qint64> tree;
    ASSERT_TRUE(waitUntil([&] { return (tree = descendants(pid)).size() == 2 && std::all_of(tree.cbegin(), tree.cend(), sleeps); }));
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return t.session.state() == PaneState::Stopped; }));
    EXPECT_TRUE(waitUntil([&] { return std::none_of(tree.cbegin(), tree.cend(), processRunning); }));
}

TEST(ChatSession, a_sidecar_number_handed_out_again_ends_nothing_of_its_new_owner)
{
    // A stranger leading its own group and session under a collected sidecar's number is not its leftover.
    QProcess other;
    other.setChildProcessModifier([] { ::setsid(); });
    other.start(S("sleep"), {S("1000")});
    ASSERT_TRUE(other.waitForStarted());
    const pid_t pid = pid_t(other.processId());
    ASSERT_TRUE(waitUntil([&] { return ProcessTree::leftBy(pid) == std::vector<pid_t>{pid}; }));
    EXPECT_TRUE(ProcessTree::leftBy(pid, true).empty());
    ProcessTree::end(pid, true);
    EXPECT_TRUE(processRunning(pid));
    other.kill();
    other.waitForFinished();
}

TEST(ChatSession, an_agent_that_dies_stops_the_pane_with_its_reason_and_takes_no_more_messages)
{
    // The agent CLI died: the sidecar says so (an error between turns), closes and exits.
    QJsonArray dies = answer({ev(S("session"), {{S("id"), S("conv-9")}}),
                              ev(S("error"), {{S("message"), S("Claude Code ended the session.")}}), ev(S("closed"))});
    dies.append(QJsonObject{{S("exit"), 0}});
    FakeSidecar fake({{S("user"), QJsonArray{dies}}});
    SessionUnderTest t(fake);
    ClaudeSession& s = t.session;
    ASSERT_TRUE(t.startAndWait(fake));
    EXPECT_TRUE(s.accepting());
    EXPECT_TRUE(s.sendUser(S("hello"), {}));
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Stopped; }));
    EXPECT_EQ(s.exitReason(), S("Claude Code ended the session."));
    EXPECT_FALSE(s.busy());
    EXPECT_FALSE(s.accepting());
    EXPECT_EQ(t.reported, (QList<PaneState>{PaneState::Idle, PaneState::Running, PaneState::Error, PaneState::Stopped}));
    // Nothing is taken in while no sidecar runs: no row, no spinner.
    const int rows = s.messageCount();
    EXPECT_FALSE(s.sendUser(S("into the void"), {}));
    EXPECT_EQ(s.messageCount(), rows);
    EXPECT_FALSE(s.busy());
    EXPECT_EQ(s.state(), PaneState::Stopped);

    // Restarting resumes the conversation on a new sidecar, and that one takes messages.
    s.restartPreservingConversation();
    ASSERT_TRUE(fake.waitForCommand(S("history")));
    ASSERT_TRUE(waitUntil([&] { return s.accepting() && s.exitReason().isEmpty(); }));
    EXPECT_TRUE(s.sendUser(S("again"), {}));
    ASSERT_TRUE(fake.waitForCommand(S("user"), 2));
    QJsonObject start;
    for (const QJsonObject& c : fake.commands())
        if (c[S("cmd")] == S("start"))
            start = c;
    EXPECT_EQ(start[S("resume")], S("conv-9"));
}

TEST(ChatSession, an_effort_change_restarts_a_failed_pane)
{
    FakeSidecar fake;
    ClaudeSession s(QUuid::createUuid(), fake.dir(), false, std::nullopt, ChatProvider::Claude, true);
    s.setTools(fake.tools(std::nullopt));
    s.startIfNeeded(std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return s.failure().has_value(); }));
    s.setTools(fake.tools());
    s.setEffort(S("low"));
    ASSERT_TRUE(fake.waitForCommand(S("start")));
    EXPECT_EQ(fake.commands().at(0)[S("effort")], S("low"));
    EXPECT_FALSE(s.failure());
    // The same effort again changes nothing.
    s.setEffort(S("low"));
    s.requestSessions();
    ASSERT_TRUE(fake.waitForCommand(S("list_sessions")));
    EXPECT_EQ(fake.commandNames().count(S("start")), 1);
}

// A restart would end what the agent left running (servers, background jobs): a running pane's
// sidecar takes a new effort as it takes a new model, in both providers, and keeps running.
TEST(ChatSession, an_effort_change_reaches_the_running_sidecar_without_a_restart)
{
    for (const ChatProvider provider : {ChatProvider::Claude, ChatProvider::Codex}) {
        FakeSidecar fake;
        SessionUnderTest t(fake, provider);
        ASSERT_TRUE(t.startAndWait(fake));
        ASSERT_TRUE(waitUntil([&] { return t.session.processId() > 0; }));
        const qint64 pid = t.session.processId();
        t.session.setEffort(S("low"));
        t.session.setEffort(QString());
        ASSERT_TRUE(fake.waitForCommand(S("set_effort"), 2));
        QStringList efforts;
        for (const QJsonObject& c : fake.commands())
            if (c[S("cmd")] == S("set_effort"))
                efforts << c[S("effort")].toString();
        EXPECT_EQ(efforts, (QStringList{S("low"), QString()}));
        EXPECT_EQ(fake.commandNames().count(S("start")), 1);
        EXPECT_EQ(fake.commandNames().count(S("quit")), 0);
        EXPECT_EQ(t.session.processId(), pid);
        EXPECT_TRUE(processRunning(pid));
        EXPECT_EQ(t.session.effortText(), QString());
    }
}

TEST(ChatSession, conversation_ids_empty_refused_model_and_switches_not_asked_for)
{
    ClaudeSession s(QUuid::createUuid(), S("/nonexistent"), false, std::nullopt, ChatProvider::Claude, true);
    QStringList announced;
    s.onSessionId = [&](const QUuid&, const QString& id) { announced << id; };
    const auto apply = [&](const QJsonObject& o) {
        s.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))));
    };
    apply(ev(S("session"), {{S("id"), S("conv-1")}, {S("model"), S("opus")}}));
    apply(ev(S("session"), {{S("id"), S("conv-1")}}));  // every turn says it again
    EXPECT_EQ(s.messageCount(), 0);
    // No id: the link to the conversation stays.
    apply(ev(S("session"), {{S("id"), S("")}}));
    apply(ev(S("session")));
    EXPECT_EQ(s.claudeSessionId(), S("conv-1"));
    EXPECT_EQ(announced, (QStringList{S("conv-1"), S("conv-1")}));
    // A "/clear": the agent is in a new conversation, and the pane says so below the old one.
    apply(ev(S("session"), {{S("id"), S("conv-2")}}));
    EXPECT_EQ(s.claudeSessionId(), S("conv-2"));
    ASSERT_EQ(s.messageCount(), 1);
    EXPECT_EQ(s.timeline()->rows().last().text,
              S("✦ New conversation started — the messages above belong to the previous one."));
    // Restarted on conv-1, the agent's first word may already be a "/clear"'s new conversation.
    for (const char* id : {"conv-1", "conv-3"}) {
        ClaudeSession resumed(QUuid::createUuid(), S("/nonexistent"), false, S("conv-1"), ChatProvider::Claude, true);
        resumed.apply(*SidecarEvent::decode(QString::fromUtf8(QJsonDocument(ev(S("session"), {{S("id"), S(id)}})).toJson(QJsonDocument::Compact))));
        EXPECT_EQ(resumed.timeline()->rows().value(0).text, S(id) == S("conv-1") ? QString() : s.timeline()->rows().last().text) << id;
    }

    // A refused model switch: the bar says why, the pill shows the model in force.
    s.setModel(S("claude-typo-9"));
    apply(ev(S("model_refused"), {{S("model"), S("claude-opus-4-8")}, {S("message"), S("Couldn't switch to claude-typo-9: unknown model")}}));
    EXPECT_EQ(s.model(), S("claude-opus-4-8"));
    EXPECT_EQ(s.turnError(), S("Couldn't switch to claude-typo-9: unknown model"));
    EXPECT_EQ(s.state(), PaneState::Idle);
    apply(ev(S("model_refused"), {{S("model"), S("")}}));
    EXPECT_FALSE(s.model());
    EXPECT_EQ(s.turnError(), S("The model switch was refused."));
}

// The tool is looked for through the login shell, as the add-session sheet's card does it. A shell
// that did not finish starting within the limit searched nothing: the pane says what the card
// says, without telling the user to install a tool that may well be there, and Restart looks
// again. Only a shell that searched and found nothing makes the pane say "not found".
TEST(ChatSession, a_pane_started_while_the_login_shell_is_still_starting_says_so_and_restart_looks_again)
{
    if (const auto elsewhere = ToolSearch::firstFixed(S("claude")))
        GTEST_SKIP() << "claude is installed at " << elsewhere->toStdString() << ": the login shell is never asked";
    QTemporaryDir home;
    const QByteArray saved[] = {qgetenv("HOME"), qgetenv("SHELL")};
    qputenv("HOME", home.path().toUtf8());
    qputenv("SHELL", "/bin/bash");
    qputenv("BRINMOOR_PROBE_LIMIT_MS", "500");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", saved[0]);
        qputenv("SHELL", saved[1]);
        qunsetenv("BRINMOOR_PROBE_LIMIT_MS");
    });
    const auto write = [&](const QString& rel, const QByteArray& text) {
        QDir().mkpath(QFileInfo(home.filePath(rel)).path());
        QFile f(home.filePath(rel));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    };
    const QByteArray onPath = "export PATH=\"$HOME/bin:$PATH\"\n";
    const QString tool = home.filePath(S("bin/claude"));
    FakeSidecar fake;
    SidecarTools tools = fake.tools();
    tools.locateTool = SidecarTools::real().locateTool;
    ClaudeSession s(QUuid::createUuid(), fake.dir(), false, std::nullopt, ChatProvider::Claude, true);
    s.setTools(tools);
    const struct {
        const char* name;
        QByteArray profile;
        bool installed;
        QString failure;  // "" when the agent starts
    } rows[] = {
        {"still starting, the tool on the PATH it would set", "echo /srv/www\nsleep 600\n" + onPath, true,
         S("The login shell did not finish starting within 0.5 s, so its PATH was not searched for claude. Restart this pane to try again.")},
        {"started, no tool", "echo /srv/www\n" + onPath, false, S("Claude Code not found. Install it, then restart this pane.")},
        {"still starting again", "sleep 600\n", false,
         S("The login shell did not finish starting within 0.5 s, so its PATH was not searched for claude. Restart this pane to try again.")},
        {"started, the tool there", "echo /srv/www\n" + onPath, true, QString()},
        // A start-up that prints a path and ends the shell before the search runs: that path is
        // not taken for the tool, and nothing was searched.
        {"ended by exec before the search", "exec /bin/echo /srv/www\n", false,
         S("The login shell ended before it ran the check, so its PATH was not searched for claude. Restart this pane to try again.")},
        {"ended before the search, the tool on the PATH it would set", "echo /srv/www\nexit\n" + onPath, true,
         S("The login shell ended before it ran the check, so its PATH was not searched for claude. Restart this pane to try again.")},
        {"started again, the tool there", onPath, true, QString()},
    };
    bool first = true;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        write(S(".bash_profile"), r.profile);
        if (r.installed)
            write(S("bin/claude"), "#!/bin/sh\necho '2.1.3 (Claude Code)'\n");
        else
            QFile::remove(tool);
        if (std::exchange(first, false))
            s.startIfNeeded(std::nullopt);
        else
            s.restartPreservingConversation();
        if (r.failure.isEmpty()) {
            ASSERT_TRUE(fake.waitForCommand(S("start")));
            EXPECT_EQ(fake.commands().at(0)[S("binPath")], tool);
            EXPECT_FALSE(s.failure());
        } else {
            ASSERT_TRUE(waitUntil([&] { return s.failure().has_value(); }, 20000));
            EXPECT_EQ(s.failureText(), r.failure);
            EXPECT_EQ(s.state(), PaneState::Error);
            EXPECT_FALSE(s.hasProcess());
        }
    }
    s.stop();
}

// Sidecars that do not act on "quit" (nor on SIGTERM: a busy event loop) beside one that does,
// each run through the reaper as in the app, each with a server its agent left running. Past the
// graces the stubborn ones are ended so that their servers get SIGTERM and their grace from the
// reaper, as the ordinary one's server does; at a quit, within a bound, and nothing is left. The
// same for panes closed one by one.
TEST(ChatSession, servers_under_a_sidecar_that_misses_its_quit_get_sigterm_first)
{
    const QString reaper = QStringLiteral(BRINMOOR_BINARY_DIR "/bin/sidecar/brinmoor-reaper");
    if (!QFileInfo(reaper).isExecutable())
        GTEST_SKIP() << "no reaper built at " << reaper.toStdString();
    const auto said = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    };
    for (const bool atQuit : {true, false}) {
        SCOPED_TRACE(atQuit ? "quit" : "panes closed");
        FakeSidecar fake;
        ASSERT_TRUE(QFile::link(reaper, fake.dir() + S("/brinmoor-reaper")));
        const struct {
            bool stubborn;
            ChatProvider provider;
        } rows[] = {{true, ChatProvider::Claude}, {false, ChatProvider::Claude}, {true, ChatProvider::Codex}};
        std::vector<std::unique_ptr<SessionUnderTest>> sessions;
        QStringList servers;
        QList<qint64> tree;
        for (const auto& r : rows) {
            servers << fake.dir() + QStringLiteral("/server-%1.log").arg(servers.size());
            qputenv("FAKE_SIDECAR_SERVER", servers.last().toUtf8());
            if (r.stubborn)
                qputenv("FAKE_SIDECAR_STUBBORN", "1");
            sessions.push_back(std::make_unique<SessionUnderTest>(fake, r.provider));
            ASSERT_TRUE(sessions.back()->startAndWait(fake));
            ASSERT_TRUE(fake.waitForCommand(S("start"), int(sessions.size())));
            qunsetenv("FAKE_SIDECAR_STUBBORN");
            qunsetenv("FAKE_SIDECAR_SERVER");
        }
        for (const QString& server : servers)
            ASSERT_TRUE(waitUntil([&] { return said(server).contains(S("ready")); })) << server.toStdString();
        for (const auto& s : sessions)
            tree << s->session.processId() << descendants(s->session.processId());
        const auto allGone = [&] {
            return std::none_of(tree.cbegin(), tree.cend(), [](qint64 p) { return processRunning(p); });
        };
        if (atQuit) {
            QElapsedTimer clock;
            clock.start();
            SidecarProcess::shutdownAll(800);
            // The deadline, the moment after SIGTERM, and the servers' grace (theirs take 0.2 s),
            // well within the bound of the three.
            EXPECT_LT(clock.elapsed(), 800 + SidecarProcess::termWaitMs + SidecarProcess::leftoverGraceMs);
            EXPECT_TRUE(allGone());
        } else {
            const int quitGrace = std::exchange(SidecarProcess::quitGraceMs, 300);
            const int killGrace = std::exchange(SidecarProcess::killGraceMs, 300);
            for (const auto& s : sessions)
                s->session.stop();
            EXPECT_TRUE(waitUntil(allGone, 600 + SidecarProcess::leftoverGraceMs + 5000));
            SidecarProcess::quitGraceMs = quitGrace;
            SidecarProcess::killGraceMs = killGrace;
        }
        EXPECT_EQ(fake.commandNames().count(S("quit")), 3);
        for (const QString& server : servers)
            EXPECT_EQ(said(server), (QStringList{S("ready"), S("TERM")})) << server.toStdString();
        for (qint64 p : tree)
            EXPECT_FALSE(processRunning(p)) << p;
    }
}

namespace {

// A pids control group of the test's own, in the v1 pids hierarchy or a unified one that hands
// the controller down; no folder where none can be made (not root, a read-only cgroup file system).
struct PidsGroup {
    QString folder;
    PidsGroup()
    {
        if (::getuid() != 0)
            return;
        for (const QString& top : {S("/sys/fs/cgroup/pids"), S("/sys/fs/cgroup"), S("/sys/fs/cgroup/unified")}) {
            QFile handed(top + S("/cgroup.subtree_control"));
            const bool usable = (QFileInfo::exists(top + S("/tasks")) && top.endsWith(S("/pids")))
                             || (handed.open(QIODevice::ReadOnly) && handed.readAll().split(' ').contains("pids"));
            const QString candidate = top + QStringLiteral("/brinmoor-chat-test-%1").arg(::getpid());
            if (usable && QDir().mkdir(candidate)) {
                if (QFileInfo::exists(candidate + S("/pids.max"))) {
                    folder = candidate;
                    return;
                }
                QDir().rmdir(candidate);
            }
        }
    }
    ~PidsGroup()
    {
        // A sidecar let go ends a moment later, and a group is removed only once it is empty.
        if (!folder.isEmpty())
            waitUntil([&] { return QDir().rmdir(folder); }, 10000);
    }
    static bool write(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush();
    }
    static long long read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
    }
};

} // namespace

// A sidecar that cannot get the threads or processes it needs (a fork that fails: its own task
// limit, here one task) ends before it says a word; the pane says what it said on standard error
// instead of only "The agent ended.", and a restart with room to spare runs it.
TEST(ChatSession, a_sidecar_that_cannot_fork_ends_the_pane_with_what_it_said)
{
    FakeSidecar fake;
    const PidsGroup group;
    if (::getuid() == 0 && group.folder.isEmpty())
        GTEST_SKIP() << "as root only a pids control group limits a process, and none can be made here";
    // Node under a limit of one task: the group's when the test may make one, else the user's.
    const QString node = fake.dir() + S("/limited-node");
    QFile script(node);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    const QByteArray limit = group.folder.isEmpty()
        ? QByteArray("ulimit -u 1\n")
        : "echo 1 > '" + group.folder.toUtf8() + "/pids.max'\necho $$ > '" + group.folder.toUtf8() + "/cgroup.procs'\n";
    script.write("#!/bin/sh\n[ -e \"$0.free\" ] || { " + limit + "}\nexec '" + FakeSidecar::node().toUtf8() + "' \"$@\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    SidecarTools tools = fake.tools();
    tools.findNode = [node](QObject*, std::function<void(std::optional<QString>)> done) { done(node); };
    SessionUnderTest t(fake);
    t.session.setTools(tools);
    t.session.startIfNeeded(std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return t.session.state() == PaneState::Stopped; }, 20000));
    const QString reason = t.session.exitReason();
    EXPECT_TRUE(reason.startsWith(S("The agent ended"))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(S(" It said: "))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(S("uv_thread_create")) || reason.contains(S("Resource temporarily unavailable")))
        << reason.toStdString();
    EXPECT_FALSE(reason.contains(S("Native stack trace"))) << reason.toStdString();

    QFile(node + S(".free")).open(QIODevice::WriteOnly);
    t.session.restartPreservingConversation();
    ASSERT_TRUE(fake.waitForCommand(S("start")));
    EXPECT_TRUE(t.session.exitReason().isEmpty());
    t.session.stop();
}

// What a sidecar said on standard error, as the pane shows it: the lines before a stack trace
// (Node's native one, a JavaScript one), the last two, right-to-left words kept as they are.
TEST(SidecarProcess, its_last_words_are_the_lines_before_a_stack_trace)
{
    const struct {
        QByteArray said;
        QString want;
    } rows[] = {
        {"", QString()},
        {"brinmoor-reaper: cannot start /usr/bin/node: Resource temporarily unavailable\n",
         S("brinmoor-reaper: cannot start /usr/bin/node: Resource temporarily unavailable")},
        {"\n\n  #  node[7]: Start() at ../src/node_platform.cc:68\n  #  Assertion failed: (0) == (uv_thread_create(t))\n\n"
         "----- Native stack trace -----\n\n 1: 0xcb5167 node::Assert(node::AssertionInfo const&) [node]\n 2: 0xd35c5e x [node]\n",
         S("node[7]: Start() at ../src/node_platform.cc:68 Assertion failed: (0) == (uv_thread_create(t))")},
        {"file:///a/b.mjs:3\n    throw e;\n    ^\n\nError: spawn EAGAIN\n    at ChildProcess.spawn (node:internal/child_process:421:11)\n"
         "    at spawn (node:child_process:761:9) {\n}\n\nNode.js v20.20.2\n",
         S("throw e; Error: spawn EAGAIN")},
        {"warning: old\nשגיאה: אין מקום לתהליך 42\n", S("warning: old שגיאה: אין מקום לתהליך 42")},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SidecarProcess::lastWords(r.said), r.want) << r.said.toStdString();
    EXPECT_EQ(SidecarProcess::lastWords(QByteArray(1000, 'x')).size(), 301);
}

// Under a control group's task limit nearly reached, a chat pane starts no agent, as a terminal
// pane starts no shell, and says why in the terminal pane's words; with room to spare it starts.
TEST(ChatSession, a_pane_under_a_task_limit_nearly_reached_says_so_in_the_terminals_words)
{
    const PidsGroup group;
    if (group.folder.isEmpty())
        GTEST_SKIP() << "no pids control group can be made here (needs root and a writable cgroup file system)";
    // Back where the test ran afterwards: its own group below the hierarchy's top.
    QString top = QFileInfo(group.folder).path();
    QFile own(S("/proc/self/cgroup"));
    if (own.open(QIODevice::ReadOnly))
        for (const QByteArray& line : own.readAll().split('\n')) {
            const QList<QByteArray> f = line.split(':');
            const bool v1 = top.endsWith(S("/pids"));
            if (f.size() == 3 && (v1 ? f[1].split(',').contains("pids") : f[0] == "0") && QFileInfo(top + QString::fromUtf8(f[2])).isDir())
                top += QString::fromUtf8(f[2]);
        }
    const auto moveTo = [](const QString& folder) {
        return PidsGroup::write(folder + S("/cgroup.procs"), QByteArray::number(::getpid()));
    };
    ASSERT_TRUE(moveTo(group.folder));
    const auto back = qScopeGuard([&] { moveTo(top); });
    FakeSidecar fake;
    for (const long long room : {PseudoTerminalHelpers::taskReserve(), PseudoTerminalHelpers::taskReserve() + 40}) {
        SCOPED_TRACE(room);
        const long long inUse = PidsGroup::read(group.folder + S("/pids.current"));
        ASSERT_TRUE(PidsGroup::write(group.folder + S("/pids.max"), QByteArray::number(inUse + room)));
        SessionUnderTest t(fake);
        t.session.startIfNeeded(std::nullopt);
        if (room == PseudoTerminalHelpers::taskReserve()) {
            ASSERT_TRUE(waitUntil([&] { return t.session.failure().has_value(); }));
            const QString refusal = QString::fromStdString(PseudoTerminalHelpers::taskLimitRefusal());
            EXPECT_FALSE(refusal.isEmpty());
            EXPECT_EQ(t.session.failureText(), S("Cannot start Claude Code: no new process could be made (") + refusal + S(")."));
            EXPECT_TRUE(refusal.contains(group.folder)) << refusal.toStdString();
            EXPECT_FALSE(t.session.hasProcess());
        } else {
            ASSERT_TRUE(fake.waitForCommand(S("start")));
            EXPECT_FALSE(t.session.failure());
            t.session.stop();
        }
    }
}
