#include "MarkdownBlocks.h"

namespace brinmoor {

MarkdownBlocks::MarkdownBlocks(QObject* parent) : QObject(parent)
{
    connect(&m_rows, &MarkdownBlockModel::textChanged, this, &MarkdownBlocks::textChanged);
    connect(&m_rows, &MarkdownBlockModel::grammarChanged, this, &MarkdownBlocks::previewChanged);
    connect(&m_rows, &MarkdownBlockModel::countChanged, this, &MarkdownBlocks::countChanged);
}

void MarkdownBlocks::setPreview(bool preview)
{
    m_rows.setGrammar(preview ? MarkdownBlockModel::Grammar::Preview : MarkdownBlockModel::Grammar::Renderer);
}

} // namespace brinmoor
