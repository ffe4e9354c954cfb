#include "TemplateImage.h"

#include <QImageReader>
#include <QPainter>

namespace brinmoor {

TemplateImage::TemplateImage(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

QImage TemplateImage::load(const QUrl& source)
{
    const QString path = source.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + source.path()
                         : source.isLocalFile()                  ? source.toLocalFile()
                                                                 : source.toString();
    QImageReader reader(path);
    if (reader.format() == "svg" || path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        reader.setScaledSize(QSize(256, 256));
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TemplateImage::setSource(const QUrl& source)
{
    if (m_source == source)
        return;
    m_source = source;
    m_image = load(source);
    emit sourceChanged();
    update();
}

void TemplateImage::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    emit colorChanged();
    update();
}

void TemplateImage::paint(QPainter* painter)
{
    paintTinted(painter, m_image, QRectF(0, 0, width(), height()), m_color);
}

void TemplateImage::paintTinted(QPainter* painter, const QImage& shape, const QRectF& bounds, const QColor& color)
{
    if (shape.isNull() || bounds.width() <= 0 || bounds.height() <= 0)
        return;
    const QSizeF fitted = QSizeF(shape.size()).scaled(bounds.size(), Qt::KeepAspectRatio);
    const QRectF target(bounds.x() + (bounds.width() - fitted.width()) / 2,
                        bounds.y() + (bounds.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    // The shape at the painted size (in device pixels), filled with the colour.
    QImage tinted(QSize(qCeil(target.width()), qCeil(target.height())) * painter->device()->devicePixelRatioF(),
                  QImage::Format_ARGB32_Premultiplied);
    tinted.fill(Qt::transparent);
    {
        QPainter p(&tinted);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(tinted.size())), shape);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), color);
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, tinted);
}

} // namespace brinmoor
