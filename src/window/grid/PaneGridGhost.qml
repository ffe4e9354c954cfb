pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Shapes
import Brinmoor.App
import Brinmoor.Window

// Where a dragged pane would land: a tinted rounded rectangle inside a dashed accent outline,
// with the swap symbol in its middle when it marks a pane to change places with.
Item {
    id: ghost

    property bool swap: false

    readonly property real radius: 9
    readonly property real lineWidth: 2
    readonly property color accent: Theme.accent

    Rectangle {
        anchors.fill: parent
        radius: ghost.radius
        color: Theme.hex("5b8cdd", 0.16)
    }

    // The outline lies inside the edge: its path runs half a line width in from it.
    Shape {
        id: outline
        anchors.fill: parent

        readonly property real i: ghost.lineWidth / 2
        readonly property real r: Math.max(ghost.radius - i, 0)
        readonly property real w: Math.max(width - i, i)
        readonly property real h: Math.max(height - i, i)

        ShapePath {
            strokeColor: ghost.accent
            strokeWidth: ghost.lineWidth
            fillColor: "transparent"
            strokeStyle: ShapePath.DashLine
            // Dashes 6 long with gaps of 4; the pattern counts in stroke widths.
            dashPattern: [6 / ghost.lineWidth, 4 / ghost.lineWidth]
            startX: outline.i + outline.r
            startY: outline.i
            PathLine { x: outline.w - outline.r; y: outline.i }
            PathArc { x: outline.w; y: outline.i + outline.r; radiusX: outline.r; radiusY: outline.r }
            PathLine { x: outline.w; y: outline.h - outline.r }
            PathArc { x: outline.w - outline.r; y: outline.h; radiusX: outline.r; radiusY: outline.r }
            PathLine { x: outline.i + outline.r; y: outline.h }
            PathArc { x: outline.i; y: outline.h - outline.r; radiusX: outline.r; radiusY: outline.r }
            PathLine { x: outline.i; y: outline.i + outline.r }
            PathArc { x: outline.i + outline.r; y: outline.i; radiusX: outline.r; radiusY: outline.r }
        }
    }

    SymbolIcon {
        anchors.centerIn: parent
        visible: ghost.swap
        name: "arrow.left.arrow.right"
        size: 20
        color: ghost.accent
    }
}
