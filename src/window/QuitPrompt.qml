import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// Asked when the window closes while changes could not be saved and one more try at the close
// failed too: what cannot be saved, where and why, then "Quit anyway" or "Don't quit" (also
// Escape and Return: staying loses nothing). The model keeps retrying meanwhile; once a try
// succeeds nothing is lost any more, and the window closes as it was asked to.
Dialog {
    id: prompt
    objectName: "quitPrompt"

    // The user chose to quit, or nothing is left unsaved.
    signal quitConfirmed()
    // Closed without a quit ("Don't quit", Escape): whatever waited for the quit is off.
    signal quitDeclined()

    property string message: ""
    property bool confirming: false

    function ask() {
        prompt.message = AppModel.unsavedChangesText();
        prompt.confirming = false;
        prompt.open();
    }
    function confirm() {
        prompt.confirming = true;
        prompt.close();
        prompt.quitConfirmed();
    }
    onClosed: if (!prompt.confirming) prompt.quitDeclined()

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    focus: true
    title: qsTr("Quit without saving?")
    padding: 16
    width: 400
    onOpened: stayButton.forceActiveFocus()

    Connections {
        target: AppModel
        function onStateSaved() {
            if (!prompt.visible)
                return;
            prompt.message = AppModel.unsavedChangesText();
            if (prompt.message === "")
                prompt.confirm();
        }
    }

    background: Rectangle {
        radius: 10
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }
    header: Row {
        spacing: 8
        leftPadding: 16
        topPadding: 14
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "exclamationmark.triangle.fill"
            size: 13
            color: Theme.red
        }
        Text {
            text: prompt.title
            textFormat: Text.PlainText
            font.pointSize: Theme.fontSize(13)
            font.weight: Font.DemiBold
            color: Theme.textStrong
        }
    }
    Text {
        objectName: "quitPromptText"
        width: prompt.availableWidth
        text: prompt.message
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pointSize: Theme.fontSize(12)
        color: Theme.text
    }
    footer: Row {
        layoutDirection: Qt.RightToLeft
        spacing: 8
        rightPadding: 16
        bottomPadding: 14
        PrimaryButton {
            id: stayButton
            objectName: "quitPromptStay"
            title: qsTr("Don't quit")
            onClicked: prompt.reject()
            Keys.onReturnPressed: prompt.reject()
            Keys.onEnterPressed: prompt.reject()
        }
        SecondaryButton {
            objectName: "quitPromptQuit"
            title: qsTr("Quit anyway")
            onClicked: prompt.confirm()
        }
    }
}
