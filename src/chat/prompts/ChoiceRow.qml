import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// One selectable row of the question card: its mark (round for one choice, square for several),
// the label and an optional description; the whole rectangle takes the click. The agent wrote both:
// their hidden characters show as marks, so the choice reads as what it answers.
Rectangle {
    id: choice

    property string label: ""
    property string description: ""
    property bool multiSelect: false
    property bool chosen: false

    readonly property string markedLabel: ChatText.markedName(choice.label)
    readonly property string markedDescription: ChatText.markedOutput(choice.description)

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
            objectName: "label"
            width: parent.width
            text: choice.markedLabel !== "" ? choice.markedLabel : choice.label
            textFormat: choice.markedLabel !== "" ? Text.StyledText : Text.PlainText
            wrapMode: Text.Wrap
            font.pointSize: Theme.fontSize(12)
            font.weight: Font.Medium
            color: Theme.text
        }
        Text {
            objectName: "description"
            visible: choice.description !== ""
            width: parent.width
            text: choice.markedDescription !== "" ? choice.markedDescription : choice.description
            textFormat: choice.markedDescription !== "" ? Text.StyledText : Text.PlainText
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
