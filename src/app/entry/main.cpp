#include "AgentChatHost.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Brinmoor_AppPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_AgentPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_SheetsPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_ChatPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_TerminalPlugin)
Q_IMPORT_QML_PLUGIN(Brinmoor_WindowPlugin)
Q_IMPORT_QML_PLUGIN(BrinmoorPlugin)

// The program's entry: no arguments are read. The one window (Main.qml) holds RootView, which
// picks the onboarding or the main window; closing the window ends the process (Qt quits when
// its last window closes).
int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Brinmoor"));
    QGuiApplication::setOrganizationName(QStringLiteral("Brinmoor"));
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // The real chat host takes the core's place before AppModel (made with the first window)
    // installs its callbacks.
    brinmoor::AgentChatHost::shared();

    QQmlApplicationEngine engine;
    // Modules compiled into the executable keep their qmldir under qrc:/<URI path>.
    engine.addImportPath(QStringLiteral("qrc:/"));
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    return app.exec();
}
