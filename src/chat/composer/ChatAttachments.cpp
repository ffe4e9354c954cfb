#include "ChatAttachments.h"

#include "AttachmentBudget.h"
#include "HiddenCharacters.h"
#include "X11ClipboardReader.h"

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

#include <algorithm>
#include <cerrno>
#include <functional>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::ChatAttachments {

namespace {

ChatAttachment pastedImage(const QByteArray& bytes, const QString& type)
{
    ChatAttachment a;
    a.name = pastedImageName(type);
    a.isImage = true;
    a.mediaType = type;
    a.data = bytes;
    return a;
}

std::optional<QByteArray> encode(const QImage& image, const char* format)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (QByteArray(format) == "jpeg")
        writer.setQuality(90);
    if (!writer.write(image))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> encodePng(const QImage& image)
{
    return encode(image, "png");
}

// Whether bytes that begin as a picture of `type` are one: a header with a size, and pixels that
// decode. A signature alone proves nothing (a PNG's eight bytes before anything else), and the
// agent's side drops a picture it cannot read in favour of a line the model sees instead. The
// pixels are decoded at a size that fits a small box: every row is still read, but a picture of
// hundreds of megapixels holds little memory here (JPEG, PNG and WebP decode straight at that size).
bool decodesAs(const QByteArray& bytes, const QString& type)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, type.mid(6).toLatin1());
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return false;
    const QSize box(512, 512);
    if (size.width() > box.width() || size.height() > box.height())
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return !reader.read().isNull();
}

// Bytes of a type the agent takes, attached as they are when the user's data is within the cap.
PasteResult imageResult(const QByteArray& bytes, const QString& type)
{
    PasteResult r;
    if (bytes.size() > imageCapBytes)
        r.refusal = tooLargeMessage();
    else
        r.attachments << pastedImage(bytes, type);
    return r;
}

// A picture in a format the agent does not take, converted: PNG, or a JPEG when the PNG would
// pass the cap and the picture has nothing transparent to lose (a photo copied from a viewer as
// TIFF or BMP: its PNG is often several times the photo).
PasteResult convertedResult(const QImage& image)
{
    PasteResult r;
    const auto png = encodePng(image);
    if (!png) {
        r.refusal = unreadableImageMessage();
        return r;
    }
    if (png->size() <= imageCapBytes || image.hasAlphaChannel())
        return imageResult(*png, QStringLiteral("image/png"));
    if (const auto jpeg = encode(image, "jpeg"))
        return imageResult(*jpeg, QStringLiteral("image/jpeg"));
    return imageResult(*png, QStringLiteral("image/png"));
}

// Data a clipboard offers as an image of a type the agent takes: taken as it is when its bytes
// are such a type and decode as one (whatever type was claimed), converted when they are another
// image, refused when they are none or begin as a picture that does not decode (the model would
// get bytes it cannot see). Data over the cap is refused unread.
PasteResult claimedImageResult(const QByteArray& bytes)
{
    if (const auto type = imageTypeOf(bytes)) {
        if (bytes.size() > imageCapBytes || decodesAs(bytes, *type))
            return imageResult(bytes, *type);
        PasteResult r;
        r.refusal = unreadableImageMessage();
        return r;
    }
    if (bytes.size() > imageCapBytes)
        return imageResult(bytes, QStringLiteral("image/png"));
    QImage image;
    if (image.loadFromData(bytes))
        return convertedResult(image);
    PasteResult r;
    r.refusal = unreadableImageMessage();
    return r;
}

// The UTF-8 size of a text, counted without making it.
qint64 utf8Size(QStringView text)
{
    qint64 n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            n += 1;
        } else if (c < 0x800) {
            n += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            n += 4;
            ++i;
        } else {
            n += 3;
        }
    }
    return n;
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
    if (!type || !decodesAs(bytes, *type))
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

QString clipboardSilentMessage()
{
    return QStringLiteral("Nothing was pasted: the program holding the clipboard did not send its text in time.");
}

QString clipboardNoAnswerMessage()
{
    return QStringLiteral("Nothing was pasted: the program holding the clipboard did not answer.");
}

QString clipboardNotTextMessage()
{
    return QStringLiteral("Nothing was pasted: the program holding the clipboard sent something that is not text.");
}

