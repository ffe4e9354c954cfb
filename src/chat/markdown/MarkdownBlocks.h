#pragma once

#include "MarkdownBlockModel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// A markdown text's blocks for QML: set `text` (and `grammar`), list `rows` in a Repeater.
class MarkdownBlocks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool preview READ preview WRITE setPreview NOTIFY previewChanged)
    Q_PROPERTY(QObject* rows READ rows CONSTANT)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    explicit MarkdownBlocks(QObject* parent = nullptr);

    QString text() const { return m_rows.text(); }
    void setText(const QString& text) { m_rows.setText(text); }
    // The markdown preview's grammar instead of the renderer's.
    bool preview() const { return m_rows.grammar() == MarkdownBlockModel::Grammar::Preview; }
    void setPreview(bool preview);
    QObject* rows() { return &m_rows; }
    int count() const { return m_rows.count(); }

signals:
    void textChanged();
    void previewChanged();
    void countChanged();

private:
    MarkdownBlockModel m_rows;
};

} // namespace brinmoor
