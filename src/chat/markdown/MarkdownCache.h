#pragma once

#include <QCache>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace brinmoor {

// One block of rendered markdown, ready to draw: the inline markup already turned into escaped
// rich text, so that drawing a cached text again parses nothing.
struct RenderedBlock {
    QString kind;       // "heading", "bullet", "ordered", "code", "paragraph", "table"
    int level = 0;      // a heading's level
    QString label;      // a numbered item's label: the number and "."
    QString text;       // heading, bullet, numbered item and paragraph text: escaped rich text
                        // from the renderer, plain text from the preview grammar
    QString code;       // a code block's lines joined with "\n"
    QStringList lines;  // a preview code block's lines (none and one empty line differ there)
    int columns = 0;    // a table's column count
    QStringList cells;  // a table's cells row by row, the header row first, each row `columns` long

    friend bool operator==(const RenderedBlock&, const RenderedBlock&) = default;
};

using RenderedBlocks = std::shared_ptr<const QList<RenderedBlock>>;

// The parse cache of the markdown renderer, keyed by the whole text. Bounded by an estimate of
// the bytes it holds, since nothing on Linux tells a process to give memory back: the least
// recently used texts go first, and a text evicted is parsed again when it is next shown. A
// text larger than the whole budget is still rendered, just not kept. Main thread only.
class MarkdownCache {
public:
    explicit MarkdownCache(qsizetype maxBytes);

    // The process-wide cache (32 MiB).
    static MarkdownCache& shared();

    RenderedBlocks blocks(const QString& text);

    // How many texts have been parsed so far (misses), and how many are held now.
    int parses() const { return m_parses; }
    qsizetype count() const { return m_cache.count(); }
    qsizetype bytes() const { return m_cache.totalCost(); }

    static QList<RenderedBlock> render(const QString& text);

private:
    struct Entry {
        RenderedBlocks blocks;
    };
    QCache<QString, Entry> m_cache;
    int m_parses = 0;
};

} // namespace brinmoor
