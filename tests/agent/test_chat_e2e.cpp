// A chat session on the real bundled sidecar and the real Claude Code CLI, talking to our fake
// Messages server on 127.0.0.1: a message and its answer with cost, a tool allowed and run, and
// nothing left running after the pane stops. Prints the time from start to the first event.
#include "ClaudeSession.h"
#include "NodeDetector.h"
#include "SidecarProcess.h"
#include "support/FakeSidecar.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

BRINMOOR_APP_TEST_ENVIRONMENT();

using namespace brinmoor;
using namespace brinmoor::test;

namespace {

QString S(const char* s) { return QString::fromUtf8(s); }

// Read before the test environment moves HOME: the CLI cache is the real user's.
const QByteArray cacheHome = qEnvironmentVariableIsEmpty("XDG_CACHE_HOME") ? qgetenv("HOME") + "/.cache"
                                                                           : qgetenv("XDG_CACHE_HOME");

// What `node <arguments>` prints, run with the real user's cache.
QString nodeSays(const QStringList& arguments)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("XDG_CACHE_HOME"), QString::fromUtf8(cacheHome));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(FakeSidecar::node(), arguments);
    p.waitForFinished(30 * 60 * 1000);  // a first run downloads the CLI
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString claudeCli()
{
    return nodeSays({S(BRINMOOR_SOURCE_DIR "/tests/agent/sidecar/support/claude-path.mjs")});
}

QString codexCli()
{
    return nodeSays({S("-e"), S("import('" BRINMOOR_SOURCE_DIR "/tests/agent/sidecar/support/agents.mjs').then((m) => console.log(m.codexBinary()))")});
}

