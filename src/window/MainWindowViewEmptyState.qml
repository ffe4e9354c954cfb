import QtQuick
import Brinmoor.App
import Brinmoor.Window

// What the main area shows without panes: a symbol, a title, a message and one button, centred
// on the canvas colour.
Rectangle {
    id: empty

    required property string symbol
    required property string title
    required property string message
    required property string buttonTitle

    signal activated()

    color: Theme.canvas

    Column {
        anchors.centerIn: parent
        spacing: 12
        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: empty.symbol
            size: 30
            color: Theme.textFaint
        }
        Text {
            objectName: "emptyTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: empty.title
            textFormat: Text.PlainText
            color: Theme.textDim
            font.pointSize: Theme.fontSize(14)
            font.weight: Font.DemiBold
        }
        Text {
            objectName: "emptyMessage"
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(implicitWidth, 320)
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: empty.message
            textFormat: Text.PlainText
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(12)
        }
        Item {
            width: 1
            height: 4
        }
        PrimaryButton {
            objectName: "emptyButton"
            anchors.horizontalCenter: parent.horizontalCenter
            title: empty.buttonTitle
            onClicked: empty.activated()
        }
    }
}
