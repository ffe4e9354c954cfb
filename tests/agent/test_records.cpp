// Chat records: timeline rows from a transcript (a long text cut into pieces), the QML timeline
// model's row-by-row changes and appends, the reset label of a usage limit, and equality by
// canonical equivalence.

#include "ChatModels.h"
#include "TimelineModel.h"

#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

ChatMessage message(ChatRole role, QList<ChatBlock> blocks, std::optional<double> seconds = {})
{
    ChatMessage m;
    m.role = role;
    m.blocks = std::move(blocks);
    m.thoughtSeconds = seconds;
    return m;
}

QStringList kinds(const QList<TimelineRow>& rows)
{
    QStringList out;
    for (const TimelineRow& r : rows)
        out << r.id.section(QLatin1Char('-'), 5) + QLatin1Char(':') + kindName(r.kind);
    return out;
}

} // namespace

TEST(TimelineRows, user_messages_are_one_row_and_assistant_blocks_one_row_each)
{
    EXPECT_TRUE(TimelineRow::build({}).isEmpty());
    ChatMessage user = message(ChatRole::User, {ChatBlock::ofText("ab"), ChatBlock::ofToolUse({"t", "Bash", "", {}, {}}),
                                                ChatBlock::ofText("cd")});
    ChatAttachment image;
    image.isImage = true;
    ChatMessage imageOnly = message(ChatRole::User, {});
    imageOnly.attachments = {image};
    const ChatMessage assistant =
        message(ChatRole::Assistant,
                {ChatBlock::ofText("hi"), ChatBlock::ofThinking("hm"), ChatBlock::ofToolUse({"t1", "Read", "a.c", {}, {}}),
                 ChatBlock::ofToolResult("ok"), ChatBlock::ofThinking("again")},
                2.5);
    const ChatMessage empty = message(ChatRole::Assistant, {});

    const QList<TimelineRow> rows = TimelineRow::build({user, imageOnly, assistant, empty});
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0].id, uuidText(user.id));
    EXPECT_EQ(rows[0].id.size(), 36);
    EXPECT_EQ(rows[0].text, QStringLiteral("abcd"));  // the tool use is left out
    EXPECT_EQ(rows[1].text, QString());
    EXPECT_EQ(rows[1].attachments, QList<ChatAttachment>{image});
    EXPECT_EQ(kinds(rows.mid(2)), (QStringList{"0:text", "1:thinking", "2:tool", "3:toolResult", "4:thinking"}));
    EXPECT_EQ(rows[2].id, uuidText(assistant.id) + QStringLiteral("-0"));
    EXPECT_EQ(rows[3].seconds, 2.5);
    EXPECT_EQ(rows[6].seconds, 2.5);
    EXPECT_EQ(rows[4].tool.summary, QStringLiteral("a.c"));
    EXPECT_FALSE(TimelineRow::build({message(ChatRole::Assistant, {ChatBlock::ofThinking("x")})})[0].seconds);

    // Growth at the end leaves every earlier row equal.
    const QList<TimelineRow> grown = TimelineRow::build({user, imageOnly, assistant, empty, message(ChatRole::User, {})});
    EXPECT_EQ(grown.mid(0, 7), rows);
}

