#include "ChatModels.h"

#include "HeaderFigures.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace brinmoor {

bool records::sameText(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    // Texts below U+0300 have one canonical form only: no need to normalise.
    auto plain = [](const QString& s) {
        for (QChar c : s)
            if (c.unicode() >= 0x300)
                return false;
        return true;
    };
    if (plain(a) && plain(b))
        return false;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

std::optional<QDateTime> UsageMetric::parseInternetDateTime(const QString& text)
{
    // Qt's own ISO reader takes bare dates, missing zones and more; check the shape first.
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})[Tt](\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?(?:([Zz])|([+-])(\\d{2}):(\\d{2}))$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    auto num = [&](int i) { return m.captured(i).toInt(); };
    const QString fraction = m.captured(7);
    const int ms = fraction.isEmpty() ? 0 : fraction.left(3).leftJustified(3, QLatin1Char('0')).toInt();
    const QDate date(num(1), num(2), num(3));
    const QTime time(num(4), num(5), num(6), ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offset = 0;
    if (m.captured(8).isEmpty()) {
        if (num(10) > 23 || num(11) > 59)
            return std::nullopt;
        offset = (num(10) * 3600 + num(11) * 60) * (m.captured(9) == QLatin1String("-") ? -1 : 1);
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

std::optional<QString> UsageMetric::resetsLabel(const QDateTime& now) const
{
    if (!resetsAt)
        return std::nullopt;
    const auto at = parseInternetDateTime(*resetsAt);
    if (!at)
        return std::nullopt;
    const qint64 s = now.msecsTo(*at) / 1000;  // whole seconds, truncated toward zero
    if (s < 1)
        return QStringLiteral("Resets soon");
    if (s >= 86400)
        return QStringLiteral("Resets in %1d %2h").arg(s / 86400).arg((s % 86400) / 3600);
    if (s >= 3600)
        return QStringLiteral("Resets in %1h %2m").arg(s / 3600).arg((s % 3600) / 60);
    return QStringLiteral("Resets in %1m").arg(s / 60);
}

QString outcomeName(ToolOutcome outcome)
{
    switch (outcome) {
    case ToolOutcome::Pending: return QStringLiteral("pending");
    case ToolOutcome::Done: return QStringLiteral("done");
    case ToolOutcome::Failed: return QStringLiteral("failed");
    case ToolOutcome::Denied: return QStringLiteral("denied");
    case ToolOutcome::Interrupted: return QStringLiteral("interrupted");
    }
    return {};
}

// --- How turns ended ---------------------------------------------------------------------------

qsizetype TurnEnds::settleCall(QList<ChatMessage>& messages, qsizetype begin, qsizetype end, const ChatBlock& result)
{
    if (result.kind != ChatBlock::Kind::ToolResult || result.toolUseId.isEmpty())
        return -1;
    // A result follows its call closely: the search from the end is short.
    for (qsizetype i = std::min(end, messages.size()) - 1; i >= std::max<qsizetype>(begin, 0); --i) {
        for (ChatBlock& b : messages[i].blocks) {
            if (b.kind == ChatBlock::Kind::ToolUse && b.toolUse.id == result.toolUseId) {
                b.toolUse.outcome = result.outcome;
                return i;
            }
        }
    }
    return -1;
}

qsizetype TurnEnds::cutTurn(QList<ChatMessage>& messages, qsizetype from, const QString& reason)
{
    qsizetype first = -1;
    const auto changed = [&](qsizetype i) { first = first < 0 ? i : std::min(first, i); };
    qsizetype lastUser = -1;
    for (qsizetype i = std::max<qsizetype>(from, 0); i < messages.size(); ++i) {
        ChatMessage& m = messages[i];
        if (m.role == ChatRole::User) {
            lastUser = i;
            continue;
        }
        for (ChatBlock& b : m.blocks) {
            if (b.kind == ChatBlock::Kind::ToolUse && b.toolUse.outcome == ToolOutcome::Pending) {
                b.toolUse.outcome = ToolOutcome::Interrupted;
                changed(i);
            }
        }
    }
    if (lastUser >= 0 && lastUser == messages.size() - 1 && !messages[lastUser].unanswered) {
        messages[lastUser].unanswered = true;
        messages[lastUser].noAnswer = reason;
        changed(lastUser);
    }
    return first;
}

QString TurnEnds::shortReason(const QString& message)
{
    constexpr qsizetype most = 80;
    QString line;
    for (const QString& l : message.split(u'\n'))
        if (!(line = l.simplified()).isEmpty())
            break;
    // An API error quotes the service's JSON answer ("API Error: 500 {"type":"error","error":
    // {…,"message":"Overloaded"}}"): its message is the part worth reading.
    const qsizetype brace = line.indexOf(u'{');
    if (brace >= 0) {
        const QJsonObject body = QJsonDocument::fromJson(line.sliced(brace).toUtf8()).object();
        const QJsonValue said = body.value(QLatin1String("error")).toObject().value(QLatin1String("message"));
        const QString text = (said.isString() ? said : body.value(QLatin1String("message"))).toString().simplified();
        if (!text.isEmpty())
            line = (line.left(brace).trimmed() + u' ' + text).trimmed();
    }
    if (line.isEmpty())
        return QStringLiteral("the turn failed");
    if (line.size() > most) {
        qsizetype cut = line.lastIndexOf(u' ', most);
        if (cut < most / 2)
            cut = line.at(most - 1).isHighSurrogate() ? most - 1 : most;
        line = line.left(cut) + u'…';
    }
    return line;
}

void TurnEnds::settleStored(QList<ChatMessage>& messages)
{
    // Results by the call they answer, then every call looked up once. A turn holding a result
    // that names no call (a store that did not keep the link) cannot tell its calls apart: those
    // stay as they are rather than be called interrupted.
    QHash<QString, ToolOutcome> results;
    QList<bool> unnamedInTurn(messages.size(), false);
    bool unnamed = false;
    for (qsizetype i = messages.size() - 1; i >= 0; --i) {
        const ChatMessage& m = messages.at(i);
        if (m.role == ChatRole::User)
            unnamed = false;
        for (const ChatBlock& b : m.blocks) {
            if (b.kind != ChatBlock::Kind::ToolResult)
                continue;
            if (b.toolUseId.isEmpty())
                unnamed = true;
            else
                results.insert(b.toolUseId, b.outcome);
        }
        unnamedInTurn[i] = unnamed;
    }
    for (qsizetype i = 0; i < messages.size(); ++i) {
        ChatMessage& m = messages[i];
        if (m.role == ChatRole::User) {
            const bool answered = i + 1 < messages.size() && messages.at(i + 1).role == ChatRole::Assistant;
            m.unanswered = !answered;
            if (answered)
                m.noAnswer.clear();  // the store's word on the turn's end applies to no answer
            continue;
        }
        for (ChatBlock& b : m.blocks) {
            if (b.kind != ChatBlock::Kind::ToolUse || b.toolUse.outcome != ToolOutcome::Pending)
                continue;
            const auto it = results.constFind(b.toolUse.id);
            if (it != results.cend())
                b.toolUse.outcome = *it;
            else if (!unnamedInTurn.at(i))
                b.toolUse.outcome = ToolOutcome::Interrupted;
        }
    }
}

namespace {

// The rows of `row` for each of its text's pieces, in order: the first keeps the row's id and
// attachments, a later one has the id with "~" and its number. An unanswered message says so under
// its last piece only.
void appendPieces(QList<TimelineRow>& rows, const TimelineRow& row, const QList<TimelineRow::Piece>& pieces)
{
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        TimelineRow piece = row;
        if (k > 0) {
            piece.id += QLatin1Char('~') + QString::number(k);
            piece.attachments.clear();
        }
        piece.piece = int(k);
        piece.more = k + 1 < pieces.size();
        piece.unanswered = row.unanswered && !piece.more;
        const TimelineRow::Piece& p = pieces.at(k);
        piece.text = p.text;
        piece.codeAbove = p.codeAbove;
        piece.codeBelow = p.codeBelow;
        piece.wholeCode = p.wholeCode;
        rows.append(piece);
    }
}

QList<TimelineRow::Piece> plain(const QStringList& texts)
{
    QList<TimelineRow::Piece> out;
    out.reserve(texts.size());
    for (const QString& t : texts)
        out.append({t});
    return out;
}

} // namespace

QList<TimelineRow> TimelineRow::build(const QList<ChatMessage>& messages)
{
    QList<TimelineRow> rows;
    for (const ChatMessage& message : messages) {
        const QString id = uuidText(message.id);
        if (message.role != ChatRole::Assistant) {
            // A user message is one row, or one per piece of a long text: its texts joined, its
            // other blocks not shown.
            TimelineRow row{id, Kind::User, {}, message.attachments, {}, {}, {}};
            row.unanswered = message.unanswered;
            row.noAnswer = message.unanswered ? message.noAnswer : QString();
            for (const ChatBlock& b : message.blocks)
                if (b.kind == ChatBlock::Kind::Text)
                    row.text += b.text;
            appendPieces(rows, row, plain(plainPieces(row.text)));
            continue;
        }
        for (qsizetype i = 0; i < message.blocks.size(); ++i) {
            const ChatBlock& b = message.blocks.at(i);
            TimelineRow row;
            row.id = id + QLatin1Char('-') + QString::number(i);
            switch (b.kind) {
            case ChatBlock::Kind::Text:
                row.kind = Kind::Text;
                appendPieces(rows, row, cutText(b.text));
                continue;
            case ChatBlock::Kind::Thinking:
                row.kind = Kind::Thinking;
                row.text = b.text;
                row.seconds = message.thoughtSeconds;
                break;
            case ChatBlock::Kind::ToolUse:
                row.kind = Kind::Tool;
                row.tool = b.toolUse;
                row.outcome = b.toolUse.outcome;
                // A to-do call the agent's tool refused (or the user did) set no list: it shows as
                // the failed call it was, its reason in the result below, never as the plan.
                if (row.outcome == ToolOutcome::Failed || row.outcome == ToolOutcome::Denied)
                    row.tool.todos.reset();
                break;
            case ChatBlock::Kind::ToolResult:
                row.kind = Kind::ToolResult;
                row.text = b.text;
                row.outcome = b.outcome;
                break;
            }
            rows.append(row);
        }
    }
    return rows;
}

namespace {

// The markdown renderer's view of a line: fences and table rows are recognised after trimming.
bool isFence(QStringView line)
{
    return line.trimmed().startsWith(QLatin1String("```"));
}

// A line that the chat's markdown parser takes as a block of its own: a heading ("#" to "######"
// and a space), a bullet ("- ", "* ") or a numbered item (digits with an optional sign, "." and a
// space), read after spaces and tabs are trimmed. Must stay in step with that parser: a line
// taken for one here that is paragraph text there would cut its paragraph in two.
bool isOneLineBlock(QStringView line)
{
    while (!line.isEmpty() && (line.front() == u' ' || line.front() == u'\t'))
        line = line.sliced(1);
    if (line.startsWith(QLatin1String("- ")) || line.startsWith(QLatin1String("* ")))
        return true;
    qsizetype k = 0;
    while (k < line.size() && line[k] == u'#')
        ++k;
    if (k >= 1 && k <= 6 && k < line.size() && line[k] == u' ')
        return true;
    k = line.startsWith(u'+') || line.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = k;
    while (k < line.size() && line[k] >= u'0' && line[k] <= u'9')
        ++k;
    // Up to 18 digits: the parser refuses a number that does not fit in 64 bits.
    return k > digits && k - digits <= 18 && k + 1 < line.size() && line[k] == u'.' && line[k + 1] == u' ';
}

// Where to cut a line too long for one piece, somewhere in text[from, from + limit): after the
// last space there outside a code span and outside a link's text and target, so that no word,
// span or link is cut; failing that after the last space; failing that at the limit, never
// between a surrogate pair. In code (`inCode`) spans and links mean nothing.
qsizetype cutInLine(const QString& text, qsizetype from, qsizetype limit, bool inCode)
{
    const qsizetype end = from + limit;
    qsizetype clean = -1, space = -1;
    qsizetype span = 0;    // the backtick run that opened the code span we are in; 0 outside one
    int brackets = 0;      // open "[" of a link's text
    bool target = false;   // inside the "(…)" after a link's text
    for (qsizetype i = from; i < end;) {
        const QChar c = text.at(i);
        if (c == u'`' && !inCode) {
            qsizetype run = 1;
            while (i + run < end && text.at(i + run) == u'`')
                ++run;
            span = span == 0 ? run : span == run ? 0 : span;
            i += run;
            continue;
        }
        if (span == 0 && !inCode) {
            if (c == u'\\') {
                i += 2;
                continue;
            }
            if (c == u'[')
                ++brackets;
            else if (c == u']' && brackets > 0 && --brackets == 0 && i + 1 < end && text.at(i + 1) == u'(')
                target = true;
            else if (c == u')' && target)
                target = false;
        }
        if (c == u' ') {
            space = i + 1;
            if (span == 0 && brackets == 0 && !target)
                clean = i + 1;
        }
        ++i;
    }
    if (clean > from)
        return clean;
    if (space > from)
        return space;
    qsizetype at = end;
    if (text.at(at - 1).isHighSurrogate())
        --at;
    return at;
}

} // namespace

bool TimelineRow::isTableSeparator(QStringView line)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!line.isEmpty() && blank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && blank(line.back()))
        line.chop(1);
    bool dash = false, pipe = false;
    for (QChar c : line) {
        if (c == u'-')
            dash = true;
        else if (c == u'|')
            pipe = true;
        else if (c != u':' && c != u' ')
            return false;
    }
    return dash && pipe;
}