// The fake Messages server on `replies`, and the environment that points the CLI at it; returns
// its port (0 when it did not start).
int startFakeModel(QProcess& server, const QTemporaryDir& work, const QTemporaryDir& config, const QJsonArray& replies,
                   const QString& log = {}, const QStringList& options = {})
{
    QFile script(work.filePath(S("replies.json")));
    if (!script.open(QIODevice::WriteOnly))
        return 0;
    script.write(QJsonDocument(replies).toJson());
    script.close();
    QStringList args{S(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/claude-server.mjs"), S("--port"), S("0"), S("--script"), script.fileName()};
    if (!log.isEmpty())
        args << S("--log") << log;
    args << options;
    server.start(FakeSidecar::node(), args);
    if (!waitUntil([&] { return server.canReadLine(); }, 20000))
        return 0;
    const int port = QJsonDocument::fromJson(server.readLine()).object().value(S("port")).toInt();
    qputenv("BRINMOOR_SIDECAR_DIR", BRINMOOR_BINARY_DIR "/bin/sidecar");
    qputenv("ANTHROPIC_BASE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    qputenv("ANTHROPIC_API_KEY", "test");
    qputenv("CLAUDE_CONFIG_DIR", config.path().toUtf8());
    qputenv("CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC", "1");
    qputenv("CLAUDE_CODE_MAX_RETRIES", "1");
    return port;
}

void useRealCli(ClaudeSession& s, const QString& cli)
{
    SidecarTools tools = SidecarTools::real();
    tools.findNode = [](QObject*, std::function<void(std::optional<QString>)> done) { done(FakeSidecar::node()); };
    tools.locateTool = [cli](ChatProvider, const std::optional<QString>&) { return std::optional<QString>(cli); };
    s.setTools(tools);
}

// A Claude pane's session in `work` on the real CLI `cli`, started: a new conversation, or
// `conversation` resumed.
struct RealCliSession : ClaudeSession {
    RealCliSession(const QTemporaryDir& work, const QString& cli, const std::optional<QString>& conversation = std::nullopt)
        : ClaudeSession(QUuid::createUuid(), work.path(), false, conversation, ChatProvider::Claude, true)
    {
        useRealCli(*this, cli);
        startIfNeeded(std::nullopt);
    }
};

// About 5 MB of markdown in 60,000 lines: prose, code blocks and tables.
QString hugeAnswer()
{
    QStringList lines;
    for (int s = 0; lines.size() < 60000; ++s) {
        lines << S("## Section %1").arg(s) << QString() << S("Prose of part %1 with **bold** and `code`, long enough to wrap a little further on.").arg(s)
              << QString() << S("```sh");
        for (int k = 0; k < 10; ++k)
            lines << S("echo step %1 of part %2 >> the-log-file-of-this-long-answer.txt && grep -c 'step %1' the-log-file-of-this-long-answer.txt").arg(k).arg(s);
        lines << S("```") << QString() << S("| key | value |") << S("|---|---|");
        for (int k = 0; k < 5; ++k)
            lines << S("| key %1 of part %2 | the value of this key in the table of part %2, long enough to need some room |").arg(k).arg(s);
        lines << QString();
    }
    lines.resize(59999);
    lines << S("The end of the long answer.");
    return lines.join(u'\n');
}

} // namespace

TEST(ChatEndToEnd, claude_answers_asks_runs_a_tool_and_leaves_nothing_behind)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();

    QTemporaryDir work, config;
    const QJsonArray replies{
        QJsonObject{{S("text"), S("Hello there")}, {S("usage"), QJsonObject{{S("input_tokens"), 1200}, {S("output_tokens"), 34}}}},
        QJsonObject{{S("tool"), QJsonObject{{S("name"), S("Bash")},
                                            {S("input"), QJsonObject{{S("command"), S("echo yes > approved.txt")}, {S("description"), S("Write a file")}}}}}},
        QJsonObject{{S("text"), S("Wrote it")}},
    };
    QProcess server;
    ASSERT_GT(startFakeModel(server, work, config, replies), 0);

    ClaudeSession s(QUuid::createUuid(), work.path(), false, std::nullopt, ChatProvider::Claude, true);
    useRealCli(s, cli);
    QElapsedTimer clock;
    clock.start();
    s.startIfNeeded(std::nullopt);
    // The first event the sidecar sends unasked: the CLI's slash commands.
    ASSERT_TRUE(waitUntil([&] { return !s.availableCommands().isEmpty(); }, 60000)) << s.failureText().toStdString();
    std::printf("time from start to the first event: %lld ms\n", clock.elapsed());

    s.sendUser(S("hi"), {});
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.costUsd() > 0; }, 60000)) << s.turnErrorText().toStdString();
    EXPECT_EQ(s.timeline()->rows().last().text, S("Hello there"));
    EXPECT_EQ(s.tokensIn(), 1200);
    EXPECT_EQ(s.tokensOut(), 34);
    EXPECT_TRUE(s.claudeSessionId().has_value());

    s.sendUser(S("write the file"), {});
    ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }, 60000));
    EXPECT_EQ(s.state(), PaneState::Awaiting);
    EXPECT_EQ(s.pendingPermission()->tool, S("Bash"));
    s.resolvePermission(true);
    ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && !s.busy(); }, 60000)) << s.turnErrorText().toStdString();
    EXPECT_TRUE(QFile::exists(work.filePath(S("approved.txt"))));
    EXPECT_EQ(s.timeline()->rows().last().text, S("Wrote it"));

    const qint64 sidecar = s.processId();
    const QList<qint64> children = descendants(sidecar);
    ASSERT_FALSE(children.isEmpty()) << "the CLI runs under the sidecar";
    s.stop();
    EXPECT_TRUE(waitUntil([&] {
        if (processRunning(sidecar))
            return false;
        for (qint64 pid : children)
            if (processRunning(pid))
                return false;
        return true;
    }, 20000));
    server.terminate();
    server.waitForFinished();
}