TEST(TimelineRows, a_todo_list_shows_only_as_its_tool_took_it)
{
    const QList<TodoItem> plan{{QStringLiteral("Read"), QStringLiteral("completed")}, {QStringLiteral("Write"), QStringLiteral("pending")}};
    const QString refusal = QStringLiteral("<tool_use_error>No such tool available: TodoWrite. TodoWrite is disabled for this session</tool_use_error>");
    const struct {
        ToolOutcome outcome;
        bool list;
    } rows[] = {
        {ToolOutcome::Pending, true}, {ToolOutcome::Done, true}, {ToolOutcome::Interrupted, true},
        {ToolOutcome::Failed, false}, {ToolOutcome::Denied, false},
    };
    for (const auto& r : rows) {
        ToolUse use{QStringLiteral("todo1"), QStringLiteral("TodoWrite"), {}, {}, plan};
        use.outcome = r.outcome;
        QList<ChatBlock> blocks{ChatBlock::ofToolUse(use)};
        if (r.outcome != ToolOutcome::Pending && r.outcome != ToolOutcome::Interrupted)
            blocks.append(ChatBlock::ofToolResult(r.outcome == ToolOutcome::Done ? QStringLiteral("Todos have been modified") : refusal,
                                                  QStringLiteral("todo1"), r.outcome));
        const QList<TimelineRow> built = TimelineRow::build({message(ChatRole::Assistant, blocks)});
        ASSERT_GE(built.size(), 1);
        const QString name = outcomeName(r.outcome);
        EXPECT_EQ(built[0].kind, TimelineRow::Kind::Tool) << name.toStdString();
        EXPECT_EQ(built[0].outcome, r.outcome) << name.toStdString();
        EXPECT_EQ(built[0].tool.todos.has_value(), r.list) << name.toStdString();
        if (r.list) {
            EXPECT_EQ(*built[0].tool.todos, plan);
        }
        if (r.outcome == ToolOutcome::Failed) {
            // The refusal in the CLI's own words stands under the failed card.
            ASSERT_EQ(built.size(), 2);
            EXPECT_EQ(built[1].text, refusal);
        }
    }
}

TEST(TimelineRows, the_model_changes_row_by_row_and_never_resets)
{
    TimelineModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removes(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    ChatMessage user = message(ChatRole::User, {ChatBlock::ofText("q")});
    ChatMessage reply = message(ChatRole::Assistant, {ChatBlock::ofThinking("t")});
    model.setRows(TimelineRow::build({user, reply}));
    EXPECT_EQ(model.count(), 2);
    EXPECT_EQ(inserts.size(), 1);  // one block insert

    // A block appended to the last message and a changed text: one insert, one change.
    reply.blocks = {ChatBlock::ofThinking("t2"), ChatBlock::ofText("answer")};
    QList<TimelineRow> rows = TimelineRow::build({user, reply});
    EXPECT_FALSE(TimelineRow::trailing(true, true, false, 5, 7));  // a prompt is pending
    EXPECT_FALSE(TimelineRow::trailing(false, false, false, 5, 7));
    EXPECT_EQ(TimelineRow::trailing(true, false, true, 5, 7), TimelineRow::compacting());
    // While the agent says what it waits on (a reconnect), the working row says that instead.
    EXPECT_EQ(TimelineRow::trailing(true, false, false, 5, 7, QStringLiteral("Reconnecting… 2/5"))->label,
              QStringLiteral("Reconnecting… 2/5"));
    EXPECT_FALSE(TimelineRow::workingLabel(0, 0));
    EXPECT_EQ(TimelineRow::workingLabel(999, 0), QStringLiteral("999 tokens"));
    EXPECT_EQ(TimelineRow::workingLabel(12000, 345), QStringLiteral("12.3k tokens"));
    rows.append(*TimelineRow::trailing(true, false, false, 5, 7));
    model.setRows(rows);
    EXPECT_EQ(model.count(), 4);
    EXPECT_EQ(inserts.size(), 2);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 1);
    const QModelIndex last = model.index(3);
    EXPECT_EQ(model.data(last, TimelineModel::KindRole), QStringLiteral("working"));
    EXPECT_EQ(model.data(last, TimelineModel::LabelRole), QStringLiteral("12 tokens"));
    EXPECT_FALSE(model.data(model.index(1), TimelineModel::SecondsRole).isValid());

    // The working row turns into the compacting row in place; then the first message goes.
    rows.last() = TimelineRow::compacting();
    model.setRows(rows);
    EXPECT_EQ(changes.size(), 2);
    rows.removeFirst();
    model.setRows(rows);
    EXPECT_EQ(removes.size(), 1);
    EXPECT_EQ(model.data(model.index(0), TimelineModel::RowIdRole), uuidText(reply.id) + QStringLiteral("-0"));
    EXPECT_EQ(model.rows(), rows);
    EXPECT_EQ(resets.size(), 0);
}

TEST(Records, texts_compare_by_canonical_equivalence_and_metrics_by_id)
{
    const QString composed = QString::fromUtf8("caf\u00e9");
    const QString decomposed = QString::fromUtf8("cafe\u0301");
    EXPECT_EQ((QuestionOption{composed, "x"}), (QuestionOption{decomposed, "x"}));
    EXPECT_NE((QuestionOption{composed, "x"}), (QuestionOption{composed, "y"}));
    EXPECT_EQ(ChatBlock::ofText(composed), ChatBlock::ofText(decomposed));
    EXPECT_NE(ChatBlock::ofText("a"), ChatBlock::ofThinking("a"));
    EXPECT_NE(UsageMetric{}, UsageMetric{});  // fresh ids
}

