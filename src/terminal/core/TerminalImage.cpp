#include "TerminalImage.h"

#include "Diagnostics.h"

#include <algorithm>
#include <string>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace termcore {

// The list behind an ImageStore. Images hold it too, so that one outliving its terminal (a copy
// the view still draws from) leaves a list that still exists.
struct ImageLedger {
    TerminalImage* oldest = nullptr;
    TerminalImage* newest = nullptr;
    size_t bytes = 0;
    size_t count = 0;
    size_t cap = 0;
    bool warned = false;
    // Bytes given back since the heap was last trimmed.
    size_t freedSinceTrim = 0;
    static constexpr size_t kTrimEvery = size_t(64) << 20;

    void unlink(TerminalImage*& older, TerminalImage*& newer, size_t imageBytes)
    {
        (older ? older->newer_ : oldest) = newer;
        (newer ? newer->older_ : newest) = older;
        older = newer = nullptr;
        bytes -= imageBytes;
        --count;
        freedSinceTrim += imageBytes;
    }

    // Pixels freed by the thousand in blocks of a stripe's size stay resident in the heap unless
    // it is trimmed: a terminal that showed many images would never shrink again.
    void trimIfMuchWasFreed()
    {
        if (freedSinceTrim < kTrimEvery)
            return;
        freedSinceTrim = 0;
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }
};

TerminalImage::~TerminalImage()
{
    if (ledger_) {
        ledger_->unlink(older_, newer_, bytes_);
        ledger_->trimIfMuchWasFreed();
    }
}

size_t TerminalImage::byteSize() const
{
    return size_t(std::max(pixelWidth(), 0)) * size_t(std::max(pixelHeight(), 0)) * 4;
}

ImageStore::ImageStore(size_t cap)
    : ledger_(std::make_shared<ImageLedger>())
{
    ledger_->cap = cap;
}

ImageStore::~ImageStore() = default;

void ImageStore::add(TerminalImage& image)
{
    if (image.ledger_)
        return; // counted already
    ImageLedger& l = *ledger_;
    image.ledger_ = ledger_;
    image.bytes_ = image.byteSize();
    image.older_ = l.newest;
    (l.newest ? l.newest->newer_ : l.oldest) = &image;
    l.newest = &image;
    l.bytes += image.bytes_;
    ++l.count;
    // The newest stays even alone over the cap: the view bounds a single image's size.
    if (l.bytes > l.cap && l.oldest != &image && !l.warned) {
        l.warned = true;
        Diagnostics::print("ImageStore: images over " + std::to_string(l.cap >> 20) + " MB, the oldest give way (not reported again)");
    }
    while (l.bytes > l.cap && l.oldest && l.oldest != &image) {
        TerminalImage& old = *l.oldest;
        l.unlink(old.older_, old.newer_, old.bytes_);
        old.ledger_.reset();
        old.bytes_ = 0;
        old.released_ = true;
        old.releasePixels();
    }
    l.trimIfMuchWasFreed();
}

size_t ImageStore::bytes() const
{
    return ledger_->bytes;
}

size_t ImageStore::count() const
{
    return ledger_->count;
}

size_t ImageStore::cap() const
{
    return ledger_->cap;
}

void ImageStore::setCap(size_t cap)
{
    ledger_->cap = cap;
}

} // namespace termcore