// How calls and turns ended, on the real CLI: a Write the user denied shows as denied (its result
// too), and an answer cut by quitting the app while it streams leaves its question marked as never
// answered when the conversation is opened again.
TEST(ChatEndToEnd, a_denied_write_and_an_answer_cut_by_quitting_say_so)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();
    QTemporaryDir work, config;
    const QJsonArray replies{
        QJsonObject{{S("tool"), QJsonObject{{S("name"), S("Write")},
                                            {S("input"), QJsonObject{{S("file_path"), work.filePath(S("notes.txt"))}, {S("content"), S("hello\n")}}}}}},
        QJsonObject{{S("text"), S("Not writing it, then.")}},
        QJsonObject{{S("text"), S("The first part of a long answer")}, {S("hold"), true}},
    };
    QProcess server;
    const QString log = work.filePath(S("requests.jsonl"));
    ASSERT_GT(startFakeModel(server, work, config, replies, log), 0);
    const auto rowOf = [](const ClaudeSession& s, TimelineRow::Kind kind) {
        for (const TimelineRow& r : s.timeline()->rows())
            if (r.kind == kind)
                return r;
        return TimelineRow{};
    };

    QString conversation;
    {
        RealCliSession s(work, cli);
        s.sendUser(S("write the notes"), {});
        ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }, 60000)) << s.failureText().toStdString();
        s.resolvePermission(false);
        ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && !s.busy(); }, 60000)) << s.turnErrorText().toStdString();
        EXPECT_FALSE(QFile::exists(work.filePath(S("notes.txt"))));
        EXPECT_EQ(rowOf(s, TimelineRow::Kind::Tool).outcome, ToolOutcome::Denied);
        EXPECT_EQ(rowOf(s, TimelineRow::Kind::ToolResult).outcome, ToolOutcome::Denied);

        // The next answer streams and never ends: the app quits meanwhile.
        s.sendUser(S("now explain it all"), {});
        ASSERT_TRUE(waitUntil([&] {
            QFile requests(log);
            return requests.open(QIODevice::ReadOnly) && requests.readAll().contains("now explain it all");
        }, 60000));
        conversation = s.claudeSessionId().value_or(QString());
        const qint64 sidecar = s.processId();
        s.stop();
        ASSERT_TRUE(waitUntil([&] { return !processRunning(sidecar); }, 20000));
    }
    ASSERT_FALSE(conversation.isEmpty());

    RealCliSession again(work, cli, conversation);
    ASSERT_TRUE(waitUntil([&] { return again.messageCount() >= 4; }, 60000)) << again.failureText().toStdString();
    const TimelineRow last = again.timeline()->rows().last();
    EXPECT_EQ(last.kind, TimelineRow::Kind::User);
    EXPECT_EQ(last.text, S("now explain it all"));
    EXPECT_TRUE(last.unanswered) << "the question shows it was never answered";
    EXPECT_EQ(rowOf(again, TimelineRow::Kind::Tool).outcome, ToolOutcome::Denied) << "read back, the refusal is still one";
    again.stop();
    server.terminate();
    server.waitForFinished();
}

