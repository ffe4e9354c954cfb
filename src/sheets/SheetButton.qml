import QtQuick
import Brinmoor.App

// A text button of the sheets: filled for the main action, outlined otherwise.
Item {
    id: button

    property string title: ""
    property bool primary: false
    property bool enabled: true

    signal clicked()

    implicitWidth: label.implicitWidth + 30
    implicitHeight: label.implicitHeight + 16
    opacity: button.enabled ? 1 : 0.5

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: button.primary ? Theme.hex("3f74d6", 1) : (mouse.pressed ? Theme.hoverFill : "transparent")
        border.width: 1
        border.color: button.primary ? Theme.hex("5b8cdd", 1) : Theme.borderStrong
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        textFormat: Text.PlainText
        color: button.primary ? "white" : Theme.text
        font.pointSize: Theme.fontSize(12.5)
        font.weight: button.primary ? Font.DemiBold : Font.Medium
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        enabled: button.enabled
        onClicked: button.clicked()
    }
}
