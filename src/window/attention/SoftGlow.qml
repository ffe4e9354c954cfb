pragma ComponentBehavior: Bound
import QtQuick

// A soft glow around a rounded shape, drawn as thin rings that fade outwards: the shadow with no
// offset that state dots and pane borders wear. Place it under the shape, filling the same box.
// Built from plain rectangles so that it draws the same with every scene-graph backend.
Item {
    id: glow

    property color color: "transparent"
    // How far the glow reaches outside the shape, in logical pixels.
    property real radius: 8
    property real cornerRadius: 0

    visible: glow.color.a > 0 && glow.radius > 0

    Repeater {
        model: glow.visible ? Math.max(1, Math.round(glow.radius)) : 0
        delegate: Rectangle {
            required property int index
            // Ring i covers the band from i to i+1 pixels outside the shape; its alpha falls off
            // like the tail of a blur: about half the colour's alpha at the edge, none at `radius`.
            readonly property real t: (index + 0.5) / Math.max(1, Math.round(glow.radius))
            x: -(index + 1)
            y: -(index + 1)
            width: glow.width + 2 * (index + 1)
            height: glow.height + 2 * (index + 1)
            radius: glow.cornerRadius + index + 1
            color: "transparent"
            border.width: 1
            border.color: Qt.rgba(glow.color.r, glow.color.g, glow.color.b,
                                  glow.color.a * 0.55 * Math.pow(1 - t, 2))
        }
    }
}
