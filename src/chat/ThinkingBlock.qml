pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The agent's thinking as a one-line violet toggle that unfolds the text. `expanded` belongs to
// this view: the timeline keeps the view while its row keeps its id, so the block stays open
// while later rows arrive.
Column {
    id: block

    property string text: ""
    // Seconds of thinking, or undefined.
    property var seconds: undefined
    property bool expanded: false
    readonly property string label: ChatLabels.thinkingLabel(block.seconds)

    spacing: 4

    Row {
        id: toggle
        objectName: "toggle"
        spacing: 5
        readonly property color violet: Theme.hex("c2a8f8", 1)

        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "brain"
            size: 9
            color: toggle.violet
        }
        Text {
            objectName: "caption"
            anchors.verticalCenter: parent.verticalCenter
            text: block.label
            color: toggle.violet
            font.pointSize: Theme.fontSize(10.5)
            font.weight: Font.Medium
        }
        SymbolIcon {
            objectName: "chevron"
            anchors.verticalCenter: parent.verticalCenter
            name: block.expanded ? "chevron.up" : "chevron.down"
            size: 7
            color: toggle.violet
        }
        TapHandler {
            cursorShape: Qt.PointingHandCursor
            onTapped: block.expanded = !block.expanded
        }
    }
    // The text exists only while open.
    Repeater {
        model: block.expanded ? 1 : 0
        delegate: TextEdit {
            objectName: "thought"
            width: block.width
            text: block.text
            textFormat: TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(11)
        }
    }
}
