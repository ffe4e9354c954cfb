import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// One workspace in the collapsed rail: a 36 × 36 tile tinted with the workspace colour, its
// two-letter monogram, and the attention dot on the top-trailing corner.
Item {
    id: row

    required property string workspaceID
    required property string name
    required property string colorHex
    required property int sessionCount
    required property string attentionHex
    required property bool selected

    signal clicked()
    signal contextMenuRequested(Item anchor, real x, real y)

    height: 42

    Rectangle {
        id: tile
        objectName: "tile"
        anchors.centerIn: parent
        width: 36
        height: 36
        radius: 8
        color: Theme.hex(row.colorHex, row.selected ? 0.22 : 0.12)
        border.width: 1.5
        border.color: row.selected ? Theme.hex(row.colorHex, 1) : "transparent"

        Text {
            objectName: "monogram"
            anchors.centerIn: parent
            text: WindowText.initials(row.name)
            textFormat: Text.PlainText
            color: row.selected ? Theme.textStrong : Theme.text
            font.pointSize: Theme.fontSize(13)
            font.weight: Font.DemiBold
        }
        WorkspaceRowDot {
            objectName: "attentionDot"
            visible: row.attentionHex !== ""
            colorHex: row.attentionHex
            size: 9
            ringColor: Theme.pair("0c0d11", "ebedf1", 1)
            x: tile.width - width / 2 - 1.5 + 3
            y: -height / 2 + 1.5 - 3
        }
    }
    MouseArea {
        id: mouse
        objectName: "rowMouse"
        anchors.fill: tile
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onClicked: mouse => {
            if (mouse.button === Qt.RightButton)
                row.contextMenuRequested(tile, mouse.x, mouse.y);
            else
                row.clicked();
        }
    }
    ToolTip.visible: mouse.containsMouse
    ToolTip.delay: 800
    ToolTip.text: WindowText.tileHelp(HiddenMarks.inSentence(row.name), row.sessionCount)
}
