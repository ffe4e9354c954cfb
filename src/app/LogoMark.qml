pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App

// The application's logo mark at `size` × `size`, in its own colours; a filled two-by-two grid
// in the foreground colour when the image is missing.
Item {
    id: logo

    property real size: 24
    property color color: Theme.text
    // The same colour under the name the window components use.
    property alias tint: logo.color
    // Whether the image is drawn; false shows the symbol in its place.
    property bool hasImage: Assets.hasLogoMark

    implicitWidth: logo.size
    implicitHeight: logo.size

    Image {
        anchors.fill: parent
        visible: logo.hasImage
        source: Assets.logoMark
        fillMode: Image.PreserveAspectFit
        sourceSize.width: logo.size * 2
        sourceSize.height: logo.size * 2
        smooth: true
        mipmap: true
    }

    Grid {
        id: fallback
        anchors.centerIn: parent
        visible: !logo.hasImage
        columns: 2
        spacing: logo.size * 0.08
        readonly property real tile: (0.9 * logo.size - fallback.spacing) / 2
        Repeater {
            model: 4
            Rectangle {
                width: fallback.tile
                height: fallback.tile
                radius: fallback.tile * 0.22
                color: logo.color
            }
        }
    }
}
