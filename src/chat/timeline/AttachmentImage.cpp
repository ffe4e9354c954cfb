#include "AttachmentImage.h"

#include "ChatModels.h"
#include "ReadThreads.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace brinmoor {

namespace {

std::optional<QByteArray> imageBytes(const QVariant& value)
{
    if (!value.canConvert<ChatAttachment>())
        return std::nullopt;
    const ChatAttachment a = value.value<ChatAttachment>();
    if (!a.isImage || !a.data)
        return std::nullopt;
    return a.data;
}

// Whether the bytes are an image of a format that can be read (their header says so).
bool readable(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).canRead();
}

// Decoded to cover the thumbnail's box, never enlarged.
QImage decodeSmall(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    const QSize box(AttachmentImage::pictureBox, AttachmentImage::pictureBox);
    if (full.isValid() && (full.width() > box.width() || full.height() > box.height()))
        reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatioByExpanding).boundedTo(full));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > 2 * box.width() && image.height() > 2 * box.height()))
        image = image.scaled(box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return image;
}

// One decode at a time: each holds a whole picture while it decodes. Made once and kept: a decode
// finishing as the process ends finds it there.
ThreadQueue& decoders()
{
    static auto* const queue = new ThreadQueue;
    return *queue;
}

} // namespace

AttachmentImage::AttachmentImage(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void AttachmentImage::setAttachment(const QVariant& value)
{
    m_attachment = value;
    m_image = QImage();
    const quint64 request = ++m_request;
    const auto bytes = imageBytes(value);
    m_valid = bytes && readable(*bytes);
    emit attachmentChanged();
    update();
    if (!m_valid)
        return;
    QPointer<AttachmentImage> self(this);
    decoders().add([self, request, bytes = *bytes] {
        QImage image = decodeSmall(bytes);
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, request, image = std::move(image)] {
                if (self)
                    self->decoded(request, image);
            }, Qt::QueuedConnection);
    });
}

void AttachmentImage::decoded(quint64 request, const QImage& image)
{
    if (request != m_request)
        return;
    m_image = image;
    update();
}

void AttachmentImage::setRadius(qreal radius)
{
    if (qFuzzyCompare(m_radius, radius))
        return;
    m_radius = radius;
    emit radiusChanged();
    update();
}

bool AttachmentImage::isThumbnail(const QVariant& attachment)
{
    const auto bytes = imageBytes(attachment);
    return bytes && readable(*bytes);
}

void AttachmentImage::paint(QPainter* painter)
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    const QRectF box(0, 0, width(), height());
    // Scaled to fill: the image covers the box and its overflow is cut off around the centre.
    const qreal scale = std::max(box.width() / m_image.width(), box.height() / m_image.height());
    const QSizeF size(m_image.width() * scale, m_image.height() * scale);
    const QRectF target(box.center() - QPointF(size.width() / 2, size.height() / 2), size);
    QPainterPath clip;
    clip.addRoundedRect(box, m_radius, m_radius);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipPath(clip);
    painter->drawImage(target, m_image);
}

} // namespace brinmoor
