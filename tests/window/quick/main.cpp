// Qt Quick Test runner for the window's QML: shared components, the pane frame, its menu, the
// pane content and the gallery that renders them to PNG files.
#include "AppModel.h"
#include "support/FakeChatAgents.h"
#include "support/QuickTestMain.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)

// Small helpers the QML tests need from outside QML.
class TestSupport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The home folder of this run, with one folder in it to pick.
    Q_INVOKABLE QString homePath() const
    {
        QDir().mkpath(brinmoor::test::quickSandbox().path() + QStringLiteral("/home/picked"));
        return brinmoor::test::quickSandbox().path() + QStringLiteral("/home");
    }
    // A folder of this run named `name`, emptied, holding the folders `paths` (relative, "a/b"
    // allowed) and the plain files `files`.
    Q_INVOKABLE QString folderTree(const QString& name, const QStringList& paths, const QStringList& files = {}) const
    {
        const QString root = brinmoor::test::quickSandbox().path() + QStringLiteral("/trees/") + name;
        QDir(root).removeRecursively();
        QDir().mkpath(root);
        for (const QString& p : paths)
            QDir().mkpath(root + "/" + p);
        for (const QString& f : files) {
            QFile file(root + "/" + f);
            file.open(QIODevice::WriteOnly);
        }
        return root;
    }
    Q_INVOKABLE bool isFolder(const QString& path) const { return QFileInfo(path).isDir(); }
    Q_INVOKABLE void setClipboardText(const QString& text) const { QGuiApplication::clipboard()->setText(text); }
    Q_INVOKABLE void removeFolder(const QString& path) const { QDir(path).removeRecursively(); }
    // The shown items named `name` below `at`, in the order of the visual tree (a hidden item's
    // children are not looked at).
    Q_INVOKABLE QVariantList itemsNamed(QQuickItem* at, const QString& name) const
    {
        QVariantList out;
        const std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
            for (QQuickItem* child : item->childItems()) {
                if (!child->isVisible())
                    continue;
                if (child->objectName() == name)
                    out << QVariant::fromValue<QObject*>(child);
                walk(child);
            }
        };
        if (at)
            walk(at);
        return out;
    }
    // The whole window (pop-ups included) as a PNG file; returns its path.
    Q_INVOKABLE QString grabWindow(QQuickItem* item, const QString& name) const
    {
        const QString path = galleryDir() + "/" + name + ".png";
        if (item && item->window())
            item->window()->grabWindow().save(path);
        return path;
    }
    // The saved state file of this run.
    Q_INVOKABLE QString stateFilePath() const
    {
        return brinmoor::test::quickSandbox().path() + QStringLiteral("/data/Brinmoor/state.json");
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
    // Chat panes started from now on run the scripted fake sidecar (tests/agent/fakes/fake-sidecar.mjs)
    // on Node instead of looking for the agents' tools: `script` maps a command name to its
    // answers, as that file describes; without one it answers nothing (a live pane with its
    // composer and controls, and no agent behind it). False when Node is not installed.
    Q_INVOKABLE bool useFakeSidecar(const QVariantMap& script = {}) const
    {
        if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
            return false;
        const QString path = brinmoor::test::quickSandbox().filePath(QStringLiteral("fake-sidecar-script.json"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QJsonDocument(QJsonObject::fromVariantMap(script)).toJson());
        f.close();
        qputenv("FAKE_SIDECAR_SCRIPT", QFile::encodeName(path));
        return brinmoor::test::runChatPanesOnFakeSidecar();
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
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return brinmoor::test::quickTestMain(argc, argv, "window_quick", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
