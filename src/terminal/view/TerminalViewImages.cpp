// Inline images (OSC 1337 files and decoded sixel bitmaps), cut into cell-high stripes that
// live in the buffer lines they cover.
#include "TerminalView.h"

#include "SixelDcsHandler.h"

#include <QPainter>
#include <QQuickWindow>
#include <QThreadPool>

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

TerminalView::ImageGeometry TerminalView::imageGeometry() const
{
    return {cellDimension.value_or(QSizeF()), QSizeF(width(), height()),
            window() ? window()->effectiveDevicePixelRatio() : 1.0};
}

TerminalView::PreparedImage TerminalView::prepareImage(const QImage& source, ImageSizeRequest widthRequest,
                                                       ImageSizeRequest heightRequest, bool preserveAspectRatio,
                                                       const ImageGeometry& geometry)
{
    PreparedImage out;
    const qreal cw = geometry.cell.width();
    const qreal ch = geometry.cell.height();
    if (source.isNull() || source.width() <= 0 || source.height() <= 0 || cw <= 0 || ch <= 0)
        return out;
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
        return imageExtent / geometry.scaleFactor;
    };
    const bool wAuto = widthRequest.kind == ImageSizeRequest::Kind::automatic;
    const bool hAuto = heightRequest.kind == ImageSizeRequest::Kind::automatic;
    qreal w = extent(widthRequest, cw, geometry.view.width(), source.width());
    qreal h = extent(heightRequest, ch, geometry.view.height(), source.height());
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
        return out;

    const int stripes = int(std::ceil(h / ch));
    const qreal band = qreal(image.height()) / h * ch; // source rows per stripe
    out.width = int(w);
    out.cellHeight = int(ch);
    out.columns = int(std::ceil(w / cw));
    for (int k = 0; k < stripes; ++k) {
        QImage stripe(int(w), int(ch), QImage::Format_ARGB32_Premultiplied);
        if (stripe.isNull())
            continue; // skipped without a line feed
        stripe.fill(Qt::transparent);
        {
            QPainter p(&stripe);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(QRectF(0, 0, w, ch), image, QRectF(0, band * k, image.width(), band));
        }
        out.stripes.push_back(std::move(stripe));
    }
    return out;
}

TerminalView::PreparedImage TerminalView::prepareBitmap(const QImage& image, const ImageGeometry& geometry)
{
    if (geometry.view.width() < image.width())
        return prepareImage(image, ImageSizeRequest::percent(100), ImageSizeRequest::autoSize(), true, geometry);
    return prepareImage(image, ImageSizeRequest::autoSize(), ImageSizeRequest::autoSize(), true, geometry);
}

void TerminalView::placeImage(PreparedImage&& image)
{
    if (image.stripes.empty())
        return;
    auto& buf = terminal->buffer();
    const int savedX = buf.x();
    for (QImage& stripe : image.stripes) {
        // Over the cells it covers it replaces the images before it.
        terminal->placeImage(std::make_shared<AppleImage>(std::move(stripe), image.width, image.cellHeight, buf.x(), image.columns));
        terminal->cmdLineFeedBasic();
        buf.setX(savedX);
    }
    queuePendingDisplay();
}

void TerminalView::insertImage(const QImage& source, ImageSizeRequest widthRequest, ImageSizeRequest heightRequest,
                               bool preserveAspectRatio)
{
    if (!cellDimension)
        return;
    placeImage(prepareImage(source, widthRequest, heightRequest, preserveAspectRatio, imageGeometry()));
}

void TerminalView::createImage(termcore::Terminal&, const std::vector<uint8_t>& data, ImageSizeRequest width,
                               ImageSizeRequest height, bool preserveAspectRatio)
{
    QImage image;
    if (!image.loadFromData(data.data(), int(data.size())))
        return; // not a format we can read: ignored
    insertImage(image, width, height, preserveAspectRatio);
}

namespace {

QImage imageOfBitmap(const std::vector<uint8_t>& bytes, int w, int h)
{
    if (w <= 0 || h <= 0 || bytes.size() < size_t(w) * size_t(h) * 4)
        return QImage();
    return QImage(bytes.data(), w, h, w * 4, QImage::Format_RGBA8888_Premultiplied).copy();
}

} // namespace

void TerminalView::createImageFromBitmap(termcore::Terminal&, std::vector<uint8_t>& bytes, int w, int h)
{
    const QImage image = imageOfBitmap(bytes, w, h);
    if (image.isNull() || !cellDimension)
        return;
    placeImage(prepareBitmap(image, imageGeometry()));
}

// One sixel image on its way: decoded and cut into stripes on a pool thread, placed on the GUI
// thread. The worker owns nothing of the view.
struct TerminalView::SixelJob {
    std::vector<uint8_t> data;
    std::vector<termcore::Color> palette;
    ImageGeometry geometry;
    PreparedImage result;
    bool dropped = false; // over the size bounds, as when decoded in place
    bool workCapped = false;

    void run()
    {
        auto bitmap = termcore::SixelDcsHandler::decodeImage(std::move(data), palette);
        data = {};
        dropped = !bitmap;
        if (!bitmap)
            return;
        workCapped = bitmap->workCapped;
        const QImage image = imageOfBitmap(bitmap->pixels, bitmap->width, bitmap->height);
        bitmap->pixels = {};
        if (!image.isNull())
            result = prepareBitmap(image, geometry);
    }
};

bool TerminalView::decodeSixelElsewhere(termcore::Terminal&, std::vector<uint8_t>& data,
                                        std::span<const termcore::Color> palette)
{
    if (!cellDimension)
        return false;
    auto job = std::make_shared<SixelJob>();
    job->data = std::move(data);
    job->palette.assign(palette.begin(), palette.end());
    job->geometry = imageGeometry();
    sixelJob_ = job;
    if (!sixelPool_) {
        sixelPool_ = std::make_unique<QThreadPool>();
        sixelPool_->setMaxThreadCount(1);
    }
    sixelPool_->start([this, job] {
        job->run();
        // `this` is alive: the view waits for this thread before it goes; a result still on
        // its way then goes with the view.
        QMetaObject::invokeMethod(this, [this, job] { sixelDecoded(job); }, Qt::QueuedConnection);
    });
    return true;
}

void TerminalView::sixelDecoded(const std::shared_ptr<SixelJob>& job)
{
    if (job != sixelJob_)
        return;
    sixelJob_.reset();
    termcore::SixelDcsHandler::reportDecode(job->dropped, job->workCapped, sixelWorkWarned_);
    placeImage(std::move(job->result));
    // Then the output that waited behind it, which may hold the next image.
    std::vector<uint8_t> rest;
    rest.swap(heldOutput_);
    feedTerminal(rest);
    queuePendingDisplay();
    noteCaretActivity();
    if (!outputHeld())
        outputResumed();
}
