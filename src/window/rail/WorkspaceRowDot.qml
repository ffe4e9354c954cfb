import QtQuick
import Brinmoor.App
import Brinmoor.Window

// A workspace's attention dot: amber (pulsing) while a session awaits the user, red while one is
// in error, with a soft glow in its own colour.
Pulse {
    id: dot

    required property string colorHex
    property real size: 8
    // The ring that separates the dot from a tile beneath it (collapsed rows); none when clear.
    property color ringColor: "transparent"

    active: dot.colorHex === "f0b429"
    low: 0.4
    high: 1.0
    duration: 1.6
    width: dot.size
    height: dot.size

    SoftGlow {
        anchors.fill: parent
        color: Theme.hex(dot.colorHex, 0.9)
        radius: 4
        cornerRadius: dot.size / 2
    }
    Rectangle {
        anchors.fill: parent
        anchors.margins: -1
        visible: dot.ringColor.a > 0
        radius: width / 2
        color: dot.ringColor
    }
    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Theme.hex(dot.colorHex, 1)
    }
}
