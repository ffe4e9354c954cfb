#pragma once

#include "TemplateImage.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

class QSvgRenderer;

// Draws one named system symbol ("bell.fill", "arrow.clockwise", …) from the bundled set of
// SVG glyphs, in one colour. `size` is the symbol's point size, as a font size would be; the item
// takes a square of that size. An unknown name draws a dotted circle and sets `known` false.
// With `source` set (an SVG or raster file), that image is drawn instead, as a template: its
// shape in `color`.
class SymbolIcon : public brinmoor::TemplateImage
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(qreal size READ size WRITE setSize NOTIFY sizeChanged)
    Q_PROPERTY(bool known READ known NOTIFY nameChanged)

public:
    explicit SymbolIcon(QQuickItem* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name);
    qreal size() const { return m_size; }
    void setSize(qreal size);
    bool known() const;

    void paint(QPainter* painter) override;

    // Whether the bundled set has a glyph of that name.
    Q_INVOKABLE static bool hasSymbol(const QString& name);
    // The resource path of a symbol's SVG.
    static QString resourcePath(const QString& name);

signals:
    void nameChanged();
    void sizeChanged();

private:
    QString m_name;
    qreal m_size = 12;
};
