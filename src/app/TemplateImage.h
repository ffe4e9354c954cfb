#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// Draws an image as a template: its shape (alpha) filled with `color`, scaled to fit the item
// with its aspect ratio kept. Used for marks that follow the current foreground colour.
class TemplateImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY sourceChanged)
public:
    explicit TemplateImage(QQuickItem* parent = nullptr);

    QUrl source() const { return m_source; }
    void setSource(const QUrl& source);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    bool loaded() const { return !m_image.isNull(); }

    void paint(QPainter* painter) override;

    // An image file (a qrc: or file: URL) read for drawing as a template; an SVG is rendered
    // once, large enough for any mark. A null image when it cannot be read.
    static QImage load(const QUrl& source);
    // Draws `shape`'s alpha filled with `color`, fitted into `bounds` with its aspect ratio kept.
    static void paintTinted(QPainter* painter, const QImage& shape, const QRectF& bounds, const QColor& color);

signals:
    void sourceChanged();
    void colorChanged();

protected:
    const QImage& image() const { return m_image; }

private:
    QUrl m_source;
    QColor m_color = Qt::black;
    QImage m_image;  // rendered large once; scaled when painted
};

} // namespace brinmoor
