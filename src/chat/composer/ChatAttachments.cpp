#include "ChatAttachments.h"

#include "AttachmentBudget.h"
#include "HiddenCharacters.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QMimeData>
#include <QScopeGuard>

#include <cerrno>
#include <functional>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// What reading a file named as an image gave.
enum class ImageFile {
    Read,        // its bytes, no more than the cap
    ByPath,      // missing, unreadable, a folder or over the cap: it goes by path
    NotRegular,  // a device, a pipe or a socket: never read, refused
    NoRoom,      // the message has no room for its bytes: never read
};

// Reads at most `imageCapBytes` + 1 bytes of a regular file. Only a regular file is opened: a
// device reports size 0 and never ends (/dev/zero), and opening a pipe for reading waits for a
// writer. The first check follows links; the open cannot block (O_NONBLOCK), and the opened file
// is checked again, as the name may have been pointed elsewhere in between. The read stops past
// the cap whatever the size said, as a file may grow while it is read. `room` is asked for the
// file's size before anything is read.
ImageFile readImageFile(const QString& path, QByteArray* bytes, const std::function<bool(qint64)>& room)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return ImageFile::ByPath;
    if (!S_ISREG(st.st_mode))
        return ImageFile::NotRegular;
    if (st.st_size > imageCapBytes)
        return ImageFile::ByPath;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return ImageFile::ByPath;
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &st) != 0)
        return ImageFile::ByPath;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? ImageFile::ByPath : ImageFile::NotRegular;
    if (st.st_size > imageCapBytes)
        return ImageFile::ByPath;
    if (room && !room(qint64(st.st_size)))
        return ImageFile::NoRoom;
    QByteArray out(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype have = 0;
    for (;;) {
        if (have == out.size()) {
            if (have > imageCapBytes)
                return ImageFile::ByPath;
            out.resize(std::min<qsizetype>(have * 2 + 4096, imageCapBytes + 1));
        }
        const ssize_t n = ::read(fd, out.data() + have, size_t(out.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ImageFile::ByPath;
        if (n == 0)
            break;
        have += n;
    }
    if (have > imageCapBytes)
        return ImageFile::ByPath;
    out.truncate(have);
    *bytes = std::move(out);
    return ImageFile::Read;
}

// One chosen or pasted file; none, with the reason, when it is refused. With a budget the
// attachment has its room in the message taken; `full` says it was refused for want of it.
std::optional<ChatAttachment> fromFile(const QUrl& url, QString* refusal, AttachmentBudget* budget, bool* full)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    ChatAttachment a;
    a.name = QFileInfo(path).fileName();
    a.path = path;
    // A name whose bytes are no UTF-8 text reads with U+FFFD in their place: the path the agent
    // would be given names no file.
    if (!QUtf8StringView(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())).isValidUtf8()) {
        *refusal = notTextNameMessage(a.name);
        return std::nullopt;
    }
    // The room taken for the image's bytes before they were read; -1 for none.
    qint64 taken = -1;
    const auto refuse = [&](const QString& why) -> std::optional<ChatAttachment> {
        if (taken >= 0)
            budget->give(taken);
        *refusal = why;
        return std::nullopt;
    };
    // The attachment as it goes, its room taken.
    const auto keep = [&](ChatAttachment&& out) -> std::optional<ChatAttachment> {
        if (budget) {
            const qint64 cost = AttachmentBudget::costOf(out);
            if (taken >= 0 ? !budget->resize(taken, cost) : !budget->take(cost)) {
                *full = true;
                return refuse({});
            }
        }
        return std::move(out);
    };
    if (!mimeForImage(url))
        return keep(std::move(a));
    QByteArray bytes;
    const auto room = [&](qint64 size) {
        if (!budget)
            return true;
        if (!budget->take(AttachmentBudget::base64Chars(size)))
            return false;
        taken = AttachmentBudget::base64Chars(size);
        return true;
    };
    ImageFile got;
    try {
        got = readImageFile(path, &bytes, room);
    } catch (const std::bad_alloc&) {
        return refuse(noMemoryMessage(a.name));
    }
    switch (got) {
    case ImageFile::ByPath:
        return keep(std::move(a));
    case ImageFile::NotRegular:
        return refuse(notAFileMessage(a.name));
    case ImageFile::NoRoom:
        *full = true;
        return std::nullopt;
    case ImageFile::Read:
        break;
    }
    const auto type = imageTypeOf(bytes);
    if (!type)
        return refuse(notAnImageMessage(a.name));
    a.isImage = true;
    a.mediaType = *type;
    a.data = std::move(bytes);
    return keep(std::move(a));
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
    return QStringLiteral("%1 was not attached: it is named as an image, but its contents are not a PNG, JPEG, GIF or WebP image.").arg(HiddenCharacters::inSentence(name));
}

