#include "ChatAttachments.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
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

// Data a clipboard offers as PNG: taken as it is when it is PNG, converted when it is another
// image, refused when it is none (the model would get bytes it cannot see).
PasteResult claimedPngResult(const QByteArray& bytes)
{
    if (bytes.size() > imageCapBytes || imageTypeOf(bytes) == QLatin1String("image/png"))
        return imageResult(bytes);
    if (const auto png = pngFromImageData(bytes))
        return imageResult(*png);
    PasteResult r;
    r.refusal = unreadableImageMessage();
    return r;
}

// One chosen or pasted file; none, with the reason, when it is refused.
std::optional<ChatAttachment> fromFile(const QUrl& url, QString* refusal)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    ChatAttachment a;
    a.name = QFileInfo(path).fileName();
    a.path = path;
    if (!mimeForImage(url))
        return a;
    QFile file(path);
    // The size is checked before reading, so a huge file is never loaded whole.
    if (file.size() > imageCapBytes || !file.open(QIODevice::ReadOnly))
        return a;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return a;
    const auto type = imageTypeOf(bytes);
    if (!type) {
        *refusal = notAnImageMessage(a.name);
        return std::nullopt;
    }
    a.isImage = true;
    a.mediaType = *type;
    a.data = std::move(bytes);
    return a;
}

} // namespace

QString tooLargeMessage()
{
    return QStringLiteral("The pasted image is larger than 20 MB and was not attached.");
}

QString unreadableImageMessage()
{
    return QStringLiteral("The pasted image could not be read and was not attached.");
}

QString notAnImageMessage(const QString& name)
{
    return QStringLiteral("%1 was not attached: it is named as an image, but its contents are not a PNG, JPEG, GIF or WebP image.").arg(name);
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

std::optional<QString> imageTypeOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("image/png");
    if (bytes.startsWith("\xff\xd8\xff"))
        return QStringLiteral("image/jpeg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    return std::nullopt;
}

PasteResult fromFiles(const QList<QUrl>& urls)
{
    PasteResult r;
    QStringList refusals;
    for (const QUrl& url : urls) {
        QString refusal;
        if (auto a = fromFile(url, &refusal))
            r.attachments << std::move(*a);
        else
            refusals << refusal;
    }
    r.refusal = refusals.join(u'\n');
    return r;
}

ChatAttachment pastedText(const QString& text)
{
    ChatAttachment a;
    a.data = text.toUtf8();
    a.mediaType = QStringLiteral("text/plain");
    a.name = QStringLiteral("Pasted text (%1)").arg(QLocale::c().formattedDataSize(a.data->size(), 1, QLocale::DataSizeTraditionalFormat));
    return a;
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
    if (!files.isEmpty())
        return fromFiles(files);
    if (mime->hasFormat(QStringLiteral("image/png")))
        return claimedPngResult(mime->data(QStringLiteral("image/png")));
    if (mime->hasFormat(QStringLiteral("image/tiff")))
        if (const auto png = pngFromImageData(mime->data(QStringLiteral("image/tiff")), "tiff"))
            return imageResult(*png);
    if (mime->hasImage())
        if (const auto png = encodePng(qvariant_cast<QImage>(mime->imageData())))
            return imageResult(*png);
    if (mime->hasText()) {
        const QString text = mime->text();
        if (text.size() >= textAttachmentChars)
            r.attachments << pastedText(text);
    }
    return r;
}

PasteResult fromClipboard()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? fromMimeData(clipboard->mimeData()) : PasteResult{};
}

} // namespace brinmoor::ChatAttachments
