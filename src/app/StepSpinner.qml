pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App

// The small indeterminate progress mark: eight ticks, the bright one moving a tick at a time,
// eight steps a second, only while shown (never a frame-rate animation).
Item {
    id: spinner

    property color color: Theme.textDim
    property int lit: 0

    implicitWidth: 14
    implicitHeight: 14

    Timer {
        interval: 125
        repeat: true
        running: spinner.visible
        onTriggered: spinner.lit = (spinner.lit + 1) % 8
    }
    Repeater {
        model: 8
        delegate: Rectangle {
            id: tick
            required property int index
            x: spinner.width / 2 - tick.width / 2
            y: 0
            width: 1.6
            height: spinner.height * 0.3
            radius: tick.width / 2
            color: spinner.color
            opacity: ((tick.index - spinner.lit + 8) % 8) === 0 ? 1 : 0.25 + 0.06 * ((tick.index - spinner.lit + 8) % 8)
            transform: Rotation {
                origin.x: tick.width / 2
                origin.y: spinner.height / 2
                angle: tick.index * 45
            }
        }
    }
}