QString noMemoryMessage(const QString& name)
{
    return QStringLiteral("%1 was not attached: there is not enough memory to read it.").arg(HiddenCharacters::inSentence(name));
}

QString notTextNameMessage(const QString& name)
{
    return QStringLiteral("%1 was not attached: its name is not UTF-8 text, so the path the agent would be given names no file.").arg(HiddenCharacters::inSentence(name));
}

QString notAFileMessage(const QString& name)
{
    return QStringLiteral("%1 was not attached: it is a device, a pipe or a socket, not a file that can be read as an image.").arg(HiddenCharacters::inSentence(name));
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

PasteResult fromFiles(const QList<QUrl>& urls, AttachmentBudget* budget)
{
    PasteResult r;
    QStringList refusals;
    QString firstLeftOut;
    int leftOut = 0;
    for (const QUrl& url : urls) {
        QString refusal;
        bool full = false;
        if (auto a = fromFile(url, &refusal, budget, &full)) {
            r.attachments << std::move(*a);
        } else if (full) {
            if (leftOut++ == 0)
                firstLeftOut = QFileInfo(url.isLocalFile() ? url.toLocalFile() : url.path()).fileName();
        } else {
            refusals << refusal;
        }
    }
    if (leftOut > 0)
        refusals << AttachmentBudget::fullMessage(firstLeftOut, leftOut - 1);
    r.refusal = refusals.join(u'\n');
    return r;
}

ChatAttachment pastedText(const QString& text)
{
    using namespace HiddenCharacters;
    // Nobody reads a paste this long before it goes: what it hides goes as its marks, as in the
    // editor, and the chip says so.
    const qsizetype hidden = present(text, Scope::Text) ? find(text, Scope::Text).size() : 0;
    ChatAttachment a;
    a.data = hidden ? plain(text, Scope::Text).toUtf8() : text.toUtf8();
    a.mediaType = QStringLiteral("text/plain");
    const QString size = QLocale::c().formattedDataSize(a.data->size(), 1, QLocale::DataSizeTraditionalFormat);
    a.name = !hidden     ? QStringLiteral("Pasted text (%1)").arg(size)
           : hidden == 1 ? QStringLiteral("Pasted text (%1, 1 hidden character as a mark)").arg(size)
                         : QStringLiteral("Pasted text (%1, %2 hidden characters as marks)").arg(size).arg(hidden);
    return a;
}

std::optional<QByteArray> pngFromImageData(const QByteArray& data, const char* format)
{
    QImage image;
    if (!image.loadFromData(data, format))
        return std::nullopt;
    return encodePng(image);
}

QList<QUrl> localFiles(const QMimeData* mime)
{
    QList<QUrl> files;
    if (mime)
        for (const QUrl& url : mime->urls())
            if (url.isLocalFile())
                files << url;
    return files;
}

PasteResult fromMimeData(const QMimeData* mime)
{
    PasteResult r;
    if (!mime)
        return r;
    if (const QList<QUrl> files = localFiles(mime); !files.isEmpty())
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