TEST(Records, reset_label_counts_whole_seconds_from_an_injected_clock)
{
    const QDateTime now = QDateTime(QDate(2026, 1, 10), QTime(12, 0), Qt::UTC);
    auto label = [&](const char* at) {
        UsageMetric m;
        m.resetsAt = QString::fromLatin1(at);
        return m.resetsLabel(now);
    };
    EXPECT_EQ(label("2026-01-10T12:00:00.900Z"), QStringLiteral("Resets soon"));
    EXPECT_EQ(label("2026-01-10T11:00:00Z"), QStringLiteral("Resets soon"));
    EXPECT_EQ(label("2026-01-10T12:00:30Z"), QStringLiteral("Resets in 0m"));
    EXPECT_EQ(label("2026-01-10T12:59:59Z"), QStringLiteral("Resets in 59m"));
    EXPECT_EQ(label("2026-01-10T13:00:00Z"), QStringLiteral("Resets in 1h 0m"));
    EXPECT_EQ(label("2026-01-11T11:59:59Z"), QStringLiteral("Resets in 23h 59m"));
    EXPECT_EQ(label("2026-01-11T12:00:00Z"), QStringLiteral("Resets in 1d 0h"));
    EXPECT_EQ(label("2026-01-11T13:01:01.123456Z"), QStringLiteral("Resets in 1d 1h"));
    EXPECT_EQ(label("2026-01-12T17:00:00+02:00"), QStringLiteral("Resets in 2d 3h"));
    // Qt alone would read all of these; none is a full internet date-time.
    for (const char* loose : {"2026-01-11", "2026-01-11T12:00:00", "2026-01-11T12:00Z", "2026-01-11 12:00:00Z",
                              "2026-02-30T12:00:00Z", "2026-01-11T12:00:00+2:00", "next tuesday"})
        EXPECT_FALSE(label(loose)) << loose;
    EXPECT_FALSE(UsageMetric{}.resetsLabel(now));
}

namespace {

// The pieces joined, with the fences and table headers the cutting added taken out again.
QString rejoin(const QStringList& pieces, const QString& fence, const QString& head)
{
    QString out;
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        QString p = pieces[k];
        if (k > 0 && p.startsWith(fence + u'\n') && out.endsWith(QStringLiteral("\n```"))) {
            out.chop(3);
            p.remove(0, fence.size() + 1);
        } else if (k > 0 && !head.isEmpty() && p.startsWith(head + u'\n')) {
            p.remove(0, head.size() + 1);
        }
        out += p;
    }
    return out;
}

} // namespace

