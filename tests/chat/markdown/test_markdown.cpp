// The markdown renderer's block grammar, the preview's simpler one, inline styling through md4c,
// the bounded parse cache, and direction controls kept to their lines.
#include "DirectionalRuns.h"
#include "InlineMarkdown.h"
#include "MarkdownBlockModel.h"
#include "MarkdownCache.h"
#include "MarkdownParser.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

using namespace brinmoor;
using Kind = MarkdownParser::Block::Kind;
using Block = MarkdownParser::Block;
using StyledRun = InlineMarkdown::Run;

namespace {

// One compact line per block, so a whole parse compares as one list.
QStringList shape(const QString& text)
{
    QStringList out;
    for (const Block& b : MarkdownParser::parse(text)) {
        switch (b.kind) {
        case Kind::Heading: out << QStringLiteral("h%1:%2").arg(b.level).arg(b.text); break;
        case Kind::Bullet: out << "bullet:" + b.text; break;
        case Kind::Ordered: out << QStringLiteral("ordered:%1:%2").arg(b.number).arg(b.text); break;
        case Kind::Code: out << "code:[" + b.lines.join("|") + "]"; break;
        case Kind::Paragraph: out << "p:" + b.text; break;
        case Kind::Table: {
            QStringList rows;
            for (const QStringList& r : b.rows)
                rows << "(" + r.join(",") + ")";
            out << "table:(" + b.headers.join(",") + ")" + rows.join("");
            break;
        }
        }
    }
    return out;
}

QStringList previewShape(const QString& text)
{
    using PK = MarkdownParser::PreviewBlock::Kind;
    QStringList out;
    for (const auto& b : MarkdownParser::parsePreview(text)) {
        const char* names[] = {"h1", "section", "p", "bullet", "code"};
        out << QString::fromLatin1(names[int(b.kind)]) + ":"
                   + (b.kind == PK::Code ? "[" + b.lines.join("|") + "]" : b.text);
    }
    return out;
}

QList<StyledRun> styled(const QList<StyledRun>& runs)
{
    QList<StyledRun> out;
    for (const StyledRun& r : runs)
        if (r.styles != StyledRun::Plain)
            out << r;
    return out;
}

QString visible(const QList<StyledRun>& runs)
{
    QString s;
    for (const StyledRun& r : runs)
        s += r.text;
    return s;
}

} // namespace

TEST(MarkdownGrammar, headings_lists_and_paragraphs)
{
    EXPECT_TRUE(shape("").isEmpty());
    EXPECT_TRUE(shape("\n  \n\t\n").isEmpty());
    EXPECT_EQ(shape("# One\n## Two\n### x\n###### six\n####### seven\n#nospace\n#\n##  wide ##"),
              (QStringList{"h1:One", "h2:Two", "h3:x", "h6:six", "p:####### seven\n#nospace\n#", "h2: wide ##"}));
    // A heading, bullet or numbered line ends a paragraph without a blank line; items never nest.
    EXPECT_EQ(shape("para one\n  para two  \n- a\n    * b\nafter\n+ plus\n> quote\n---"),
              (QStringList{"p:para one\npara two", "bullet:a", "bullet:b", "p:after\n+ plus\n> quote\n---"}));
    EXPECT_EQ(shape("-1. neg\n007. padded\n+3. plus\n1) paren\n2.no space\n1.5 pi\n3.\n- \n-x"),
              (QStringList{"ordered:-1:neg", "ordered:7:padded", "ordered:3:plus",
                           "p:1) paren\n2.no space\n1.5 pi\n3.\n-\n-x"}));
    // Past 64 bits it is no number.
    EXPECT_EQ(shape("99999999999999999999. big"), QStringList{"p:99999999999999999999. big"});
    EXPECT_EQ(shape("a\n\nb"), (QStringList{"p:a", "p:b"}));
}

TEST(MarkdownGrammar, fences)
{
    // Indented fences open and close; code keeps its indentation; the language is dropped.
    EXPECT_EQ(shape("text\n  ```swift\n    let x = 1  \n\n  ```  \nafter"),
              (QStringList{"p:text", "code:[    let x = 1  |]", "p:after"}));
    EXPECT_EQ(shape("```\nno close\n# not heading"), QStringList{"code:[no close|# not heading]"});
    EXPECT_EQ(shape("a\n```"), (QStringList{"p:a", "code:[]"}));
    EXPECT_EQ(shape("```\n```"), QStringList{"code:[]"});
    // "~~~" is no fence here.
    EXPECT_EQ(shape("~~~\ncode\n~~~"), QStringList{"p:~~~\ncode\n~~~"});
}

