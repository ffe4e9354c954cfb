#pragma once

#include "TerminalView.h"
#include "TestApp.h"

#include <QImage>
#include <QQuickWindow>

#include <memory>

// A terminal view in an offscreen window, with a 12-pixel DejaVu Sans Mono (7 x 14 cells).
struct ViewHarness {
    explicit ViewHarness(int cols = 20, int rows = 5, int extraWidth = 0, int extraHeight = 0);
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
