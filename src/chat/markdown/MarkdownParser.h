#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace brinmoor {

// The block grammars of agent prose. Deliberately small and line-oriented, not CommonMark:
// every list item is a block of its own (no nesting, no continuation lines), tables need no
// leading pipe, lines are trimmed of spaces and tabs, and anything unrecognised is paragraph
// text. Styling inside a block is left to InlineMarkdown.
namespace MarkdownParser {

// One block of the chat renderer's grammar.
struct Block {
    enum class Kind {
        Heading,    // "#" to "######" and a space; `level`, `text`
        Bullet,     // "- " or "* "; `text`
        Ordered,    // a signed integer, "." and a space; `number`, `text`
        Code,       // the lines between two fences, as written; `lines`
        Paragraph,  // consecutive plain lines, trimmed, joined with "\n"; `text`
        Table,      // a header line, a separator line and the rows; `headers`, `rows`
    };
    Kind kind = Kind::Paragraph;
    int level = 0;
    qint64 number = 0;
    QString text;
    QStringList lines;
    QStringList headers;
    QList<QStringList> rows;

    friend bool operator==(const Block&, const Block&) = default;
};

// The chat renderer's grammar: fences and tables first, then blank lines, headings, bullets,
// numbered items, and paragraph text.
QList<Block> parse(const QString& text);

// A trimmed line to (level, text) when it is a heading.
std::optional<std::pair<int, QString>> heading(const QString& t);
// A trimmed line to (number, text) when it is a numbered item.
std::optional<std::pair<qint64, QString>> ordered(const QString& t);
bool isTableSeparator(const QString& line);
QStringList tableCells(const QString& line);
// Spaces and tabs off both ends; line breaks and other white space stay.
QString trimmed(const QString& s);

// One block of the markdown preview overlay's simpler grammar: untrimmed fences, "# " and "## "
// headings, "- " bullets, code, and every other non-blank line a paragraph of its own.
struct PreviewBlock {
    enum class Kind {
        H1,         // "# "; `text`
        Section,    // "## "; `text`
        Paragraph,  // any other non-blank line outside code; `text`
        Bullet,     // "- "; `text`
        Code,       // the lines between two fence lines, as written; `lines`
    };
    Kind kind = Kind::Paragraph;
    QString text;
    QStringList lines;

    friend bool operator==(const PreviewBlock&, const PreviewBlock&) = default;
};

QList<PreviewBlock> parsePreview(const QString& markdown);

} // namespace MarkdownParser

} // namespace brinmoor
