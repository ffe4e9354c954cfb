#pragma once

#include "MarkdownCache.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>

namespace brinmoor {

// The blocks of one markdown text as rows for a view. A new text changes only the rows that
// differ from the ones shown, so a growing answer keeps the delegates of its earlier blocks.
// QML reaches it through MarkdownBlocks.
class MarkdownBlockModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(Grammar grammar READ grammar WRITE setGrammar NOTIFY grammarChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum class Grammar {
        Renderer,  // the chat renderer's grammar with inline styling, through the parse cache
        Preview,   // the markdown preview's grammar: plain text, parsed at every change
    };
    Q_ENUM(Grammar)

    enum Role {
        KindRole = Qt::UserRole + 1,
        LevelRole,
        LabelRole,
        TextRole,
        CodeRole,
        ColumnsRole,
        CellsRole,
        LinesRole,
    };

    explicit MarkdownBlockModel(QObject* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    Grammar grammar() const { return m_grammar; }
    void setGrammar(Grammar grammar);
    int count() const { return int(m_rows.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    static QList<RenderedBlock> previewBlocks(const QString& markdown);

signals:
    void textChanged();
    void grammarChanged();
    void countChanged();

private:
    void rebuild();

    QString m_text;
    Grammar m_grammar = Grammar::Renderer;
    QList<RenderedBlock> m_rows;
};

} // namespace brinmoor
