import QtQuick
import Brinmoor.App

// One selectable row of the question card: its mark (round for one choice, square for several),
// the label and an optional description; the whole rectangle takes the click.
Rectangle {
    id: choice

    property string label: ""
    property string description: ""
    property bool multiSelect: false
    property bool chosen: false

    signal clicked()

    implicitHeight: Math.max(texts.implicitHeight, 13) + 14
    radius: 8
    color: choice.chosen ? Theme.hex("5b8cdd", 0.12) : Theme.surfaceCard
    border.width: 1
    border.color: choice.chosen ? Theme.accent : Theme.borderControl

    SymbolIcon {
        objectName: "mark"
        x: 10
        y: choice.description !== "" ? 8 : (choice.height - height) / 2
        name: choice.multiSelect ? (choice.chosen ? "checkmark.square.fill" : "square")
                                 : (choice.chosen ? "largecircle.fill.circle" : "circle")
        size: 12
        color: choice.chosen ? Theme.accent : Theme.textFaint
    }
    Column {
        id: texts
        x: 31
        y: 7
        width: choice.width - 41
        spacing: 1
        Text {
            width: parent.width
            text: choice.label
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pointSize: Theme.fontSize(12)
            font.weight: Font.Medium
            color: Theme.text
        }
        Text {
            visible: choice.description !== ""
            width: parent.width
            text: choice.description
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pointSize: Theme.fontSize(11)
            color: Theme.textFaint
        }
    }
    TapHandler {
        cursorShape: Qt.PointingHandCursor
        onTapped: choice.clicked()
    }
}
