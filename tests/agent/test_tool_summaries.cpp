// What a tool call's card shows: summaries, details, to-do lists and the line diff, including a
// diff too large for the table.

#include "ToolSummaries.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace brinmoor;

namespace {

QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// The diff with its lines joined by "|", for short expectations.
QString diff(const char* oldText, const char* newText)
{
    return diffText(QString::fromUtf8(oldText), QString::fromUtf8(newText)).replace(QLatin1Char('\n'), QLatin1Char('|'));
}

} // namespace

TEST(ToolSummaries, summary_takes_the_first_usable_key)
{
    const struct {
        const char* input;
        const char* want;
    } rows[] = {
        {R"({"file_path":"/tmp/project/src/app.c"})", "app.c"},
        {R"({"path":"/tmp/project/"})", "project"},
        {R"({"path":"/"})", "/"},
        {R"({"notebook_path":"nb.ipynb"})", "nb.ipynb"},
        {R"({"pattern":"TODO","path":"/a/b"})", "b"},
        {R"({"file_path":5,"path":"/a/b","command":"ls"})", "ls"},  // only the first path key counts
        {R"({"file_path":5,"path":"/a/b"})", ""},
        {R"({"url":"https://example.org/x?y"})", "https://example.org/x?y"},
        {R"({"query":"q","pattern":"p"})", "p"},
        {R"({"command":"a\nb"})", "a\nb"},
        {R"({"command":true})", ""},
        {"{}", ""},
        // A patch over several files names every one of them, each once, whatever its first path says.
        {R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh","kind":"update"},{"path":"/p/lib/b.sh","kind":"add"}]})", "a.sh, b.sh"},
        {R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh"},{"path":"/p/b.sh"},{"path":"/p/a.sh"},{"path":"/q/c"}]})", "a.sh, b.sh, c"},
        {R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh","kind":"update"}]})", "a.sh"},
        {R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh"},{"path":"/p/a.sh"}]})", "a.sh"},
        {R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh"},{"kind":"add"}]})", "a.sh"},
        {R"({"file_path":"/p/a.sh","changes":"/p/b.sh"})", "a.sh"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(toolSummary("Any", json(r.input)), QString::fromUtf8(r.want)) << r.input;
    EXPECT_EQ(permissionSummary("Bash", json(R"({"command":"ls"})")), QStringLiteral("Bash  ls"));
    EXPECT_EQ(permissionSummary("WebSearch", json(R"({"limit":3})")), QStringLiteral("WebSearch"));
    EXPECT_EQ(permissionSummary("Edit", json(R"({"file_path":"/p/a.sh","changes":[{"path":"/p/a.sh"},{"path":"/p/b.sh"}]})")),
              QStringLiteral("Edit  a.sh, b.sh"));
}

TEST(ToolSummaries, detail_takes_the_first_rule_that_applies)
{
    EXPECT_EQ(toolDetail("X", json(R"({"plan":"P","command":"C"})")), QStringLiteral("P"));
    EXPECT_EQ(toolDetail("MultiEdit", json(R"({"edits":[{"old_string":"a","new_string":"b"},{"old_string":"c"}]})")),
              QStringLiteral("- a\n+ b"));
    EXPECT_EQ(toolDetail("MultiEdit", json(R"({"edits":[{"old_string":"a"}],"new_string":"n","content":"c"})")),
              QStringLiteral("+ n"));
    EXPECT_EQ(toolDetail("MultiEdit", json(R"({"edits":[{"old_string":"a","new_string":"b"},1],"prompt":"p"})")),
              QStringLiteral("p"));
    EXPECT_EQ(toolDetail("Edit", json(R"({"new_string":"x\ny","old_string":7})")), QStringLiteral("+ x\n+ y"));
    EXPECT_FALSE(toolDetail("Edit", json("{}")));
    // Content is cut at 2000 user-perceived characters, never inside one.
    const QString flag = QString::fromUtf8("\xf0\x9f\x87\xab\xf0\x9f\x87\xb7");  // one flag, four code units
    QJsonObject big{{"content", flag.repeated(2500)}};
    EXPECT_EQ(toolDetail("Write", big), flag.repeated(2000));
    big["content"] = QString(2500, QLatin1Char('a'));
    EXPECT_EQ(toolDetail("Write", big)->size(), 2000);
}

// A file written whole but shown by its start: the detail keeps whole lines, and the size of the
// whole file comes with it, so that the card counts from the file what it does not show.
TEST(ToolSummaries, a_cut_content_keeps_whole_lines_and_the_size_of_the_whole)
{
    QString file;
    for (int i = 0; i < 130000; ++i)
        file += QStringLiteral("line %1 of the generated file, long enough that a screen holds few of them\n").arg(i);
    struct Case {
        QString content;
        qint64 lines;  // wholeLines expected; 0 when the detail is the whole content
        QString kept;  // the detail expected, or empty to check only that it is whole lines
    };
    const Case cases[] = {
        {file, 130000, {}},
        {file.chopped(1), 130000, {}},
        {QString(2500, u'a'), 1, QString(2000, u'a')},
        {QStringLiteral("short\nfile\n"), 0, QStringLiteral("short\nfile\n")},
    };
    for (const Case& c : cases) {
        const ToolDetail d = toolDetailOf("Write", QJsonObject{{"content", c.content}});
        ASSERT_TRUE(d.text);
        EXPECT_EQ(d.wholeLines, c.lines);
        EXPECT_EQ(d.wholeChars, c.lines ? c.content.size() : 0);
        if (!c.kept.isEmpty()) {
            EXPECT_EQ(*d.text, c.kept);
            continue;
        }
        EXPECT_LE(d.text->size(), 2000);
        EXPECT_GT(d.text->size(), 1900);
        EXPECT_TRUE(d.text->endsWith(u'\n'));
        EXPECT_TRUE(c.content.startsWith(*d.text));
    }
    // Whatever is not a file's content is whole.
    EXPECT_EQ(toolDetailOf("Bash", QJsonObject{{"command", file}}).wholeLines, 0);
}

TEST(ToolSummaries, todos_only_for_a_well_formed_todo_write)
{
    EXPECT_FALSE(parseTodos("todowrite", json(R"({"todos":[]})")));
    EXPECT_EQ(parseTodos("TodoWrite", json(R"({"todos":[]})")), QList<TodoItem>{});
    EXPECT_FALSE(parseTodos("TodoWrite", json(R"({"todos":[{"content":"a"},"b"]})")));
    EXPECT_FALSE(parseTodos("TodoWrite", json(R"({"todos":{}})")));
    EXPECT_EQ(parseTodos("TodoWrite", json(R"({"todos":[{"content":"a","status":"completed"},{"status":1}]})")),
              (QList<TodoItem>{{"a", "completed"}, {"", "pending"}}));
}

TEST(DiffText, line_diff_samples)
{
    EXPECT_EQ(diff("", "a\nb"), QStringLiteral("+ a|+ b"));
    EXPECT_EQ(diff("", ""), QStringLiteral("+ "));
    EXPECT_EQ(diff("a\nb", "a\nb"), QStringLiteral("  a|  b"));
    EXPECT_EQ(diff("a", "b"), QStringLiteral("- a|+ b"));
    EXPECT_EQ(diff("x\ny\nz", "x\nz"), QStringLiteral("  x|- y|  z"));
    EXPECT_EQ(diff("a", ""), QStringLiteral("- a|+ "));
    EXPECT_EQ(diff("a\n", "a\nb\n"), QStringLiteral("  a|+ b|  "));
    EXPECT_EQ(diff("a\r\nb", "a\nb"), QStringLiteral("- a\r|+ a|  b"));
    EXPECT_EQ(diff("caf\u00e9", "cafe\u0301"), QString::fromUtf8("  caf\u00e9"));  // old text printed
}

TEST(DiffText, an_edit_past_the_table_budget_removes_then_adds_its_middle)
{
    QStringList a, b;
    for (int i = 0; i < 3000; ++i) {
        a << QStringLiteral("old %1").arg(i);
        b << QStringLiteral("new %1").arg(i);
    }
    const QStringList out = diffText("head\n" + a.join('\n') + "\ntail", "head\n" + b.join('\n') + "\ntail").split('\n');
    ASSERT_EQ(out.size(), 6002);
    EXPECT_EQ(out.first(), QStringLiteral("  head"));
    EXPECT_EQ(out[1], QStringLiteral("- old 0"));
    EXPECT_EQ(out[3000], QStringLiteral("- old 2999"));
    EXPECT_EQ(out[3001], QStringLiteral("+ new 0"));
    EXPECT_EQ(out.last(), QStringLiteral("  tail"));
}

TEST(DiffText, leaving_out_the_common_head_and_tail_never_changes_the_output)
{
    // The whole table, exactly as written out, against random texts over a three-line alphabet.
    // Cutting the tail is the delicate part: for "x|s" to "s|y|s" the full walk pairs the tail's
    // "s" with the new first line, so that tail must stay in the table.
    EXPECT_EQ(diff("x\ns", "s\ny\ns"), QStringLiteral("- x|  s|+ y|+ s"));
    auto full = [](const QStringList& a, const QStringList& b) {
        const qsizetype m = a.size(), n = b.size();
        std::vector<std::vector<int>> L(m + 1, std::vector<int>(n + 1, 0));
        for (qsizetype i = m - 1; i >= 0; --i)
            for (qsizetype j = n - 1; j >= 0; --j)
                L[i][j] = a[i] == b[j] ? L[i + 1][j + 1] + 1 : std::max(L[i + 1][j], L[i][j + 1]);
        QStringList out;
        qsizetype i = 0, j = 0;
        while (i < m && j < n) {
            if (a[i] == b[j])
                out << "  " + a[i++], ++j;
            else if (L[i + 1][j] < L[i][j + 1])
                out << "+ " + b[j++];
            else
                out << "- " + a[i++];
        }
        while (i < m)
            out << "- " + a[i++];
        while (j < n)
            out << "+ " + b[j++];
        return out.join('\n');
    };
    std::srand(7);
    auto text = [] {
        QStringList lines;
        for (int k = 1 + std::rand() % 7; k > 0; --k)
            lines << QString(QChar(u'x' + std::rand() % 3));
        return lines;
    };
    for (int round = 0; round < 20000; ++round) {
        const QStringList a = text(), b = text();
        ASSERT_EQ(diffText(a.join('\n'), b.join('\n')), full(a, b)) << a.join(',').toStdString() << " / " << b.join(',').toStdString();
    }
}
