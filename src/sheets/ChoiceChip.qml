import QtQuick
import Brinmoor.App
import Brinmoor.Window

// One choice of the add-session sheet (a session type or a provider): a mark, a title over a
// subtitle, on a card that is blue-edged while selected. `symbol` names the mark's symbol;
// without one the provider's logo is the mark.
Item {
    id: chip

    property string symbol: ""
    property string provider: "claude"
    property string title: ""
    property string subtitle: ""
    property bool selected: false

    signal clicked()

    readonly property color markColor: chip.selected ? Theme.accent : Theme.textDim

    implicitHeight: texts.implicitHeight + 18

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: chip.selected ? Theme.hoverFill : Theme.pair("15171d", "ffffff", 1)
        border.width: 1
        border.color: chip.selected ? Theme.accent : Theme.borderControl
    }
    Item {
        id: mark
        x: 11
        anchors.verticalCenter: parent.verticalCenter
        width: 15
        height: 15
        SymbolIcon {
            anchors.centerIn: parent
            visible: chip.symbol !== ""
            name: chip.symbol
            size: 13
            color: chip.markColor
        }
        ProviderLogo {
            anchors.centerIn: parent
            visible: chip.symbol === ""
            provider: chip.provider
            size: 15
            color: chip.markColor
        }
    }
    Column {
        id: texts
        anchors.left: mark.right
        anchors.leftMargin: 9
        anchors.right: parent.right
        anchors.rightMargin: 11
        anchors.verticalCenter: parent.verticalCenter
        spacing: 1
        Text {
            width: parent.width
            text: chip.title
            textFormat: Text.PlainText
            elide: Text.ElideRight
            color: chip.selected ? Theme.textStrong : Theme.text
            font.pointSize: Theme.fontSize(12.5)
            font.weight: Font.DemiBold
        }
        Text {
            width: parent.width
            text: chip.subtitle
            textFormat: Text.PlainText
            elide: Text.ElideRight
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(10.5)
        }
    }
    MouseArea {
        anchors.fill: parent
        onClicked: chip.clicked()
    }
}