TEST(MarkdownGrammar, tables)
{
    EXPECT_EQ(shape("| a | b |\n|---|:-:|\n| 1 | 2 |\n3 | 4\n\nafter"),
              (QStringList{"table:(a,b)(1,2)(3,4)", "p:after"}));
    // Ragged rows, an empty inner cell, a row of only "|", and the table ends at a line without "|".
    EXPECT_EQ(shape("h1 | h2\n- | -\n1 || 3 | 4\n|\nx\nplain"),
              (QStringList{"table:(h1,h2)(1,,3,4)()", "p:x\nplain"}));
    // A line with "|" not followed by a separator is paragraph text; hyphens alone are no separator.
    EXPECT_EQ(shape("a | b\nc\n---\n-|-x"), QStringList{"p:a | b\nc\n---\n-|-x"});
    // The separator is tested before headings: a heading line with a pipe can head a table.
    EXPECT_EQ(shape("# a | b\n|--|--|"), QStringList{"table:(# a,b)"});
    EXPECT_TRUE(MarkdownParser::isTableSeparator("  |:--|--:| "));
    EXPECT_FALSE(MarkdownParser::isTableSeparator("|--|x|"));
    EXPECT_EQ(MarkdownParser::tableCells(" | a \\| b | "), (QStringList{"a \\", "b"}));
}

// How the preview's grammar differs from the renderer's, point by point.
TEST(MarkdownGrammar, preview_grammar_differs_from_the_renderer)
{
    const QString doc = "# Title\n## Part\n### deep\n* star\n1. one\n- item\n| a | b |\n|---|---|\n"
                        "**b** `c`\n\n  ```\nindented\n```\nx\n\n```\n```\n```";
    EXPECT_EQ(previewShape(doc),
              (QStringList{"h1:Title", "section:Part", "p:### deep", "p:* star", "p:1. one", "bullet:item",
                           "p:| a | b |", "p:|---|---|", "p:**b** `c`", "p:```", "p:indented", "code:[x|]",
                           "code:[]"}));
    EXPECT_EQ(shape(doc), (QStringList{"h1:Title", "h2:Part", "h3:deep", "bullet:star", "ordered:1:one", "bullet:item",
                                       "table:(a,b)", "p:**b** `c`", "code:[indented]", "p:x", "code:[]",
                                       "code:[]"}));
    // An unclosed fence keeps what follows; alone on the last line it adds nothing (the renderer
    // makes an empty block of it).
    EXPECT_EQ(previewShape("a\n```\n  b\n\nc"), (QStringList{"p:a", "code:[  b||c]"}));
    EXPECT_EQ(previewShape("a\n```"), QStringList{"p:a"});
    EXPECT_EQ(shape("a\n```"), (QStringList{"p:a", "code:[]"}));
    EXPECT_TRUE(previewShape("\n \n").isEmpty());
}

TEST(InlineMarkdown, styles_come_out_as_runs)
{
    const auto runs = InlineMarkdown::parse("**a** *b* `c` ~~d~~ [e](https://x)");
    ASSERT_TRUE(runs);
    EXPECT_EQ(styled(*runs), (QList<StyledRun>{{"a", StyledRun::Strong, {}},
                                         {"b", StyledRun::Emphasis, {}},
                                         {"c", StyledRun::Code, {}},
                                         {"d", StyledRun::Strikethrough, {}},
                                         {"e", StyledRun::Link, "https://x"}}));
    EXPECT_EQ(visible(*runs), "a b c d e");
    // Emphasis at the very start and end of a line, with underscores too.
    EXPECT_EQ(styled(*InlineMarkdown::parse("_u_\n__s__")),
              (QList<StyledRun>{{"u", StyledRun::Emphasis, {}}, {"s", StyledRun::Strong, {}}}));
}

TEST(InlineMarkdown, only_inline_markup_is_read_and_text_is_kept)
{
    // Block openers stay literal text.
    for (const QString s : {"> q", "+ x", "1) x", "a\n---", "~~~", "# h", "- x", "    code", "[r]: https://x",
                            "a\n===", "```", "<div>x</div>"}) {
        const auto runs = InlineMarkdown::parse(s);
        ASSERT_TRUE(runs) << s.toStdString();
        EXPECT_EQ(visible(*runs), s) << s.toStdString();
        EXPECT_TRUE(styled(*runs).isEmpty()) << s.toStdString();
    }
    // Line feeds (hard-break spaces included), runs of spaces and leading spaces are kept.
    for (const QString s : {"a\nb", "a  \nb", "a   b", "  lead", "a\n\n  b", "x\\\ny", "tail  "})
        EXPECT_EQ(visible(*InlineMarkdown::parse(s)), s) << s.toStdString();
    EXPECT_EQ(visible(*InlineMarkdown::parse("a\r\nb\rc")), "a\nb\nc");
    // Raw HTML and entities show as typed, and the rich text escapes them.
    EXPECT_EQ(visible(*InlineMarkdown::parse("<b>x</b> &amp;")), "<b>x</b> &amp;");
    const QString html = InlineMarkdown::render("<b>x</b> <img src=\"http://h/i.png\">");
    EXPECT_TRUE(html.contains("&lt;b&gt;x&lt;/b&gt;"));
    EXPECT_FALSE(html.contains("<img"));
    // An image is never fetched: its alternative text shows, with no link.
    const auto image = InlineMarkdown::parse("![alt](http://h/i.png)");
    EXPECT_EQ(visible(*image), "alt");
    EXPECT_TRUE(styled(*image).isEmpty());
}

