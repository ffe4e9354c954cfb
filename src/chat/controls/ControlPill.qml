import QtQuick
import Brinmoor.App

// The session controls' pill: a symbol, a short text and the up-down chevrons, on a bordered
// rounded fill; the whole pill takes clicks.
Rectangle {
    id: pill

    property string icon: ""
    property string text: ""

    signal clicked()

    implicitWidth: content.implicitWidth + 16
    implicitHeight: content.implicitHeight + 8
    radius: 6
    color: Theme.surfaceCard
    border.width: 1
    border.color: Theme.borderControl

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 4
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: pill.icon
            size: 9
            color: Theme.textDim
        }
        Text {
            objectName: "pillText"
            anchors.verticalCenter: parent.verticalCenter
            text: pill.text
            font.pointSize: Theme.fontSize(10.5)
            font.weight: Font.Medium
            color: Theme.textDim
        }
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "chevron.up.chevron.down"
            size: 7
            color: Theme.textDim
        }
    }
    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: pill.clicked()
    }
}
