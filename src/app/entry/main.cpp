#include "AgentChatHost.h"
#include "AppQmlModules.h"
#include "ChatAttachments.h"
#include "ChildProcess.h"
#include "FieldPaste.h"
#include "InstanceLock.h"
#include "MemoryRelease.h"
#include "RenderThreads.h"
#include "SceneGraphBackend.h"
#include "StallWatch.h"
#include "Store.h"
#include "UpdateHandshake.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QThreadPool>
#include <QWindow>
#include <QUrl>

#include <cstdio>

// The program's entry: the arguments read are "--version", the update's question to a new
// build (UpdateHandshake), answered before anything else, and "--update-not-installed <version>
// <reason>", with which the swap restarts the app after an update it took back (UpdateChecker). The one window (Main.qml) holds
// RootView, which picks the onboarding or the main window; closing the window ends the process
// (Qt quits when its last window closes). Only one instance runs per data folder: a second start
// brings the running window to the front and ends before anything is loaded.
int main(int argc, char* argv[])
{
    if (brinmoor::UpdateHandshake::answerVersion(argc, argv))
        return 0;
    const QString startMarker = brinmoor::UpdateHandshake::takeStartMarker();
    // Before the first large block: pictures and pastes freed after their message went are
    // handed back to the system.
    brinmoor::MemoryRelease::keepLargeBlocksMapped();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Brinmoor"));
    QGuiApplication::setOrganizationName(QStringLiteral("Brinmoor"));
    QGuiApplication::setQuitOnLastWindowClosed(true);
    brinmoor::releaseTerminalInput();
    // Qt's text fields would ask another program's clipboard what it holds, on the GUI thread,
    // whenever that program takes it.
    brinmoor::ChatAttachments::quietClipboardSignals();

    brinmoor::InstanceLock instance(brinmoor::Store::forThisBuild().folderPath());
    switch (instance.acquire()) {
    case brinmoor::InstanceLock::Outcome::Acquired:
        break;
    case brinmoor::InstanceLock::Outcome::AnotherRuns:
        // A new build on trial that meets a copy the user started meanwhile: the swap hears why.
        brinmoor::UpdateHandshake::reportAnotherCopy();
        return 0;
    case brinmoor::InstanceLock::Outcome::NoAnswer:
        // Not a success: no window came forward and none opens here.
        brinmoor::UpdateHandshake::reportAnotherCopy();
        std::fprintf(stderr, "brinmoor: another copy holds the data folder (%s) and neither answered nor quit; "
                             "nothing was opened\n", qPrintable(instance.lockPath()));
        return 1;
    case brinmoor::InstanceLock::Outcome::Failed:
        // Without a lock the app still runs; it just cannot keep a second start away.
        std::fprintf(stderr, "brinmoor: could not lock the data folder; running without the single-instance guard\n");
        break;
    }

    // Before any window paints: the renderer's threads are made now, while the system grants
    // them, and kept for the life of the process.
    const int renderThreads = brinmoor::keepRenderThreadsReady();
    if (renderThreads < QThreadPool::globalInstance()->maxThreadCount())
        std::fprintf(stderr, "brinmoor: only %d of %d drawing threads could be made\n", renderThreads,
                     QThreadPool::globalInstance()->maxThreadCount());

    QQuickStyle::setStyle(QStringLiteral("Basic"));
    brinmoor::chooseSceneGraphBackend();

    // The real chat host takes the core's place before AppModel (made with the first window)
    // installs its callbacks.
    brinmoor::AgentChatHost::shared();

    // Only when BRINMOOR_STALL_LOG names a file; made before the window, so loading it counts.
    brinmoor::StallWatch::fromEnvironment(&app);

    // Pastes into Qt's own text fields from another program are read off the GUI thread.
    brinmoor::FieldPaste fieldPaste;
    app.installEventFilter(&fieldPaste);

    QQmlApplicationEngine engine;
    // Modules compiled into the executable keep their qmldir under qrc:/<URI path>.
    engine.addImportPath(QStringLiteral("qrc:/"));
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Brinmoor/Main.qml")));
    brinmoor::UpdateHandshake::confirmStartWhenShown(engine.rootObjects(), startMarker);
    // The user closed the window: the one clean end of a new build on trial.
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, [&instance] {
        brinmoor::UpdateHandshake::confirmUserQuit();
        // Quitting: a start from now on waits for this copy to let go instead of asking it to
        // raise a window that is gone.
        instance.stopAnswering();
    });
    QObject::connect(&instance, &brinmoor::InstanceLock::activationRequested, &engine, [&engine] {
        for (QObject* root : engine.rootObjects())
            brinmoor::InstanceLock::bringForward(qobject_cast<QWindow*>(root));
    });
    return app.exec();
}
