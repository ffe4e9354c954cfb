// A real full-screen program with the mouse on: vim with `set mouse=a` moves its cursor where
// the view is clicked and selects what is dragged over, from synthetic pointer events.
#include "LocalProcessTerminalView.h"
#include "support/TestApp.h"

#include <QMouseEvent>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString rowText(TerminalView& v, int row)
{
    return QString::fromStdString(v.getTerminal().getLine(row)->translateToString(true, 0, -1)).replace(QChar(0), ' ');
}

void mouse(TerminalView* v, QEvent::Type type, QPointF p)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent ev(type, p, p, p, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &ev);
}

} // namespace

TEST(VimMouse, clicks_and_drags_reach_vim)
{
    const QString vim = QStandardPaths::findExecutable("vim");
    if (vim.isEmpty())
        GTEST_SKIP() << "vim is not installed";
    ensureGuiApp();
    QTemporaryDir home;
    QFile file(home.filePath("notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first line\nsecond line here\nthird\n");
    file.close();

    QQuickWindow window;
    window.resize(7 * 40 + 15, 14 * 10);
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(12);
    auto* view = new LocalProcessTerminalView(window.contentItem(), font);
    view->setSize(QSizeF(7 * 40 + 15, 14 * 10));
    window.show();
    view->startProcess(vim, {"-u", "NONE", "-i", "NONE", "-N", "-c", "set mouse=a ttymouse=sgr noswapfile", file.fileName()},
                       QStringList{"TERM=xterm-256color", "HOME=" + home.path(), "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(waitUntil([&] { return rowText(*view, 1).startsWith("second line here"); }, 10000));
    spin(300);
    auto& t = view->getTerminal();
    ASSERT_NE(t.mouseMode(), termcore::MouseMode::off) << "vim did not turn the mouse on";

    // A click on "here" (row 1, column 12) moves vim's cursor there.
    const QPointF here(7 * 12.5, 14 * 1.5);
    mouse(view, QEvent::MouseButtonPress, here);
    mouse(view, QEvent::MouseButtonRelease, here);
    ASSERT_TRUE(waitUntil([&] {
        const auto c = t.getCursorLocation();
        return c.x == 12 && c.y == 1;
    }, 5000)) << "cursor at " << t.getCursorLocation().x << "," << t.getCursorLocation().y;

    // A drag from "first" to "line" on row 0 starts visual mode.
    spin(600);
    mouse(view, QEvent::MouseButtonPress, QPointF(7 * 0.5, 7));
    for (int col = 1; col <= 8; ++col)
        mouse(view, QEvent::MouseMove, QPointF(7 * (col + 0.5), 7));
    mouse(view, QEvent::MouseButtonRelease, QPointF(7 * 8.5, 7));
    ASSERT_TRUE(waitUntil([&] { return rowText(*view, t.rows() - 1).contains("VISUAL"); }, 5000))
        << rowText(*view, t.rows() - 1).toStdString();

    bool exited = false;
    QObject::connect(view, &LocalProcessTerminalView::processExited, [&](int) { exited = true; });
    view->send(QString("\x1b:q!\r"));
    EXPECT_TRUE(waitUntil([&] { return exited; }, 5000));
}
