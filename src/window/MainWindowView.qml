// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses ("Cannot instantiate bound component outside its creation
// context").
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Chat
import Brinmoor.Sheets
import Brinmoor.Window

// The main window once the onboarding is done: the top bar across the top, the workspace rail
// at the left, and beside it the attention strip over the grid (or the maximized pane), or an
// empty state. Over that, from back to front: the open sheet on a black backdrop at 0.55, the
// markdown preview, the code preview. One Escape closes the topmost of them; with none open it
// leaves the maximized view. Escape goes to the focused item first (a terminal, a text field);
// this view handles it only when nothing else did.
FocusScope {
    id: main

    // Layout constants of the main area.
    readonly property real gap: 10
    readonly property real pad: 12
    readonly property real minPaneWidth: 300
    readonly property real minPaneHeight: 240
    readonly property real targetAspect: 1.33

    readonly property var sessions: AppModel.selectedSessions
    readonly property bool hasWorkspace: AppModel.selectedWorkspaceIndex >= 0 && !!AppModel.selectedWorkspace
    readonly property int sessionCount: main.sessions ? main.sessions.count : 0
    readonly property bool showsPanes: main.hasWorkspace && main.sessionCount > 0
    readonly property alias chrome: chrome
    readonly property alias topBar: topBar
    readonly property alias rail: rail

    // The window-level catcher: an Escape that no focused item used.
    function handleEscape(event: KeyEvent) {
        if (EscapeChain.focusKeepsEscape(main.Window.activeFocusItem)) {
            event.accepted = false;
            return;
        }
        EscapeChain.handle();
        event.accepted = true;
    }

    // A preview that opens takes the keyboard from whatever held it (the composer, a terminal):
    // its Escape then reaches the chain, and nothing typed meanwhile goes into a view hidden
    // under it. When it closes, FocusReturn gives the keyboard back.
    function overlayOpened(layer: Loader) {
        if (layer.active)
            layer.forceActiveFocus();
    }

    focus: true
    Keys.onEscapePressed: event => main.handleEscape(event)

    Component.onCompleted: {
        // Tool tips name folders, workspaces and panes: their text is never markup.
        ToolTip.toolTip.contentItem.textFormat = Text.PlainText;
        main.forceActiveFocus();
        LaunchTask.runNow();
    }

    // When the focused item goes away or stops being shown, the keyboard goes back to the item
    // that held it before a layer that closed (a sheet, a preview, a pop-over), or else to the
    // catcher (a pane closed, or hidden by the maximized view or a workspace switch).
    FocusReturn {
        home: main
        layers: [sheet, markdownLayer, codeLayer]
    }

    WindowChrome {
        id: chrome
    }
    Shortcut {
        objectName: "fullScreenCommand"
        sequence: "F11"
        onActivated: chrome.toggleFullScreen()
    }

    // 1. The window background.
    Rectangle {
        anchors.fill: parent
        color: Theme.pair("0e0f13", "e7e9ee", 1)
    }

    // 2. The main column.
    TopBar {
        id: topBar
        objectName: "topBar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        chrome: chrome
    }
    WorkspaceRail {
        id: rail
        objectName: "workspaceRail"
        anchors.top: topBar.bottom
        anchors.left: parent.left
        anchors.bottom: parent.bottom
    }
    Item {
        id: content
        objectName: "mainColumn"
        anchors.top: topBar.bottom
        anchors.left: rail.right
        anchors.right: parent.right
        anchors.bottom: parent.bottom

        AttentionStripView {
            id: strip
            objectName: "attentionStrip"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            visible: main.showsPanes
            height: main.showsPanes ? strip.implicitHeight : 0
            sessions: main.sessions
        }
        Item {
            id: area
            objectName: "mainArea"
            anchors.top: strip.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: noticeArea.top
            visible: main.showsPanes

            // The selected workspace's grid, and those of the workspaces shown just before it,
            // kept out of sight for going back; a grid shows the maximized pane beside the cards
            // of the others by itself.
            WorkspaceGrids {
                id: grids
                anchors.fill: parent
            }
        }
        Loader {
            objectName: "emptyStateLoader"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: noticeArea.top
            active: !main.showsPanes
            sourceComponent: main.hasWorkspace ? noSessions : noWorkspaces
        }
        // Notices about the app itself (what start-up could not read) stand in a band of their own
        // under the panes, which make room for it: a notice never covers a pane's controls.
        Rectangle {
            id: noticeArea
            objectName: "noticeArea"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: startupNotice.visible ? startupNotice.height + 12 : 0
            color: Theme.canvas
            StartupNotice {
                id: startupNotice
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 12
            }
        }
    }

    Component {
        id: addSessionSheet
        AddSessionSheet {}
    }
    Component {
        id: newWorkspaceSheet
        NewWorkspaceSheet {}
    }
    Component {
        id: noWorkspaces
        MainWindowViewEmptyState {
            objectName: "noWorkspaces"
            symbol: "square.stack.3d.up"
            title: qsTr("No workspaces yet")
            message: qsTr("Create a workspace to start adding Claude Code sessions.")
            buttonTitle: qsTr("New Workspace")
            onActivated: AppModel.activeSheet = "newWorkspace"
        }
    }
    Component {
        id: noSessions
        MainWindowViewEmptyState {
            objectName: "noSessions"
            symbol: "rectangle.grid.2x2"
            title: qsTr("No sessions yet")
            message: qsTr("Add a session — pick a project folder and Brinmoor opens a chat or a terminal there.")
            buttonTitle: qsTr("Add a session")
            onActivated: AppModel.activeSheet = "addSession"
        }
    }

    // Resize grips along the window's edges (over the content, under the modal layers).
    WindowChromeEdges {
        anchors.fill: parent
        chrome: chrome
    }

    // 3. The sheet over its backdrop; a left click on the backdrop closes it. The backdrop takes
    // every button, the wheel and the hover: under it lie the panes, where a middle click pastes
    // into a shell and takes the keyboard from the sheet, a right click opens a menu, and the wheel
    // scrolls a pane the user cannot see for the dimming.
    Rectangle {
        objectName: "sheetBackdrop"
        anchors.fill: parent
        visible: AppModel.activeSheet !== ""
        color: Qt.rgba(0, 0, 0, 0.55)
        MouseArea {
            objectName: "sheetBackdropTap"
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            onClicked: mouse => {
                if (mouse.button === Qt.LeftButton)
                    AppModel.activeSheet = "";
            }
            onWheel: wheel => wheel.accepted = true
        }
    }
    Loader {
        id: sheet
        objectName: "sheetLoader"
        anchors.centerIn: parent
        focus: true
        active: AppModel.activeSheet === "addSession" || AppModel.activeSheet === "newWorkspace"
        // An unloaded Loader keeps its last size: hidden, its tap blocker takes nothing.
        visible: sheet.active
        sourceComponent: AppModel.activeSheet === "addSession" ? addSessionSheet : newWorkspaceSheet
        // A sheet that opens takes the keyboard, whatever held it before (the catcher may have
        // cleared this loader's focus when it took the keyboard back).
        onLoaded: sheet.forceActiveFocus()
        // A sheet keeps Tab among its own controls (SheetTabFence); one that reaches the layer
        // itself stops here, for past the sheet lie the panes, which take Tab.
        Keys.onTabPressed: event => event.accepted = true
        Keys.onBacktabPressed: event => event.accepted = true
        // Presses and the wheel inside the sheet that its controls leave never reach the backdrop
        // (whose left click closes the sheet).
        MouseArea {
            anchors.fill: parent
            z: -1
            acceptedButtons: Qt.AllButtons
            onWheel: wheel => wheel.accepted = true
        }
    }

    // 4. The markdown preview.
    Loader {
        id: markdownLayer
        objectName: "markdownPreviewView"
        anchors.fill: parent
        onActiveChanged: main.overlayOpened(markdownLayer)
        active: !!AppModel.markdownPreview
        sourceComponent: MarkdownPreviewView {
            fileName: AppModel.markdownPreview ? AppModel.markdownPreview.fileName : ""
            markdown: AppModel.markdownPreview ? AppModel.markdownPreview.markdown : ""
        }
    }

    // 5. The code preview, topmost.
    Loader {
        id: codeLayer
        objectName: "codePreviewView"
        anchors.fill: parent
        onActiveChanged: main.overlayOpened(codeLayer)
        active: !!AppModel.codePreview
        sourceComponent: CodePreviewModal {
            title: AppModel.codePreview ? AppModel.codePreview.title : ""
            content: AppModel.codePreview ? AppModel.codePreview.content : ""
            isMarkdown: AppModel.codePreview ? AppModel.codePreview.isMarkdown : false
            isDiff: AppModel.codePreview ? AppModel.codePreview.isDiff : false
            note: AppModel.codePreview ? AppModel.codePreview.note : ""
        }
    }
}
