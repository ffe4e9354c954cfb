#include "ViewHarness.h"

#include "TerminalScroller.h"

#include <QCoreApplication>
#include <QTest>

ViewHarness::ViewHarness(int cols, int rows, int extraWidth, int extraHeight, const QFont& font)
{
    ensureGuiApp();
    window = std::make_unique<QQuickWindow>();
    view = new TerminalView(window->contentItem(), font);
    const QSizeF c = *view->cellDimension;
    const QSizeF size(c.width() * cols + TerminalScroller::defaultWidth + extraWidth, c.height() * rows + extraHeight);
    window->resize(size.toSize());
    view->setSize(size);
    window->show();
    waitUntil([&] { return window->isExposed(); }, 5000);
}

ViewHarness::~ViewHarness()
{
    window.reset();
}

QFont ViewHarness::testFont()
{
    QFont f("DejaVu Sans Mono");
    f.setPixelSize(12);
    return f;
}

void ViewHarness::feed(const QByteArray& bytes)
{
    view->feed(bytes);
    // An image decoded off the GUI thread holds the output after it until it is placed.
    if (!QTest::qWaitFor([this] { return !view->outputHeld(); }, 30000))
        qWarning("ViewHarness: the output after an image was still held after 30 s");
}

QImage ViewHarness::grab()
{
    if (view->pendingDisplay())
        view->updateDisplay(false);
    QCoreApplication::processEvents();
    QImage img = window->grabWindow().convertToFormat(QImage::Format_RGB32);
    if (const QByteArray dir = qgetenv("TERMVIEW_TEST_SHOTS"); !dir.isEmpty()) {
        // Named after the test program, so test programs running side by side keep their own pictures.
        static int n = 0;
        img.save(QStringLiteral("%1/%2-shot-%3.png").arg(QString::fromLocal8Bit(dir), QCoreApplication::applicationName()).arg(n++));
    }
    return img;
}

QColor ViewHarness::pixel(const QImage& image, qreal x, qreal y) const
{
    return QColor(image.pixel(int(x), int(y)));
}

QColor ViewHarness::cellCentre(const QImage& image, int col, int row) const
{
    return pixel(image, cell().width() * (col + 0.5), cell().height() * (row + 0.5));
}

QColor ViewHarness::palette(int index)
{
    const auto& c = terminal().ansiColors[size_t(index)];
    return QColor(QColor::fromRgba64(c.red, c.green, c.blue).rgb());
}
