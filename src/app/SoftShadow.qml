pragma ComponentBehavior: Bound
import QtQuick

// A drop shadow under a rounded shape: thin rings around the shape's box, shifted by the offset,
// whose alpha falls off outwards like the tail of a blur. Place it under the shape, filling the
// same box. Plain rectangles, so it draws the same with every scene-graph backend and costs
// nothing after the first frame.
Item {
    id: shadow

    property color color: Qt.rgba(0, 0, 0, 0.35)
    // How far the shadow reaches outside the shape, in logical pixels.
    property real radius: 6
    property real cornerRadius: 0
    property real offsetX: 0
    property real offsetY: 2

    visible: shadow.color.a > 0 && shadow.radius > 0

    Repeater {
        model: shadow.visible ? Math.max(1, Math.round(shadow.radius)) : 0
        delegate: Rectangle {
            required property int index
            readonly property real t: (index + 0.5) / Math.max(1, Math.round(shadow.radius))
            x: shadow.offsetX - index
            y: shadow.offsetY - index
            width: shadow.width + 2 * index
            height: shadow.height + 2 * index
            radius: shadow.cornerRadius + index
            color: "transparent"
            border.width: 1
            border.color: Qt.rgba(shadow.color.r, shadow.color.g, shadow.color.b,
                                  shadow.color.a * 0.6 * Math.pow(1 - t, 2))
        }
    }
}
