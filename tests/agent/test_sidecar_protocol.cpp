// The sidecar line protocol: lines cut from output split anywhere, over-long and broken lines
// skipped, every event's defaults and type rules from literal lines, and the command lines.

#include "SidecarProtocol.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

SidecarEvent decode(const char* line)
{
    const auto ev = SidecarEvent::decode(QString::fromUtf8(line));
    EXPECT_TRUE(ev) << line;
    return ev ? *ev : SidecarEvent{SidecarEvent::Closed{}};
}

template <typename T> T as(const char* line)
{
    const SidecarEvent ev = decode(line);
    EXPECT_TRUE(ev.as<T>()) << line;
    return ev.as<T>() ? *ev.as<T>() : T{};
}

} // namespace

TEST(LineAccumulator, input_split_at_every_byte_gives_the_same_lines)
{
    const QByteArray stream = "{\"ev\":\"log\",\"text\":\"caf\xc3\xa9\"}\n\r\n\n{\"ev\":\"closed\"}\r\nbad \xff\n"
                              "{\"ev\":\"tokens\"}\npartial";
    const QStringList want{QString::fromUtf8("{\"ev\":\"log\",\"text\":\"caf\xc3\xa9\"}"), "\r", "",
                           "{\"ev\":\"closed\"}\r", "{\"ev\":\"tokens\"}"};
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        for (qsizetype second = cut; second <= stream.size(); second += 7) {
            LineAccumulator acc;
            QStringList got = acc.feed(QByteArrayView(stream).first(cut));
            got += acc.feed(QByteArrayView(stream).sliced(cut, second - cut));
            got += acc.feed(QByteArrayView(stream).sliced(second));
            ASSERT_EQ(got, want) << cut << " " << second;
            EXPECT_EQ(acc.buffered(), 7);  // "partial" waits for its line feed
        }
    }
    LineAccumulator acc;
    EXPECT_TRUE(acc.feed("no newline").isEmpty());
    EXPECT_EQ(acc.feed(" yet\n"), QStringList{"no newline yet"});
    EXPECT_EQ(acc.buffered(), 0);
}

TEST(LineAccumulator, an_over_long_line_is_dropped_with_a_diagnostic_and_reading_resumes)
{
    QStringList diagnostics;
    const auto previous = AgentDiagnostics::setSink([&](const QString& l) { diagnostics << l; });
    LineAccumulator acc(16);
    EXPECT_EQ(acc.feed("short\n0123456789"), QStringList{"short"});
    EXPECT_TRUE(acc.feed("0123456789").isEmpty());  // past the cap: let go of at once
    EXPECT_EQ(acc.buffered(), 0);
    EXPECT_TRUE(acc.feed(QByteArray(1000, 'x')).isEmpty());
    EXPECT_EQ(acc.buffered(), 0);
    EXPECT_EQ(acc.feed("tail of it\nnext\n"), QStringList{"next"});
    // A whole over-long line in one chunk goes too; a line of exactly the cap stays.
    EXPECT_EQ(acc.feed("01234567890123456\n0123456789abcdef\n"), QStringList{"0123456789abcdef"});
    EXPECT_EQ(diagnostics.size(), 2);
    EXPECT_EQ(acc.takeDropped(), 2);  // counted for the pane to report
    EXPECT_EQ(acc.takeDropped(), 0);
    AgentDiagnostics::setSink(previous);
    EXPECT_EQ(LineAccumulator::maxLineBytes, 16 * 1024 * 1024);
}

