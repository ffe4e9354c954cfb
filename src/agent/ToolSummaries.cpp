#include "ToolSummaries.h"

#include <QHash>
#include <QJsonArray>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <cstdint>
#include <vector>

namespace brinmoor {

namespace {

std::optional<QString> textAt(const QJsonObject& input, const char* key)
{
    const QJsonValue v = input.value(QLatin1String(key));
    return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
}

// An array whose every element is an object; anything else counts as missing.
std::optional<QJsonArray> objectsAt(const QJsonObject& input, const char* key)
{
    const QJsonValue v = input.value(QLatin1String(key));
    if (!v.isArray())
        return std::nullopt;
    const QJsonArray array = v.toArray();
    for (const QJsonValue& e : array)
        if (!e.isObject())
            return std::nullopt;
    return array;
}

// The part after the last slash, trailing slashes ignored; "/" stays "/".
QString lastPathComponent(const QString& path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    if (end == 1 && path.at(0) == QLatin1Char('/'))
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

// The first `count` user-perceived characters.
QString leftGraphemes(const QString& text, int count)
{
    if (text.size() <= count)
        return text;  // never more graphemes than code units
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (finder.toNextBoundary() >= 0)
        if (++seen == count)
            return text.left(finder.position());
    return text;
}

QString prefixed(const QStringList& lines, QLatin1String prefix)
{
    QStringList out;
    out.reserve(lines.size());
    for (const QString& l : lines)
        out.append(prefix + l);
    return out.join(QLatin1Char('\n'));
}

} // namespace

QString toolSummary(const QString&, const QJsonObject& input)
{
    // A patch that touches several files (Codex's file changes) is named after all of them, in
    // its order, each once; the first alone would hide the others.
    if (const auto changes = objectsAt(input, "changes"); changes && changes->size() > 1) {
        QStringList names;
        QStringList seen;
        for (const QJsonValue& c : *changes) {
            const auto path = textAt(c.toObject(), "path");
            if (!path || path->isEmpty() || seen.contains(*path))
                continue;
            seen.append(*path);
            names.append(lastPathComponent(*path));
        }
        if (names.size() > 1)
            return names.join(QStringLiteral(", "));
    }
    // Only the first of the three path keys that is present counts, text or not.
    for (const char* key : {"file_path", "path", "notebook_path"}) {
        if (!input.contains(QLatin1String(key)))
            continue;
        if (const auto path = textAt(input, key))
            return lastPathComponent(*path);
        break;
    }
    for (const char* key : {"command", "url", "pattern", "query"})
        if (const auto text = textAt(input, key))
            return *text;
    return QString();
}

QString permissionSummary(const QString& tool, const QJsonObject& input)
{
    const QString s = toolSummary(tool, input);
    return s.isEmpty() ? tool : tool + QStringLiteral("  ") + s;
}

std::optional<QString> toolDetail(const QString& name, const QJsonObject& input)
{
    return toolDetailOf(name, input).text;
}

ToolDetail toolDetailOf(const QString& name, const QJsonObject& input)
{
    if (const auto plan = textAt(input, "plan"))
        return {plan};
    if (const auto command = textAt(input, "command"))
        return {command};
    if (name == QLatin1String("MultiEdit")) {
        if (const auto edits = objectsAt(input, "edits")) {
            QStringList diffs;
            for (const QJsonValue& e : *edits) {
                const QJsonObject edit = e.toObject();
                if (const auto newText = textAt(edit, "new_string"))
                    diffs.append(diffText(textAt(edit, "old_string").value_or(QString()), *newText));
            }
            if (!diffs.isEmpty())
                return {diffs.join(QLatin1Char('\n'))};
        }
    }
    if (const auto newText = textAt(input, "new_string"))
        return {diffText(textAt(input, "old_string").value_or(QString()), *newText)};
    if (const auto content = textAt(input, "content")) {
        QString kept = leftGraphemes(*content, 2000);
        if (kept.size() == content->size())
            return {kept};
        // Only the file's start: its whole lines where it has a line break, so that no line
        // shows as if it ended where the cut fell.
        const qsizetype lastBreak = kept.lastIndexOf(QLatin1Char('\n'));
        if (lastBreak >= 0)
            kept.truncate(lastBreak + 1);
        const qint64 lines = content->count(QLatin1Char('\n')) + (content->endsWith(QLatin1Char('\n')) ? 0 : 1);
        return {kept, lines, content->size()};
    }
    if (const auto prompt = textAt(input, "prompt"))
        return {prompt};
    return {};
}

std::optional<QList<TodoItem>> parseTodos(const QString& name, const QJsonObject& input)
{
    if (name != QLatin1String("TodoWrite"))
        return std::nullopt;
    const auto todos = objectsAt(input, "todos");
    if (!todos)
        return std::nullopt;
    QList<TodoItem> items;
    for (const QJsonValue& v : *todos) {
        const QJsonObject o = v.toObject();
        items.append({textAt(o, "content").value_or(QString()), textAt(o, "status").value_or(QStringLiteral("pending"))});
    }
    return items;
}

QString diffText(const QString& oldText, const QString& newText)
{
    if (oldText.isEmpty())
        return prefixed(newText.split(QLatin1Char('\n')), QLatin1String("+ "));
    const QStringList a = oldText.split(QLatin1Char('\n'));
    const QStringList b = newText.split(QLatin1Char('\n'));

    // Lines compare by canonical equivalence: one small integer per distinct normalised line.
    QHash<QString, int> keyOf;
    auto keys = [&](const QStringList& lines) {
        std::vector<int> out;
        out.reserve(lines.size());
        for (const QString& l : lines) {
            const QString k = l.normalized(QString::NormalizationForm_C);
            auto it = keyOf.constFind(k);
            if (it == keyOf.cend())
                it = keyOf.insert(k, int(keyOf.size()));
            out.push_back(*it);
        }
        return out;
    };
    const std::vector<int> ka = keys(a), kb = keys(b);
    const qsizetype m = a.size(), n = b.size();

    // The walk matches equal lines greedily from the top, so a common head comes out unchanged
    // whether or not the table covers it.
    qsizetype head = 0;
    while (head < m && head < n && ka[head] == kb[head])
        ++head;
    qsizetype tail = 0;
    while (tail < m - head && tail < n - head && ka[m - 1 - tail] == kb[n - 1 - tail])
        ++tail;
    // A common tail is safe to leave out only when its first line occurs in neither middle part:
    // otherwise the full walk could pair that line with a middle line and print another diff.
    QHash<int, int> middle;
    for (qsizetype i = head; i < m - tail; ++i)
        ++middle[ka[i]];
    for (qsizetype j = head; j < n - tail; ++j)
        ++middle[kb[j]];
    while (tail > 0 && middle.contains(ka[m - tail])) {
        middle[ka[m - tail]] += 2;
        --tail;
    }

    QStringList out;
    out.reserve(m + n);
    for (qsizetype i = 0; i < head; ++i)
        out.append(QStringLiteral("  ") + a.at(i));
    const qsizetype mm = m - head - tail, nn = n - head - tail;
    if (mm * nn > diffCellBudget) {
        for (qsizetype i = head; i < m - tail; ++i)
            out.append(QStringLiteral("- ") + a.at(i));
        for (qsizetype j = head; j < n - tail; ++j)
            out.append(QStringLiteral("+ ") + b.at(j));
    } else {
        // L[i][j]: length of the longest common subsequence of the middle lines from i and j
        // on. Under the budget min(mm, nn) is at most 2000, so 16 bits hold every length.
        static_assert(diffCellBudget <= 65535LL * 65535LL);
        const qsizetype w = nn + 1;
        std::vector<std::uint16_t> L(std::size_t((mm + 1) * w), 0);
        auto at = [&](qsizetype i, qsizetype j) -> std::uint16_t& { return L[std::size_t(i * w + j)]; };
        for (qsizetype i = mm - 1; i >= 0; --i)
            for (qsizetype j = nn - 1; j >= 0; --j)
                at(i, j) = ka[head + i] == kb[head + j] ? std::uint16_t(at(i + 1, j + 1) + 1)
                                                         : std::max(at(i + 1, j), at(i, j + 1));
        qsizetype i = 0, j = 0;
        while (i < mm && j < nn) {
            if (ka[head + i] == kb[head + j]) {
                out.append(QStringLiteral("  ") + a.at(head + i));
                ++i;
                ++j;
            } else if (at(i + 1, j) < at(i, j + 1)) {
                out.append(QStringLiteral("+ ") + b.at(head + j));
                ++j;
            } else {  // ties put the removal first
                out.append(QStringLiteral("- ") + a.at(head + i));
                ++i;
            }
        }
        for (; i < mm; ++i)
            out.append(QStringLiteral("- ") + a.at(head + i));
        for (; j < nn; ++j)
            out.append(QStringLiteral("+ ") + b.at(head + j));
    }
    for (qsizetype i = m - tail; i < m; ++i)
        out.append(QStringLiteral("  ") + a.at(i));
    return out.join(QLatin1Char('\n'));
}

} // namespace brinmoor
