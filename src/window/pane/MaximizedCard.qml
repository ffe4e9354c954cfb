pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The card of one other session beside the maximized pane: its state dot, project and state word.
// A click brings that session to the front.
Item {
    id: card

    required property var session
    signal clicked

    readonly property string state_: session ? session.state : "idle"
    readonly property bool idle: state_ === "idle"

    // The state word's colour; the same for every other use of a state's colour.
    function stateColor(state: string): color {
        switch (state) {
        case "running": return Theme.hex("5b8cdd", 0.9);
        case "awaiting": return Theme.hex("f0b429", 0.9);
        case "error": return Theme.hex("f0524f", 0.9);
        case "stopped": return Theme.hex("3f444c", 0.9);
        default: return Theme.member("textGhost", 0.9);
        }
    }
    // The outline: amber when awaiting, red in error, else the border colour.
    function miniBorder(state: string): color {
        if (state === "awaiting")
            return Theme.amber;
        if (state === "error")
            return Theme.red;
        return Theme.border;
    }

    objectName: "miniCard:" + (session ? session.id : "")
    implicitHeight: content.implicitHeight + 16
    height: implicitHeight
    opacity: idle ? 0.55 : 1

    Rectangle {
        objectName: "miniCardFrame"
        anchors.fill: parent
        radius: 8
        color: Theme.hex("101218", 1)
        border.width: 1
        border.color: card.miniBorder(card.state_)
    }

    Column {
        id: content
        x: 8
        y: 8
        width: card.width - 16
        spacing: 5

        Row {
            spacing: 6
            width: content.width
            StateDot {
                anchors.verticalCenter: parent.verticalCenter
                paneState: card.state_
                size: 6
            }
            NameText {
                anchors.verticalCenter: parent.verticalCenter
                width: content.width - 12
                name: card.session ? card.session.project : ""
                color: card.idle ? Theme.textDim : Theme.text
                font.pointSize: Theme.fontSize(10)
                font.weight: Font.Medium
                elide: Text.ElideRight
            }
        }
        Text {
            text: card.state_
            textFormat: Text.PlainText
            color: card.stateColor(card.state_)
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(8.5)
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: card.clicked()
    }
}
