#pragma once

#include "ChatModels.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace brinmoor {

// A command line too large to be made in one go on the GUI thread, made in pieces instead: the
// sidecar process asks for the next piece on a pool thread as the pipe takes the last ones, so
// the line is never held whole in the app.
class CommandLineSource {
public:
    virtual ~CommandLineSource() = default;
    // The next bytes of the line, about `budget` of them (a piece may be longer by what cannot be
    // cut: a typed text's JSON, a media type); the last piece ends with the line feed. Called on
    // one thread at a time.
    virtual QByteArray next(qsizetype budget) = 0;
    virtual bool done() const = 0;
};

// The "user" command of a message with images or pasted texts: the same bytes as
// SidecarCommand::encode(SidecarCommand::user(text, images)), the images' Base64 and the text's
// JSON made a slice at a time. Each image's bytes, and each stretch of the text, are let go once
// encoded.
class UserCommandLine : public CommandLineSource {
public:
    // One stretch of the message's text: typed text, or UTF-8 as a pasted text's attachment holds
    // it. The stretches are joined as they are; nothing is converted until its piece is made.
    using TextPart = std::variant<QString, QByteArray>;

    UserCommandLine(QString text, const QList<ChatAttachment>& attachments);
    UserCommandLine(QList<TextPart> text, const QList<ChatAttachment>& attachments);

    QByteArray next(qsizetype budget) override;
    bool done() const override { return m_stage == Stage::Done; }
    // The whole line (small messages, tests).
    QByteArray all();

private:
    enum class Stage { Head, ImageHead, ImageData, ImageTail, TextHead, TextData, Tail, Done };

    struct Image {
        QString mediaType;
        QByteArray data;
    };

    QList<TextPart> m_text;
    QList<Image> m_images;
    Stage m_stage = Stage::Head;
    qsizetype m_image = 0;   // the image being written
    qsizetype m_offset = 0;  // bytes of it encoded so far
    qsizetype m_part = 0;    // the stretch of text being written
};

} // namespace brinmoor
