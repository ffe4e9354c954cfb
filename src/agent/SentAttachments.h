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

// What the transcript holds from the send on: a pasted text without its bytes (they went in the
// message); an image still whole, until thumbnail() has made its picture; a file as it is.
ChatAttachment keptAtSend(const ChatAttachment& a);

// An image's picture for its bubble: decoded straight at the size that covers the box, never
// enlarged, as JPEG when it is opaque and PNG when it is not; none when the bytes do not decode.
// Slow for a large picture: called off the GUI thread.
std::optional<Thumbnail> thumbnail(const QByteArray& bytes);

} // namespace SentAttachments

} // namespace brinmoor
