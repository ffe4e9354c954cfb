#include "SentAttachments.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace brinmoor::SentAttachments {

ChatAttachment keptAtSend(const ChatAttachment& a)
{
    ChatAttachment kept = a;
    kept.data.reset();
    return kept;
}

std::optional<Thumbnail> thumbnail(const QByteArray& bytes)
{
    QByteArray in = bytes;
    QBuffer buffer(&in);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    const QSize box(thumbnailBox, thumbnailBox);
    if (full.isValid() && (full.width() > box.width() || full.height() > box.height()))
        reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatioByExpanding).boundedTo(full));
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    // A reader that cannot scale while decoding gives the whole picture.
    if (image.width() > box.width() && image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const bool opaque = !image.hasAlphaChannel();
    Thumbnail t;
    t.mediaType = opaque ? QStringLiteral("image/jpeg") : QStringLiteral("image/png");
    QBuffer out(&t.data);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, opaque ? "jpeg" : "png");
    if (opaque)
        writer.setQuality(85);
    if (!writer.write(image))
        return std::nullopt;
    return t;
}

} // namespace brinmoor::SentAttachments