TEST(InlineMarkdown, failure_shows_the_text_verbatim)
{
    // With every sentinel candidate taken the parser gives up; the text is then shown as it is.
    QString crowded = "**x** <a>";
    for (char16_t c = 0x2000; c <= 0x200A; ++c)
        crowded += QChar(c);
    EXPECT_FALSE(InlineMarkdown::parse(crowded));
    EXPECT_EQ(InlineMarkdown::render(crowded), InlineMarkdown::plainHtml(crowded));
    EXPECT_TRUE(InlineMarkdown::render(crowded).contains("**x** &lt;a&gt;"));
    // One free candidate is enough, and the others in the text stay in it.
    crowded.chop(1);
    const auto runs = InlineMarkdown::parse(crowded);
    ASSERT_TRUE(runs);
    EXPECT_EQ(visible(*runs), "x <a>" + crowded.mid(9));
}

TEST(InlineMarkdown, links_open_only_for_web_and_mail)
{
    for (const char* ok : {"https://x", "http://x/y", "mailto:a@b", "HTTPS://X"})
        EXPECT_TRUE(InlineMarkdown::isOpenableLink(ok)) << ok;
    for (const char* no : {"file:///etc/passwd", "javascript:alert(1)", "x-app://do", "/tmp/x", "", "ftp://h"})
        EXPECT_FALSE(InlineMarkdown::isOpenableLink(no)) << no;
}

TEST(MarkdownCache, parses_each_text_once_and_evicts_under_its_cap)
{
    MarkdownCache cache(64 * 1024);
    const auto a1 = cache.blocks("# a\ntext");
    const auto a2 = cache.blocks("# a\ntext");
    EXPECT_EQ(cache.parses(), 1);
    EXPECT_EQ(a1.get(), a2.get());
    // Trailing white space makes another text.
    cache.blocks("# a\ntext ");
    EXPECT_EQ(cache.parses(), 2);

    // Many distinct texts: the cache stays under its budget and the oldest go first.
    for (int i = 0; i < 400; ++i)
        cache.blocks(QStringLiteral("para %1 with some **bold** words to weigh on the cache").arg(i));
    EXPECT_LE(cache.bytes(), 64 * 1024);
    EXPECT_LT(cache.count(), 400);
    const int before = cache.parses();
    cache.blocks("para 399 with some **bold** words to weigh on the cache");
    EXPECT_EQ(cache.parses(), before);
    cache.blocks("# a\ntext");
    EXPECT_EQ(cache.parses(), before + 1);

    // A text larger than the whole budget is still rendered, just not kept.
    const QString huge = QString("word ").repeated(40000);
    EXPECT_EQ(cache.blocks(huge)->size(), 1);
    EXPECT_LE(cache.bytes(), 64 * 1024);
}

TEST(MarkdownCache, renders_blocks_for_drawing)
{
    const auto blocks = MarkdownCache::render("007. item\n| a |\n|---|\n| 1 | 2 |\n```\nx < y\n```");
    ASSERT_EQ(blocks.size(), 3);
    EXPECT_EQ(blocks[0].label, "7.");
    // The table grid is as wide as its widest row; missing cells are empty.
    EXPECT_EQ(blocks[1].columns, 2);
    ASSERT_EQ(blocks[1].cells.size(), 4);
    EXPECT_EQ(blocks[1].cells[1], InlineMarkdown::render(QString()));
    // Code stays plain text for a plain-text item.
    EXPECT_EQ(blocks[2].code, "x < y");
}