TEST(TimelineRows, a_long_text_block_becomes_pieces_that_lose_nothing)
{
    EXPECT_EQ(TimelineRow::textPieces(QStringLiteral("short")), QStringList{"short"});
    EXPECT_EQ(TimelineRow::textPieces(QString()), QStringList{QString()});

    // Prose in paragraphs: cut only at blank lines, and every piece bounded.
    QStringList prose;
    for (int i = 0; i < 400; ++i)
        prose << QStringLiteral("Line %1 of a paragraph.").arg(i) << (i % 3 == 2 ? QString() : QStringLiteral("more"));
    const QString text = prose.join(u'\n');
    const QStringList pieces = TimelineRow::textPieces(text);
    EXPECT_GT(pieces.size(), 10);
    EXPECT_EQ(pieces.join(QString()), text);
    for (const QString& p : pieces.first(pieces.size() - 1)) {
        EXPECT_TRUE(p.endsWith(QStringLiteral("\n\n")) || p.endsWith(QStringLiteral("\n"))) << qPrintable(p.right(20));
        EXPECT_LE(p.count(u'\n'), TimelineRow::pieceLines * 4);
    }

    // A code block of 6,000 lines is closed and opened again with its own fence line.
    QStringList code{QStringLiteral("Intro"), QStringLiteral("  ```cpp")};
    for (int i = 0; i < 6000; ++i)
        code << QStringLiteral("int v%1 = %1;").arg(i);
    code << QStringLiteral("```") << QStringLiteral("After.");
    const QStringList codePieces = TimelineRow::textPieces(code.join(u'\n'));
    ASSERT_GT(codePieces.size(), 5);
    // The piece that ends the block ends with its own closing fence; what follows is a piece.
    EXPECT_EQ(codePieces.last(), QStringLiteral("After."));
    for (qsizetype k = 1; k + 1 < codePieces.size(); ++k) {
        EXPECT_TRUE(codePieces[k].startsWith(QStringLiteral("  ```cpp\n")));
        EXPECT_TRUE(codePieces[k].endsWith(k + 2 < codePieces.size() ? QStringLiteral("\n```") : QStringLiteral("\n```\n")));
    }
    EXPECT_EQ(rejoin(codePieces, QStringLiteral("  ```cpp"), {}), code.join(u'\n'));

    // A table of 500 rows goes on under its header.
    QStringList table{QStringLiteral("| a | b |"), QStringLiteral("|---|---|")};
    for (int i = 0; i < 500; ++i)
        table << QStringLiteral("| %1 | x |").arg(i);
    const QString head = table[0] + u'\n' + table[1];
    const QStringList tablePieces = TimelineRow::textPieces(table.join(u'\n'));
    ASSERT_GT(tablePieces.size(), 3);
    for (const QString& p : tablePieces) {
        EXPECT_TRUE(p.startsWith(head)) << qPrintable(p.left(30));
        EXPECT_LE(p.count(u'\n'), TimelineRow::pieceLines + 2);
    }
    EXPECT_EQ(rejoin(tablePieces, QStringLiteral("```"), head), table.join(u'\n'));
    // Short tables reaching the cut at every place: no piece is a table's header alone, with no
    // row below it, nor a copy of a header over what follows the table.
    for (int before = 0; before < TimelineRow::pieceLines + 3; ++before) {
        QStringList mixed(before, QStringLiteral("prose"));
        for (int k = 0; k < 6; ++k)
            mixed << QStringLiteral("| key | value |") << QStringLiteral("|---|---|") << QStringLiteral("| 1 | 2 |")
                  << QStringLiteral("| 3 | 4 |") << QString() << QStringLiteral("After.") << QString();
        const QStringList mixedPieces = TimelineRow::textPieces(mixed.join(u'\n'));
        for (const QString& p : mixedPieces) {
            const QStringList ls = p.split(u'\n');
            for (qsizetype i = 0; i + 1 < ls.size(); ++i) {
                if (TimelineRow::isTableSeparator(ls[i])) {
                    EXPECT_TRUE(i + 2 < ls.size() && ls[i + 1].startsWith(u'|')) << before << ": " << qPrintable(p);
                }
            }
        }
    }

    // One line of five pieces' worth of characters, a surrogate pair at every place a cut could
    // fall.
    QString line;
    while (line.size() < 5 * TimelineRow::blockChars)
        line += QStringLiteral("ab😀");
    const QStringList linePieces = TimelineRow::textPieces(line);
    EXPECT_GT(linePieces.size(), 3);
    EXPECT_EQ(linePieces.join(QString()), line);
    for (const QString& p : linePieces)
        EXPECT_FALSE(p.back().isHighSurrogate());
}

