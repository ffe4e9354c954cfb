pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App

// The small square symbol button of code cards and code blocks (copy, expand): 22 by 20, a
// rounded fill and border, the symbol at 10 semibold in the middle; the whole square takes clicks.
Item {
    id: button

    property string symbol: ""
    property color symbolColor: Theme.accent
    property string tooltip: ""

    signal clicked()

    implicitWidth: 22
    implicitHeight: 20
    width: 22
    height: 20

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.surfaceCard
        border.width: 1
        border.color: Theme.borderControl
    }
    SymbolIcon {
        objectName: "symbol"
        anchors.centerIn: parent
        name: button.symbol
        size: 10
        color: button.symbolColor
    }
    MouseArea {
        id: mouse
        objectName: "area"
        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
    ToolTip.visible: mouse.containsMouse && button.tooltip !== ""
    ToolTip.delay: 600
    ToolTip.text: button.tooltip
}