QStringList TimelineRow::textPieces(const QString& text)
{
    QStringList out;
    for (const Piece& p : cutText(text))
        out.append(p.text);
    return out;
}

QList<TimelineRow::Piece> TimelineRow::cutText(const QString& text)
{
    const qsizetype n = text.size();
    if (n <= pieceChars && text.count(u'\n') < pieceLines)
        return {{text}};

    QList<Piece> pieces;
    qsizetype start = 0;       // where the current piece's own text begins
    int lines = 0;             // lines in the current piece so far
    QString opener;            // what the current piece starts with before its own text
    bool codeAbove = false;    // the current piece goes on with a code block cut before it
    QString fence;             // the open code block's fence line, empty outside one
    qsizetype codeStart = 0;   // where the open code block's code begins
    qsizetype fenceStart = 0;  // where its fence line begins
    QList<qsizetype> cutCode;  // the pieces already cut from the open code block
    QString tableHead;         // header and separator of the table being read, empty outside one
    int tableRows = 0;         // rows of that table in the current piece, below its header
    QStringView previous;      // the line before, whole
    bool boundary = false;     // a block ended with the line before
    bool closeHere = false;    // a code block cut before this piece has ended: cut at once

    auto cut = [&](qsizetype at, bool inside) {
        Piece piece{opener + text.sliced(start, at - start), codeAbove};
        opener.clear();
        codeAbove = false;
        if (inside && !fence.isEmpty()) {
            // Close the block here and open it again, same fence line, in the next piece.
            if (!piece.text.endsWith(u'\n'))
                piece.text += u'\n';
            piece.text += QStringLiteral("```");
            piece.codeBelow = true;
            opener = fence + u'\n';
            codeAbove = true;
            cutCode.append(pieces.size());
        } else if (inside && !tableHead.isEmpty()) {
            opener = tableHead + u'\n';
        }
        pieces.append(piece);
        start = at;
        lines = 0;
        tableRows = 0;
        closeHere = false;
    };
    // The open code block is complete, its code ends at `end`: the pieces cut from it learn it.
    auto closeCode = [&](qsizetype end) {
        if (cutCode.isEmpty())
            return;
        const QString code = end > codeStart ? text.sliced(codeStart, end - codeStart) : QString();
        for (qsizetype k : cutCode)
            pieces[k].wholeCode = code;
        cutCode.clear();
    };

    qsizetype pos = 0;
    while (pos < n) {
        qsizetype end = text.indexOf(u'\n', pos);
        if (end < 0)
            end = n;
        const QStringView line = QStringView(text).sliced(pos, end - pos);
        const bool fenceLine = isFence(line);
        // A table ends at its first line without a pipe: a piece cut there needs no copy of its
        // header.
        if (!tableHead.isEmpty() && !line.contains(u'|')) {
            tableHead.clear();
            boundary = true;
        }
        const bool separator = isTableSeparator(line) && previous.contains(u'|');
        const bool startsBlock = fence.isEmpty() && tableHead.isEmpty() && !separator && (boundary || fenceLine || isOneLineBlock(line));
        if (pos > start) {
            const qsizetype size = pos - start;
            const bool full = size >= pieceChars || lines >= pieceLines;
            // A table is cut at the soft line count, since its cells cost more to lay out than
            // prose: between two of its rows, never right below its header nor after its last
            // row (a piece of a header alone shows as an empty table).
            if (closeHere || (startsBlock && full))
                cut(pos, false);
            else if (!fence.isEmpty() && fenceLine) {
                // The block's closing fence stays with its last code: cut before it, the next
                // piece would be an empty block, an empty line that is not in the code.
            } else if (!fence.isEmpty() && pos == codeStart) {
                // Nothing of the code block is in the piece yet: its fence goes on with its code
                // (closed here, it would show an empty line that is not in the code too).
                if ((size >= blockChars || lines >= blockLines) && fenceStart > start)
                    cut(fenceStart, false);
            } else if (size >= blockChars || lines >= blockLines || (!tableHead.isEmpty() && tableRows > 0 && lines >= pieceLines))
                cut(pos, true);
        }
        if (end - pos > blockChars && !fence.isEmpty() && end - pos <= codeLineChars) {
            // A line of code too long for a piece stays whole, in a piece of its own: cut, its
            // parts would show as lines of their own. The code before it in the piece goes on
            // without it; a fence with no code before it yet goes with it (closed there, it
            // would show an empty line that is not in the code).
            if (pos == codeStart && fenceStart > start)
                cut(fenceStart, false);
            else if (pos > start && pos != codeStart)
                cut(pos, true);
        } else if (end - pos > blockChars) {
            // A line too long for a piece of its own: cut into pieces of its own, each but the
            // last ending after a space where it can.
            if (pos > start)
                cut(pos, true);
            qsizetype at = pos;
            while (end - at > blockChars) {
                at = cutInLine(text, at, blockChars, !fence.isEmpty());
                cut(at, true);
            }
        }
        if (!fence.isEmpty()) {
            if (fenceLine) {
                closeCode(pos > codeStart ? pos - 1 : codeStart);
                fence.clear();
                // The piece that finished a long code block holds nothing else.
                closeHere = codeAbove;
            }
        } else if (fenceLine) {
            fence = line.toString();
            fenceStart = pos;
            codeStart = std::min(end + 1, n);
            tableHead.clear();
        } else if (tableHead.isEmpty() && separator) {
            tableHead = previous.toString() + u'\n' + line.toString();
            tableRows = 0;
        } else if (!tableHead.isEmpty()) {
            ++tableRows;
        }
        boundary = fence.isEmpty() && tableHead.isEmpty() && (fenceLine || line.trimmed().isEmpty() || isOneLineBlock(line));
        previous = line;
        ++lines;
        pos = end + 1;
    }
    if (!fence.isEmpty())
        closeCode(n);
    if (start < n || pieces.isEmpty())
        pieces.append({opener + text.sliced(start), codeAbove});
    // The last piece, or one cut at a closing fence, learned its block's code with the others.
    for (qsizetype k = 1; k < pieces.size(); ++k)
        if (pieces[k].codeAbove && pieces[k].wholeCode.isEmpty())
            pieces[k].wholeCode = pieces[k - 1].wholeCode;
    return pieces;
}

