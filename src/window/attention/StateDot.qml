pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// A pane's state as a small dot: its colour, shape and glow follow the state; an awaiting dot
// breathes. Stopped is a rounded square, every other state is round.
Pulse {
    id: dot

    property string paneState: "idle"
    property real size: 7

    readonly property bool round: dot.paneState !== "stopped"
    readonly property color fill: {
        switch (dot.paneState) {
        case "running": return Theme.accent;
        case "awaiting": return Theme.amber;
        case "error": return Theme.red;
        case "stopped": return Theme.hex("3f444c", 1);
        default: return Theme.textGhost;
        }
    }
    readonly property color glowColor: dot.paneState === "awaiting" ? Theme.hex("f0b429", 0.9)
                                       : dot.paneState === "error" ? Theme.hex("f0524f", 0.7) : "transparent"
    readonly property real glowRadius: dot.paneState === "awaiting" ? 5 : dot.paneState === "error" ? 4 : 0
    readonly property real cornerRadius: dot.round ? dot.size * 0.5 : 2

    implicitWidth: dot.size
    implicitHeight: dot.size
    width: dot.size
    height: dot.size

    active: dot.paneState === "awaiting"
    low: 0.4
    high: 1.0
    duration: 1.6

    SoftGlow {
        anchors.fill: shape
        color: dot.glowColor
        radius: dot.glowRadius
        cornerRadius: dot.cornerRadius
    }
    Rectangle {
        id: shape
        objectName: "shape"
        width: dot.size
        height: dot.size
        radius: dot.cornerRadius
        color: dot.fill
    }
}