// A block of the answer is one piece: a 200-line code block, a paragraph of 10,500 characters
// with code spans and links. A list is cut between its items like prose. Only a block longer than
// a piece may be cut: a code block between its lines, every piece of it knowing the whole code
// for its copy button; a paragraph that is one long line after a space outside its code spans
// and links.
TEST(TimelineRows, a_block_is_cut_only_when_it_alone_is_too_long)
{
    const auto lines = [](int n, const QString& pattern) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << pattern.arg(i);
        return out;
    };
    const QString span = QStringLiteral("see `a b c` and [the manual page](https://example.com/x y) then more words ");
    QString paragraph;
    while (paragraph.size() < 10500)
        paragraph += span;
    const QStringList code200 = lines(200, QStringLiteral("    let value%1 = compute(%1); // a line of the listing"));
    const QStringList list = lines(60, QStringLiteral("- item %1 of a long list"));
    const QStringList blocks = {QStringLiteral("Intro.\n\n```rust\n") + code200.join(u'\n') + QStringLiteral("\n```"),
                                QStringLiteral("Text:\n") + paragraph, list.join(u'\n')};
    for (const QString& block : blocks) {
        const QString text = lines(30, QStringLiteral("Prose %1.\n")).join(u'\n') + u'\n' + block + QStringLiteral("\n\nAfter.");
        const QList<TimelineRow::Piece> pieces = TimelineRow::cutText(text);
        QString joined;
        for (const TimelineRow::Piece& p : pieces) {
            joined += p.text;
            EXPECT_FALSE(p.codeAbove || p.codeBelow);
        }
        EXPECT_EQ(joined, text);
        if (block.startsWith(u'-')) {
            for (const TimelineRow::Piece& p : pieces)
                EXPECT_LE(p.text.count(u'\n'), TimelineRow::pieceLines + 1);
            continue;
        }
        EXPECT_TRUE(std::any_of(pieces.cbegin(), pieces.cend(), [&](const auto& p) { return p.text.contains(block); }))
            << qPrintable(block.left(40));
    }

    // A code block of two and a half times the block bound goes on over three pieces, each with
    // the whole code; the piece that ends it holds nothing after it.
    const int longLines = TimelineRow::blockLines * 5 / 2;
    const QStringList long_ = lines(longLines, QStringLiteral("line %1"));
    const QString code = QStringLiteral("Intro.\n```\n") + long_.join(u'\n') + QStringLiteral("\n```\nAfter.\n\nMore.");
    const QList<TimelineRow::Piece> codePieces = TimelineRow::cutText(code);
    ASSERT_EQ(codePieces.size(), 4);
    const bool above[] = {false, true, true, false}, below[] = {true, true, false, false};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(codePieces[k].codeAbove, above[k]) << k;
        EXPECT_EQ(codePieces[k].codeBelow, below[k]) << k;
        EXPECT_EQ(codePieces[k].wholeCode, k < 3 ? long_.join(u'\n') : QString()) << k;
    }
    EXPECT_TRUE(codePieces[2].text.endsWith(QStringLiteral("line %1\n```\n").arg(longLines - 1)));
    EXPECT_EQ(codePieces[3].text, QStringLiteral("After.\n\nMore."));
    // One still open when the text ends (an answer being written) has the code so far.
    const QList<TimelineRow::Piece> open = TimelineRow::cutText(QStringLiteral("```\n") + long_.join(u'\n'));
    ASSERT_EQ(open.size(), 3);
    EXPECT_EQ(open[2].wholeCode, long_.join(u'\n'));

    // A paragraph of one line longer than a piece: cut after a space, never inside a code span or
    // a link.
    QString huge;
    while (huge.size() < 4 * TimelineRow::blockChars)
        huge += span;
    const QStringList hugePieces = TimelineRow::textPieces(huge);
    EXPECT_GE(hugePieces.size(), 4);
    EXPECT_EQ(hugePieces.join(QString()), huge);
    for (const QString& p : hugePieces.first(hugePieces.size() - 1)) {
        EXPECT_TRUE(p.endsWith(u' '));
        EXPECT_EQ(p.count(u'`') % 2, 0);
        EXPECT_EQ(p.count(u'['), p.count(u']'));
        EXPECT_EQ(p.count(u'('), p.count(u')'));
    }
}

