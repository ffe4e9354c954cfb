// Inline images (OSC 1337 files and sixel bitmaps), decoded off the GUI thread and cut into
// cell-high stripes that live in the buffer lines they cover.
#include "TerminalView.h"

#include "Diagnostics.h"
#include "SixelDcsHandler.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QQuickWindow>

#include <cmath>
#include <system_error>

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

TerminalView::ImageBox TerminalView::imageBox(QSize source, ImageSizeRequest widthRequest,
                                             ImageSizeRequest heightRequest, bool preserveAspectRatio,
                                             const ImageGeometry& geometry)
{
    ImageBox box;
    const qreal cw = geometry.cell.width();
    const qreal ch = geometry.cell.height();
    if (source.width() <= 0 || source.height() <= 0 || cw <= 0 || ch <= 0)
        return box;
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
    bool fitted = false;
    if (preserveAspectRatio) {
        if (hAuto && !wAuto)
            h = w * source.height() / source.width();
        else if (wAuto && !hAuto)
            w = h * source.width() / source.height();
        else if (!wAuto && !hAuto)
            fitted = true;
    }
    w = std::clamp(w, 0.0, maxImageExtent);
    h = std::clamp(h, 0.0, maxImageExtent);
    if (w < 1 || h <= 0)
        return box;
    box.size = QSizeF(w, h);
    box.picture = QRectF(0, 0, w, h);
    if (fitted) {
        // Fitted inside the box and centred, as scale() draws it, without the intermediate image.
        const qreal imageAspect = qreal(source.width()) / qreal(source.height());
        if (imageAspect > w / h) {
            const qreal fh = w / imageAspect; // relatively wider: fill the width
            box.picture = QRectF(0, (h - fh) / 2, w, fh);
        } else {
            const qreal fw = h * imageAspect; // fill the height
            box.picture = QRectF((w - fw) / 2, 0, fw, h);
        }
    }
    return box;
}

TerminalView::PreparedImage TerminalView::cutImage(const QImage& image, const ImageBox& box,
                                                   const ImageGeometry& geometry)
{
    PreparedImage out;
    const qreal ch = geometry.cell.height();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || box.size.isEmpty() || ch <= 0)
        return out;
    const qreal w = box.size.width();
    const QRectF& pic = box.picture;
    const int stripes = int(std::ceil(box.size.height() / ch));
    out.width = int(w);
    out.cellHeight = int(ch);
    out.columns = int(std::ceil(w / geometry.cell.width()));
    for (int k = 0; k < stripes; ++k) {
        QImage stripe(int(w), int(ch), QImage::Format_ARGB32_Premultiplied);
        if (stripe.isNull())
            continue; // skipped without a line feed
        stripe.fill(Qt::transparent);
        // The part of the picture this stripe covers, and the source rows it comes from: each
        // stripe reads only its own band, so the work is the pixels placed, however large the
        // source or the box.
        const qreal top = std::max(pic.top(), ch * k);
        const qreal bottom = std::min(pic.bottom(), ch * (k + 1));
        if (bottom > top) {
            const qreal sy = qreal(image.height()) / pic.height();
            QPainter p(&stripe);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(QRectF(pic.left(), top - ch * k, pic.width(), bottom - top), image,
                        QRectF(0, (top - pic.top()) * sy, image.width(), (bottom - top) * sy));
        }
        out.stripes.push_back(std::move(stripe));
    }
    return out;
}

TerminalView::PreparedImage TerminalView::prepareImage(const QImage& source, ImageSizeRequest widthRequest,
                                                       ImageSizeRequest heightRequest, bool preserveAspectRatio,
                                                       const ImageGeometry& geometry)
{
    if (source.isNull())
        return {};
    return cutImage(source, imageBox(source.size(), widthRequest, heightRequest, preserveAspectRatio, geometry),
                    geometry);
}