QStringList TimelineRow::plainPieces(const QString& text)
{
    const qsizetype softChars = pieceChars * 2, hardChars = pieceChars * 4;
    const int softLines = pieceLines * 2;
    const qsizetype n = text.size();
    QStringList pieces;
    qsizetype start = 0;
    int lines = 0;
    const auto cut = [&](qsizetype at) {
        pieces.append(text.sliced(start, at - start));
        start = at;
        lines = 0;
    };
    for (qsizetype pos = 0; pos < n;) {
        qsizetype end = text.indexOf(u'\n', pos);
        end = end < 0 ? n : end + 1;  // past the line's break
        if (end - start > hardChars) {
            // Too long with this line: cut before it, or, where it is the piece's first, within it
            // (never between a surrogate pair) and look at the rest of it again.
            qsizetype at = pos > start ? pos : start + hardChars;
            if (pos == start && text.at(at - 1).isHighSurrogate())
                --at;
            cut(at);
            pos = at;
            continue;
        }
        pos = end;
        ++lines;
        if (pos < n && (lines >= softLines || pos - start >= softChars))
            cut(pos);
    }
    if (start < n || pieces.isEmpty())
        pieces.append(text.sliced(start));
    return pieces;
}

TimelineRow TimelineRow::working(const std::optional<QString>& label)
{
    TimelineRow row;
    row.id = QStringLiteral("working");
    row.kind = Kind::Working;
    row.label = label;
    return row;
}

