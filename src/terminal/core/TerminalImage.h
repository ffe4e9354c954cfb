#pragma once

namespace termcore {

// An image placed in the screen (a decoded sixel, for instance), anchored in the row where it
// starts. The view provides the implementation; the engine only keeps and moves them.
class TerminalImage {
public:
    virtual ~TerminalImage() = default;
    virtual int pixelWidth() const = 0;
    virtual int pixelHeight() const = 0;
    // The column at which the image starts.
    virtual int col() const = 0;
    virtual void setCol(int col) = 0;
};

} // namespace termcore
