pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The agent's thinking as a one-line violet toggle that unfolds the text. Whoever lists the block
// hears each toggle, to open it again when the block is made anew (a row scrolled far away and
// back).
Column {
    id: block

    property string text: ""
    // Seconds of thinking, or undefined.
    property var seconds: undefined
    property bool expanded: false
    signal toggled(bool open)
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
            textFormat: Text.PlainText
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
            onTapped: {
                reveal.animate = true;
                block.expanded = !block.expanded;
                block.toggled(block.expanded);
            }
        }
    }
    // The text exists while open and while it folds away; opening and closing take 0.15 s.
    Item {
        id: reveal
        width: block.width
        height: block.expanded ? reveal.full : 0
        readonly property real full: thoughts.count > 0 && thoughts.itemAt(0) ? thoughts.itemAt(0).implicitHeight : 0
        visible: reveal.height > 0
        clip: true
        // Only a click animates: a block made again already open, or re-wrapped, just takes its
        // height.
        property bool animate: false
        Behavior on height {
            enabled: reveal.animate
            NumberAnimation {
                duration: 150
                easing.type: Easing.InOutQuad
                onStopped: reveal.animate = false
            }
        }
        Repeater {
            id: thoughts
            model: block.expanded || reveal.height > 0 ? 1 : 0
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
}
