import QtQuick
import QtQuick.Window
import Brinmoor.App

// The application's one window: frameless (the app draws its own bar), 1240 × 780 at first,
// never smaller than 980 × 640. Its commands work in every state, onboarding included: they
// only choose the sheet that the main window shows.
Window {
    id: window

    width: 1240
    height: 780
    minimumWidth: 980
    minimumHeight: 640
    visible: true
    title: "Brinmoor"
    flags: Qt.Window | Qt.FramelessWindowHint
    color: Theme.pair("0e0f13", "e7e9ee", 1)

    RootView {
        anchors.fill: parent
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
