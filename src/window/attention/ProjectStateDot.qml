pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Window

// The project's colour as a dot, with a breathing ring while the session runs. It always takes
// a (size + 6) square, ring or not, so that rows line up.
Item {
    id: root

    property string directory: ""
    property string paneState: "idle"
    property real size: 7

    readonly property color projectColor: ProjectColors.colorFor(root.directory)
    readonly property bool ringShown: root.paneState === "running"

    implicitWidth: root.size + 6
    implicitHeight: root.size + 6
    width: root.size + 6
    height: root.size + 6

    Rectangle {
        objectName: "dot"
        anchors.centerIn: parent
        width: root.size
        height: root.size
        radius: root.size / 2
        color: root.projectColor
    }

    Pulse {
        id: ring
        objectName: "ring"
        anchors.fill: parent
        active: root.ringShown
        low: 0.4
        high: 1.0
        duration: 1.6
        // The ring stays in place and is only hidden, so the dot never moves.
        visible: root.ringShown

        SoftGlow {
            anchors.fill: ringShape
            color: Qt.rgba(root.projectColor.r, root.projectColor.g, root.projectColor.b, 0.9)
            radius: 4
            cornerRadius: ringShape.radius
        }
        Rectangle {
            id: ringShape
            width: ring.width
            height: ring.height
            radius: width / 2
            color: "transparent"
            border.width: 1.5
            border.color: root.projectColor
        }
    }
}
