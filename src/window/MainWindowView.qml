// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses ("Cannot instantiate bound component outside its creation
// context").
import QtQuick
import Brinmoor.App
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

    // Views of other modules, placed by address when the build carries them.
    readonly property string gridUrl: MainWindowViewSupport.viewUrl("Window", "PaneGridView")
    readonly property string stripUrl: MainWindowViewSupport.viewUrl("Window", "AttentionStripView")
    readonly property string addSessionUrl: MainWindowViewSupport.viewUrl("Sheets", "AddSessionSheet")
    readonly property string newWorkspaceUrl: MainWindowViewSupport.viewUrl("Sheets", "NewWorkspaceSheet")
    readonly property string markdownPreviewUrl: MainWindowViewSupport.viewUrl("Chat", "MarkdownPreviewView")
    readonly property string codePreviewUrl: MainWindowViewSupport.viewUrl("Chat", "CodePreviewModal")

    // The window-level catcher: an Escape that no focused item used.
    function handleEscape(event: KeyEvent) {
        if (EscapeChain.focusKeepsEscape(main.Window.activeFocusItem)) {
            event.accepted = false;
            return;
        }
        EscapeChain.handle();
        event.accepted = true;
    }

    focus: true
    Keys.onEscapePressed: event => main.handleEscape(event)

    Component.onCompleted: {
        main.forceActiveFocus();
        LaunchTask.runNow();
    }

    // When the focused item goes away (a sheet closes, a pane closes) or stops being shown (a pane
    // hidden by the maximized view or a workspace switch), the catcher takes the keyboard again.
    FocusReturn {
        home: main
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

        Loader {
            id: strip
            objectName: "attentionStrip"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            active: main.showsPanes && main.stripUrl !== ""
            height: strip.item ? (strip.item as Item).implicitHeight : 0
            Component.onCompleted: strip.setSource(main.stripUrl, { sessions: Qt.binding(() => main.sessions) })
        }
        Item {
            id: area
            objectName: "mainArea"
            anchors.top: strip.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            visible: main.showsPanes

            // The grid; it shows the maximized pane beside the cards of the others by itself.
            Loader {
                id: grid
                objectName: "gridLoader"
                anchors.fill: parent
                active: main.showsPanes && main.gridUrl !== ""
                source: main.gridUrl
            }
            Loader {
                objectName: "plainGridLoader"
                anchors.fill: parent
                active: main.showsPanes && main.gridUrl === ""
                sourceComponent: plainGrid
            }
        }
        Loader {
            objectName: "emptyStateLoader"
            anchors.fill: parent
            active: !main.showsPanes
            sourceComponent: main.hasWorkspace ? noSessions : noWorkspaces
        }
    }

    // Until the grid's own view is in the build: panes in an even grid, the maximized one alone.
    Component {
        id: plainGrid
        MainWindowViewPlainGrid {}
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
            message: qsTr("Add a session — pick a project folder and Brinmoor opens a terminal there.")
            buttonTitle: qsTr("Add a session")
            onActivated: AppModel.activeSheet = "addSession"
        }
    }

    // Resize grips along the window's edges (over the content, under the modal layers).
    WindowChromeEdges {
        anchors.fill: parent
        chrome: chrome
    }

    // 3. The sheet over its backdrop; a tap on the backdrop closes it.
    Rectangle {
        objectName: "sheetBackdrop"
        anchors.fill: parent
        visible: AppModel.activeSheet !== ""
        color: Qt.rgba(0, 0, 0, 0.55)
        MouseArea {
            objectName: "sheetBackdropTap"
            anchors.fill: parent
            onClicked: AppModel.activeSheet = ""
        }
    }
    Loader {
        id: sheet
        objectName: "sheetLoader"
        anchors.centerIn: parent
        focus: true
        readonly property string address: AppModel.activeSheet === "addSession" ? main.addSessionUrl
                                        : AppModel.activeSheet === "newWorkspace" ? main.newWorkspaceUrl : ""
        active: AppModel.activeSheet !== ""
        // An unloaded Loader keeps its last size: hidden, its tap blocker takes nothing.
        visible: sheet.active
        source: sheet.address
        // A sheet that opens takes the keyboard, whatever held it before (the catcher may have
        // cleared this loader's focus when it took the keyboard back).
        onLoaded: sheet.forceActiveFocus()
        // Taps inside the sheet never reach the backdrop.
        MouseArea {
            anchors.fill: parent
            z: -1
        }
    }

    // 4. The markdown preview.
    Loader {
        objectName: "markdownPreviewView"
        anchors.fill: parent
        active: !!AppModel.markdownPreview && main.markdownPreviewUrl !== ""
        Component.onCompleted: setSource(main.markdownPreviewUrl, {
            fileName: Qt.binding(() => AppModel.markdownPreview ? AppModel.markdownPreview.fileName : ""),
            markdown: Qt.binding(() => AppModel.markdownPreview ? AppModel.markdownPreview.markdown : "")
        })
    }

    // 5. The code preview, topmost.
    Loader {
        objectName: "codePreviewView"
        anchors.fill: parent
        active: !!AppModel.codePreview && main.codePreviewUrl !== ""
        Component.onCompleted: setSource(main.codePreviewUrl, {
            title: Qt.binding(() => AppModel.codePreview ? AppModel.codePreview.title : ""),
            content: Qt.binding(() => AppModel.codePreview ? AppModel.codePreview.content : ""),
            isMarkdown: Qt.binding(() => AppModel.codePreview ? AppModel.codePreview.isMarkdown : false),
            isDiff: Qt.binding(() => AppModel.codePreview ? AppModel.codePreview.isDiff : false)
        })
    }
}