TEST(MarkdownBlockModel, a_growing_text_changes_only_its_tail)
{
    MarkdownBlockModel model;
    QStringList events;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int a, int b) { events << QStringLiteral("insert %1-%2").arg(a).arg(b); });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                     [&](const QModelIndex&, int a, int b) { events << QStringLiteral("remove %1-%2").arg(a).arg(b); });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&](const QModelIndex& a, const QModelIndex&) {
        events << QStringLiteral("change %1").arg(a.row());
    });
    model.setText("# T\npara");
    model.setText("# T\npara grows");
    model.setText("# T\npara grows\n- item\n- two");
    model.setText("# T");
    EXPECT_EQ(events, (QStringList{"insert 0-1", "change 1", "insert 2-3", "remove 1-3"}));

    // The preview grammar shows text as typed.
    model.setGrammar(MarkdownBlockModel::Grammar::Preview);
    model.setText("* **x**");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0), MarkdownBlockModel::KindRole), "paragraph");
    EXPECT_EQ(model.data(model.index(0), MarkdownBlockModel::TextRole), "* **x**");
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the monospaced family comes from the font database
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Styled text shows plain, bold, italic and struck text as rich text does; links, code spans and
// runs of spaces need a rich-text item. Asked of the renderer's own output, so a change to its
// markup cannot silently lose a style.
TEST(InlineMarkdown, which_rendered_texts_need_rich_text)
{
    for (const char* plain : {"key1", "**fine** and *it* ~~gone~~", "a < b & c", "<b>raw</b>"})
        EXPECT_FALSE(InlineMarkdown::needsRichText(InlineMarkdown::render(QString::fromUtf8(plain)))) << plain;
    for (const char* rich : {"`code`", "[site](https://example.com)", "two  spaces"})
        EXPECT_TRUE(InlineMarkdown::needsRichText(InlineMarkdown::render(QString::fromUtf8(rich)))) << rich;
}

// Embeddings, overrides and isolates left open are closed before each line break and at the end;
// closed ones, stray closers and text without any are left as they are.
TEST(DirectionalRuns, what_a_line_leaves_open_is_closed_at_its_end)
{
    const QString rlo(QChar(0x202E)), lre(QChar(0x202A)), pdf(QChar(0x202C)), rli(QChar(0x2067)), pdi(QChar(0x2069));
    const struct {
        QString in, out;
    } cases[] = {
        {"plain\ntext", "plain\ntext"},
        {rlo + "LAST\nLINE", rlo + "LAST" + pdf + "\nLINE"},
        {rlo + "a" + pdf + "\nb", rlo + "a" + pdf + "\nb"},
        {"x" + rlo, "x" + rlo + pdf},
        {rli + lre + "a\r\nb", rli + lre + "a" + pdf + pdi + "\r\nb"},
        // A PDI closes the embedding opened inside its isolate; a PDF never closes an isolate.
        {rli + lre + "a" + pdi + "b\nc", rli + lre + "a" + pdi + "b\nc"},
        {rli + "a" + pdf + "\nb", rli + "a" + pdf + pdi + "\nb"},
        {pdf + pdi + "a\nb", pdf + pdi + "a\nb"},
        {rlo + "a\n" + rlo + "b", rlo + "a" + pdf + "\n" + rlo + "b" + pdf},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectionalRuns::closeAtLineEnds(c.in), c.out) << qPrintable(c.in);
    const QString untouched = QString::fromUtf8("no controls here\n");
    EXPECT_EQ(DirectionalRuns::closeAtLineEnds(untouched).constData(), untouched.constData()) << "not copied";

    // In a rendered paragraph (lines are breaks inside one block), styled or not.
    const QString html = InlineMarkdown::render(rlo + "**LAST**\nLINE");
    EXPECT_TRUE(html.contains(pdf + "<br>")) << qPrintable(html);
    EXPECT_TRUE(InlineMarkdown::render("`" + rlo + "a\nb").contains(pdf + "<br>"));
}

// Table cells and code spans show hidden characters as marks (nothing of them acts); prose keeps
// its direction controls, closed at the line's end, and what prose leaves open ends before code.
TEST(InlineMarkdown, code_and_table_cells_mark_hidden_characters_and_prose_keeps_them)
{
    const QString rlo(QChar(0x202E)), pdf(QChar(0x202C)), zwsp(QChar(0x200B));
    const QString mark = QStringLiteral("<font color=\"#d94f8c\">\u2066&lt;U+202E&gt;\u2069</font>");
    const QList<RenderedBlock> blocks = MarkdownCache::render("| name |\n|---|\n| invoice" + rlo + "fdp.sh |\n\n"
                                                              "see `x" + rlo + "y` and " + rlo + "prose" + zwsp);
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_TRUE(blocks[0].cells.value(1).contains("invoice" + mark)) << qPrintable(blocks[0].cells.value(1));
    EXPECT_FALSE(blocks[0].cells.value(1).contains(rlo));
    const QString paragraph = blocks[1].text;
    EXPECT_TRUE(paragraph.contains("x" + mark)) << qPrintable(paragraph);
    EXPECT_TRUE(paragraph.contains(rlo + "prose" + zwsp + pdf)) << qPrintable(paragraph);
    // An override open in prose before a code span is closed before it.
    EXPECT_TRUE(InlineMarkdown::render(rlo + "a `b`").contains(rlo + "a " + pdf + "<span")) << qPrintable(InlineMarkdown::render(rlo + "a `b`"));
}
