#pragma once

#include <QByteArray>
#include <QQuickImageProvider>
#include <QString>

class QQmlEngine;

namespace brinmoor {

// Thumbnails of attached images for QML, so image bytes never pass through QML values: a view
// shows "image://attachments/<attachment id>" and the provider decodes the bytes published under
// that id, scaled down to the size the view asks for. Publishing is counted per id, so two owners
// of one attachment (the composer, a sent message's row) keep it until both release it.
class AttachmentImages : public QQuickImageProvider {
public:
    AttachmentImages();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    static void publish(const QString& id, const QByteArray& bytes);
    static void release(const QString& id);
    static bool isPublished(const QString& id);
    // The image URL of an attachment id.
    static QString urlFor(const QString& id);
    // Adds the provider to an engine that has none yet.
    static void installOn(QQmlEngine* engine);

    static constexpr const char* providerName = "attachments";
};

} // namespace brinmoor
