#include "TemplateImage.h"

#include <QImageReader>
#include <QPainter>

namespace brinmoor {

TemplateImage::TemplateImage(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void TemplateImage::setSource(const QUrl& source)
{
    if (m_source == source)
        return;
    m_source = source;
    const QString path = source.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + source.path() : source.toLocalFile();
    QImageReader reader(path);
    if (reader.format() == "svg" || path.endsWith(QLatin1String(".svg")))
        reader.setScaledSize(QSize(256, 256));  // vector: render once, large enough for any logo
    m_image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    const QSizeF fitted = QSizeF(m_image.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2, fitted.width(), fitted.height());
    // The shape at the painted size, filled with the colour.
    QImage tinted(QSize(qCeil(target.width()), qCeil(target.height())) * painter->device()->devicePixelRatioF(),
                  QImage::Format_ARGB32_Premultiplied);
    tinted.fill(Qt::transparent);
    {
        QPainter p(&tinted);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(tinted.size())), m_image);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), m_color);
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, tinted);
}

} // namespace brinmoor
