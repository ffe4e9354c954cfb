// Inline images (OSC 1337 files and decoded sixel bitmaps), cut into cell-high stripes that
// live in the buffer lines they cover.
#include "TerminalView.h"

#include <QPainter>
#include <QQuickWindow>

#include <cmath>

using termcore::ImageSizeRequest;

namespace {

// Larger requests are clamped: a program must not make the view allocate without bound.
constexpr qreal maxImageExtent = 8192;

} // namespace

QImage TerminalView::scale(const QImage& image, QSizeF size)
{
    QImage out(QSize(int(size.width()), int(size.height())).expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return out;
    const qreal targetAspect = size.width() / size.height();
    const qreal imageAspect = qreal(image.width()) / qreal(image.height());
    QRectF target;
    if (imageAspect > targetAspect) {
        const qreal h = size.width() / imageAspect; // relatively wider: fill the width
        target = QRectF(0, (size.height() - h) / 2, size.width(), h);
    } else {
        const qreal w = size.height() * imageAspect; // fill the height
        target = QRectF((size.width() - w) / 2, 0, w, size.height());
    }
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(target, image);
    return out;
}

void TerminalView::insertImage(const QImage& source, ImageSizeRequest widthRequest, ImageSizeRequest heightRequest,
                               bool preserveAspectRatio)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0 || !cellDimension)
        return;
    const qreal cw = cellDimension->width();
    const qreal ch = cellDimension->height();
    const qreal scaleFactor = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    auto extent = [&](ImageSizeRequest r, qreal cell, qreal viewExtent, qreal imageExtent) -> qreal {
        switch (r.kind) {
        case ImageSizeRequest::Kind::cells:
            return cell * r.value;
        case ImageSizeRequest::Kind::pixels:
            return r.value;
        case ImageSizeRequest::Kind::percent:
            return r.value * 0.01 * viewExtent;
        case ImageSizeRequest::Kind::automatic:
            break;
        }
        return imageExtent / scaleFactor;
    };
    const bool wAuto = widthRequest.kind == ImageSizeRequest::Kind::automatic;
    const bool hAuto = heightRequest.kind == ImageSizeRequest::Kind::automatic;
    qreal w = extent(widthRequest, cw, width(), source.width());
    qreal h = extent(heightRequest, ch, height(), source.height());
    QImage image = source;
    if (preserveAspectRatio) {
        if (hAuto && !wAuto)
            h = w * source.height() / source.width();
        else if (wAuto && !hAuto)
            w = h * source.width() / source.height();
        else if (!wAuto && !hAuto)
            image = scale(source, QSizeF(std::clamp(w, 1.0, maxImageExtent), std::clamp(h, 1.0, maxImageExtent)));
    }
    w = std::clamp(w, 0.0, maxImageExtent);
    h = std::clamp(h, 0.0, maxImageExtent);
    if (w < 1 || h <= 0)
        return;

    auto& buf = terminal->buffer();
    const int stripes = int(std::ceil(h / ch));
    const qreal band = qreal(image.height()) / h * ch; // source rows per stripe
    const int savedX = buf.x();
    for (int k = 0; k < stripes; ++k) {
        QImage stripe(int(w), int(ch), QImage::Format_ARGB32_Premultiplied);
        if (stripe.isNull())
            continue;
        stripe.fill(Qt::transparent);
        {
            QPainter p(&stripe);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(QRectF(0, 0, w, ch), image, QRectF(0, band * k, image.width(), band));
        }
        const int lineIndex = buf.y() + buf.yBase();
        if (lineIndex >= 0 && lineIndex < buf.lines().count())
            buf.lines()[lineIndex].attach(std::make_shared<AppleImage>(std::move(stripe), int(w), int(ch), buf.x()));
        terminal->updateRange(buf.y());
        terminal->cmdLineFeedBasic();
        buf.setX(savedX);
    }
    queuePendingDisplay();
}

void TerminalView::createImage(termcore::Terminal&, const std::vector<uint8_t>& data, ImageSizeRequest width,
                               ImageSizeRequest height, bool preserveAspectRatio)
{
    QImage image;
    if (!image.loadFromData(data.data(), int(data.size())))
        return; // not a format we can read: ignored
    insertImage(image, width, height, preserveAspectRatio);
}

void TerminalView::createImageFromBitmap(termcore::Terminal&, std::vector<uint8_t>& bytes, int w, int h)
{
    if (w <= 0 || h <= 0 || bytes.size() < size_t(w) * size_t(h) * 4)
        return;
    const QImage image = QImage(bytes.data(), w, h, w * 4, QImage::Format_RGBA8888_Premultiplied).copy();
    if (image.isNull())
        return;
    if (this->width() < w)
        insertImage(image, ImageSizeRequest::percent(100), ImageSizeRequest::autoSize(), true);
    else
        insertImage(image, ImageSizeRequest::autoSize(), ImageSizeRequest::autoSize(), true);
}