TerminalView::PreparedImage TerminalView::prepareImageFile(const QByteArray& data, ImageSizeRequest widthRequest,
                                                           ImageSizeRequest heightRequest, bool preserveAspectRatio,
                                                           const ImageGeometry& geometry)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    if (!full.isValid()) // a format that does not tell its size before decoding
        return prepareImage(reader.read(), widthRequest, heightRequest, preserveAspectRatio, geometry);
    const ImageBox box = imageBox(full, widthRequest, heightRequest, preserveAspectRatio, geometry);
    if (box.size.isEmpty())
        return {};
    // Shown smaller than it is: decoded at the size it is drawn (a JPEG decodes at a fraction of
    // its size for a fraction of the work; other formats are scaled once, right after).
    const QSize shown(int(std::ceil(box.picture.width())), int(std::ceil(box.picture.height())));
    if (shown.width() < full.width() && shown.height() < full.height())
        reader.setScaledSize(shown);
    return cutImage(reader.read(), box, geometry);
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
    if (!cellDimension)
        return;
    // Not a format we can read: nothing is placed.
    placeImage(prepareImageFile(QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())), width,
                                height, preserveAspectRatio, imageGeometry()));
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

// One image on its way, a sixel or an inline image file: decoded and cut into stripes on a pool
// thread, placed on the GUI thread. The worker owns nothing of the view.
struct TerminalView::ImageJob {
    bool sixel = true;
    std::vector<uint8_t> data;
    std::vector<termcore::Color> palette; // a sixel's registers it does not define
    ImageSizeRequest width = ImageSizeRequest::autoSize(); // an image file's requested box
    ImageSizeRequest height = ImageSizeRequest::autoSize();
    bool preserveAspectRatio = true;
    ImageGeometry geometry;
    PreparedImage result;
    bool dropped = false; // a sixel over the size bounds, as when decoded in place
    bool workCapped = false;
    bool noThread = false; // the system gave no thread to decode it on

    void run()
    {
        if (!sixel) {
            const QByteArray bytes(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
            data = {};
            result = prepareImageFile(bytes, width, height, preserveAspectRatio, geometry);
            return;
        }
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
    auto job = std::make_shared<ImageJob>();
    job->data = std::move(data);
    job->palette.assign(palette.begin(), palette.end());
    startImageJob(std::move(job));
    return true;
}

bool TerminalView::decodeImageElsewhere(termcore::Terminal&, std::vector<uint8_t>& data, ImageSizeRequest width,
                                        ImageSizeRequest height, bool preserveAspectRatio)
{
    if (!cellDimension)
        return false;
    auto job = std::make_shared<ImageJob>();
    job->sixel = false;
    job->data = std::move(data);
    job->width = width;
    job->height = height;
    job->preserveAspectRatio = preserveAspectRatio;
    startImageJob(std::move(job));
    return true;
}

void TerminalView::startImageJob(std::shared_ptr<ImageJob> job)
{
    job->geometry = imageGeometry();
    imageJob_ = job;
    // The previous image's thread has posted its result and ends now.
    if (imageThread_.joinable())
        imageThread_.join();
    try {
        imageThread_ = std::thread([this, job] {
            job->run();
            // `this` is alive: the view joins this thread before it goes; a result still on its
            // way then goes with the view.
            QMetaObject::invokeMethod(this, [this, job] { imageDecoded(job); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had (a task limit reached): this image is left out, and the output
        // behind it goes on as after an image too large to show. Posted, as a decoded image is,
        // since the terminal is in the middle of a feed.
        job->noThread = true;
        job->data = {};
        QMetaObject::invokeMethod(this, [this, job] { imageDecoded(job); }, Qt::QueuedConnection);
    }
}

void TerminalView::imageDecoded(const std::shared_ptr<ImageJob>& job)
{
    if (job != imageJob_)
        return;
    imageJob_.reset();
    if (job->noThread)
        termcore::Diagnostics::print("TerminalView: no thread could be made to decode an image; it is left out");
    else if (job->sixel)
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
