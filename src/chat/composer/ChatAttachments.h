#pragma once

#include "ChatModels.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class QMimeData;

namespace brinmoor {

// Turning pasted and chosen files and images into attachments: the composer's paste, the attach
// button's file chooser, and the question card's editor share these readers.
namespace ChatAttachments {

// The largest image whose bytes travel with a message (they go to the sidecar in Base64 on one
// line). A pasted image above it is refused; an image file above it is attached by path only.
inline constexpr qint64 imageCapBytes = 20 * 1024 * 1024;

// "image/png", "image/jpeg", "image/gif" or "image/webp" by the file's extension (any letter
// case); none for any other file.
std::optional<QString> mimeForImage(const QUrl& url);

// A chosen or pasted file: an image (with its bytes) when its extension names an image type and
// its contents can be read within the cap; otherwise a file attachment with its name and path.
// A read failure is not an error: the file simply goes by path.
ChatAttachment fromFile(const QUrl& url);
QList<ChatAttachment> fromFiles(const QList<QUrl>& urls);

// Image bytes of any format Qt reads (TIFF and WebP need the image-formats plugins) as PNG with
// no metadata; none when they do not decode.
std::optional<QByteArray> pngFromImageData(const QByteArray& data, const char* format = nullptr);

// What a paste holds, first match wins: file URLs (one attachment each, in order); PNG data;
// TIFF data that converts; any other image the clipboard offers, converted. Pasted image data
// is named "pasted.png". An image over the cap gives no attachment and `refusal` says why.
struct PasteResult {
    QList<ChatAttachment> attachments;
    QString refusal;
    // The paste was files or an image: no text goes into the editor either way.
    bool handled() const { return !attachments.isEmpty() || !refusal.isEmpty(); }
};
PasteResult fromMimeData(const QMimeData* mime);
// The same for the system clipboard.
PasteResult fromClipboard();

// The message shown when a pasted image is refused.
QString tooLargeMessage();

} // namespace ChatAttachments

} // namespace brinmoor
