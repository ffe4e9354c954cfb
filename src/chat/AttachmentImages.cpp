#include "AttachmentImages.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QMutex>
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
    if (full.isValid() && requestedSize.isValid() && !requestedSize.isEmpty()) {
        // Scaled to cover the requested box (the chip crops to fill it), never enlarged.
        const QSize target = full.scaled(requestedSize, Qt::KeepAspectRatioByExpanding);
        if (target.width() < full.width())
            reader.setScaledSize(target);
    }
    const QImage image = reader.read();
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
