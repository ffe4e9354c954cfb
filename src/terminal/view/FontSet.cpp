#include "FontSet.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

FontSet FontSet::from(const QFont& font)
{
    FontSet set;
    set.normal = font;
    set.normal.setKerning(false);
    // Hinted advances are whole pixels, so cells stay on the pixel grid and text stays crisp.
    set.normal.setHintingPreference(QFont::PreferFullHinting);
    set.bold = set.normal;
    set.bold.setBold(true);
    set.italic = set.normal;
    set.italic.setItalic(true);
    set.boldItalic = set.bold;
    set.boldItalic.setItalic(true);
    return set;
}

QFont FontSet::defaultFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // The system size in pixels: a point size would make the cell depend on the screen's DPI.
    if (f.pixelSize() <= 0) {
        const QFont ui = QGuiApplication::font();
        int px = ui.pixelSize() > 0 ? ui.pixelSize() : int(std::lround(ui.pointSizeF() * 96.0 / 72.0));
        f.setPixelSize(std::max(px, 6));
    }
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::Monospace);
    return f;
}

const QFont& FontSet::variant(int index) const
{
    switch (index) {
    case 1:
        return bold;
    case 2:
        return italic;
    case 3:
        return boldItalic;
    default:
        return normal;
    }
}

QSizeF cellSizeFromMetrics(qreal ascent, qreal descent, qreal leading, qreal advanceOfW)
{
    const qreal height = std::clamp<qreal>(std::ceil(ascent + descent + leading), 1, 8192);
    const qreal width = std::max<qreal>(advanceOfW, 1);
    return {width, height};
}

QSizeF cellSizeForFont(const QFont& font)
{
    const QFontMetricsF fm(font);
    return cellSizeFromMetrics(fm.ascent(), fm.descent(), fm.leading(), fm.horizontalAdvance(QLatin1Char('W')));
}
