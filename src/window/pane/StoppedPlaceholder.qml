import QtQuick
import Brinmoor.App
import Brinmoor.Window

// What a stopped pane shows instead of its frame and content: a quiet card with the project's
// name and one button that starts the session again. It has no header, menu or state border.
Item {
    id: card
    objectName: "stoppedPlaceholder"

    required property var session
    readonly property string sessionID: card.session ? card.session.id : ""
    // Why the pane stopped by itself (a chat agent that died), "" for a stop the user asked for.
    property string reason: ""
    readonly property alias restartButton: restart

    signal restartRequested()

    implicitWidth: 320
    implicitHeight: 240

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: Theme.pair("0d0e12", "dfe1e6", 1)
        border.width: 1
        border.color: Theme.border
    }

    Column {
        anchors.centerIn: parent
        width: parent.width
        spacing: 10

        SymbolIcon {
            objectName: "icon"
            anchors.horizontalCenter: parent.horizontalCenter
            name: card.session && card.session.kind === "chat" ? "bubble.left" : "stop.fill"
            size: 16
            color: Theme.textFaint
        }
        NameText {
            objectName: "projectName"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            // An empty name keeps its line, so the icon and the button stay in place.
            name: card.session ? card.session.project : ""
            height: Math.max(implicitHeight, fontMetrics.height)
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(12)
            font.weight: Font.Medium
            color: Theme.textDim
            FontMetrics {
                id: fontMetrics
                font.pointSize: Theme.fontSize(12)
                font.weight: Font.Medium
            }
        }
        Text {
            objectName: "reason"
            visible: card.reason !== ""
            width: Math.min(parent.width - 40, 420)
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            text: card.reason
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(11)
            color: Theme.textFaint
        }
        Item {
            id: restart
            objectName: "restartButton"
            anchors.horizontalCenter: parent.horizontalCenter
            implicitWidth: label.implicitWidth + 24
            implicitHeight: label.implicitHeight + 12
            width: implicitWidth
            height: implicitHeight

            Rectangle {
                anchors.fill: parent
                radius: 7
                color: mouse.pressed ? Theme.hoverFill : "transparent"
                border.width: 1
                border.color: Theme.borderStrong
            }
            Row {
                id: label
                anchors.centerIn: parent
                spacing: 6
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "arrow.clockwise"
                    size: 10
                    color: Theme.text
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Stopped — Restart")
                    textFormat: Text.PlainText
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.Medium
                    color: Theme.text
                }
            }
            MouseArea {
                id: mouse
                anchors.fill: parent
                onClicked: {
                    AppModel.restart(card.sessionID);
                    card.restartRequested();
                }
            }
        }
    }
}
