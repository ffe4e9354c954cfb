import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// One workspace in the expanded rail: colour tag, name, pane count, and at the trailing end the
// "bg" tag and the attention dot — or, while hovered, the ellipsis that opens the workspace menu.
Item {
    id: row

    required property string workspaceID
    required property string name
    required property string colorHex
    required property int sessionCount
    required property string attentionHex
    required property bool selected
    required property bool hovered

    signal clicked()
    signal contextMenuRequested(Item anchor, real x, real y)
    signal entered()
    signal exited()

    height: content.implicitHeight + 14

    Rectangle {
        anchors.fill: parent
        radius: 7
        color: row.selected ? Theme.hoverFill : "transparent"
    }

    // Hover is tracked for the whole row, its ellipsis button included.
    HoverHandler {
        id: hover
        onHoveredChanged: hover.hovered ? row.entered() : row.exited()
    }
    MouseArea {
        id: mouse
        objectName: "rowMouse"
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onClicked: mouse => {
            if (mouse.button === Qt.RightButton)
                row.contextMenuRequested(row, mouse.x, mouse.y);
            else
                row.clicked();
        }
    }
    ToolTip.visible: hover.hovered
    ToolTip.delay: 800
    ToolTip.text: HiddenMarks.plainName(row.name)

    Row {
        id: content
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        spacing: 9

        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 8
            height: 8
            radius: 3
            color: Theme.hex(row.colorHex, 1)
        }
        Column {
            id: texts
            anchors.verticalCenter: parent.verticalCenter
            spacing: 1
            width: content.width - 8 - 9 - 9 - trailing.width
            NameText {
                objectName: "rowName"
                width: parent.width
                name: row.name
                elide: Text.ElideRight
                color: row.selected ? Theme.textStrong : Theme.text
                font.pointSize: Theme.fontSize(12)
                font.weight: row.selected ? Font.DemiBold : Font.Medium
            }
            Text {
                objectName: "rowCount"
                text: WindowText.panes(row.sessionCount)
                textFormat: Text.PlainText
                color: Theme.textFaint
                font.pointSize: Theme.fontSize(10)
            }
        }
        // While hovered, room for the ellipsis; otherwise the "bg" tag and the attention dot.
        Item {
            id: trailing
            anchors.verticalCenter: parent.verticalCenter
            width: row.hovered ? 22 : marks.implicitWidth
            height: 20
            Row {
                id: marks
                anchors.verticalCenter: parent.verticalCenter
                anchors.right: parent.right
                visible: !row.hovered
                spacing: 6
                Text {
                    objectName: "bgTag"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: !row.selected
                    text: qsTr("bg")
                    color: Theme.textFaint
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(9)
                }
                WorkspaceRowDot {
                    objectName: "attentionDot"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: row.attentionHex !== ""
                    colorHex: row.attentionHex
                }
            }
        }
    }

    // The ellipsis menu button, over the trailing edge while hovered.
    Item {
        id: ellipsis
        objectName: "ellipsisButton"
        anchors.right: parent.right
        anchors.rightMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        visible: row.hovered
        width: 24
        height: 24
        SymbolIcon {
            anchors.centerIn: parent
            name: "ellipsis"
            size: 13
            color: Theme.textDim
        }
        MouseArea {
            anchors.fill: parent
            onClicked: row.contextMenuRequested(ellipsis, 0, ellipsis.height + 2)
        }
    }
}
