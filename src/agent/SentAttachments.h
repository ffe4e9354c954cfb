#pragma once

#include "ChatModels.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace brinmoor {

// What a user message keeps of its attachments once it has gone to the agent: what its bubble
// shows and no more. A photo of 19 MB is shown as a thumbnail of 120 × 84, and a pasted text as a
// chip with its name: holding their bytes for the session's life took hundreds of megabytes
// after a few messages, until the app ran out of memory.
namespace SentAttachments {

// Thumbnails cover a square of this size (the bubble's picture at twice its size).
inline constexpr int thumbnailBox = 256;

struct Thumbnail {
    QByteArray data;
    QString mediaType;
};

// What the transcript holds from the send on: the attachment without its bytes. A pasted text's
// went inside the message; an image's picture comes when thumbnail() has made it (meanwhile the
// bubble shows its name). The views never get the whole picture: a value the QML engine was
// handed lives until its collector runs, which is not soon after a message of ten 19 MB photos.
ChatAttachment keptAtSend(const ChatAttachment& a);

// An image's picture for its bubble: decoded straight at the size that covers the box, never
// enlarged, as JPEG when it is opaque and PNG when it is not; none when the bytes do not decode.
// Slow for a large picture: called off the GUI thread.
std::optional<Thumbnail> thumbnail(const QByteArray& bytes);

} // namespace SentAttachments

} // namespace brinmoor