// A line of code longer than a piece stays one line: it is never cut into parts that would show as
// lines of their own, and no piece is an empty code block (an empty line that is not in the code),
// wherever the line stands in its block and whatever stands before the block.
TEST(TimelineRows, a_long_line_of_code_is_one_piece_of_its_own_and_no_piece_is_an_empty_block)
{
    const QString line = QStringLiteral("x").repeated(100000);
    QStringList lines200;
    for (int i = 0; i < 200; ++i)
        lines200 << QStringLiteral("L%1").arg(i);
    const QString code200 = lines200.join(u'\n');
    const struct {
        const char* name;
        QString text;
        QString fence;
    } rows[] = {
        {"alone in its block", QStringLiteral("```\n") + line + QStringLiteral("\n```"), QStringLiteral("```")},
        {"after prose", QStringLiteral("Intro.\n\n```js\n") + line + QStringLiteral("\n```\nAfter."), QStringLiteral("```js")},
        {"after a full piece of prose", QStringLiteral("p\n").repeated(450) + QStringLiteral("```\n") + line + QStringLiteral("\n```"),
         QStringLiteral("```")},
        {"between lines of code", QStringLiteral("```\n") + code200 + u'\n' + line + u'\n' + code200 + QStringLiteral("\n```"),
         QStringLiteral("```")},
        {"in a block still open", QStringLiteral("```\n") + line, QStringLiteral("```")},
    };
    const QRegularExpression emptyBlock(QStringLiteral("```[a-z]*\\n```"));
    for (const auto& r : rows) {
        int holding = 0;
        for (const TimelineRow::Piece& p : TimelineRow::cutText(r.text)) {
            EXPECT_FALSE(emptyBlock.match(p.text).hasMatch()) << r.name << ": an empty block";
            if (p.text.contains(line))
                ++holding;
        }
        EXPECT_EQ(holding, 1) << r.name << ": the line whole in one piece";
        EXPECT_EQ(rejoin(TimelineRow::textPieces(r.text), r.fence, {}), r.text) << r.name;
    }
}

TEST(TimelineRows, pieces_are_rows_with_their_own_ids_and_an_append_inserts_only_its_rows)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines << QStringLiteral("Paragraph %1.").arg(i) << QString();
    const ChatMessage long_ = message(ChatRole::Assistant, {ChatBlock::ofText(lines.join(u'\n')), ChatBlock::ofToolResult("ok")});
    const QList<TimelineRow> rows = TimelineRow::build({long_});
    const QStringList pieces = TimelineRow::textPieces(lines.join(u'\n'));
    ASSERT_EQ(rows.size(), pieces.size() + 1);
    const QString id = uuidText(long_.id) + QStringLiteral("-0");
    EXPECT_EQ(rows[0].id, id);
    EXPECT_EQ(rows[0].piece, 0);
    EXPECT_EQ(rows[2].id, id + QStringLiteral("~2"));
    EXPECT_EQ(rows[2].piece, 2);
    EXPECT_EQ(rows[2].text, pieces[2]);
    EXPECT_EQ(rows.last().id, uuidText(long_.id) + QStringLiteral("-1"));

    TimelineModel model;
    model.setRows(rows);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy count(&model, &TimelineModel::countChanged);
    const ChatMessage next = message(ChatRole::User, {ChatBlock::ofText("thanks")});
    model.appendRows(TimelineRow::build({next}));
    EXPECT_EQ(model.rows(), TimelineRow::build({long_, next}));
    ASSERT_EQ(inserts.size(), 1);
    EXPECT_EQ(inserts[0][1].toInt(), rows.size());
    EXPECT_EQ(changes.size(), 0);
    EXPECT_EQ(count.size(), 1);
    EXPECT_EQ(model.data(model.index(2), TimelineModel::PieceRole), 2);
}

// A pasted log of 200,000 characters is a bubble of pieces: cut at line ends, a line longer than
// a piece cut within (never through a character pair), the text whole when joined; the first
// piece keeps the attachments, and each but the last says that more follows.
TEST(TimelineRows, a_long_user_message_becomes_joined_pieces)
{
    EXPECT_EQ(TimelineRow::plainPieces(QStringLiteral("short\n")), QStringList{"short\n"});
    EXPECT_EQ(TimelineRow::plainPieces(QString()), QStringList{QString()});
    QString log;
    for (int i = 0; log.size() < 200000; ++i)
        log += i % 500 == 7 ? QString(30000, u'x') + QStringLiteral("😀\n") : QStringLiteral("log line %1\n").arg(i);
    const QStringList pieces = TimelineRow::plainPieces(log);
    EXPECT_GT(pieces.size(), 20);
    EXPECT_EQ(pieces.join(QString()), log);
    for (const QString& p : pieces) {
        EXPECT_LE(p.size(), TimelineRow::pieceChars * 4);
        EXPECT_LE(p.count(u'\n'), TimelineRow::pieceLines * 2);
        EXPECT_FALSE(p.back().isHighSurrogate());
    }

    ChatMessage m = message(ChatRole::User, {ChatBlock::ofText(log)});
    ChatAttachment file;
    file.name = QStringLiteral("a.txt");
    m.attachments = {file};
    const QList<TimelineRow> rows = TimelineRow::build({m});
    ASSERT_EQ(rows.size(), pieces.size());
    for (qsizetype k = 0; k < rows.size(); ++k) {
        EXPECT_EQ(rows[k].kind, TimelineRow::Kind::User);
        EXPECT_EQ(rows[k].text, pieces[k]);
        EXPECT_EQ(rows[k].piece, k);
        EXPECT_EQ(rows[k].more, k + 1 < rows.size());
        EXPECT_EQ(rows[k].attachments.size(), k == 0 ? 1 : 0);
    }
    EXPECT_EQ(rows[1].id, uuidText(m.id) + QStringLiteral("~1"));
}

