// Qt Quick Test runner for the chat module's views: code cards and blocks, the markdown renderer
// and the two preview overlays, and the gallery that renders them to PNG files.
#include "ChatText.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)

namespace {

QTemporaryDir& sandbox()
{
    static QTemporaryDir dir;
    return dir;
}

} // namespace

// What the QML tests need from outside QML: the clipboard, the links that were opened, and
// where the gallery's pictures go.
class TestSupport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QStringList opened;

    Q_INVOKABLE QString clipboardText() const { return QGuiApplication::clipboard()->text(); }
    Q_INVOKABLE void setClipboardText(const QString& text) const { QGuiApplication::clipboard()->setText(text); }
    Q_INVOKABLE QStringList openedLinks() const { return opened; }
    Q_INVOKABLE QString galleryDir() const
    {
        const QString dir = QStringLiteral(BRINMOOR_GALLERY_DIR);
        QDir().mkpath(dir);
        return dir;
    }
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Basic")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        auto* support = new TestSupport(engine);
        brinmoor::ChatText::linkOpener = [support](const QUrl& url) { support->opened << url.toString(); };
        engine->rootContext()->setContextProperty(QStringLiteral("TestSupport"), support);
    }
};

int main(int argc, char** argv)
{
    if (!sandbox().isValid())
        return 2;
    const QString root = sandbox().path();
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("HOME", QFile::encodeName(root + "/home"));
    QDir().mkpath(root + "/home");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QDir().mkpath(root + "/runtime");
        QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + "/runtime"));
    }
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "chat_quick", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
