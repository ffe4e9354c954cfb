// A live shell in a terminal view: `ls --color` and a 256-colour chart, rendered and read back.
// Under xvfb-run with QT_QPA_PLATFORM=xcb and TERMVIEW_DEMO_SHOT=<file.png> it saves what a user
// would see; under ctest it runs offscreen and checks the same things.
#include "LocalProcessTerminalView.h"
#include "support/TestApp.h"

#include <QDir>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString screenText(TerminalView& v)
{
    auto& t = v.getTerminal();
    QString out;
    for (int r = 0; r < t.rows(); ++r) {
        if (auto* line = t.getLine(r))
            out += QString::fromStdString(line->translateToString(true, 0, -1)).replace(QChar(0), ' ') + '\n';
    }
    return out;
}

} // namespace

TEST(LiveShellDemo, ls_color_and_a_256_colour_chart_in_a_live_shell)
{
    ensureGuiApp();
    QTemporaryDir home;
    QDir(home.path()).mkpath("project/src");
    QDir(home.path()).mkpath("project/docs");
    for (const char* f : {"project/README.md", "project/build.sh", "project/notes.txt"}) {
        QFile file(home.filePath(f));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x\n");
    }
    QFile::setPermissions(home.filePath("project/build.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::link("/usr/share", home.filePath("project/share"));

    QQuickWindow window;
    window.resize(900, 560);
    window.setColor(Qt::black);
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(13);
    auto* view = new LocalProcessTerminalView(window.contentItem(), font);
    view->setSize(QSizeF(900, 560));
    view->setNativeForegroundColor(QColor(0xd0, 0xd3, 0xd8));
    view->setNativeBackgroundColor(QColor(0x1b, 0x1e, 0x24));
    window.show();
    view->forceActiveFocus();
    ASSERT_TRUE(waitUntil([&] { return window.isExposed(); }));

    int exitCode = -1;
    QObject::connect(view, &LocalProcessTerminalView::processExited, [&](int code) { exitCode = code; });
    const QStringList env{"TERM=xterm-256color", "COLORTERM=truecolor", "LANG=C.UTF-8", "PATH=/usr/bin:/bin",
                          "HOME=" + home.path(), "PS1=\\[\\e[1;32m\\]demo\\[\\e[0m\\]:\\[\\e[1;34m\\]\\w\\[\\e[0m\\]$ "};
    view->startProcess("/bin/bash", {"--norc", "--noprofile", "-i"}, env, QString("-bash"), home.filePath("project"));
    ASSERT_TRUE(view->running());
    ASSERT_TRUE(waitUntil([&] { return screenText(*view).contains("demo:"); })) << screenText(*view).toStdString();

    view->send(QString("ls --color -F\r"));
    view->send(QString("for i in $(seq 0 255); do printf '\\e[48;5;%dm%4d \\e[0m' $i $i; "
                       "[ $(( (i + 1) % 16 )) -eq 0 ] && echo; done\r"));
    view->send(QString("printf '\\e[1mbold\\e[0m \\e[3mitalic\\e[0m \\e[4munderline\\e[0m "
                       "\\e[38;2;255;140;0mtrue colour\\e[0m \\e[7minverse\\e[0m\\n'\r"));
    // The last command's output, not its echo (which the terminal shows as soon as it is typed
    // ahead): when it stands on the screen, the listing and the chart before it are there too.
    ASSERT_TRUE(waitUntil([&] { return screenText(*view).contains("bold italic underline true colour inverse"); }, 15000))
        << screenText(*view).toStdString();
    ASSERT_TRUE(waitUntil([&] { return !view->pendingDisplay(); }));

    const QString text = screenText(*view);
    EXPECT_TRUE(text.contains("README.md")) << text.toStdString();
    EXPECT_TRUE(text.contains("build.sh*"));
    EXPECT_TRUE(text.contains("docs/"));
    EXPECT_TRUE(text.contains("share@"));

    const QImage shot = window.grabWindow();
    ASSERT_FALSE(shot.isNull());
    if (const QByteArray path = qgetenv("TERMVIEW_DEMO_SHOT"); !path.isEmpty())
        shot.save(QString::fromLocal8Bit(path));
    // Colour 196 of the chart (pure red in the cube) and the directory blue are on screen.
    const QImage rgb = shot.convertToFormat(QImage::Format_RGB32);
    auto present = [&](QRgb c) {
        for (int y = 0; y < rgb.height(); y += 2) {
            const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < rgb.width(); ++x) {
                if ((line[x] & 0xffffff) == (c & 0xffffff))
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(present(qRgb(255, 0, 0))) << "chart colour 196";
    EXPECT_TRUE(present(qRgb(0, 215, 255))) << "chart colour 45";

    view->send(QString("exit\r"));
    ASSERT_TRUE(waitUntil([&] { return exitCode >= 0; }));
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(view->running());
}