// A long answer and a huge write through the real CLI and sidecar: a 200-line code block and a
// paragraph of 10,500 characters each arrive as one row, the code block's whole; a Write of a
// 130,000-line file shows its start with the size of the whole file, in the permission card and
// the tool card. The conversation opened again gives the same rows.
TEST(ChatEndToEnd, a_long_code_block_and_a_huge_write_stay_whole)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();
    QTemporaryDir work, config;
    QStringList code;
    for (int i = 0; i < 200; ++i)
        code << S("    let value%1 = compute(%1); // line %1 of the listing").arg(i);
    QString paragraph;
    while (paragraph.size() < 10500)
        paragraph += S("the step reads `config a b` as the [manual page](https://example.com/m) says, ");
    const QString answer = S("Here it is:\n\n```rust\n") + code.join(u'\n') + S("\n```\n\n") + paragraph.trimmed() + S("\n\nDone.");
    QString file;
    for (int i = 0; i < 130000; ++i)
        file += S("line %1 of the generated data file\n").arg(i);
    const QJsonArray replies{
        QJsonObject{{S("text"), answer}},
        QJsonObject{{S("tool"), QJsonObject{{S("name"), S("Write")},
                                            {S("input"), QJsonObject{{S("file_path"), work.filePath(S("data.txt"))}, {S("content"), file}}}}}},
        QJsonObject{{S("text"), S("Written.")}},
    };
    QProcess server;
    ASSERT_GT(startFakeModel(server, work, config, replies), 0);
    const auto shown = [](const ClaudeSession& s) {
        QList<TimelineRow> out;
        for (const TimelineRow& r : s.timeline()->rows())
            if (r.kind == TimelineRow::Kind::Text || r.kind == TimelineRow::Kind::Tool)
                out << r;
        return out;
    };
    const auto check = [&](const QList<TimelineRow>& rows) {
        const auto with = [&](const QString& part) {
            return std::count_if(rows.cbegin(), rows.cend(), [&](const TimelineRow& r) { return r.text.contains(part); });
        };
        EXPECT_EQ(with(code.join(u'\n')), 1) << "the code block in one row";
        EXPECT_EQ(with(paragraph.trimmed()), 1) << "the paragraph in one row";
        const auto write = std::find_if(rows.cbegin(), rows.cend(), [](const TimelineRow& r) { return r.tool.name == S("Write"); });
        ASSERT_NE(write, rows.cend());
        EXPECT_EQ(write->tool.wholeLines, 130000);
        EXPECT_EQ(write->tool.wholeChars, file.size());
        EXPECT_TRUE(write->tool.detail && file.startsWith(*write->tool.detail) && write->tool.detail->endsWith(u'\n'));
    };

    QString conversation;
    QList<TimelineRow> before;
    {
        RealCliSession s(work, cli);
        s.sendUser(S("show me the code"), {});
        ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.costUsd() > 0; }, 120000)) << s.turnErrorText().toStdString();
        s.sendUser(S("write the data"), {});
        ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }, 120000)) << s.failureText().toStdString();
        EXPECT_EQ(s.pendingPermission()->wholeLines, 130000);
        s.resolvePermission(true);
        ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.timeline()->rows().last().text == S("Written."); }, 120000))
            << s.turnErrorText().toStdString();
        EXPECT_EQ(QFileInfo(work.filePath(S("data.txt"))).size(), file.size());
        before = shown(s);
        check(before);
        conversation = s.claudeSessionId().value_or(QString());
        s.stop();
    }
    ASSERT_FALSE(conversation.isEmpty());

    RealCliSession again(work, cli, conversation);
    ASSERT_TRUE(waitUntil([&] { return again.messageCount() >= 6; }, 120000)) << again.failureText().toStdString();
    const QList<TimelineRow> after = shown(again);
    check(after);
    ASSERT_EQ(after.size(), before.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].text, before[i].text) << i;
        EXPECT_EQ(after[i].tool.wholeLines, before[i].tool.wholeLines) << i;
    }
    again.stop();
    server.terminate();
    server.waitForFinished();
}

// A 5 MB answer through the real CLI and sidecar arrives whole, in rows the list lays out piece by
// piece; the event loop keeps turning meanwhile; a message sent afterwards reaches the model; and
// the conversation resumed in a new session comes back whole too.
TEST(ChatEndToEnd, a_five_megabyte_answer_arrives_whole_and_resumes_whole)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();
    QTemporaryDir work, config;
    const QString answer = hugeAnswer();
    ASSERT_GT(answer.size(), 4 * 1024 * 1024);
    QProcess server;
    const QString log = work.filePath(S("requests.jsonl"));
    ASSERT_GT(startFakeModel(server, work, config, QJsonArray{QJsonObject{{S("text"), answer}}, QJsonObject{{S("text"), S("Short one")}}}, log), 0);

    // The rows of the answer: its pieces, in order, giving back the whole text.
    const auto answerRows = [&](const ClaudeSession& s) {
        QList<TimelineRow> out;
        for (const TimelineRow& r : s.timeline()->rows())
            if (r.kind == TimelineRow::Kind::Text && r.text.size() > 100)
                out << r;
        return out;
    };
    const auto contains = [](const QList<TimelineRow>& rows, const QString& line) {
        return std::any_of(rows.cbegin(), rows.cend(), [&](const TimelineRow& r) { return r.text.contains(line); });
    };
    QString conversation;
    {
        RealCliSession s(work, cli);
        ASSERT_TRUE(waitUntil([&] { return !s.availableCommands().isEmpty(); }, 60000)) << s.failureText().toStdString();
        // How long the event loop goes without a turn while the answer comes in.
        QElapsedTimer since;
        since.start();
        qint64 longestGap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, since.restart()); });
        tick.start(10);
        s.sendUser(S("write a lot"), {});
        ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.costUsd() > 0; }, 120000)) << s.turnErrorText().toStdString();
        tick.stop();
        std::printf("longest stall of the event loop while 5 MB arrived: %lld ms\n", longestGap);
        const QList<TimelineRow> rows = answerRows(s);
        EXPECT_GT(rows.size(), 1000);
        EXPECT_EQ(rows.first().piece, 0);
        EXPECT_TRUE(contains(rows, S("## Section 0\n")));
        EXPECT_TRUE(contains(rows, S("The end of the long answer.")));
        for (const TimelineRow& r : rows)
            EXPECT_LE(r.text.count(u'\n'), 4 * TimelineRow::pieceLines + 2);

        s.sendUser(S("and after that?"), {});
        ASSERT_TRUE(waitUntil([&] { return s.state() == PaneState::Idle && s.timeline()->rows().last().text == S("Short one"); }, 60000));
        QFile requests(log);
        ASSERT_TRUE(requests.open(QIODevice::ReadOnly));
        EXPECT_TRUE(requests.readAll().contains("and after that?"));
        conversation = s.claudeSessionId().value_or(QString());
        s.stop();
    }
    ASSERT_FALSE(conversation.isEmpty());

    // A new session on the stored conversation: its history brings the answer back, whole.
    RealCliSession again(work, cli, conversation);
    ASSERT_TRUE(waitUntil([&] { return again.messageCount() >= 4; }, 120000)) << again.failureText().toStdString();
    const QList<TimelineRow> rows = answerRows(again);
    EXPECT_GT(rows.size(), 1000);
    EXPECT_TRUE(contains(rows, S("The end of the long answer.")));
    EXPECT_FALSE(contains(rows, S("left out: too large to show")));
    EXPECT_EQ(again.timeline()->rows().last().text, S("Short one"));
    again.stop();
    server.terminate();
    server.waitForFinished();
}

