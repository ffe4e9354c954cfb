pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// The ellipsis button at the right end of a pane header and the per-pane commands behind it.
// Every item is always there and enabled; Restart, Stop and Close act at once. The first item
// opens the small rename dialog that this menu owns.
Item {
    id: root

    // The pane's record as it was when the header was drawn.
    required property var session
    readonly property string sessionID: root.session ? root.session.id : ""

    // Rename dialog state: the name when it opened, and the dialog's text, the name with its hidden
    // characters written as marks ("<U+202E>"), which cannot reorder it.
    property bool renaming: false
    property string renamingFrom: ""
    property string draftName: ""

    readonly property alias menu: menu
    readonly property alias renameDialog: renameDialog
    readonly property alias nameField: nameField

    // The menu's items, top to bottom; a divider stands before the first destructive item.
    readonly property var items: [
        { title: qsTr("Rename"), symbol: "pencil", destructive: false, act: function() { root.openRename(); } },
        { title: qsTr("Restart session"), symbol: "arrow.clockwise", destructive: false,
          act: function() { AppModel.restart(root.sessionID); } },
        // No chooser opens: resuming another conversation restarts the pane like Restart does.
        { title: qsTr("Resume a different session…"), symbol: "clock.arrow.circlepath", destructive: false,
          act: function() { AppModel.restart(root.sessionID); } },
        { title: qsTr("Reveal in File Manager"), symbol: "arrow.up.forward.app", destructive: false,
          act: function() { AppModel.revealInFinder(root.sessionID); } },
        { title: qsTr("Open in VS Code"), symbol: "chevron.left.forwardslash.chevron.right", destructive: false,
          act: function() { AppModel.openInVSCode(root.sessionID); } },
        { title: qsTr("Stop"), symbol: "stop.fill", destructive: true, act: function() { AppModel.stop(root.sessionID); } },
        { title: qsTr("Close pane"), symbol: "xmark", destructive: true, act: function() { AppModel.close(root.sessionID); } }
    ]

    function openRename() {
        root.renamingFrom = root.session ? root.session.project : "";
        nameEdit.original = root.renamingFrom;
        root.draftName = nameEdit.shown;
        root.renaming = true;
        renameDialog.open();
    }
    // An empty name keeps the old one; a name of spaces is a name (nothing is trimmed).
    function commitRename() {
        if (root.draftName === "")
            return;
        // The marks stand for the characters they were opened with; everything else as typed.
        nameEdit.edit(root.draftName, root.draftName.length);
        AppModel.rename(root.sessionID, nameEdit.value);
        AppModel.save();
    }
    function trigger(index: int) {
        root.items[index].act();
    }

    implicitWidth: 20
    implicitHeight: 18
    width: 20
    height: 18

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: Theme.hoverFill
    }
    SymbolIcon {
        anchors.centerIn: parent
        name: "ellipsis"
        size: 13
        color: Theme.text
    }
    MouseArea {
        objectName: "menuButton"
        anchors.fill: parent
        preventStealing: true
        // Hung from the button's right end, so that it opens into the pane rather than past the
        // window's edge; the margins keep it clear of the window's edges wherever it is.
        onClicked: menu.popup(root, root.width - menu.width, root.height + 2)
    }

    Menu {
        id: menu
        objectName: "paneMenu"
        padding: 4
        margins: 8
        // As wide as its widest item, so that no title is cut at the menu's edge.
        readonly property real widestItem: {
            let widest = 0;
            for (let i = 0; i < menu.count; ++i)
                widest = Math.max(widest, menu.itemAt(i).implicitWidth);
            return widest;
        }
        width: Math.max(230, menu.widestItem + menu.leftPadding + menu.rightPadding)
        background: Rectangle {
            implicitWidth: 230
            radius: 8
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderStrong
        }

        Repeater {
            model: root.items.length
            delegate: MenuItem {
                id: item
                required property int index
                readonly property var entry: root.items[item.index]
                objectName: "menuItem" + item.index
                text: item.entry.title
                implicitHeight: 26
                implicitWidth: item.contentItem.implicitWidth + item.leftPadding + item.rightPadding
                // The divider between the plain and the destructive items.
                topPadding: item.index === 5 ? 9 : 4
                contentItem: Row {
                    spacing: 8
                    leftPadding: 6
                    rightPadding: 10
                    SymbolIcon {
                        anchors.verticalCenter: parent.verticalCenter
                        name: item.entry.symbol
                        size: 12
                        color: item.entry.destructive ? Theme.red : Theme.text
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: item.text
                        textFormat: Text.PlainText
                        font.pointSize: Theme.fontSize(12.5)
                        color: item.entry.destructive ? Theme.red : Theme.textStrong
                    }
                }
                background: Item {
                    Rectangle {
                        visible: item.index === 5
                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.top: parent.top
                        anchors.topMargin: 2
                        height: 1
                        color: Theme.borderStrong
                    }
                    Rectangle {
                        anchors.fill: parent
                        anchors.topMargin: item.index === 5 ? 5 : 0
                        radius: 5
                        color: item.highlighted ? Theme.hoverFill : "transparent"
                    }
                }
                onTriggered: root.trigger(item.index)
            }
        }
    }

    // What a command of this menu could not do (Open in VS Code with no thread to look for it),
    // said under the button it was asked from.
    Connections {
        target: AppModel
        function onPaneCommandFailed(sessionID: string, why: string) {
            if (sessionID !== root.sessionID)
                return;
            commandProblem.text = why;
            commandProblem.open();
        }
    }
    Popup {
        id: commandProblem
        objectName: "commandProblem"
        property string text: ""
        x: root.width - commandProblem.width
        y: root.height + 2
        margins: 8
        padding: 8
        // Wrapped past a width a pane can hold.
        width: Math.min(340, commandProblem.implicitContentWidth + commandProblem.leftPadding + commandProblem.rightPadding)
        background: Rectangle {
            radius: 8
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderStrong
        }
        contentItem: Text {
            objectName: "commandProblemText"
            text: commandProblem.text
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            color: Theme.red
            font.pointSize: Theme.fontSize(12)
        }
    }

    Dialog {
        id: renameDialog
        objectName: "renameDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        focus: true
        title: qsTr("Rename pane")
        padding: 16
        width: 300
        onOpened: {
            nameField.forceActiveFocus();
            nameField.selectAll();
        }
        onAccepted: root.commitRename()
        onClosed: root.renaming = false

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
            objectName: "nameField"
            width: parent.width
            placeholderText: qsTr("Name")
            text: root.draftName
            onTextEdited: {
                // An edit that touched a mark, or brought a hidden character in, changes the text
                // back through the binding above.
                nameEdit.edit(nameField.text, nameField.cursorPosition);
                root.draftName = nameEdit.shown;
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
                objectName: "renameButton"
                title: qsTr("Rename")
                onClicked: renameDialog.accept()
            }
            SecondaryButton {
                objectName: "cancelButton"
                title: qsTr("Cancel")
                onClicked: renameDialog.reject()
            }
        }
    }
}
