#include "ChatModels.h"

#include <QRegularExpression>

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

QList<TimelineRow> TimelineRow::build(const QList<ChatMessage>& messages)
{
    QList<TimelineRow> rows;
    for (const ChatMessage& message : messages) {
        const QString id = uuidText(message.id);
        if (message.role != ChatRole::Assistant) {
            // A user message is one row: its texts joined, its other blocks not shown.
            TimelineRow row{id, Kind::User, {}, message.attachments, {}, {}, {}};
            for (const ChatBlock& b : message.blocks)
                if (b.kind == ChatBlock::Kind::Text)
                    row.text += b.text;
            rows.append(row);
            continue;
        }
        for (qsizetype i = 0; i < message.blocks.size(); ++i) {
            const ChatBlock& b = message.blocks.at(i);
            TimelineRow row;
            row.id = id + QLatin1Char('-') + QString::number(i);
            switch (b.kind) {
            case ChatBlock::Kind::Text:
                row.kind = Kind::Text;
                row.text = b.text;
                break;
            case ChatBlock::Kind::Thinking:
                row.kind = Kind::Thinking;
                row.text = b.text;
                row.seconds = message.thoughtSeconds;
                break;
            case ChatBlock::Kind::ToolUse:
                row.kind = Kind::Tool;
                row.tool = b.toolUse;
                break;
            case ChatBlock::Kind::ToolResult:
                row.kind = Kind::ToolResult;
                row.text = b.text;
                break;
            }
            rows.append(row);
        }
    }
    return rows;
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
                                                 qint64 tokensOut)
{
    if (!busy || prompting)
        return std::nullopt;
    return compacting ? TimelineRow::compacting() : working(workingLabel(tokensIn, tokensOut));
}

std::optional<QString> TimelineRow::workingLabel(qint64 tokensIn, qint64 tokensOut)
{
    const qint64 sum = tokensIn + tokensOut;
    if (sum < 1)
        return std::nullopt;
    if (sum < 1000)
        return QString::number(sum) + QStringLiteral(" tokens");
    return QString::asprintf("%.1fk", double(sum) / 1000.0) + QStringLiteral(" tokens");
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
