#pragma once

#include <QString>
#include <QStringView>

namespace brinmoor {

// Characters that change what a text shows without being seen themselves: direction controls
// (embeddings, overrides, isolates, marks; UAX #9), zero-width and other invisible format
// characters, tag characters, and control characters. Where a text names something that will be
// acted on, or is code (paths, commands, tool input and output, code blocks, diffs), a model or a
// file it read could use them to show something other than what runs: "invoice<RLO>fdp.sh" reads
// "invoicehs.pdf". There each one is shown as a mark, "<U+202E>" in its own colour, in place of
// the character, so the true order and content read. Joiners (ZWJ, ZWNJ) inside an emoji sequence
// or next to a script that writes with them, a byte order mark at the very start, and the tag
// characters of a flag's subdivision code stay as they are.
namespace HiddenCharacters {

enum class Scope {
    Text,  // text of many lines: line feeds and tabs (and the carriage return of "\r\n") stay
    Line,  // one line, a name or a path: every control character is marked, line feeds included
};

enum class Markup {
    Rich,    // for a rich-text item: spaces kept by a pre-wrap style
    Styled,  // for a styled-text item, which folds spaces: runs of spaces kept as no-break spaces
};

// Whether `text` holds any character that is shown as a mark.
bool present(QStringView text, Scope scope);

// `text` as escaped markup, every such character replaced by its mark and line feeds by breaks.
QString markup(QStringView text, Scope scope, Markup kind);

// `text` with each such character written as "<U+XXXX>": what the marks read, as plain text.
QString plain(QStringView text, Scope scope);

// A path written into text for an agent: as it is when it holds no such character (a line feed
// would split it, a direction control reorder it), otherwise in double quotes with backslashes,
// quotes and those characters escaped as in JSON ("\n", "\u202e"), so it reads as one path.
QString pathForText(const QString& path);

} // namespace HiddenCharacters

} // namespace brinmoor
