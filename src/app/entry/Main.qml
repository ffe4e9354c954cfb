import QtQuick
import QtQuick.Window
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The application's one window: frameless (the app draws its own bar), 1240 × 780 at first,
// never smaller than 980 × 640, both within the screen's available area, where it opens centred
// (WindowPlacement). Its commands work in every state, onboarding included: they only choose the
// sheet that the main window shows. Closing it quits, unless changes could not be saved and one
// more try fails as well: then it asks first (QuitPrompt).
Window {
    id: window

    readonly property rect placement: WindowPlacement.initialGeometry()
    readonly property size smallest: WindowPlacement.smallestSize()

    x: window.placement.x
    y: window.placement.y
    width: window.placement.width
    height: window.placement.height
    minimumWidth: window.smallest.width
    minimumHeight: window.smallest.height
    visible: true
    title: "Brinmoor"
    flags: Qt.Window | Qt.FramelessWindowHint
    color: Theme.pair("0e0f13", "e7e9ee", 1)

    // Set once the user chose to quit in spite of unsaved changes.
    property bool quitAnyway: false

    onClosing: close => {
        if (window.quitAnyway || AppModel.saveBeforeQuit())
            return;
        close.accepted = false;
        quitPrompt.ask();
    }

    RootView {
        anchors.fill: parent
    }

    QuitPrompt {
        id: quitPrompt
        onQuitConfirmed: {
            window.quitAnyway = true;
            window.close();
        }
        // "Install Update" asked for this quit: staying means not updating either.
        onQuitDeclined: UpdateChecker.cancelInstall()
    }

    Shortcut {
        objectName: "addSessionCommand"
        sequence: "Ctrl+Shift+T"
        context: Qt.ApplicationShortcut
        onActivated: AppModel.activeSheet = "addSession"
    }
    Shortcut {
        objectName: "newWorkspaceCommand"
        sequence: "Ctrl+Shift+N"
        context: Qt.ApplicationShortcut
        onActivated: AppModel.activeSheet = "newWorkspace"
    }
}
