#include "ChatAttachments.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>

namespace brinmoor::ChatAttachments {

namespace {

ChatAttachment pastedImage(const QByteArray& png)
{
    ChatAttachment a;
    a.name = QStringLiteral("pasted.png");
    a.isImage = true;
    a.mediaType = QStringLiteral("image/png");
    a.data = png;
    return a;
}

std::optional<QByteArray> encodePng(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return std::nullopt;
    return out;
}

PasteResult imageResult(const QByteArray& png)
{
    PasteResult r;
    if (png.size() > imageCapBytes)
        r.refusal = tooLargeMessage();
    else
        r.attachments << pastedImage(png);
    return r;
}

} // namespace

QString tooLargeMessage()
{
    return QStringLiteral("The pasted image is larger than 20 MB and was not attached.");
}

std::optional<QString> mimeForImage(const QUrl& url)
{
    const QString ext = QFileInfo(url.path()).suffix().toLower();
    if (ext == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (ext == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    if (ext == QLatin1String("webp"))
        return QStringLiteral("image/webp");
    return std::nullopt;
}

ChatAttachment fromFile(const QUrl& url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    ChatAttachment a;
    a.name = QFileInfo(path).fileName();
    a.path = path;
    if (const auto type = mimeForImage(url)) {
        QFile file(path);
        // The size is checked before reading, so a huge file is never loaded whole.
        if (file.size() <= imageCapBytes && file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.readAll();
            if (file.error() == QFileDevice::NoError) {
                a.isImage = true;
                a.mediaType = *type;
                a.data = std::move(bytes);
            }
        }
    }
    return a;
}

QList<ChatAttachment> fromFiles(const QList<QUrl>& urls)
{
    QList<ChatAttachment> out;
    for (const QUrl& url : urls)
        out << fromFile(url);
    return out;
}

std::optional<QByteArray> pngFromImageData(const QByteArray& data, const char* format)
{
    QImage image;
    if (!image.loadFromData(data, format))
        return std::nullopt;
    return encodePng(image);
}

PasteResult fromMimeData(const QMimeData* mime)
{
    PasteResult r;
    if (!mime)
        return r;
    QList<QUrl> files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            files << url;
    if (!files.isEmpty()) {
        r.attachments = fromFiles(files);
        return r;
    }
    if (mime->hasFormat(QStringLiteral("image/png")))
        return imageResult(mime->data(QStringLiteral("image/png")));
    if (mime->hasFormat(QStringLiteral("image/tiff")))
        if (const auto png = pngFromImageData(mime->data(QStringLiteral("image/tiff")), "tiff"))
            return imageResult(*png);
    if (mime->hasImage())
        if (const auto png = encodePng(qvariant_cast<QImage>(mime->imageData())))
            return imageResult(*png);
    return r;
}

PasteResult fromClipboard()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? fromMimeData(clipboard->mimeData()) : PasteResult{};
}

} // namespace brinmoor::ChatAttachments
