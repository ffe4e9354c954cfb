import QtQuick
import Brinmoor.App

// The outlined text button.
Item {
    id: button

    property string title: ""

    signal clicked()

    implicitWidth: label.implicitWidth + 30
    implicitHeight: label.implicitHeight + 16

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: "transparent"
        border.width: 1
        border.color: Theme.borderStrong
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        color: Theme.text
        font.pointSize: Theme.fontSize(12.5)
        font.weight: Font.Medium
        textFormat: Text.PlainText
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
