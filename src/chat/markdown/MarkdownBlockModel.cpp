#include "MarkdownBlockModel.h"

#include "MarkdownParser.h"

#include <algorithm>

namespace brinmoor {

MarkdownBlockModel::MarkdownBlockModel(QObject* parent) : QAbstractListModel(parent) {}

void MarkdownBlockModel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit textChanged();
    rebuild();
}

void MarkdownBlockModel::setGrammar(Grammar grammar)
{
    if (grammar == m_grammar)
        return;
    m_grammar = grammar;
    emit grammarChanged();
    rebuild();
}

QList<RenderedBlock> MarkdownBlockModel::previewBlocks(const QString& markdown)
{
    using Kind = MarkdownParser::PreviewBlock::Kind;
    QList<RenderedBlock> out;
    for (const auto& b : MarkdownParser::parsePreview(markdown)) {
        RenderedBlock r;
        switch (b.kind) {
        case Kind::H1: r.kind = QStringLiteral("h1"); break;
        case Kind::Section: r.kind = QStringLiteral("section"); break;
        case Kind::Paragraph: r.kind = QStringLiteral("paragraph"); break;
        case Kind::Bullet: r.kind = QStringLiteral("bullet"); break;
        case Kind::Code: r.kind = QStringLiteral("code"); break;
        }
        r.text = b.text;
        r.code = b.lines.join(u'\n');
        r.lines = b.lines;
        out.append(r);
    }
    return out;
}

void MarkdownBlockModel::rebuild()
{
    const QList<RenderedBlock> next = m_grammar == Grammar::Renderer ? *MarkdownCache::shared().blocks(m_text)
                                                                     : previewBlocks(m_text);
    const qsizetype common = std::min(next.size(), m_rows.size());
    // Rows present before and after change in place; the tail is removed or added.
    for (qsizetype i = 0; i < common; ++i) {
        if (m_rows[i] == next[i])
            continue;
        m_rows[i] = next[i];
        emit dataChanged(index(int(i)), index(int(i)));
    }
    if (m_rows.size() > next.size()) {
        beginRemoveRows({}, int(next.size()), int(m_rows.size() - 1));
        m_rows.resize(next.size());
        endRemoveRows();
        emit countChanged();
    } else if (next.size() > m_rows.size()) {
        beginInsertRows({}, int(m_rows.size()), int(next.size() - 1));
        m_rows.append(next.mid(m_rows.size()));
        endInsertRows();
        emit countChanged();
    }
}

int MarkdownBlockModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant MarkdownBlockModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const RenderedBlock& b = m_rows[index.row()];
    switch (role) {
    case KindRole: return b.kind;
    case LevelRole: return b.level;
    case LabelRole: return b.label;
    case TextRole: return b.text;
    case CodeRole: return b.code;
    case ColumnsRole: return b.columns;
    case CellsRole: return b.cells;
    case LinesRole: return b.lines;
    default: return {};
    }
}

QHash<int, QByteArray> MarkdownBlockModel::roleNames() const
{
    return {
        {KindRole, "kind"},   {LevelRole, "level"},     {LabelRole, "label"}, {TextRole, "text"},
        {CodeRole, "code"},   {ColumnsRole, "columns"}, {CellsRole, "cells"}, {LinesRole, "lines"},
    };
}

} // namespace brinmoor