// A message longer than the model takes (a megabyte of log pasted as an attachment): the API
// refuses it as too long and the CLI answers with a message of its own making; the pane shows
// that as its turn error, not as an answer. The message went out whole.
TEST(ChatEndToEnd, a_prompt_too_long_shows_as_the_turn_error_not_as_an_answer)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();
    QTemporaryDir work, config;
    QProcess server;
    const QString log = work.filePath(S("requests.jsonl"));
    ASSERT_GT(startFakeModel(server, work, config, {}, log, {S("--context-limit"), S("200000")}), 0);

    RealCliSession s(work, cli);
    ASSERT_TRUE(waitUntil([&] { return !s.availableCommands().isEmpty(); }, 60000)) << s.failureText().toStdString();

    QString pasted;
    for (int i = 0; pasted.size() < 1024 * 1024; ++i)
        pasted += S("2025-03-14T09:00:%1Z INFO [worker-%2] request %3 handled in %4 ms status=200\n").arg(i % 60).arg(i % 8).arg(i).arg(i % 97);
    pasted += S("the last line of the pasted log");
    ChatAttachment attachment;
    attachment.name = S("Pasted text (1.0 MB)");
    attachment.mediaType = S("text/plain");
    attachment.data = pasted.toUtf8();
    s.sendUser(S("what fails here?"), {attachment});
    ASSERT_TRUE(waitUntil([&] { return !s.busy() && s.state() != PaneState::Running; }, 120000));
    EXPECT_EQ(s.state(), PaneState::Error);
    EXPECT_TRUE(s.turnErrorText().startsWith(S("Prompt is too long"))) << s.turnErrorText().toStdString();
    for (const TimelineRow& r : s.timeline()->rows())
        EXPECT_FALSE(r.text.contains(S("Prompt is too long"))) << "shown as an answer";
    QFile requests(log);
    ASSERT_TRUE(requests.open(QIODevice::ReadOnly));
    EXPECT_TRUE(requests.readAll().contains("the last line of the pasted log"));
    s.stop();
    server.terminate();
    server.waitForFinished();
}

