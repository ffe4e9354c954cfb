// Qt Quick Test runner for the window's QML: shared components, the pane frame, its menu, the
// pane content and the gallery that renders them to PNG files.
#include "AppModel.h"
#include "support/QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)

namespace {

// Every test run gets its own data, config and home folders: nothing touches the user's.
QTemporaryDir& sandbox()
{
    static QTemporaryDir dir;
    return dir;
}

} // namespace

// Small helpers the QML tests need from outside QML.
class TestSupport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The home folder of this run, with one folder in it to pick.
    Q_INVOKABLE QString homePath() const
    {
        QDir().mkpath(sandbox().path() + QStringLiteral("/home/picked"));
        return sandbox().path() + QStringLiteral("/home");
    }
    // The saved state file of this run.
    Q_INVOKABLE QString stateFilePath() const
    {
        return sandbox().path() + QStringLiteral("/data/Brinmoor/state.json");
    }
    Q_INVOKABLE QString readFile(const QString& path) const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll());
    }
    // Where the gallery writes its pictures: a folder in the build tree.
    Q_INVOKABLE QString galleryDir() const
    {
        const QString dir = QStringLiteral(BRINMOOR_GALLERY_DIR);
        QDir().mkpath(dir);
        return dir;
    }
    // The colour of one pixel of a grabbed image file, as #rrggbb.
    Q_INVOKABLE QString pixel(const QString& path, int x, int y) const
    {
        const QImage img(path);
        if (img.isNull() || !img.rect().contains(x, y))
            return {};
        return img.pixelColor(x, y).name();
    }
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        // Modules compiled into the executable keep their qmldir under qrc:/<URI path>.
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("TestSupport"), new TestSupport(engine));
    }
};

int main(int argc, char** argv)
{
    if (!sandbox().isValid())
        return 2;
    const QString root = sandbox().path();
    brinmoor::test::useSandboxHome(root);
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "window_quick", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