namespace {

ChatBlock call(const char* id) { return ChatBlock::ofToolUse({id, "Bash", "ls", {}, {}}); }
ChatBlock answer(const char* id, ToolOutcome outcome) { return ChatBlock::ofToolResult("out", id, outcome); }
ToolOutcome outcomeOf(const ChatMessage& m, qsizetype block = 0) { return m.blocks.at(block).toolUse.outcome; }

} // namespace

// A result settles its call by id; a turn cut short interrupts its calls still waiting and marks
// a question with nothing after it; a stored conversation read back is settled the same way.
TEST(TurnEnds, results_settle_calls_and_a_cut_turn_leaves_a_mark)
{
    QList<ChatMessage> live{message(ChatRole::User, {ChatBlock::ofText("q")}),
                            message(ChatRole::Assistant, {call("a"), call("b")})};
    EXPECT_EQ(TurnEnds::settleCall(live, 0, live.size(), answer("a", ToolOutcome::Denied)), 1);
    EXPECT_EQ(TurnEnds::settleCall(live, 0, live.size(), answer("nobody", ToolOutcome::Failed)), -1);
    EXPECT_EQ(TurnEnds::settleCall(live, 0, live.size(), ChatBlock::ofToolResult("no id")), -1);
    EXPECT_EQ(TurnEnds::settleCall(live, 2, live.size(), answer("b", ToolOutcome::Failed)), -1) << "before the turn";
    EXPECT_EQ(outcomeOf(live[1], 0), ToolOutcome::Denied);
    EXPECT_EQ(TurnEnds::cutTurn(live, 0), 1);
    EXPECT_EQ(outcomeOf(live[1], 1), ToolOutcome::Interrupted);
    EXPECT_EQ(outcomeOf(live[1], 0), ToolOutcome::Denied);
    EXPECT_FALSE(live[0].unanswered) << "something of an answer came";
    live << message(ChatRole::User, {ChatBlock::ofText("next")});
    EXPECT_EQ(TurnEnds::cutTurn(live, 2, QStringLiteral("Prompt is too long")), 2);
    EXPECT_TRUE(live[2].unanswered);
    EXPECT_EQ(live[2].noAnswer, QStringLiteral("Prompt is too long")) << "what ended the turn";
    EXPECT_EQ(TurnEnds::cutTurn(live, 2), -1) << "nothing left to mark";

    QList<ChatMessage> stored{
        message(ChatRole::User, {ChatBlock::ofText("q1")}),
        message(ChatRole::Assistant, {call("w"), call("cut")}),
        message(ChatRole::Assistant, {answer("w", ToolOutcome::Denied)}),
        message(ChatRole::User, {ChatBlock::ofText("q2")}),
        message(ChatRole::User, {ChatBlock::ofText("q3")}),
        message(ChatRole::Assistant, {ChatBlock::ofText("a3")}),
        message(ChatRole::Assistant, {call("old"), ChatBlock::ofToolResult("a result naming no call")}),
        message(ChatRole::User, {ChatBlock::ofText("q4")}),
    };
    stored[3].noAnswer = stored[4].noAnswer = TurnEnds::interrupted;  // as the store told
    TurnEnds::settleStored(stored);
    EXPECT_EQ(stored[3].noAnswer, TurnEnds::interrupted);
    EXPECT_EQ(stored[4].noAnswer, QString()) << "answered after all";
    EXPECT_EQ(outcomeOf(stored[1], 0), ToolOutcome::Denied);
    EXPECT_EQ(outcomeOf(stored[1], 1), ToolOutcome::Interrupted);
    EXPECT_EQ(outcomeOf(stored[6], 0), ToolOutcome::Pending) << "a store that keeps no link tells nothing";
    QList<bool> unanswered;
    for (const ChatMessage& m : stored)
        unanswered << m.unanswered;
    EXPECT_EQ(unanswered, (QList<bool>{false, false, false, true, false, false, false, true}));

    // The rows carry it: the call's outcome, the result's, the mark under a long question's last
    // piece only.
    QStringList lines(200, QStringLiteral("a line of a long question"));
    ChatMessage question = message(ChatRole::User, {ChatBlock::ofText(lines.join(u'\n'))});
    question.unanswered = true;
    question.noAnswer = QStringLiteral("the agent ended");
    const QList<TimelineRow> rows = TimelineRow::build(stored.mid(1, 2) + QList<ChatMessage>{question});
    EXPECT_EQ(rows.last().noAnswer, QStringLiteral("the agent ended"));
    EXPECT_EQ(rows[0].outcome, ToolOutcome::Denied);
    EXPECT_EQ(rows[1].outcome, ToolOutcome::Interrupted);
    EXPECT_EQ(rows[2].outcome, ToolOutcome::Denied);
    ASSERT_GT(rows.size(), 4);
    for (qsizetype k = 3; k < rows.size(); ++k)
        EXPECT_EQ(rows[k].unanswered, k == rows.size() - 1);
}

