import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// A full-window preview layer with its own dimming backdrop: a title and read-only text with a
// close button. The main window uses it for the markdown and code previews while the chat
// module's own preview views are not part of the build.
Item {
    id: layer

    required property string title
    required property string content
    property bool monospace: true

    signal closeRequested()

    Rectangle {
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.55)
        MouseArea {
            anchors.fill: parent
            onClicked: layer.closeRequested()
        }
    }
    Rectangle {
        id: panel
        anchors.centerIn: parent
        width: Math.min(parent.width - 80, 900)
        height: Math.min(parent.height - 80, 700)
        radius: 10
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderControl
        // Taps inside the panel stay here.
        MouseArea {
            anchors.fill: parent
        }
        Text {
            id: titleText
            anchors.left: parent.left
            anchors.right: closeButton.left
            anchors.top: parent.top
            anchors.margins: 14
            text: layer.title
            textFormat: Text.PlainText
            elide: Text.ElideMiddle
            color: Theme.textStrong
            font.pointSize: Theme.fontSize(13)
            font.weight: Font.DemiBold
        }
        IconButton {
            id: closeButton
            objectName: "previewClose"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 12
            systemName: "xmark"
            size: 11
            onClicked: layer.closeRequested()
        }
        ScrollView {
            anchors.top: titleText.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: 14
            clip: true
            TextArea {
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                text: layer.content
                textFormat: TextEdit.PlainText
                color: Theme.text
                font.family: layer.monospace ? Theme.monospaceFamily : ""
                font.pointSize: Theme.fontSize(12)
                background: null
            }
        }
    }
}