TEST(SidecarEvents, defaults_fill_missing_and_mistyped_keys)
{
    const auto result = as<SidecarEvent::Result>(R"({"ev":"result"})");
    EXPECT_EQ(result.costUsd, 0);
    EXPECT_FALSE(result.isError);
    EXPECT_EQ(result.tokensIn + result.tokensOut + result.durationMs, 0);
    const auto full = as<SidecarEvent::Result>(
        R"({"ev":"result","costUsd":0.25,"isError":true,"tokensIn":9007199254740993,"tokensOut":2.0,"durationMs":1.5})");
    EXPECT_EQ(full.costUsd, 0.25);
    EXPECT_TRUE(full.isError);
    EXPECT_EQ(full.tokensIn, 9007199254740993LL);  // exact, not through a double
    EXPECT_EQ(full.tokensOut, 2);
    EXPECT_EQ(full.durationMs, 0);  // not an integer
    EXPECT_FALSE(as<SidecarEvent::Result>(R"({"ev":"result","isError":1})").isError);

    const auto permission = as<SidecarEvent::Permission>(R"({"ev":"permission_request","id":"p1"})");
    EXPECT_EQ(permission.id, QStringLiteral("p1"));
    EXPECT_EQ(permission.tool, QStringLiteral("tool"));
    EXPECT_TRUE(permission.input.isEmpty());
    EXPECT_EQ(as<SidecarEvent::Error>(R"({"ev":"error"})").message, QStringLiteral("error"));
    EXPECT_EQ(as<SidecarEvent::Log>(R"({"ev":"log","text":5})").text, QString());

    const auto session = as<SidecarEvent::Session>(R"({"ev":"session","model":null})");
    EXPECT_EQ(session.id, QString());
    EXPECT_FALSE(session.model);
    EXPECT_EQ(as<SidecarEvent::Session>(R"({"ev":"session","id":"c1","model":"m"})").model, QStringLiteral("m"));
    const auto context = as<SidecarEvent::Context>(R"({"ev":"context","tokens":12,"window":"big"})");
    EXPECT_EQ(context.tokens, 12);
    EXPECT_FALSE(context.window);
    EXPECT_EQ(as<SidecarEvent::Context>(R"({"ev":"context","window":200000})").window, 200000);
    EXPECT_EQ(as<SidecarEvent::Compacted>(R"({"ev":"compacted","preTokens":170000})").preTokens, 170000);
    EXPECT_EQ(as<SidecarEvent::Tokens>(R"({"ev":"tokens","tokensIn":3})").tokensIn, 3);

    EXPECT_EQ(as<SidecarEvent::Commands>(R"({"ev":"commands","commands":["/a","/b"]})").commands,
              (QStringList{"/a", "/b"}));
    EXPECT_TRUE(as<SidecarEvent::Commands>(R"({"ev":"commands","commands":["/a",2]})").commands.isEmpty());

    const auto list = as<SidecarEvent::SessionsList>(R"({"ev":"sessions_list","items":[{}]})");
    ASSERT_EQ(list.items.size(), 1);
    EXPECT_EQ(list.items[0], (SessionSummary{"", "(untitled)", 0}));

    const auto usage = as<SidecarEvent::Usage>(
        R"({"ev":"usage","available":true,"email":"a@b","metrics":[{"label":"Session","percent":42.5,"resetsAt":"2026-01-01T00:00:00Z"},{}]})");
    EXPECT_TRUE(usage.available);
    EXPECT_EQ(usage.email, QStringLiteral("a@b"));
    EXPECT_FALSE(usage.subscription);
    ASSERT_EQ(usage.metrics.size(), 2);
    EXPECT_EQ(usage.metrics[0].percent, 42.5);
    EXPECT_EQ(usage.metrics[0].resetsAt, QStringLiteral("2026-01-01T00:00:00Z"));
    EXPECT_FALSE(usage.metrics[1].resetsAt);
    EXPECT_NE(usage.metrics[0].id, usage.metrics[1].id);
    EXPECT_FALSE(as<SidecarEvent::Usage>(R"({"ev":"usage","available":"yes"})").available);

    const auto question = as<SidecarEvent::Question>(
        R"({"ev":"question","id":"q1","questions":[{"question":"Which?","multiSelect":true,"options":[{"label":"A"}]}]})");
    EXPECT_EQ(question.id, QStringLiteral("q1"));
    ASSERT_EQ(question.questions.size(), 1);
    EXPECT_EQ(question.questions[0], (QuestionItem{"Which?", "", true, {{"A", ""}}}));
    EXPECT_TRUE(as<SidecarEvent::Question>(R"({"ev":"question","questions":[{},"x"]})").questions.isEmpty());

    for (const char* bare : {R"({"ev":"history_start"})", R"({"ev":"history_end"})", R"({"ev":"closed"})"})
        EXPECT_TRUE(SidecarEvent::decode(QString::fromLatin1(bare))) << bare;
    EXPECT_EQ(decode(R"({"ev":"history_end"})").kind(), SidecarEvent::Kind::HistoryEnd);
}

