pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Dialogs
import Brinmoor.App

// Stand-in add-session sheet until the full one is built: it adds a terminal session for a
// folder the user picks or types, through the model, and closes.
SheetFrame {
    id: sheet
    objectName: "addSessionSheet"

    property string folder: ""
    property string message: ""

    function open() {
        const dir = sheet.folder.trim();
        if (dir === "") {
            sheet.message = qsTr("Choose a project folder.");
            return;
        }
        if (!AppModel.addSession("terminal", null, dir, false, "claude")) {
            sheet.message = qsTr("Select or create a workspace first.");
            return;
        }
        AppModel.activeSheet = "";
    }

    title: qsTr("Add Session")
    Component.onCompleted: folderField.forceActiveFocus()

    Text {
        width: parent.width
        wrapMode: Text.Wrap
        text: qsTr("Pick a project folder; a terminal opens there.")
        color: Theme.textDim
        font.pointSize: Theme.fontSize(12)
    }
    Row {
        width: parent.width
        spacing: 8
        SheetField {
            id: folderField
            objectName: "folderField"
            width: parent.width - chooseButton.width - 8
            placeholderText: qsTr("~/path/to/project")
            text: sheet.folder
            onTextEdited: sheet.folder = folderField.text
            onAccepted: sheet.open()
        }
        SheetButton {
            id: chooseButton
            objectName: "chooseButton"
            title: qsTr("Choose…")
            onClicked: folderDialog.open()
        }
    }
    // Recent folders, one click to take one.
    Flow {
        width: parent.width
        spacing: 6
        visible: AppModel.recents.length > 0
        Repeater {
            model: AppModel.recents
            delegate: SheetButton {
                id: recent
                required property string modelData
                title: recent.modelData
                onClicked: sheet.folder = recent.modelData
            }
        }
    }
    Text {
        objectName: "message"
        visible: sheet.message !== ""
        text: sheet.message
        color: Theme.hex("f0524f", 1)
        font.pointSize: Theme.fontSize(12)
    }
    Row {
        anchors.right: parent.right
        spacing: 8
        SheetButton {
            objectName: "cancelButton"
            title: qsTr("Cancel")
            onClicked: AppModel.activeSheet = ""
        }
        SheetButton {
            objectName: "openButton"
            title: qsTr("Open")
            primary: true
            onClicked: sheet.open()
        }
    }

    FolderDialog {
        id: folderDialog
        title: qsTr("Choose a project folder")
        onAccepted: {
            const url = folderDialog.selectedFolder.toString();
            sheet.folder = decodeURIComponent(url.replace(/^file:\/\//, ""));
        }
    }
}
