// A small picture (sky, grass and a sun, 240 × 160) as PNG bytes: an image attachment that
// decodes and shows something to look at in screenshots.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>

namespace brinmoor::test {

inline QByteArray samplePng()
{
    QImage image(240, 160, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor("#3b6fd4"));
    p.fillRect(QRect(0, 100, 240, 60), QColor("#5ad07a"));
    p.setBrush(QColor("#f0b429"));
    p.drawEllipse(QPoint(180, 50), 26, 26);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace brinmoor::test
