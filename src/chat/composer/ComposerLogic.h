#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brinmoor {

// The composer's rules on its draft: when a message may go, when "/compact" is a command, and
// the slash-command pop-up (which commands match, which row is highlighted, what a key does).
// Plain functions of their inputs, so the QML bar and the tests share one definition.
namespace ComposerLogic {

// White space and newlines: Unicode spaces, tabs, line and paragraph breaks, form feeds.
bool isWhiteOrNewline(QChar c);
// `text` without white space and newlines at its ends (the rule for "is there anything to send").
QString trimWhiteAndNewlines(const QString& text);

// Anything but white space and newlines (the first character decides, for most drafts).
bool hasText(QStringView text);
// A message may go when the trimmed draft is not empty or something is attached.
bool canSend(const QString& draft, bool hasAttachments);

// The command word being typed: none for Codex, after Escape, or when the draft does not start
// with "/"; otherwise the text after the slash, unless it already holds a blank or a newline
// (the word is finished and the pop-up closes).
std::optional<QString> slashQuery(const QString& draft, bool isCodex, bool dismissed);
// The reported commands (names without the slash) that start with the query, ignoring letter
// case, in the session's order; all of them for an empty query; none without a query.
QStringList slashMatches(const std::optional<QString>& query, const QStringList& commands);

// How much of a draft's start the pop-up depends on: "/", the longest command and one character
// more. A draft longer than that with no blank in it types no command word any command begins
// with, and is no "/" and a command exactly, so its start answers every question of the pop-up.
qsizetype slashHeadLength(const QStringList& commands);

// "/compact" with any letter case and white space around it.
bool isCompactCommand(const QString& draft);

// The pop-up's rows: at most six are drawn; the rest are counted in "+N more — keep typing".
inline constexpr int slashRowsShown = 6;
QString moreLine(int matchCount);

// The keys the pop-up may claim.
enum class SlashKey {
    Up,
    Down,
    Return,
    Tab,
    Escape,
};
// What a key did to the pop-up.
struct SlashOutcome {
    bool consumed = false;             // false: the editor handles the key as usual
    int index = 0;                     // the highlighted row afterwards
    bool dismissed = false;            // Escape closed the pop-up
    std::optional<QString> newDraft;   // the accepted command, "/name "
};
SlashOutcome slashKey(SlashKey key, const QString& draft, const QStringList& matches, int index);

// The draft that accepting `command` leaves: "/" + command + one blank.
QString acceptedDraft(const QString& command);

} // namespace ComposerLogic

} // namespace brinmoor
