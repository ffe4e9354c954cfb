#include "ComposerLogic.h"

#include "AppModel.h"

#include <algorithm>

namespace brinmoor::ComposerLogic {

bool isWhiteOrNewline(QChar c)
{
    // QChar::isSpace covers the separators and U+0009..U+000D and U+0085, which is exactly
    // "white space and newlines"; named here so every caller says which rule it follows.
    return c.isSpace();
}

QString trimWhiteAndNewlines(const QString& text)
{
    return trimEnds(text, &isWhiteOrNewline);
}

bool hasText(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return !isWhiteOrNewline(c); });
}

bool canSend(const QString& draft, bool hasAttachments)
{
    return hasAttachments || hasText(draft);
}

std::optional<QString> slashQuery(const QString& draft, bool isCodex, bool dismissed)
{
    if (isCodex || dismissed || !draft.startsWith(u'/'))
        return std::nullopt;
    const QString rest = draft.mid(1);
    for (QChar c : rest)
        if (isWhiteOrNewline(c))
            return std::nullopt;
    return rest;
}

QStringList slashMatches(const std::optional<QString>& query, const QStringList& commands)
{
    if (!query)
        return {};
    if (query->isEmpty())
        return commands;
    const QString q = query->toLower();
    QStringList out;
    for (const QString& c : commands)
        if (c.toLower().startsWith(q))
            out << c;
    return out;
}

qsizetype slashHeadLength(const QStringList& commands)
{
    qsizetype longest = 0;
    for (const QString& c : commands)
        longest = std::max(longest, c.size());
    return 1 + longest + 1;
}

bool isCompactCommand(const QString& draft)
{
    return trimWhiteAndNewlines(draft).toLower() == QLatin1String("/compact");
}

QString moreLine(int matchCount)
{
    if (matchCount <= slashRowsShown)
        return {};
    return QStringLiteral("+%1 more — keep typing").arg(matchCount - slashRowsShown);
}

QString acceptedDraft(const QString& command)
{
    return u'/' + command + u' ';
}

SlashOutcome slashKey(SlashKey key, const QString& draft, const QStringList& matches, int index)
{
    SlashOutcome out;
    out.index = index;
    const int count = int(matches.size());
    if (count == 0)
        return out;
    const QString selected = matches.at(qBound(0, index, count - 1));
    const auto accept = [&] {
        out.consumed = true;
        out.newDraft = acceptedDraft(selected);
        out.index = 0;
    };
    switch (key) {
    case SlashKey::Down:
        out.consumed = true;
        out.index = ((index + 1) % count + count) % count;
        break;
    case SlashKey::Up:
        out.consumed = true;
        out.index = ((index - 1) % count + count) % count;
        break;
    case SlashKey::Return:
        // A command typed out in full goes as it is: Return sends it.
        if (draft.mid(1) != selected)
            accept();
        break;
    case SlashKey::Tab:
        accept();
        break;
    case SlashKey::Escape:
        out.consumed = true;
        out.dismissed = true;
        break;
    }
    return out;
}

} // namespace brinmoor::ComposerLogic
