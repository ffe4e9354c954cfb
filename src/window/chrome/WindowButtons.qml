import QtQuick
import Brinmoor.App
import Brinmoor.Window

// Our own close, minimise and zoom buttons for the frameless window, in the top bar's leading
// inset. Three small round buttons; their glyphs show while the pointer is over the group.
Row {
    id: buttons

    required property WindowChrome chrome

    spacing: 8
    readonly property bool hovering: closeButton.area.containsMouse || minimizeButton.area.containsMouse
                                     || zoomButton.area.containsMouse

    component RoundButton: Rectangle {
        id: round
        property string colorHex: ""
        property string glyph: ""
        property bool showGlyph: false
        property alias area: area
        signal clicked()
        width: 12
        height: 12
        radius: 6
        color: Theme.hex(round.colorHex, 1)
        border.width: 1
        border.color: Theme.pairWithOpacities("000000", 0.25, "000000", 0.15)
        Text {
            anchors.centerIn: parent
            anchors.verticalCenterOffset: -0.5
            visible: round.showGlyph
            text: round.glyph
            color: Theme.hex("1d1f24", 0.75)
            font.pointSize: Theme.fontSize(10)
            font.weight: Font.Bold
        }
        MouseArea {
            id: area
            anchors.fill: parent
            anchors.margins: -2
            hoverEnabled: true
            preventStealing: true
            onClicked: round.clicked()
        }
    }

    RoundButton {
        id: closeButton
        objectName: "closeButton"
        colorHex: "e5534b"
        glyph: "×"
        showGlyph: buttons.hovering
        onClicked: buttons.chrome.closeWindow()
    }
    RoundButton {
        id: minimizeButton
        objectName: "minimizeButton"
        colorHex: "d9a43a"
        glyph: "−"
        showGlyph: buttons.hovering
        onClicked: buttons.chrome.minimize()
    }
    RoundButton {
        id: zoomButton
        objectName: "zoomButton"
        colorHex: "4fae5c"
        glyph: "+"
        showGlyph: buttons.hovering
        onClicked: buttons.chrome.zoom()
    }
}