TimelineRow TimelineRow::compacting()
{
    TimelineRow row;
    row.id = QStringLiteral("working");
    row.kind = Kind::Compacting;
    return row;
}

std::optional<TimelineRow> TimelineRow::trailing(bool busy, bool prompting, bool compacting, qint64 tokensIn,
                                                 qint64 tokensOut, const QString& status)
{
    if (!busy || prompting)
        return std::nullopt;
    if (compacting)
        return TimelineRow::compacting();
    return working(!status.isEmpty() ? std::optional<QString>(status) : workingLabel(tokensIn, tokensOut));
}

std::optional<QString> TimelineRow::workingLabel(double tokensIn, double tokensOut)
{
    // The header's token figure, bounded the same way whatever the provider reports.
    QString text = HeaderFigures::label(tokensIn, tokensOut, 0);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

QString kindName(TimelineRow::Kind kind)
{
    switch (kind) {
    case TimelineRow::Kind::User: return QStringLiteral("user");
    case TimelineRow::Kind::Thinking: return QStringLiteral("thinking");
    case TimelineRow::Kind::Text: return QStringLiteral("text");
    case TimelineRow::Kind::Tool: return QStringLiteral("tool");
    case TimelineRow::Kind::ToolResult: return QStringLiteral("toolResult");
    case TimelineRow::Kind::Working: return QStringLiteral("working");
    case TimelineRow::Kind::Compacting: return QStringLiteral("compacting");
    }
    return {};
}

} // namespace brinmoor
