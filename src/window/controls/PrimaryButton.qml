import QtQuick
import Brinmoor.App

// The filled text button (blue, or violet). With `fullWidth` it spreads to the width it is given
// and has no side padding; otherwise it hugs its title with 17 on each side.
Item {
    id: button

    property string title: ""
    property bool violet: false
    property bool fullWidth: false

    signal clicked()

    implicitWidth: label.implicitWidth + (button.fullWidth ? 0 : 34)
    implicitHeight: label.implicitHeight + 18

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: Theme.hex(button.violet ? "7c5fd0" : "3f74d6", 1)
        border.width: 1
        border.color: Theme.hex(button.violet ? "a07cf2" : "5b8cdd", 1)
        opacity: mouse.pressed ? 0.85 : 1
    }
    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        color: "white"
        font.pointSize: Theme.fontSize(12.5)
        font.weight: Font.DemiBold
        textFormat: Text.PlainText
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
