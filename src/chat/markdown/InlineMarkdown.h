#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace brinmoor {

// Inline markdown (emphasis, strong, code, strikethrough, links) of one block's text, through
// md4c. Only inline markup is read: every line is fenced off so that nothing can open a block
// (headings, quotes, lists, fences, rules, indented code, link definitions), both kinds of line
// break come out as "\n", spaces are kept as written, raw HTML stays text and entities are shown
// as typed. Nothing is ever loaded: an image becomes its alternative text.
namespace InlineMarkdown {

struct Run {
    enum Style {
        Plain = 0,
        Strong = 1 << 0,
        Emphasis = 1 << 1,
        Code = 1 << 2,
        Strikethrough = 1 << 3,
        Link = 1 << 4,
    };
    QString text;
    int styles = Plain;
    QString href;  // the link's destination as written, for a Link run

    friend bool operator==(const Run&, const Run&) = default;
};

// The styled runs of `text`; none when the parser fails, and the caller shows `text` verbatim.
std::optional<QList<Run>> parse(const QString& text);

// Escaped rich text of the runs for a rich-text item: every character of agent text is escaped,
// the only markup is ours (b, i, s, a, a monospaced span, line breaks and non-breaking spaces).
// Code runs (all runs with `markAll`) show their hidden characters as marks (HiddenCharacters).
QString toHtml(const QList<Run>& runs, bool markAll = false);

// Escaped rich text of `text` shown verbatim, keeping line breaks and runs of spaces.
QString plainHtml(const QString& text);

// `text` styled (or verbatim when parsing fails), as escaped rich text. Code spans show hidden
// characters as marks, and prose keeps its direction controls, closed at each line's end; with
// `markAll` (table cells) all of the text shows them as marks.
QString render(const QString& text, bool markAll = false);

// Whether rich text made here needs a rich-text item, or a styled-text one shows it the same:
// links and code spans carry styles styled text drops, and it folds runs of spaces.
bool needsRichText(const QString& html);

// Whether agent text may open this link: http and https with a host, and mailto (WebLinks).
bool isOpenableLink(const QString& href);

} // namespace InlineMarkdown

} // namespace brinmoor
