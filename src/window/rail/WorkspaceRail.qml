pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// The workspace rail at the left of the main window: a header with the collapse button, one row
// per workspace (expanded: colour, name, pane count, attention; collapsed: a monogram tile), and
// the "New Workspace" button. It holds no workspace data: every change is an AppModel call.
Rectangle {
    id: rail

    // The workspace whose rename dialog is open ("" none), its name then, and the dialog's text:
    // the name with its hidden characters written as marks ("<U+202E>"), which cannot reorder it.
    property string renamingID: ""
    property string renamingFrom: ""
    property string draftName: ""
    // The expanded row under the pointer ("" none).
    property string hoveredID: ""
    readonly property bool collapsed: AppModel.sidebarCollapsed
    readonly property alias menu: menu
    readonly property alias renameDialog: renameDialog
    readonly property alias nameField: nameField

    function openRename(workspaceID: string, name: string) {
        rail.renamingFrom = name;
        nameEdit.original = name;
        rail.draftName = nameEdit.shown;
        rail.renamingID = workspaceID;
        renameDialog.open();
    }
    function commitRename() {
        // A name that is blank after trimming is ignored by the model.
        // The marks stand for the characters they were opened with; everything else as typed.
        if (rail.renamingID !== "") {
            nameEdit.edit(rail.draftName, rail.draftName.length);
            AppModel.renameWorkspace(rail.renamingID, nameEdit.value);
        }
        rail.renamingID = "";
    }
    // A row's leave clears the hover only if no later row has taken it since.
    function rowExited(workspaceID: string) {
        if (rail.hoveredID === workspaceID)
            rail.hoveredID = "";
    }

    width: rail.collapsed ? 56 : 218
    color: Theme.pair("0c0d11", "ebedf1", 1)
    clip: true

    Behavior on width {
        NumberAnimation {
            duration: 180
            easing.type: Easing.InOutQuad
        }
    }

    // Header.
    Item {
        id: header
        objectName: "railHeader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.topMargin: 12
        anchors.leftMargin: rail.collapsed ? 0 : 14
        anchors.rightMargin: rail.collapsed ? 0 : 14
        height: 20
        Text {
            objectName: "railTitle"
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            visible: !rail.collapsed
            text: qsTr("Workspaces").toUpperCase()
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(10.5)
            font.weight: Font.DemiBold
            font.letterSpacing: 0.6
        }
        IconButton {
            objectName: "collapseButton"
            anchors.verticalCenter: parent.verticalCenter
            anchors.right: rail.collapsed ? undefined : parent.right
            anchors.horizontalCenter: rail.collapsed ? parent.horizontalCenter : undefined
            systemName: rail.collapsed ? "sidebar.right" : "sidebar.left"
            size: 12
            onClicked: AppModel.sidebarCollapsed = !AppModel.sidebarCollapsed
        }
    }

    Flickable {
        id: list
        objectName: "railList"
        anchors.top: header.bottom
        anchors.topMargin: 4
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: newButton.top
        // The margins lie inside the clipped area, so a tile's attention dot that reaches past
        // the tile's corner is not cut off.
        topMargin: 6
        readonly property real sideMargin: rail.collapsed ? 8 : 10
        contentHeight: rows.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: rows
            x: list.sideMargin
            width: list.width - 2 * list.sideMargin
            spacing: 3
            Repeater {
                model: AppModel.workspaces
                delegate: Item {
                    id: entry
                    required property int index
                    required property string name
                    required property string colorHex
                    required property int sessionCount
                    required property var sessions
                    required property var workspace
                    readonly property string workspaceID: entry.workspace ? entry.workspace.id : ""
                    readonly property bool selected: entry.workspaceID !== "" && entry.workspaceID === AppModel.selectedWorkspaceID
                    objectName: "workspaceRow" + entry.index
                    width: rows.width
                    height: rail.collapsed ? collapsedRow.height : expandedRow.height

                    WorkspaceRowAttention {
                        id: attention
                        sessions: entry.sessions
                    }
                    WorkspaceRowExpanded {
                        id: expandedRow
                        objectName: "expandedRow"
                        width: parent.width
                        visible: !rail.collapsed
                        workspaceID: entry.workspaceID
                        name: entry.name
                        colorHex: entry.colorHex
                        sessionCount: entry.sessionCount
                        attentionHex: attention.colorHex
                        selected: entry.selected
                        hovered: !rail.collapsed && rail.hoveredID !== "" && rail.hoveredID === entry.workspaceID
                        onClicked: AppModel.selectWorkspace(entry.workspaceID)
                        onEntered: rail.hoveredID = entry.workspaceID
                        onExited: rail.rowExited(entry.workspaceID)
                        onContextMenuRequested: (anchor, x, y) => menu.openFor(anchor, x, y, entry.workspaceID, entry.name, entry.colorHex)
                    }
                    WorkspaceRowCollapsed {
                        id: collapsedRow
                        objectName: "collapsedRow"
                        width: parent.width
                        visible: rail.collapsed
                        workspaceID: entry.workspaceID
                        name: entry.name
                        colorHex: entry.colorHex
                        sessionCount: entry.sessionCount
                        attentionHex: attention.colorHex
                        selected: entry.selected
                        onClicked: AppModel.selectWorkspace(entry.workspaceID)
                        onContextMenuRequested: (anchor, x, y) => menu.openFor(anchor, x, y, entry.workspaceID, entry.name, entry.colorHex)
                    }
                }
            }
        }
    }

    // "New Workspace".
    Item {
        id: newButton
        objectName: "newWorkspaceButton"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: newRow.implicitHeight + 22
        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            height: 1
            color: Theme.border
        }
        Row {
            id: newRow
            anchors.verticalCenter: parent.verticalCenter
            anchors.left: rail.collapsed ? undefined : parent.left
            anchors.leftMargin: 14
            anchors.horizontalCenter: rail.collapsed ? parent.horizontalCenter : undefined
            spacing: 8
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "plus"
                size: 11
                color: Theme.textDim
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                visible: !rail.collapsed
                text: qsTr("New Workspace")
                color: Theme.textDim
                font.pointSize: Theme.fontSize(11.5)
                font.weight: Font.Medium
            }
        }
        MouseArea {
            anchors.fill: parent
            onClicked: AppModel.activeSheet = "newWorkspace"
        }
    }

    // The trailing edge line.
    Rectangle {
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: parent.right
        width: 1
        color: Theme.border
    }

    WorkspaceMenu {
        id: menu
        objectName: "workspaceMenu"
        onRenameRequested: (workspaceID, name) => rail.openRename(workspaceID, name)
    }

    Dialog {
        id: renameDialog
        objectName: "renameWorkspaceDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        focus: true
        title: qsTr("Rename workspace")
        padding: 16
        width: 300
        onOpened: {
            nameField.forceActiveFocus();
            nameField.selectAll();
        }
        onAccepted: rail.commitRename()
        onRejected: rail.renamingID = ""
        onClosed: rail.renamingID = ""

        background: Rectangle {
            radius: 10
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderStrong
        }
        header: Text {
            text: renameDialog.title
            textFormat: Text.PlainText
            leftPadding: 16
            topPadding: 14
            font.pointSize: Theme.fontSize(13)
            font.weight: Font.DemiBold
            color: Theme.textStrong
        }
        TextField {
            id: nameField
            objectName: "workspaceNameField"
            width: parent.width
            placeholderText: qsTr("Name")
            text: rail.draftName
            onTextEdited: {
                // An edit that touched a mark, or brought a hidden character in, changes the text
                // back through the binding above.
                nameEdit.edit(nameField.text, nameField.cursorPosition);
                rail.draftName = nameEdit.shown;
                // Also where the text stayed: the room for marks (the maximum length) follows the
                // marks, and a new maximum puts the cursor at the end.
                nameField.cursorPosition = nameEdit.cursor;
            }
            // Room for the marks, which are longer than what they stand for.
            maximumLength: AppModel.maxNameLength + nameEdit.shown.length - nameEdit.value.length
            onAccepted: renameDialog.accept()
            color: Theme.textStrong
            placeholderTextColor: Theme.textFaint
            font.pointSize: Theme.fontSize(12.5)
            background: Rectangle {
                implicitHeight: 28
                radius: 6
                color: Theme.surface
                border.width: 1
                border.color: nameField.activeFocus ? Theme.accent : Theme.borderControl
            }
            MarkedFieldMarks {
                field: nameField
                edit: nameEdit
            }
        }
        // Which stretches of the field are the marks of the name's hidden characters.
        MarkedEdit {
            id: nameEdit
            field: nameField
        }
        footer: Row {
            layoutDirection: Qt.RightToLeft
            spacing: 8
            rightPadding: 16
            bottomPadding: 14
            PrimaryButton {
                objectName: "renameConfirm"
                title: qsTr("Rename")
                onClicked: renameDialog.accept()
            }
            SecondaryButton {
                objectName: "renameCancel"
                title: qsTr("Cancel")
                onClicked: renameDialog.reject()
            }
        }
    }
}
