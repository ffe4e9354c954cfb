#include "MarkdownCache.h"

#include "InlineMarkdown.h"
#include "MarkdownParser.h"

#include <algorithm>

namespace brinmoor {

namespace {

qsizetype costOf(const QString& text, const QList<RenderedBlock>& blocks)
{
    // UTF-16 bytes of every string held, plus a rough fixed share per block and per entry.
    qsizetype n = text.size() + 64;
    for (const RenderedBlock& b : blocks) {
        n += b.text.size() + b.code.size() + b.label.size() + 48;
        for (const QString& c : b.cells)
            n += c.size() + 12;
    }
    return n * 2;
}

} // namespace

MarkdownCache::MarkdownCache(qsizetype maxBytes)
{
    m_cache.setMaxCost(maxBytes);
}

MarkdownCache& MarkdownCache::shared()
{
    static MarkdownCache cache(32 * 1024 * 1024);
    return cache;
}

RenderedBlocks MarkdownCache::blocks(const QString& text)
{
    if (const Entry* hit = m_cache.object(text))
        return hit->blocks;
    ++m_parses;
    auto blocks = std::make_shared<const QList<RenderedBlock>>(render(text));
    // QCache drops (and deletes) an entry costlier than its whole budget: the caller still gets it.
    m_cache.insert(text, new Entry{blocks}, costOf(text, *blocks));
    return blocks;
}

QList<RenderedBlock> MarkdownCache::render(const QString& text)
{
    using Kind = MarkdownParser::Block::Kind;
    QList<RenderedBlock> out;
    for (const MarkdownParser::Block& b : MarkdownParser::parse(text)) {
        RenderedBlock r;
        switch (b.kind) {
        case Kind::Heading:
            r.kind = QStringLiteral("heading");
            r.level = b.level;
            r.text = InlineMarkdown::render(b.text);
            break;
        case Kind::Bullet:
            r.kind = QStringLiteral("bullet");
            r.text = InlineMarkdown::render(b.text);
            break;
        case Kind::Ordered:
            r.kind = QStringLiteral("ordered");
            r.label = QString::number(b.number) + u'.';
            r.text = InlineMarkdown::render(b.text);
            break;
        case Kind::Code:
            r.kind = QStringLiteral("code");
            r.code = b.lines.join(u'\n');
            break;
        case Kind::Paragraph:
            // Paragraphs keep 2 points between their lines.
            r.kind = QStringLiteral("paragraph");
            r.text = QStringLiteral("<p style=\"margin:0;line-height:2px;-qt-line-height-type:line-distance\">")
                   + InlineMarkdown::render(b.text) + QStringLiteral("</p>");
            break;
        case Kind::Table: {
            r.kind = QStringLiteral("table");
            qsizetype c = b.headers.size();
            for (const QStringList& row : b.rows)
                c = std::max(c, row.size());
            r.columns = int(c);
            // A missing cell is drawn as an empty one.
            const auto addRow = [&](const QStringList& cells) {
                for (qsizetype k = 0; k < c; ++k)
                    r.cells.append(InlineMarkdown::render(k < cells.size() ? cells[k] : QString(), true));
            };
            addRow(b.headers);
            for (const QStringList& row : b.rows)
                addRow(row);
            break;
        }
        }
        out.append(r);
    }
    return out;
}

} // namespace brinmoor