// The rows of a message changed in place are replaced from its first row: the same ids change in
// place, nothing before is touched, and the model never resets.
TEST(TimelineRows, rows_from_a_message_on_are_replaced_in_place)
{
    const ChatMessage q = message(ChatRole::User, {ChatBlock::ofText("q")});
    ChatMessage calls = message(ChatRole::Assistant, {call("a"), ChatBlock::ofText("then")});
    const ChatMessage after = message(ChatRole::Assistant, {answer("a", ToolOutcome::Failed)});
    TimelineModel model;
    model.setRows(TimelineRow::build({q, calls, after}));
    EXPECT_EQ(model.firstRowOf(uuidText(calls.id)), 1);
    EXPECT_EQ(model.firstRowOf(uuidText(after.id)), 3);
    EXPECT_EQ(model.firstRowOf(uuidText(QUuid::createUuid())), -1);

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy removes(&model, &QAbstractItemModel::rowsRemoved);
    calls.blocks[0].toolUse.outcome = ToolOutcome::Failed;
    model.replaceFrom(1, TimelineRow::build({calls, after}));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(model.data(model.index(1), TimelineModel::OutcomeRole), QStringLiteral("failed"));
    EXPECT_EQ(model.data(model.index(3), TimelineModel::OutcomeRole), QStringLiteral("failed"));
    // Fewer rows than before: the rest go in one removal.
    model.replaceFrom(1, TimelineRow::build({calls}));
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(removes.size(), 1);
    EXPECT_EQ(resets.size(), 0);
}

// What an unanswered message says ended its turn: an error's first line, an API error's JSON body
// reduced to the service's message, cut to a few words.
TEST(TurnEnds, an_error_is_shown_by_its_short_reason)
{
    const QString longLine = QStringLiteral("word ").repeated(40).trimmed();
    const QList<std::pair<QString, QString>> cases{
        {QStringLiteral("Prompt is too long"), QStringLiteral("Prompt is too long")},
        {QStringLiteral("\n  Claude Code process exited\n  with code 1\n"), QStringLiteral("Claude Code process exited")},
        {QStringLiteral(R"(API Error: 500 {"type":"error","error":{"type":"api_error","message":"Internal server error"}})"),
         QStringLiteral("API Error: 500 Internal server error")},
        {QStringLiteral(R"(API Error: 529 {"message":"Overloaded"})"), QStringLiteral("API Error: 529 Overloaded")},
        {QStringLiteral("Bad {json"), QStringLiteral("Bad {json")},
        {longLine, QStringLiteral("word ").repeated(16).trimmed() + QStringLiteral("…")},
        {QStringLiteral(" \n "), QStringLiteral("the turn failed")},
    };
    for (const auto& [message, reason] : cases)
        EXPECT_EQ(TurnEnds::shortReason(message), reason) << message.toStdString();
}
