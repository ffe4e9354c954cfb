#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// An image attachment's thumbnail: the bytes the user attached, decoded once, scaled to fill the
// item and clipped to its rounded rectangle. `valid` is false when the attachment is no image or
// its bytes do not decode; the bubble shows a file chip instead.
class AttachmentImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // A chatAttachment value.
    Q_PROPERTY(QVariant attachment READ attachment WRITE setAttachment NOTIFY attachmentChanged)
    Q_PROPERTY(bool valid READ valid NOTIFY attachmentChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)
public:
    explicit AttachmentImage(QQuickItem* parent = nullptr);

    QVariant attachment() const { return m_attachment; }
    void setAttachment(const QVariant& value);
    bool valid() const { return !m_image.isNull(); }
    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);

    void paint(QPainter* painter) override;

    // Whether an attachment value would show as a thumbnail.
    static bool isThumbnail(const QVariant& attachment);

signals:
    void attachmentChanged();
    void radiusChanged();

private:
    QVariant m_attachment;
    QImage m_image;
    qreal m_radius = 8;
};

} // namespace brinmoor
