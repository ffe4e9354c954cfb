#pragma once

// What a tool call shows on its card: a one-line summary, an expandable detail, a to-do list, and
// the line diff of an edit. Free functions of the tool's name and its JSON input, without state.

#include "ChatModels.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace brinmoor {

// The file's last path component, else the command, URL, pattern or query; possibly empty.
QString toolSummary(const QString& name, const QJsonObject& input);
// The tool's name, then two spaces and toolSummary when that is not empty.
QString permissionSummary(const QString& tool, const QJsonObject& input);
// A plan, a command, the diffs of an edit, file content (first 2000 characters) or a prompt.
std::optional<QString> toolDetail(const QString& name, const QJsonObject& input);
// toolDetail with, when it is only the start of a longer text (a written file's content, whose
// start is kept to whole lines where it has a line break), the size of the whole: the card counts
// what it does not show from that, not from the start it holds.
struct ToolDetail {
    std::optional<QString> text;
    qint64 wholeLines = 0;  // lines of the whole text (a final line break ends the last); 0 when the text is all of it
    qint64 wholeChars = 0;  // UTF-16 units of the whole text; 0 likewise
};
ToolDetail toolDetailOf(const QString& name, const QJsonObject& input);
// The to-do list of a "TodoWrite" call; none for any other call or a malformed list.
std::optional<QList<TodoItem>> parseTodos(const QString& name, const QJsonObject& input);

// The line diff of two texts: "  " unchanged, "- " removed, "+ " added, one line each, joined
// with line feeds. The longest-common-subsequence table is held only while the lines left after
// the common head and tail make at most `diffCellBudget` cells; a larger edit shows all its old
// lines removed, then all its new lines added.
QString diffText(const QString& oldText, const QString& newText);
inline constexpr qint64 diffCellBudget = 4'000'000;

} // namespace brinmoor
