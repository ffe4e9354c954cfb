pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The framed box of one group of sessions, with its tag sitting on the top border. The member
// panes are laid over it by the grid (7 points in from the box, 7 apart); the box itself is never
// a drop target. Its colours are the same in both themes.
Item {
    id: box

    // The label in plain text, and its parts: the words ("%1" for the name) and the name.
    required property string label
    property string labelWords: "%1"
    property string labelName: box.label

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: Theme.hex("5b8cdd", 0.035)
        border.width: 1
        border.color: Theme.hex("353c4a", 1)
    }

    Rectangle {
        id: tag
        objectName: "groupTag"
        x: 13
        y: -9
        z: 2
        width: tagRow.implicitWidth + 18
        height: tagRow.implicitHeight + 4
        radius: 6
        color: Theme.hex("0c0d11", 1)
        border.width: 1
        border.color: Theme.hex("353c4a", 1)

        Row {
            id: tagRow
            anchors.centerIn: parent
            spacing: 6

            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "square.on.square"
                size: 9
                color: Theme.hex("92a2bd", 1)
            }
            NameText {
                objectName: "groupLabel"
                anchors.verticalCenter: parent.verticalCenter
                // Upper-cased before the name is isolated and marked: the marks read "<U+202E>"
                // either way, and the isolates stay round the whole name.
                name: box.labelName.toUpperCase()
                words: box.labelWords.toUpperCase()
                color: Theme.hex("92a2bd", 1)
                font.pointSize: Theme.fontSize(10)
                font.weight: Font.DemiBold
                font.letterSpacing: 0.5
            }
        }
    }
}
