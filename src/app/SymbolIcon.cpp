#include "SymbolIcon.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QtMath>
#include <QSvgRenderer>

#include <memory>

namespace {

// One parsed renderer per symbol for the whole process; symbols are only drawn on the GUI
// thread (the software scene graph and the painted item's paint()), so no lock is needed.
QSvgRenderer* rendererFor(const QString& name)
{
    // Symbol names are dotted words ("arrow.up.circle.fill"); anything else names no symbol.
    for (QChar c : name)
        if (!(c.isLetterOrNumber() || c == u'.'))
            return nullptr;
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    auto it = cache.find(name);
    if (it != cache.end())
        return it->get();
    std::shared_ptr<QSvgRenderer> r;
    const QString path = SymbolIcon::resourcePath(name);
    if (QFile::exists(path)) {
        r = std::make_shared<QSvgRenderer>(path);
        if (!r->isValid())
            r.reset();
    }
    cache.insert(name, r);
    return r.get();
}

// The glyphs are black shapes with white marks drawn over them where the shape is cut out: turn
// lightness into transparency, so black stays opaque and white becomes a hole.
void cutOutWhite(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            if (a == 0)
                continue;
            // Premultiplied: the unpremultiplied grey is green / alpha.
            const int grey = std::min(255, qGreen(p) * 255 / a);
            const int na = a * (255 - grey) / 255;
            line[x] = qRgba(0, 0, 0, na);
        }
    }
}

} // namespace

SymbolIcon::SymbolIcon(QQuickItem* parent) : TemplateImage(parent)
{
    setImplicitWidth(m_size);
    setImplicitHeight(m_size);
}

QString SymbolIcon::resourcePath(const QString& name)
{
    return QStringLiteral(":/Brinmoor/App/assets/icons/") + name + QStringLiteral(".svg");
}

bool SymbolIcon::hasSymbol(const QString& name)
{
    return !name.isEmpty() && rendererFor(name) != nullptr;
}

void SymbolIcon::setName(const QString& name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged();
    update();
}

void SymbolIcon::setSize(qreal size)
{
    if (qFuzzyCompare(size, m_size))
        return;
    m_size = size;
    setImplicitWidth(size);
    setImplicitHeight(size);
    emit sizeChanged();
    update();
}

bool SymbolIcon::known() const
{
    return hasSymbol(m_name);
}

void SymbolIcon::paint(QPainter* painter)
{
    const qreal side = std::min(width(), height());
    if (side <= 0)
        return;
    const QRectF box((width() - side) / 2, (height() - side) / 2, side, side);
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize px(qCeil(side * dpr), qCeil(side * dpr));
    if (!source().isEmpty()) {
        paintTinted(painter, image(), box, color());
        return;
    }
    QSvgRenderer* r = m_name.isEmpty() ? nullptr : rendererFor(m_name);
    if (!r) {
        // Unknown symbol: a quiet dotted circle keeps the layout and shows something is missing.
        QPen pen(color(), std::max<qreal>(1.0, side / 12), Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(box.adjusted(side / 6, side / 6, -side / 6, -side / 6));
        return;
    }
    // Render the glyph as a mask at device resolution, cut its holes, then fill it with the colour.
    QImage mask(px, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter mp(&mask);
        mp.setRenderHint(QPainter::Antialiasing);
        r->render(&mp, QRectF(QPointF(0, 0), QSizeF(px)));
    }
    cutOutWhite(mask);
    paintTinted(painter, mask, box, color());
}