TEST(SidecarEvents, blocks_and_history_messages_follow_their_type_rules)
{
    const auto assistant = as<SidecarEvent::Assistant>(
        R"({"ev":"assistant","tokensIn":5,"blocks":[{"type":"text","text":"hi"},{"type":"image"},{"type":"thinking"},)"
        R"({"type":"tool_use","id":"t1","input":{"command":"ls -la"}},{"type":"tool_result","text":"ok"},{"text":"x"}]})");
    EXPECT_EQ(assistant.tokensIn, 5);
    ASSERT_EQ(assistant.blocks.size(), 4);  // image and untyped blocks left out
    EXPECT_EQ(assistant.blocks[0], ChatBlock::ofText("hi"));
    EXPECT_EQ(assistant.blocks[1], ChatBlock::ofThinking(""));
    EXPECT_EQ(assistant.blocks[2].toolUse, (ToolUse{"t1", "tool", "ls -la", QStringLiteral("ls -la"), {}}));
    EXPECT_EQ(assistant.blocks[3], ChatBlock::ofToolResult("ok"));
    // One element that is not an object makes the whole array mistyped.
    EXPECT_TRUE(as<SidecarEvent::Assistant>(R"({"ev":"assistant","blocks":[{"type":"text","text":"a"},3]})").blocks.isEmpty());

    // A result names its call and says how it ended; a result without those keys (an older
    // sidecar's) is a plain one. A call that gives no result is complete as it comes.
    const auto ends = as<SidecarEvent::Assistant>(
        R"({"ev":"assistant","blocks":[{"type":"tool_result","toolUseId":"a","text":"x","isError":true},)"
        R"({"type":"tool_result","toolUseId":"b","isError":true,"reason":"denied"},)"
        R"({"type":"tool_result","isError":true,"reason":"interrupted"},)"
        R"({"type":"tool_result","reason":"denied"},{"type":"tool_result","isError":"yes"},)"
        R"({"type":"tool_use","id":"s","name":"WebSearch","settled":true},{"type":"tool_use","id":"p","settled":1}]})");
    ASSERT_EQ(ends.blocks.size(), 7);
    EXPECT_EQ(ends.blocks[0], ChatBlock::ofToolResult("x", "a", ToolOutcome::Failed));
    EXPECT_EQ(ends.blocks[1], ChatBlock::ofToolResult("", "b", ToolOutcome::Denied));
    EXPECT_EQ(ends.blocks[2], ChatBlock::ofToolResult("", "", ToolOutcome::Interrupted));
    EXPECT_EQ(ends.blocks[3], ChatBlock::ofToolResult(""));  // a reason without the error flag
    EXPECT_EQ(ends.blocks[4], ChatBlock::ofToolResult(""));
    EXPECT_EQ(ends.blocks[5].toolUse.outcome, ToolOutcome::Done);
    EXPECT_EQ(ends.blocks[6].toolUse.outcome, ToolOutcome::Pending);
    EXPECT_EQ(as<SidecarEvent::Status>(R"({"ev":"status","text":"Reconnecting… 2/5"})").text, QStringLiteral("Reconnecting… 2/5"));
    EXPECT_EQ(as<SidecarEvent::Status>(R"({"ev":"status","text":7})").text, QString());

    const auto history = as<SidecarEvent::History>(
        R"({"ev":"history","messages":[{"role":"user","blocks":[{"type":"text","text":"q"}]},)"
        R"({"role":"User","blocks":[{"type":"text","text":"a"}]},{"role":"user","blocks":[{"type":"image"}]},)"
        R"({"blocks":[{"type":"text","text":"no role"}]},{"role":"assistant","blocks":"x"}]})");
    ASSERT_EQ(history.messages.size(), 2);
    EXPECT_EQ(history.messages[0].role, ChatRole::User);
    EXPECT_EQ(history.messages[1].role, ChatRole::Assistant);  // "user" exactly, nothing else
    EXPECT_NE(history.messages[0].id, history.messages[1].id);
    EXPECT_FALSE(history.messages[0].thoughtSeconds);
    EXPECT_EQ(as<SidecarEvent::HistoryChunk>(R"({"ev":"history_chunk","messages":[{"role":"x","blocks":[{"type":"text"}]}]})")
                  .messages.size(), 1);
    EXPECT_TRUE(as<SidecarEvent::History>(R"({"ev":"history","messages":[{"role":"user","blocks":[{"type":"text"}]},1]})")
                    .messages.isEmpty());
}

