// The bundled symbol set and its icon item: every glyph parses, uses only what Qt's SVG renderer
// draws (SVG Tiny: no masks, clip paths or filters), and white marks cut holes.
#include "SymbolIcon.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)

namespace {

QGuiApplication& app()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = new QGuiApplication(argc, argv);
    return *a;
}

QImage render(const QString& name, QColor colour, int side = 48)
{
    SymbolIcon icon;
    icon.setName(name);
    icon.setColor(colour);
    icon.setSize(side);
    icon.setWidth(side);
    icon.setHeight(side);
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    icon.paint(&p);
    p.end();
    return img;
}

} // namespace

TEST(SymbolSet, every_glyph_parses_and_avoids_what_the_renderer_cannot_draw)
{
    app();
    int count = 0;
    QDirIterator it(QStringLiteral(":/Brinmoor/App/assets/icons"), {QStringLiteral("*.svg")});
    while (it.hasNext()) {
        const QString path = it.next();
        ++count;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray text = f.readAll();
        for (const char* unsupported : {"<mask", "<clipPath", "<filter", "url(#"})
            EXPECT_FALSE(text.contains(unsupported)) << path.toStdString() << " uses " << unsupported;
        QSvgRenderer r(path);
        EXPECT_TRUE(r.isValid()) << path.toStdString();
        EXPECT_EQ(r.viewBox(), QRect(0, 0, 24, 24)) << path.toStdString();
    }
    EXPECT_GE(count, 60);
}

TEST(SymbolIcon, draws_in_its_colour_and_cuts_out_white_marks)
{
    app();
    // A filled circle with a white check: the rim is coloured, the check's stroke is a hole.
    const QImage img = render(QStringLiteral("checkmark.circle.fill"), QColor("#f0524f"));
    const QColor rim = img.pixelColor(24, 5);
    EXPECT_EQ(rim.alpha(), 255);
    EXPECT_EQ(rim.red(), 0xf0);
    EXPECT_EQ(rim.green(), 0x52);
    // On the check's stroke (from 7.5,12.5 to 10.5,15.5 in the 24 grid): see-through.
    EXPECT_LT(img.pixelColor(18, 28).alpha(), 40);
    // Outside the circle: nothing.
    EXPECT_EQ(img.pixelColor(1, 1).alpha(), 0);
}

TEST(SymbolIcon, unknown_names_are_reported_and_still_draw_a_placeholder)
{
    app();
    EXPECT_TRUE(SymbolIcon::hasSymbol(QStringLiteral("bell.fill")));
    EXPECT_FALSE(SymbolIcon::hasSymbol(QStringLiteral("no.such.symbol")));
    EXPECT_FALSE(SymbolIcon::hasSymbol(QString()));
    EXPECT_FALSE(SymbolIcon::hasSymbol(QStringLiteral("../../etc/passwd")));
    const QImage img = render(QStringLiteral("no.such.symbol"), Qt::white);
    int drawn = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            drawn += img.pixelColor(x, y).alpha() > 0;
    EXPECT_GT(drawn, 0);
}

TEST(SymbolIcon, template_source_takes_the_shape_in_the_colour)
{
    app();
    SymbolIcon icon;
    icon.setSource(QUrl(QStringLiteral("qrc:/Brinmoor/App/assets/icons/stop.fill.svg")));
    icon.setColor(QColor("#3f74d6"));
    icon.setWidth(24);
    icon.setHeight(24);
    QImage img(24, 24, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    icon.paint(&p);
    p.end();
    EXPECT_EQ(img.pixelColor(12, 12), QColor("#3f74d6"));
    EXPECT_EQ(img.pixelColor(1, 1).alpha(), 0);
}
