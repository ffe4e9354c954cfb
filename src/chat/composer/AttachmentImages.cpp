#include "AttachmentImages.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QQmlEngine>

namespace brinmoor {

namespace {

struct Entry {
    QByteArray bytes;
    int owners = 0;
};

// Main thread writes; the provider may read from QML's image loading thread.
QMutex& registryLock()
{
    static QMutex lock;
    return lock;
}

QHash<QString, Entry>& registry()
{
    static QHash<QString, Entry> entries;
    return entries;
}

// The chip's picture: the image scaled to fill `box`, cropped to it around its centre, with the
// chip's corner radius (7 of 56) cut out, so views need no clipping effect.
QImage chipPicture(const QImage& image, const QSize& box)
{
    const QImage filled = image.scaled(box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect crop((filled.width() - box.width()) / 2, (filled.height() - box.height()) / 2, box.width(), box.height());
    QImage out(box, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath rounded;
    const qreal radius = box.width() * 7.0 / 56.0;
    rounded.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(box)), radius, radius);
    painter.setClipPath(rounded);
    painter.drawImage(QPoint(0, 0), filled, crop);
    return out;
}

} // namespace

AttachmentImages::AttachmentImages() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage AttachmentImages::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    QByteArray bytes;
    {
        QMutexLocker locker(&registryLock());
        bytes = registry().value(id).bytes;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    const bool boxed = full.isValid() && requestedSize.isValid() && !requestedSize.isEmpty();
    if (boxed) {
        // Decoded straight at the size that covers the box, never enlarged.
        const QSize target = full.scaled(requestedSize, Qt::KeepAspectRatioByExpanding);
        if (target.width() < full.width())
            reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (boxed && !image.isNull())
        image = chipPicture(image, requestedSize);
    if (size)
        *size = image.size();
    return image;
}

void AttachmentImages::publish(const QString& id, const QByteArray& bytes)
{
    QMutexLocker locker(&registryLock());
    Entry& e = registry()[id];
    e.bytes = bytes;
    ++e.owners;
}

void AttachmentImages::release(const QString& id)
{
    QMutexLocker locker(&registryLock());
    auto it = registry().find(id);
    if (it != registry().end() && --it->owners <= 0)
        registry().erase(it);
}

bool AttachmentImages::isPublished(const QString& id)
{
    QMutexLocker locker(&registryLock());
    return registry().contains(id);
}

QString AttachmentImages::urlFor(const QString& id)
{
    return QStringLiteral("image://%1/%2").arg(QLatin1String(providerName), id);
}

void AttachmentImages::installOn(QQmlEngine* engine)
{
    if (engine && !engine->imageProvider(QLatin1String(providerName)))
        engine->addImageProvider(QLatin1String(providerName), new AttachmentImages);
}

} // namespace brinmoor
