import QtQuick
import Brinmoor.App

// A push button of the prompt cards: a filled amber one (Approve, Next) or an outlined one
// (Deny, Back). A disabled filled button turns grey and takes no clicks.
Rectangle {
    id: button

    property string title: ""
    property bool filled: false
    property real horizontalPadding: 14
    property int weight: Font.DemiBold
    property color outlinedText: Theme.text

    signal clicked()

    implicitWidth: label.implicitWidth + 2 * button.horizontalPadding
    implicitHeight: label.implicitHeight + 10
    radius: 6
    color: !button.filled ? "transparent" : button.enabled ? Theme.amber : Theme.surfaceCard
    border.width: button.filled && button.enabled ? 0 : 1
    border.color: button.filled ? Theme.borderControl : Theme.borderStrong

    Text {
        id: label
        anchors.centerIn: parent
        text: button.title
        textFormat: Text.PlainText
        font.pointSize: Theme.fontSize(11.5)
        font.weight: button.weight
        color: !button.filled ? button.outlinedText
                              : button.enabled ? Theme.hex("0c0a04", 1) : Theme.textFaint
    }
    TapHandler {
        cursorShape: Qt.PointingHandCursor
        onTapped: button.clicked()
    }
}
