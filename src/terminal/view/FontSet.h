#pragma once

#include <QFont>
#include <QRawFont>
#include <QSizeF>

// The terminal view's four fonts. All metrics (cell size, baseline, underline) come from
// `normal`; the other three only shape glyphs. Sizes are pixels, never points, so a cell is the
// same on every screen.
struct FontSet {
    QFont normal;
    QFont bold;
    QFont italic;
    QFont boldItalic;

    // Builds the set from one font: the bold, italic and bold-italic variants of it.
    static FontSet from(const QFont& font);
    // The monospaced system font at the system font size (in pixels), regular weight.
    static QFont defaultFont();

    // 0 normal, 1 bold, 2 italic, 3 bold italic.
    const QFont& variant(int index) const;
};

// Cell size of a font: height = ceil(ascent + descent + leading), clamped to 1...8192; width =
// the advance of "W", at least 1.
QSizeF cellSizeForFont(const QFont& font);
// The same rule on raw metrics (so the clamps can be checked with any numbers).
QSizeF cellSizeFromMetrics(qreal ascent, qreal descent, qreal leading, qreal advanceOfW);
