import QtQuick
import Brinmoor.App
import Brinmoor.Window

// A symbol button of headers and bars: no chrome, a soft fill while hovered.
Item {
    id: button

    property string systemName: ""
    // The symbol's point size.
    property real size: 11
    property bool active: false
    readonly property bool hovering: mouse.containsMouse

    signal clicked()

    implicitWidth: 20
    implicitHeight: 18
    width: 20
    height: 18

    Rectangle {
        anchors.fill: parent
        radius: 5
        color: button.hovering ? Theme.hoverFill : "transparent"
    }
    SymbolIcon {
        objectName: "symbol"
        anchors.centerIn: parent
        name: button.systemName
        size: button.size
        color: button.active ? Theme.textStrong : Theme.textDim
    }
    // A MouseArea takes the press for itself, so a click here never reaches the double-click
    // catcher or the drag source of a header behind it.
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onClicked: button.clicked()
    }
}