TEST(SidecarEvents, garbage_and_unknown_lines_decode_to_nothing)
{
    for (const char* line : {"", "   ", "not json", "[1,2]", "\"ev\"", "5", "null", R"({"ev":5})", R"({"EV":"log"})",
                             R"({"ev":"Log"})", R"({"ev":"permission"})", R"({"ev":"log"} trailing)", R"({"ev":"log")"})
        EXPECT_FALSE(SidecarEvent::decode(QString::fromUtf8(line))) << line;
    // From the bytes, as lines are read: bytes that are not UTF-8 give nothing, a byte-order mark
    // before the JSON is passed over.
    EXPECT_FALSE(SidecarEvent::decode(QByteArray("{\"ev\":\"session\",\"id\":\"a\xff\"}")));
    const auto bom = SidecarEvent::decode(QByteArray("\xEF\xBB\xBF{\"ev\":\"session\",\"id\":\"a\"}"));
    ASSERT_TRUE(bom);
    ASSERT_TRUE(bom->as<SidecarEvent::Session>());
    EXPECT_EQ(bom->as<SidecarEvent::Session>()->id, QStringLiteral("a"));
}

TEST(SidecarCommands, every_command_has_its_exact_keys)
{
    auto keys = [](const QJsonObject& o) { return QStringList(o.keys()); };
    auto text = [](const QJsonObject& o) { return QString::fromUtf8(SidecarCommand::encode(o)); };
    EXPECT_EQ(text(SidecarCommand::permission("p1", true)), QStringLiteral(R"({"cmd":"permission","decision":"allow","id":"p1"})") + "\n");
    EXPECT_EQ(SidecarCommand::permission("p1", false)["decision"], QStringLiteral("deny"));

    SidecarCommand::StartOptions claude{ChatProvider::Claude, "/w", "default", "/bin/claude", {}, {}, {}};
    EXPECT_EQ(keys(SidecarCommand::start(claude)), (QStringList{"binPath", "claudePath", "cmd", "cwd", "permissionMode"}));
    SidecarCommand::StartOptions codex{ChatProvider::Codex, "/w", "plan", "/bin/codex", "c1", "gpt", "high"};
    EXPECT_EQ(keys(SidecarCommand::start(codex)), (QStringList{"binPath", "cmd", "cwd", "effort", "model", "permissionMode", "resume"}));
    EXPECT_EQ(SidecarCommand::start(codex)["resume"], QStringLiteral("c1"));
    EXPECT_EQ(keys(SidecarCommand::usageStart(ChatProvider::Claude, "/h", "/c")), (QStringList{"claudePath", "cmd", "cwd", "permissionMode"}));
    const QJsonObject usageCodex = SidecarCommand::usageStart(ChatProvider::Codex, "/h", "/x");
    EXPECT_EQ(keys(usageCodex), (QStringList{"binPath", "cmd", "cwd", "permissionMode", "usageOnly"}));
    EXPECT_EQ(usageCodex["usageOnly"], true);
    EXPECT_EQ(usageCodex["permissionMode"], QStringLiteral("default"));

    ChatAttachment png, file, bare;
    png.isImage = true;
    png.mediaType = "image/jpeg";
    png.data = QByteArray("\x89PNG", 4);
    file.path = "/tmp/a.txt";
    bare.isImage = true;
    EXPECT_EQ(text(SidecarCommand::user("see", {png, file, bare})),
              QStringLiteral(R"({"attachments":[{"data":"iVBORw==","mediaType":"image/jpeg"},{"data":"","mediaType":"image/png"}],"cmd":"user","text":"see"})") + "\n");
    EXPECT_EQ(SidecarCommand::user("x", {})["attachments"], QJsonArray());
    EXPECT_EQ(text(SidecarCommand::answer("q1", {{"Which?", "A"}})), QStringLiteral(R"({"answers":{"Which?":"A"},"cmd":"answer","id":"q1"})") + "\n");
    EXPECT_EQ(SidecarCommand::answer("q1", {})["answers"], QJsonObject());
    EXPECT_EQ(keys(SidecarCommand::history("c1", "/w")), (QStringList{"cmd", "cwd", "sessionId"}));
    EXPECT_EQ(SidecarCommand::setModel("")["model"], QString());
    EXPECT_EQ(text(SidecarCommand::setEffort("low")), QStringLiteral(R"({"cmd":"set_effort","effort":"low"})") + "\n");
    EXPECT_EQ(SidecarCommand::setPermissionMode("plan")["cmd"], QStringLiteral("set_permission_mode"));
    EXPECT_EQ(SidecarCommand::listSessions("/w")["cmd"], QStringLiteral("list_sessions"));
    for (const auto& [cmd, name] : {std::pair{SidecarCommand::compact(), "compact"}, {SidecarCommand::interrupt(), "interrupt"},
                                    {SidecarCommand::quit(), "quit"}, {SidecarCommand::getUsage(), "get_usage"}})
        EXPECT_EQ(text(cmd), QStringLiteral("{\"cmd\":\"%1\"}\n").arg(QLatin1String(name)));
}
