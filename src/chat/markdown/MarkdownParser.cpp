#include "MarkdownParser.h"
#include "ChatModels.h"

namespace brinmoor::MarkdownParser {

namespace {

const QString fence = QStringLiteral("```");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

Block block(Block::Kind kind, const QString& text = {}, const QStringList& lines = {})
{
    Block b;
    b.kind = kind;
    b.text = text;
    b.lines = lines;
    return b;
}

PreviewBlock previewBlock(PreviewBlock::Kind kind, const QString& text, const QStringList& lines = {})
{
    PreviewBlock b;
    b.kind = kind;
    b.text = text;
    b.lines = lines;
    return b;
}

} // namespace

QString trimmed(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

std::optional<std::pair<int, QString>> heading(const QString& t)
{
    int k = 0;
    while (k < t.size() && t[k] == u'#')
        ++k;
    if (k < 1 || k > 6 || k >= t.size() || t[k] != u' ')
        return std::nullopt;
    return std::pair{k, t.mid(k + 1)};
}

std::optional<std::pair<qint64, QString>> ordered(const QString& t)
{
    const qsizetype dot = t.indexOf(u'.');
    if (dot < 1)
        return std::nullopt;
    // toLongLong takes an optional sign, but also leading white space: refuse that ourselves.
    const QStringView digits = QStringView(t).left(dot);
    if (digits.front().isSpace())
        return std::nullopt;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const QChar c = digits[i];
        const bool sign = i == 0 && (c == u'+' || c == u'-');
        if (!sign && !(c >= u'0' && c <= u'9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    if (!ok || dot + 1 >= t.size() || t[dot + 1] != u' ')
        return std::nullopt;
    return std::pair{n, t.mid(dot + 2)};
}

bool isTableSeparator(const QString& line)
{
    // One rule with the cutting of long answers into pieces.
    return TimelineRow::isTableSeparator(line);
}

QStringList tableCells(const QString& line)
{
    QStringList cells = trimmed(line).split(u'|');
    for (QString& c : cells)
        c = trimmed(c);
    if (!cells.isEmpty() && cells.front().isEmpty())
        cells.removeFirst();
    if (!cells.isEmpty() && cells.back().isEmpty())
        cells.removeLast();
    return cells;
}

QList<Block> parse(const QString& text)
{
    const QStringList L = text.split(u'\n');
    const qsizetype n = L.size();
    QList<Block> out;
    QStringList P;
    const auto flush = [&] {
        if (P.isEmpty())
            return;
        out.append(block(Block::Kind::Paragraph, P.join(u'\n')));
        P.clear();
    };

    qsizetype i = 0;
    while (i < n) {
        const QString t = trimmed(L[i]);
        if (t.startsWith(fence)) {
            flush();
            qsizetype j = i + 1;
            QStringList code;
            while (j < n && !trimmed(L[j]).startsWith(fence))
                code.append(L[j++]);
            out.append(block(Block::Kind::Code, {}, code));
            // Past the closing fence; an unclosed fence ran to the end.
            i = j + 1;
            continue;
        }
        if (t.contains(u'|') && i + 1 < n && isTableSeparator(L[i + 1])) {
            flush();
            Block table = block(Block::Kind::Table);
            table.headers = tableCells(t);
            qsizetype j = i + 2;
            while (j < n && trimmed(L[j]).contains(u'|'))
                table.rows.append(tableCells(L[j++]));
            out.append(table);
            i = j;
            continue;
        }
        if (t.isEmpty()) {
            flush();
        } else if (const auto h = heading(t)) {
            flush();
            Block b = block(Block::Kind::Heading, h->second);
            b.level = h->first;
            out.append(b);
        } else if (t.startsWith(QLatin1String("- ")) || t.startsWith(QLatin1String("* "))) {
            flush();
            out.append(block(Block::Kind::Bullet, t.mid(2)));
        } else if (const auto o = ordered(t)) {
            flush();
            Block b = block(Block::Kind::Ordered, o->second);
            b.number = o->first;
            out.append(b);
        } else {
            P.append(t);
        }
        ++i;
    }
    flush();
    return out;
}

QList<PreviewBlock> parsePreview(const QString& markdown)
{
    QList<PreviewBlock> out;
    bool inCode = false;
    QStringList code;
    for (const QString& line : markdown.split(u'\n')) {
        // Only an unindented fence counts here.
        if (line.startsWith(fence)) {
            if (inCode) {
                out.append(previewBlock(PreviewBlock::Kind::Code, {}, code));
                code.clear();
            }
            inCode = !inCode;
            continue;
        }
        if (inCode) {
            code.append(line);
            continue;
        }
        const QString t = trimmed(line);
        if (t.isEmpty())
            continue;
        if (t.startsWith(QLatin1String("# ")))
            out.append(previewBlock(PreviewBlock::Kind::H1, t.mid(2)));
        else if (t.startsWith(QLatin1String("## ")))
            out.append(previewBlock(PreviewBlock::Kind::Section, t.mid(3)));
        else if (t.startsWith(QLatin1String("- ")))
            out.append(previewBlock(PreviewBlock::Kind::Bullet, t.mid(2)));
        else
            out.append(previewBlock(PreviewBlock::Kind::Paragraph, t));
    }
    // A fence never closed keeps what it gathered; with nothing gathered it adds nothing.
    if (!code.isEmpty())
        out.append(previewBlock(PreviewBlock::Kind::Code, {}, code));
    return out;
}

} // namespace brinmoor::MarkdownParser
