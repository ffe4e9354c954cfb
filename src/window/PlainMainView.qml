pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Sheets
import Brinmoor.Window

// The plain main view that RootView falls back to while the full main window cannot be loaded:
// a top bar with the theme toggle and the add button, the selected workspace's panes in an even
// grid (or the maximized one alone), the empty states, and the sheet layer over a dimmed backdrop.
Item {
    id: main
    objectName: "plainMainView"

    readonly property var workspace: AppModel.selectedWorkspace
    readonly property var sessions: AppModel.selectedSessions
    readonly property int count: main.sessions ? main.sessions.count : 0
    readonly property int columns: Math.max(1, Math.ceil(Math.sqrt(main.count)))
    readonly property int rows: Math.max(1, Math.ceil(main.count / main.columns))

    Rectangle {
        anchors.fill: parent
        color: Theme.pair("0e0f13", "e7e9ee", 1)
    }

    // The top bar; dragging it moves the frameless window, a double click zooms it.
    Rectangle {
        id: bar
        objectName: "topBar"
        anchors.left: parent.left
        anchors.right: parent.right
        height: 38
        color: Theme.pair("16181f", "dfe1e6", 1)

        DoubleClickCatcher {
            anchors.fill: parent
            onPressed: main.Window.window.startSystemMove()
            onDoubleClicked: {
                const w = main.Window.window;
                if (w.visibility === Window.Maximized)
                    w.showNormal();
                else
                    w.showMaximized();
            }
        }
        Row {
            anchors.left: parent.left
            anchors.leftMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                visible: !!main.workspace
                width: 9
                height: 9
                radius: 3
                color: main.workspace ? Theme.hex(main.workspace.colorHex, 1) : "transparent"
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: main.workspace ? main.workspace.name : qsTr("No workspace")
                textFormat: Text.PlainText
                color: main.workspace ? Theme.pair("eef0f3", "262a31", 1) : Theme.pair("787f89", "737982", 1)
                font.pointSize: Theme.fontSize(13)
                font.weight: Font.DemiBold
            }
        }
        Text {
            anchors.centerIn: parent
            text: "Brinmoor"
            color: Theme.pair("787f89", "737982", 1)
            font.pointSize: Theme.fontSize(12.5)
            font.weight: Font.DemiBold
        }
        Row {
            anchors.right: parent.right
            anchors.rightMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            Item {
                objectName: "themeToggle"
                width: 24
                height: 24
                SymbolIcon {
                    anchors.centerIn: parent
                    name: AppModel.themePreference === "dark" ? "sun.max" : "moon"
                    size: 13
                    color: Theme.pair("787f89", "737982", 1)
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: AppModel.themePreference = AppModel.themePreference === "dark" ? "light" : "dark"
                }
            }
            Item {
                objectName: "addButton"
                width: 26
                height: 24
                Rectangle {
                    anchors.fill: parent
                    radius: 7
                    color: Theme.hex("5b8cdd", 0.12)
                }
                SymbolIcon {
                    anchors.centerIn: parent
                    name: "plus"
                    size: 13
                    color: Theme.accent
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: AppModel.activeSheet = main.workspace ? "addSession" : "newWorkspace"
                }
            }
        }
        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 1
            color: Theme.pair("1c1e25", "dfe1e6", 1)
        }
    }

    // The panes: an even grid; the maximized pane alone fills the area. Delegates follow the
    // session list row by row, so a pane's content lives as long as its session does.
    Item {
        id: area
        objectName: "paneArea"
        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 12
        visible: main.count > 0

        readonly property real gap: 10
        readonly property real cellWidth: (area.width - (main.columns - 1) * area.gap) / main.columns
        readonly property real cellHeight: (area.height - (main.rows - 1) * area.gap) / main.rows

        Repeater {
            model: main.sessions
            delegate: PaneView {
                id: cell
                required property int index
                readonly property bool maximized: AppModel.maximizedSessionID !== "" && AppModel.maximizedSessionID === cell.session.id
                readonly property bool hidden: AppModel.maximizedSessionID !== "" && !cell.maximized
                                               && main.sessions.indexOf(AppModel.maximizedSessionID) >= 0
                visible: !cell.hidden
                x: cell.maximized ? 0 : (cell.index % main.columns) * (area.cellWidth + area.gap)
                y: cell.maximized ? 0 : Math.floor(cell.index / main.columns) * (area.cellHeight + area.gap)
                width: cell.maximized ? area.width : area.cellWidth
                height: cell.maximized ? area.height : area.cellHeight
            }
        }
    }

    // The empty states.
    Rectangle {
        objectName: "emptyState"
        anchors.top: bar.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: main.count === 0
        color: Theme.canvas
        Column {
            anchors.centerIn: parent
            spacing: 12
            SymbolIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                name: main.workspace ? "rectangle.grid.2x2" : "square.stack.3d.up"
                size: 30
                color: Theme.textFaint
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: main.workspace ? qsTr("No sessions yet") : qsTr("No workspaces yet")
                color: Theme.textDim
                font.pointSize: Theme.fontSize(14)
                font.weight: Font.DemiBold
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                width: Math.min(implicitWidth, 320)
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: main.workspace ? qsTr("Add a session — pick a project folder and Brinmoor opens a terminal there.")
                                     : qsTr("Create a workspace to start adding Claude Code sessions.")
                color: Theme.textFaint
                font.pointSize: Theme.fontSize(12)
            }
            Item { width: 1; height: 4 }
            PrimaryButton {
                anchors.horizontalCenter: parent.horizontalCenter
                title: main.workspace ? qsTr("Add a session") : qsTr("New Workspace")
                onClicked: AppModel.activeSheet = main.workspace ? "addSession" : "newWorkspace"
            }
        }
    }

    // The sheet layer: a dimmed backdrop (a tap on it closes the sheet) and the sheet.
    Rectangle {
        objectName: "sheetBackdrop"
        anchors.fill: parent
        visible: AppModel.activeSheet !== ""
        color: Qt.rgba(0, 0, 0, 0.55)
        MouseArea {
            anchors.fill: parent
            onClicked: AppModel.activeSheet = ""
        }
    }
    // A Repeater of 0 or 1: the sheet exists while it is open (Qt 6.4's Loader cannot create
    // the inline components of a file that binds its components).
    Repeater {
        model: AppModel.activeSheet === "addSession" ? 1 : 0
        delegate: AddSessionSheet {
            anchors.centerIn: parent
            focus: true
        }
    }
    Repeater {
        model: AppModel.activeSheet === "newWorkspace" ? 1 : 0
        delegate: NewWorkspaceSheet {
            anchors.centerIn: parent
            focus: true
        }
    }
}
