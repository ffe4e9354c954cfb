import QtQuick
import Brinmoor.App

// Stand-in first-run view until the full onboarding is built: it names the first workspace, or
// lets the user skip, and finishes through the model, so a new user is never stuck here.
Rectangle {
    id: view
    objectName: "onboarding"

    property string workspaceName: ""

    function finish() {
        const trimmed = view.workspaceName.trim();
        if (trimmed !== "")
            AppModel.addWorkspace(trimmed, "5b8cee");
        AppModel.finishOnboarding();
    }

    color: Theme.canvas

    Column {
        anchors.centerIn: parent
        width: 380
        spacing: 14
        Text {
            text: qsTr("Welcome to Brinmoor")
            textFormat: Text.PlainText
            color: Theme.textStrong
            font.pointSize: Theme.fontSize(22)
            font.weight: Font.DemiBold
        }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: qsTr("Name your first workspace. It holds the sessions you run side by side.")
            color: Theme.textDim
            font.pointSize: Theme.fontSize(13)
        }
        SheetField {
            id: nameField
            objectName: "workspaceNameField"
            width: parent.width
            placeholderText: qsTr("Workspace name")
            text: view.workspaceName
            onTextEdited: view.workspaceName = nameField.text
            onAccepted: view.finish()
            Component.onCompleted: nameField.forceActiveFocus()
        }
        Row {
            spacing: 8
            SheetButton {
                objectName: "createButton"
                title: qsTr("Create workspace")
                primary: true
                enabled: view.workspaceName.trim() !== ""
                onClicked: view.finish()
            }
            SheetButton {
                objectName: "skipButton"
                title: qsTr("Skip")
                onClicked: AppModel.finishOnboarding()
            }
        }
    }
}
