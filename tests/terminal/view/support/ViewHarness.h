#pragma once

#include "TerminalView.h"
#include "TestApp.h"

#include <QImage>
#include <QQuickWindow>

#include <memory>
#include <vector>

// A terminal view in an offscreen window, with a 12-pixel DejaVu Sans Mono (7 x 14 cells) unless
// another font is given.
struct ViewHarness {
    explicit ViewHarness(int cols = 20, int rows = 5, int extraWidth = 0, int extraHeight = 0,
                         const QFont& font = testFont());
    ~ViewHarness();

    static QFont testFont();
    QSizeF cell() const { return *view->cellDimension; }
    termcore::Terminal& terminal() { return view->getTerminal(); }
    // Feeds, runs the pending display update at once, and grabs the window.
    void feed(const QByteArray& bytes);
    QImage grab();
    // The colour at the centre of a cell (screen column and row).
    QColor cellCentre(const QImage& image, int col, int row) const;
    QColor pixel(const QImage& image, qreal x, qreal y) const;
    QColor palette(int index);

    std::unique_ptr<QQuickWindow> window;
    TerminalView* view = nullptr;
};

// A delegate that keeps every chunk the view sends (as bytes, or as a std::string) and ignores the
// other notifications; a test derives from it to watch more.
template <typename Chunk = std::vector<uint8_t>>
struct SendRecorder : TerminalViewDelegate {
    std::vector<Chunk> sent;
    void sizeChanged(TerminalView&, int, int) override {}
    void setTerminalTitle(TerminalView&, const QString&) override {}
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>&) override {}
    void send(TerminalView&, std::span<const uint8_t> d) override { sent.emplace_back(d.begin(), d.end()); }
    void scrolled(TerminalView&, double) override {}
    void clipboardCopy(TerminalView&, const QByteArray&) override {}
    void rangeChanged(TerminalView&, int, int) override {}
};
