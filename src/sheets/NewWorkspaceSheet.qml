import QtQuick
import Brinmoor.App

// Stand-in new-workspace sheet until the full one is built: it names a workspace and creates it
// through the model.
SheetFrame {
    id: sheet
    objectName: "newWorkspaceSheet"

    property string name: ""
    property string colorHex: "5b8cee"

    function create() {
        const trimmed = sheet.name.trim();
        if (trimmed === "")
            return;
        if (AppModel.addWorkspace(trimmed, sheet.colorHex))
            AppModel.activeSheet = "";
    }

    title: qsTr("New Workspace")
    Component.onCompleted: nameField.forceActiveFocus()

    SheetField {
        id: nameField
        objectName: "nameField"
        width: parent.width
        placeholderText: qsTr("Workspace name")
        text: sheet.name
        onTextEdited: sheet.name = nameField.text
        onAccepted: sheet.create()
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
            objectName: "createButton"
            title: qsTr("Create")
            primary: true
            enabled: sheet.name.trim() !== ""
            onClicked: sheet.create()
        }
    }
}
