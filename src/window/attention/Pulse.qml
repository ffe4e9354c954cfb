pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Window

// Breathing opacity for whatever it holds. While `active`, the opacity swings from `low` to
// `high` and back, each leg taking `duration` seconds with an ease-in-out, for as long as the
// item is shown in a visible window; when not active it is exactly 1, at once. The swing follows
// the window's shared PulseClock in a few steps, so it costs a handful of frames a second and
// none at all while the window is minimised or hidden.
Item {
    id: pulse

    property bool active: false
    property real low: 0.4
    property real high: 1.0
    // Seconds per half cycle.
    property real duration: 1.6
    // Ticking: active, shown, and in a window that is on screen.
    readonly property bool running: pulse.active && pulse.visible && pulse.Window.window !== null
                                    && pulse.Window.visibility !== Window.Minimized
                                    && pulse.Window.visibility !== Window.Hidden
    // 0 at `low`, 1 at `high`.
    readonly property real phase: pulse.running ? PulseClock.phase(PulseClock.tick, pulse.duration) : 0

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    opacity: pulse.active ? pulse.low + (pulse.high - pulse.low) * pulse.phase : 1

    onRunningChanged: pulse.running ? PulseClock.enlist(pulse) : PulseClock.dismiss(pulse)
    Component.onCompleted: if (pulse.running) PulseClock.enlist(pulse)
    Component.onDestruction: PulseClock.dismiss(pulse)
}
