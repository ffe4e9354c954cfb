#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// An image attachment's thumbnail: the bytes the user attached, decoded once on a thread of its
// own at the size a thumbnail needs (a photo of 19 MB decodes in a tenth of a second and takes
// tens of megabytes whole: ten of them on the GUI thread froze the window as they were sent),
// scaled to fill the item and clipped to its rounded rectangle. `valid` is false when the
// attachment is no image or its bytes are none that can be read; the bubble shows a file chip
// instead.
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
    bool valid() const { return m_valid; }
    // The picture held (empty until it is decoded): no larger than a thumbnail needs.
    QSize pictureSize() const { return m_image.size(); }
    // The pictures are decoded to cover this box.
    static constexpr int pictureBox = 256;
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
    void decoded(quint64 request, const QImage& image);

    QImage m_image;
    bool m_valid = false;
    quint64 m_request = 0;  // the latest decode asked for; older ones are dropped
    qreal m_radius = 8;
};

} // namespace brinmoor