QString clipboardUnreachableMessage()
{
    return QStringLiteral("Nothing was pasted: the clipboard could not be read.");
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

QString pastedImageName(const QString& mediaType)
{
    if (mediaType == QLatin1String("image/jpeg"))
        return QStringLiteral("pasted.jpg");
    if (mediaType == QLatin1String("image/gif"))
        return QStringLiteral("pasted.gif");
    if (mediaType == QLatin1String("image/webp"))
        return QStringLiteral("pasted.webp");
    return QStringLiteral("pasted.png");
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

PastedData read(const QMimeData* mime)
{
    PastedData d;
    if (!mime)
        return d;
    d.files = localFiles(mime);
    if (!d.files.isEmpty())
        return d;
    const QStringList formats = mime->formats();
    // The types the agent takes first, as they come; then any other picture, to convert. A
    // drawing (SVG) is no picture to send: its size is whatever it says.
    QString chosen;
    for (const char* type : {"image/png", "image/jpeg", "image/gif", "image/webp"})
        if (formats.contains(QLatin1String(type))) {
            chosen = QLatin1String(type);
            break;
        }
    const bool taken = !chosen.isEmpty();
    if (!taken)
        for (const QString& f : formats)
            if (f.startsWith(QLatin1String("image/")) && !f.startsWith(QLatin1String("image/svg"))) {
                chosen = f;
                break;
            }
    if (!chosen.isEmpty()) {
        d.imageFormat = chosen;
        d.imageBytes = mime->data(chosen);
        if (taken)
            return d;
    }
    // An image object (put there by this app) is kept as the value it is; converting it is
    // resolve()'s. Elsewhere it stands for the image data above, which Qt would decode here.
    if (chosen.isEmpty() && formats.contains(QLatin1String("application/x-qt-image")))
        d.image = qvariant_cast<QImage>(mime->imageData());
    if (mime->hasText()) {
        QString text = mime->text();
        (text.size() >= textAttachmentChars ? d.text : d.editorText) = std::move(text);
    }
    return d;
}

void takeRoom(PasteResult& r, AttachmentBudget* budget)
{
    if (!budget)
        return;
    QList<ChatAttachment> fit;
    QString firstLeftOut;
    int leftOut = 0;
    for (ChatAttachment& a : r.attachments) {
        if (budget->take(AttachmentBudget::costOf(a)))
            fit << std::move(a);
        else if (leftOut++ == 0)
            firstLeftOut = a.name;
    }
    r.attachments = std::move(fit);
    if (leftOut > 0) {
        const QString full = AttachmentBudget::fullMessage(firstLeftOut, leftOut - 1);
        r.refusal = r.refusal.isEmpty() ? full : r.refusal + u'\n' + full;
    }
}

PasteResult resolve(const PastedData& data, AttachmentBudget* budget)
{
    if (!data.files.isEmpty())
        return fromFiles(data.files, budget);
    PasteResult r;
    const auto fitted = [budget](PasteResult&& out) {
        takeRoom(out, budget);
        return std::move(out);
    };
    if (!data.imageFormat.isEmpty()) {
        const QString sub = data.imageFormat.mid(6);
        const bool taken = sub == QLatin1String("png") || sub == QLatin1String("jpeg") || sub == QLatin1String("gif") || sub == QLatin1String("webp");
        if (taken)
            return fitted(claimedImageResult(data.imageBytes));
        // Another format: converted when it decodes, else the paste goes on to what else it holds.
        QImage image;
        if (image.loadFromData(data.imageBytes, sub.toLatin1().constData()) || image.loadFromData(data.imageBytes))
            return fitted(convertedResult(image));
    }
    if (!data.image.isNull())
        return fitted(convertedResult(data.image));
    if (data.text.size() >= textAttachmentChars) {
        // A text past the room left is refused as it is: its UTF-8 is at least as long as its
        // UTF-16, and it is neither converted nor copied to find that out.
        if (budget && (budget->count() >= AttachmentBudget::maxCount || data.text.size() > AttachmentBudget::maxChars - budget->chars())) {
            r.refusal = AttachmentBudget::textRefusal(utf8Size(data.text), false, budget);
            return r;
        }
        r.attachments << pastedText(data.text);
        return fitted(std::move(r));
    }
    return r;
}

bool readsTextItself(const QClipboard* clipboard, X11ClipboardReader::Selection selection)
{
    return X11ClipboardReader::readsFromOwner(clipboard, selection);
}

void quietClipboardSignals()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->blockSignals(true);
}

namespace {

// The outcomes of a read that end a paste with a line (or with nothing, when cancelled or empty).
std::optional<PasteResult> failed(X11ClipboardReader::Outcome o, bool typesAsked)
{
    using X11ClipboardReader::Outcome;
    PasteResult r;
    switch (o) {
    case Outcome::Text:
    case Outcome::TooLarge:
        return std::nullopt;
    case Outcome::Empty:
        return r;
    case Outcome::NoAnswer:
        r.refusal = typesAsked ? clipboardNoAnswerMessage() : clipboardSilentMessage();
        return r;
    case Outcome::NotText:
        r.refusal = clipboardNotTextMessage();
        return r;
    case Outcome::Unreachable:
        r.refusal = clipboardUnreachableMessage();
        return r;
    case Outcome::Cancelled:
        r.cancelled = true;
        return r;
    }
    return r;
}

// The bound of a picture to convert (TIFF, BMP): a photo of some 40 megapixels as BMP.
constexpr qint64 otherImageBytes = 128 * 1024 * 1024;
// The bound of a list of files.
constexpr qint64 uriListBytes = 16 * 1024 * 1024;

// The text of a selection as a paste: short, for the editor; long, a chip; past the room left in the
// message, refused while it is read.
PasteResult selectionText(X11ClipboardReader::Reader& reader, AttachmentBudget* budget)
{
    // The bound while reading: the room the message has left, but never below the longest text
    // that may still be short enough for the editor (a UTF-16 unit takes at most 3 bytes of UTF-8),
    // which goes to the editor whatever room is left.
    qint64 room = AttachmentBudget::maxChars;
    if (budget)
        room = budget->count() >= AttachmentBudget::maxCount ? 0 : AttachmentBudget::maxChars - budget->chars();
    const qint64 bound = std::max<qint64>(room, 3 * textAttachmentChars);
    X11ClipboardReader::Result got = reader.text(bound);
    if (auto r = failed(got.outcome, false))
        return std::move(*r);
    PasteResult r;
    if (got.outcome == X11ClipboardReader::Outcome::TooLarge) {
        // An owner that announces no size is read up to the bound: the name says how far it got.
        r.refusal = AttachmentBudget::textRefusal(got.size, !got.sizeWhole, budget);
        return r;
    }
    PastedData pasted;
    pasted.text = got.text();
    got.bytes = QByteArray();  // the text holds it now
    if (pasted.text.size() < textAttachmentChars) {
        r.editorText = std::move(pasted.text);
        return r;
    }
    return resolve(pasted, budget);
}

// The local files of a text/uri-list (RFC 2483: one URI a line, lines of '#' are comments).
QList<QUrl> filesOfUriList(const QByteArray& list)
{
    QList<QUrl> files;
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        if (url.isLocalFile())
            files << url;
    }
    return files;
}

} // namespace

