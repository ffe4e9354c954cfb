pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The slash-command pop-up above the composer: the first six matching commands, the highlighted
// one with its key hint, and a line counting the matches not drawn.
Rectangle {
    id: popup

    required property ComposerModel composer

    implicitHeight: rows.implicitHeight + 6
    radius: 8
    color: Theme.surfaceCard
    border.width: 1
    border.color: Theme.borderControl

    Column {
        id: rows
        x: 0
        y: 3
        width: popup.width

        Repeater {
            model: popup.composer.slashRows
            delegate: Rectangle {
                id: row
                required property string modelData
                required property int index
                readonly property bool highlighted: row.index === popup.composer.slashIndex
                objectName: "slashRow"
                width: rows.width
                height: label.implicitHeight + 10
                color: row.highlighted ? Theme.hoverFill : "transparent"

                SymbolIcon {
                    id: glyph
                    x: 9
                    anchors.verticalCenter: parent.verticalCenter
                    name: "command"
                    size: 9
                    color: Theme.textFaint
                }
                Text {
                    id: label
                    objectName: "slashLabel"
                    anchors.left: glyph.right
                    anchors.leftMargin: 7
                    anchors.verticalCenter: parent.verticalCenter
                    text: "/" + row.modelData
                    textFormat: Text.PlainText
                    font.pointSize: Theme.fontSize(11.5)
                    color: row.highlighted ? Theme.textStrong : Theme.text
                }
                Text {
                    anchors.right: parent.right
                    anchors.rightMargin: 9
                    anchors.verticalCenter: parent.verticalCenter
                    visible: row.highlighted
                    text: "↹ / ⏎"
                    font.pointSize: Theme.fontSize(9)
                    color: Theme.textFaint
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: popup.composer.acceptSlash(row.modelData)
                }
            }
        }
        Text {
            objectName: "slashMore"
            visible: popup.composer.slashMoreLine !== ""
            leftPadding: 9
            rightPadding: 9
            topPadding: 4
            bottomPadding: 4
            text: popup.composer.slashMoreLine
            font.pointSize: Theme.fontSize(9.5)
            color: Theme.textFaint
        }
    }
}
