pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The maximized pane beside a narrow column of cards, one per other session of the workspace.
// The focused pane itself is the grid's own pane item, placed at `paneRect` under this view, so its
// content is the same one the grid showed; this view draws the rest, all in the column beside the
// pane so that nothing of the pane's header is covered: the "back to grid" button, the count of
// hidden sessions with the "esc" hint, and the cards.
Item {
    id: view

    // The maximized session and the workspace's other sessions, in order.
    property var focused
    property var others: []
    // Where the focused pane stands, in this view's coordinates.
    property rect paneRect: Qt.rect(12, 12, Math.max(width - 24 - 10 - 118, 0), Math.max(height - 24, 1))

    // A card or the button was clicked: the session id to maximize, or "" for the grid.
    signal select(string id)

    readonly property real columnWidth: 118

    // The column of cards.
    Column {
        id: column
        objectName: "maximizedColumn"
        x: view.paneRect.x + view.paneRect.width + 10
        y: view.paneRect.y
        width: view.columnWidth
        height: view.paneRect.height
        spacing: 8

        Rectangle {
            id: backButton
            objectName: "backToGrid"
            width: column.width
            height: backRow.implicitHeight + 10
            radius: 7
            color: Theme.hex("1d2027", 1)
            border.width: 1
            border.color: Theme.borderStrong

            Row {
                id: backRow
                anchors.centerIn: parent
                spacing: 6
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "square.grid.2x2"
                    size: 10
                    color: Theme.text
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("back to grid")
                    color: Theme.text
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.Medium
                }
            }

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: view.select("")
            }
        }

        Item {
            objectName: "maximizedControls"
            width: column.width
            height: Math.max(hidden.implicitHeight, escHint.height)

            Text {
                id: hidden
                objectName: "hiddenHeader"
                anchors.verticalCenter: parent.verticalCenter
                leftPadding: 2
                rightPadding: 2
                width: parent.width - escHint.width - 4
                text: qsTr("%1 hidden").arg(view.others.length).toUpperCase()
                color: Theme.textFaint
                font.pointSize: Theme.fontSize(9.5)
                font.weight: Font.DemiBold
                font.letterSpacing: 0.6
                elide: Text.ElideRight
            }
            // A hint only: Escape is handled by the main window.
            Rectangle {
                id: escHint
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: escText.implicitWidth + 14
                height: escText.implicitHeight + 6
                radius: 5
                color: Theme.member("surface", 0.7)

                Text {
                    id: escText
                    anchors.centerIn: parent
                    text: qsTr("esc")
                    color: Theme.textDim
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(10.5)
                }
            }
        }

        Flickable {
            id: cardScroll
            width: column.width
            height: Math.max(column.height - y, 0)
            contentWidth: width
            contentHeight: cards.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            clip: true

            Column {
                id: cards
                width: cardScroll.width
                spacing: 8

                Repeater {
                    model: view.others
                    delegate: MaximizedCard {
                        required property var modelData
                        width: cards.width
                        session: modelData
                        onClicked: view.select(modelData.id)
                    }
                }
            }
        }
    }
}
