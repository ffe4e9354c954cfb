import QtQuick
import Brinmoor.App

// The card a sheet sits on, with its title; Escape inside it closes the sheet.
FocusScope {
    id: frame

    property string title: ""
    default property alias body: column.data

    implicitWidth: 440
    implicitHeight: column.implicitHeight + 40

    Keys.onEscapePressed: AppModel.activeSheet = ""

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }
    // Clicks inside the card stay in it (they never reach the backdrop behind).
    MouseArea {
        anchors.fill: parent
    }
    Column {
        id: column
        x: 20
        y: 20
        width: frame.width - 40
        spacing: 12
        Text {
            text: frame.title
            textFormat: Text.PlainText
            color: Theme.textStrong
            font.pointSize: Theme.fontSize(15)
            font.weight: Font.DemiBold
        }
    }
}
