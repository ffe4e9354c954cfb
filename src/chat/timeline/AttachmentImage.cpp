#include "AttachmentImage.h"

#include "ChatModels.h"

#include <QPainter>
#include <QPainterPath>

namespace brinmoor {

namespace {

QImage decode(const QVariant& value)
{
    if (!value.canConvert<ChatAttachment>())
        return {};
    const ChatAttachment a = value.value<ChatAttachment>();
    if (!a.isImage || !a.data)
        return {};
    return QImage::fromData(*a.data);
}

} // namespace

AttachmentImage::AttachmentImage(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void AttachmentImage::setAttachment(const QVariant& value)
{
    m_attachment = value;
    m_image = decode(value);
    emit attachmentChanged();
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
    return !decode(attachment).isNull();
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