// Stop while a permission or question card waits: the card goes at once, the call never runs,
// and the next message is answered.
TEST(ChatEndToEnd, a_stop_takes_its_open_card_with_it_and_the_next_message_is_answered)
{
    const QString cli = claudeCli();
    ASSERT_TRUE(QFile::exists(cli)) << "no Claude CLI: " << cli.toStdString();
    QTemporaryDir work, config;
    const QJsonArray replies = QJsonDocument::fromJson(R"([
        {"tool": {"name": "Bash", "input": {"command": "echo stale > stale.txt", "description": "Write a file"}}},
        {"text": "Answered after the stop"},
        {"tool": {"name": "AskUserQuestion", "input": {"questions": [{"question": "Which colour?", "header": "Colour", "multiSelect": false,
            "options": [{"label": "Red", "description": "warm"}, {"label": "Blue", "description": "cool"}]}]}}},
        {"text": "Answered after the second stop"}])").array();
    QProcess server;
    ASSERT_GT(startFakeModel(server, work, config, replies), 0);

    RealCliSession s(work, cli);
    const auto stopAndAskAgain = [&](const QString& next, const QString& answer) {
        s.interrupt();
        EXPECT_FALSE(s.pendingPermission() || s.pendingQuestion()) << "the card goes with the stop";
        ASSERT_TRUE(waitUntil([&] { return !s.busy() && s.state() == PaneState::Idle; }, 60000)) << s.turnErrorText().toStdString();
        EXPECT_FALSE(s.pendingPermission() || s.pendingQuestion());
        const QList<TimelineRow>& rows = s.timeline()->rows();
        const auto call = std::find_if(rows.crbegin(), rows.crend(), [](const TimelineRow& r) { return r.kind == TimelineRow::Kind::Tool; });
        ASSERT_NE(call, rows.crend());
        EXPECT_EQ(call->outcome, ToolOutcome::Interrupted) << call->tool.name.toStdString();
        s.resolvePermission(true);  // a click that came too late does nothing
        EXPECT_EQ(s.state(), PaneState::Idle);
        ASSERT_TRUE(s.sendUser(next, {}));
        ASSERT_TRUE(waitUntil([&] { return !s.busy() && s.timeline()->rows().last().text == answer; }, 60000))
            << s.turnErrorText().toStdString();
    };

    s.sendUser(S("write the file"), {});
    ASSERT_TRUE(waitUntil([&] { return s.pendingPermission().has_value(); }, 60000)) << s.failureText().toStdString();
    stopAndAskAgain(S("and now?"), S("Answered after the stop"));
    EXPECT_FALSE(QFile::exists(work.filePath(S("stale.txt"))));

    s.sendUser(S("ask me"), {});
    ASSERT_TRUE(waitUntil([&] { return s.pendingQuestion().has_value(); }, 60000));
    stopAndAskAgain(S("still there?"), S("Answered after the second stop"));
    s.stop();
    server.terminate();
    server.waitForFinished();
}

