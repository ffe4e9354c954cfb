pragma ComponentBehavior: Bound
import QtQuick

// Breathing opacity for whatever it holds. While `active`, the opacity swings from `low` to
// `high` and back, each leg taking `duration` seconds with an ease-in-out, for as long as the
// item is visible; when not active it is exactly 1, at once.
Item {
    id: pulse

    property bool active: false
    property real low: 0.4
    property real high: 1.0
    // Seconds per half cycle.
    property real duration: 1.6
    // 0 at `low`, 1 at `high`.
    property real phase: 0

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    opacity: pulse.active ? pulse.low + (pulse.high - pulse.low) * pulse.phase : 1

    readonly property SequentialAnimation swing: SequentialAnimation {
        loops: Animation.Infinite
        running: pulse.active && pulse.visible
        NumberAnimation {
            target: pulse
            property: "phase"
            from: 0
            to: 1
            duration: pulse.duration * 1000
            easing.type: Easing.InOutQuad
        }
        NumberAnimation {
            target: pulse
            property: "phase"
            from: 1
            to: 0
            duration: pulse.duration * 1000
            easing.type: Easing.InOutQuad
        }
        onRunningChanged: if (!running) pulse.phase = 0
    }
}
