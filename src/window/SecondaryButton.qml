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
        border.color: Theme.pair("23262e", "d2d5dc", 1)
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        color: Theme.pair("c5c9d0", "3a4048", 1)
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