// Quitting the app with ten chat panes, five on the real Claude CLI and five on the real Codex CLI,
// each with a server its agent started and left running, which takes a second to close its files
// after SIGTERM: every sidecar is told at once and has the whole grace, so every server is asked to
// end and finishes (none is killed within its second), and the quit takes about the grace of one
// pane, however many there are. Prints the time the quit took.
TEST(ChatEndToEnd, quitting_with_ten_panes_gives_every_server_its_grace)
{
    const QString claude = claudeCli(), codex = codexCli();
    ASSERT_TRUE(QFile::exists(claude)) << "no Claude CLI: " << claude.toStdString();
    ASSERT_TRUE(QFile::exists(codex)) << "no Codex CLI: " << codex.toStdString();
    constexpr int perProvider = 5;
    QTemporaryDir work, config;
    const QString recorder = S(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/recording-server.py");
    const auto serve = [&](const QString& name) {
        return S("setsid -f python3 %1 %2 1 >/dev/null 2>&1; echo started %3").arg(recorder, work.filePath(name), name);
    };
    QJsonArray claudeReplies, codexReplies;
    for (int i = 0; i < perProvider; ++i) {
        claudeReplies << QJsonObject{{S("tool"), QJsonObject{{S("name"), S("Bash")},
                                                             {S("input"), QJsonObject{{S("command"), serve(S("claude-%1").arg(i))},
                                                                                      {S("description"), S("Start a server")}}}}}}
                      << QJsonObject{{S("text"), S("Started it.")}};
        codexReplies << QJsonObject{{S("call"), QJsonObject{{S("name"), S("exec_command")},
                                                            {S("arguments"), QJsonObject{{S("cmd"), serve(S("codex-%1").arg(i))}}}}}}
                     << QJsonObject{{S("text"), S("Started it.")}};
    }
    QProcess claudeServer, codexServer;
    ASSERT_GT(startFakeModel(claudeServer, work, config, claudeReplies), 0);
    // The Codex side: its own fake, and a Codex home that points the CLI at it.
    QFile script(work.filePath(S("codex-replies.json")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QJsonDocument(codexReplies).toJson());
    script.close();
    codexServer.start(FakeSidecar::node(), {S(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/openai-server.mjs"), S("--port"), S("0"),
                                            S("--script"), script.fileName()});
    ASSERT_TRUE(waitUntil([&] { return codexServer.canReadLine(); }, 20000));
    const int codexPort = QJsonDocument::fromJson(codexServer.readLine()).object().value(S("port")).toInt();
    const QString codexHome = work.filePath(S("codex-home"));
    nodeSays({S(BRINMOOR_SOURCE_DIR "/tests/agent/fakes/codex-config.mjs"), codexHome, S("http://127.0.0.1:%1").arg(codexPort)});
    ASSERT_TRUE(QFile::exists(codexHome + S("/config.toml")));
    qputenv("CODEX_HOME", codexHome.toUtf8());
    qputenv("FAKE_OPENAI_KEY", "test");

    // Ten panes; each turn starts its server, one pane of each provider at a time (each fake hands
    // out its replies in order). Codex runs in full access; Claude asks (it refuses to skip its
    // permissions as root), and the command is approved.
    std::vector<std::unique_ptr<ClaudeSession>> panes;
    QStringList names;
    for (int i = 0; i < perProvider; ++i) {
        for (ChatProvider provider : {ChatProvider::Claude, ChatProvider::Codex}) {
            const bool isClaude = provider == ChatProvider::Claude;
            auto pane = std::make_unique<ClaudeSession>(QUuid::createUuid(), work.path(), !isClaude, std::nullopt, provider, true);
            useRealCli(*pane, isClaude ? claude : codex);
            pane->startIfNeeded(std::nullopt);
            pane->sendUser(S("Start a server"), {});
            names << S("%1-%2").arg(isClaude ? S("claude") : S("codex")).arg(i);
            panes.push_back(std::move(pane));
        }
        for (qsizetype k = panes.size() - 2; k < qsizetype(panes.size()); ++k) {
            ClaudeSession& pane = *panes[size_t(k)];
            ASSERT_TRUE(waitUntil([&] {
                if (pane.pendingPermission())
                    pane.resolvePermission(true);
                return QFile::exists(work.filePath(names.at(k) + S(".port")));
            }, 60000))
                << names.at(k).toStdString() << ": no server; " << pane.failureText().toStdString() << pane.turnErrorText().toStdString();
            ASSERT_TRUE(waitUntil([&] { return pane.state() == PaneState::Idle && !pane.busy(); }, 60000)) << names.at(k).toStdString();
        }
    }

    QList<qint64> sidecars;
    for (const auto& pane : panes)
        sidecars << pane->processId();
    QElapsedTimer clock;
    clock.start();
    SidecarProcess::shutdownAll(4000);
    const qint64 quitMs = clock.elapsed();
    QStringList asked, finished;
    for (const QString& name : names) {
        if (QFile::exists(work.filePath(name + S(".term"))))
            asked << name;
        if (QFile::exists(work.filePath(name + S(".closed"))))
            finished << name;
    }
    std::printf("quit with %d panes: %lld ms; %lld of %lld servers asked with SIGTERM, %lld finished closing\n", int(names.size()), quitMs,
                asked.size(), names.size(), finished.size());
    EXPECT_EQ(asked.join(u' '), names.join(u' ')) << "the servers not asked to end were killed outright";
    EXPECT_EQ(finished.join(u' '), names.join(u' ')) << "the others were killed within their second";
    for (qint64 pid : sidecars)
        EXPECT_FALSE(processRunning(pid));
    panes.clear();
    qunsetenv("CODEX_HOME");
    qunsetenv("FAKE_OPENAI_KEY");
    claudeServer.terminate();
    codexServer.terminate();
    claudeServer.waitForFinished();
    codexServer.waitForFinished();
}
