pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The pending attachments as chips: an image as a 56 × 56 thumbnail, any other file as its
// name; each with a remove button on its top-trailing corner. Scrolls sideways when long.
Flickable {
    id: strip

    required property AttachmentListModel attachments

    implicitHeight: 58 + 4
    contentWidth: chips.implicitWidth + 6
    contentHeight: height
    flickableDirection: Flickable.HorizontalFlick
    boundsBehavior: Flickable.StopAtBounds
    clip: true

    Row {
        id: chips
        y: 4
        spacing: 7
        Repeater {
            model: strip.attachments
            delegate: Item {
                id: chip
                required property string attachmentId
                required property string name
                required property bool showsImage
                required property string thumbnail
                // The whole name: a line break or other hidden character shows as a mark.
                readonly property string markedName: ChatText.markedName(chip.name)
                objectName: "attachmentChip"
                width: chip.showsImage ? 56 : fileRow.implicitWidth + 20
                height: 56

                Rectangle {
                    anchors.fill: parent
                    visible: !chip.showsImage
                    radius: 7
                    color: Theme.surfaceCard
                    border.width: 1
                    border.color: Theme.borderControl
                    Row {
                        id: fileRow
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 6
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "doc.fill"
                            size: 12
                            color: Theme.textDim
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            width: Math.min(implicitWidth, 160)
                            objectName: "chipName"
                            text: chip.markedName !== "" ? chip.markedName : chip.name
                            textFormat: chip.markedName !== "" ? Text.StyledText : Text.PlainText
                            maximumLineCount: 1
                            elide: Text.ElideMiddle
                            font.pointSize: Theme.fontSize(11.5)
                            font.weight: Font.Medium
                            color: Theme.text
                        }
                    }
                }
                // The provider crops the picture to the square and rounds its corners.
                Image {
                    anchors.fill: parent
                    visible: chip.showsImage
                    source: chip.showsImage ? chip.thumbnail : ""
                    sourceSize.width: 112
                    sourceSize.height: 112
                    asynchronous: true
                }
                Rectangle {
                    anchors.fill: parent
                    visible: chip.showsImage
                    radius: 7
                    color: "transparent"
                    border.width: 1
                    border.color: Theme.borderControl
                }
                Item {
                    objectName: "removeChip"
                    width: 15
                    height: 15
                    x: chip.width - width + 4
                    y: -4
                    Rectangle {
                        anchors.centerIn: parent
                        width: 12
                        height: 12
                        radius: 6
                        color: Qt.rgba(0, 0, 0, 0.6)
                    }
                    SymbolIcon {
                        anchors.centerIn: parent
                        name: "xmark.circle.fill"
                        size: 13
                        color: "white"
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: strip.attachments.remove(chip.attachmentId)
                    }
                }
            }
        }
    }
}
