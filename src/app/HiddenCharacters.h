#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace brinmoor {

// Characters that change what a text shows without being seen themselves: direction controls
// (embeddings, overrides, isolates, marks; UAX #9), zero-width and other invisible format
// characters, tag characters, variation selectors, control characters, and characters drawn as
// nothing or as a space (the soft hyphen, the grapheme joiner, the Hangul fillers, the braille
// blank). Where a text names something that will be acted on, or is code (paths, commands, tool
// input and output, code blocks, diffs), a model or a file it read could use them to show
// something other than what runs: "invoice<RLO>fdp.sh" reads "invoicehs.pdf", and a run of
// selectors after a letter carries bytes nobody sees. There each one is shown as a mark,
// "<U+202E>" in its own colour, in place of the character, so the true order and content read.
// Joiners (ZWJ, ZWNJ) inside an emoji sequence or next to a script that writes with them, a byte
// order mark at the very start, the tag characters of a flag's subdivision code, and a single
// variation selector right after a character it picks a variant of (an emoji's style, a keycap,
// an ideograph) stay as they are.
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

// `text` without its hidden characters: for a glyph or two made from a name, where no mark fits.
QString stripped(QStringView text, Scope scope);

// The inverse of plain() for text a user edited: each "<U+XXXX>" that writes a character of the
// kinds shown as marks becomes that character again; any other text stays as typed. An edit around
// a mark keeps the character it stands for: a name shown as "ws<U+202E>gpj.exe", then edited,
// keeps its override where the mark was.
QString fromPlain(QStringView text);

// The "<U+XXXX>" (four to six hexadecimal digits) that `text` begins with: its length and the code
// point it names; none when `text` begins with no such mark. Whether that code point is one shown
// as a mark is for the caller to judge.
std::optional<std::pair<qsizetype, char32_t>> writtenMarkAt(QStringView text);

// `name` ready to stand in one of the app's sentences: as it is when it holds no hidden character
// and nothing written right to left; otherwise its hidden characters (line breaks included)
// written "<U+XXXX>" and the whole isolated() in the sentence, so that neither an override nor a
// right-to-left name can reorder the words around it.
QString inSentence(QStringView name);

// `text` (which holds no direction control of its own) in a first-strong isolate (U+2068 …
// U+2069): it reads as one piece in the direction of its own first strong letter, and the
// sentence around it keeps its own. Not an embedding (U+202A/U+202B … U+202C): a paragraph takes
// its direction from the first strong letter it holds, an embedded one included, so a sentence
// opening with a right-to-left name turned right to left, and a number after the name was no
// longer tied to the words before it. Many fonts have no glyph for the isolates, and the font
// found for them can be taller than the text's own: what shows a line holding them measures it by
// its own font (NameText, MeasuredText), not by the fonts its layout took.
QString isolated(QStringView text);

// Where the hidden characters of `text` are: each one's offset and length in UTF-16 units, and
// the character.
struct Found {
    qsizetype at;
    qsizetype length;
    char32_t character;
};
QList<Found> find(QStringView text, Scope scope);

// The mark plain() writes for one character: "<U+202E>".
QString markFor(char32_t character);

// A path written into text for an agent: as it is when it holds no such character (a line feed
// would split it, a direction control reorder it), otherwise in double quotes with backslashes,
// quotes and those characters escaped as in JSON ("\n", "\u202e"), so it reads as one path.
QString pathForText(const QString& path);

} // namespace HiddenCharacters

} // namespace brinmoor
