#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace termcore {

class ImageStore;
struct ImageLedger;

// An image placed in the screen (a decoded sixel, for instance), anchored in the row where it
// starts. The view provides the implementation; the engine only keeps and moves them.
class TerminalImage {
public:
    virtual ~TerminalImage();
    virtual int pixelWidth() const = 0;
    virtual int pixelHeight() const = 0;
    // The column at which the image starts.
    virtual int col() const = 0;
    virtual void setCol(int col) = 0;
    // How many columns it covers from col() (at least 1).
    virtual int columns() const { return 1; }
    // The memory its pixels take.
    virtual size_t byteSize() const;
    // Gives the pixels back: from then on the image draws nothing.
    virtual void releasePixels() {}

    // Whether its pixels were given back (the terminal's image memory was over its cap).
    bool released() const { return released_; }
    // Once placed in a row (BufferLine::place): the column spans [first, last), counted from
    // col(), that no image placed over the same row later covers. Empty for an image only
    // attached: it shows whole.
    const std::vector<std::pair<int, int>>& shownSpans() const { return shown_; }

private:
    friend class BufferLine;
    friend class ImageStore;
    friend struct ImageLedger;
    std::vector<std::pair<int, int>> shown_;
    bool released_ = false;
    // Its place in the store's list, oldest first, while it counts there.
    std::shared_ptr<ImageLedger> ledger_;
    TerminalImage* older_ = nullptr;
    TerminalImage* newer_ = nullptr;
    size_t bytes_ = 0;
};

// The images one terminal has placed, oldest first, and the memory their pixels take, under a
// cap: past it the oldest give their pixels back (and vanish from the screen) until the rest
// fits. An image leaves the count when it goes (its row scrolled out, was erased or covered).
class ImageStore {
public:
    static constexpr size_t kDefaultCap = size_t(128) << 20;

    explicit ImageStore(size_t cap = kDefaultCap);
    ~ImageStore();
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

    // Counts a new image in, then evicts the oldest while the total is over the cap.
    void add(TerminalImage& image);
    // The bytes and number of images counted now.
    size_t bytes() const;
    size_t count() const;
    size_t cap() const;
    // A new cap applies from the next image on.
    void setCap(size_t cap);

private:
    std::shared_ptr<ImageLedger> ledger_;
};

} // namespace termcore