PasteResult fromSelection(const QByteArray& display, X11ClipboardReader::Selection selection, AttachmentBudget* budget, int timeoutMs,
                          X11ClipboardReader::Control* control)
{
    using X11ClipboardReader::Outcome;
    X11ClipboardReader::Reader reader(display, selection, timeoutMs, X11ClipboardReader::transferLimitMs, control);
    QList<QByteArray> types;
    if (auto r = failed(reader.types(&types), true))
        return std::move(*r);
    // Files first, as read() takes them.
    if (types.contains("text/uri-list")) {
        const X11ClipboardReader::Result got = reader.data("text/uri-list", uriListBytes);
        if (got.outcome == Outcome::Cancelled || got.outcome == Outcome::NoAnswer)
            return *failed(got.outcome, false);
        if (got.outcome == Outcome::Text)
            if (const QList<QUrl> files = filesOfUriList(got.bytes); !files.isEmpty())
                return fromFiles(files, budget);
    }
    // Picture data: the types the agent takes first, then any other picture to convert.
    QByteArray chosen;
    for (const char* type : {"image/png", "image/jpeg", "image/gif", "image/webp"})
        if (types.contains(type)) {
            chosen = type;
            break;
        }
    const bool taken = !chosen.isEmpty();
    if (!taken)
        for (const QByteArray& t : std::as_const(types))
            if (t.startsWith("image/") && !t.startsWith("image/svg")) {
                chosen = t;
                break;
            }
    if (!chosen.isEmpty()) {
        const X11ClipboardReader::Result got = reader.data(chosen, taken ? imageCapBytes + 1 : otherImageBytes);
        if (got.outcome == Outcome::TooLarge) {
            PasteResult r;
            r.refusal = tooLargeMessage();
            return r;
        }
        if (got.outcome != Outcome::Text)
            return *failed(got.outcome == Outcome::Empty ? Outcome::NotText : got.outcome, false);
        PastedData pasted;
        pasted.imageFormat = QString::fromLatin1(chosen);
        pasted.imageBytes = got.bytes;
        PasteResult r = resolve(pasted, budget);
        // A picture of another format that does not convert goes on to its text, when it has one.
        const bool hasText = std::any_of(types.begin(), types.end(), [](const QByteArray& t) {
            return t == "UTF8_STRING" || t == "STRING" || t.startsWith("text/plain");
        });
        if (r.handled())
            return r;
        if (taken || !hasText) {
            r.refusal = unreadableImageMessage();
            return r;
        }
    }
    return selectionText(reader, budget);
}

PasteResult fromSelectionText(const QByteArray& display, AttachmentBudget* budget, int timeoutMs)
{
    X11ClipboardReader::Reader reader(display, X11ClipboardReader::Selection::Clipboard, timeoutMs);
    return selectionText(reader, budget);
}

PasteResult fromMimeData(const QMimeData* mime)
{
    return resolve(read(mime));
}

PasteResult fromClipboard()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? fromMimeData(clipboard->mimeData()) : PasteResult{};
}

} // namespace brinmoor::ChatAttachments
