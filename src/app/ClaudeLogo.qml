import QtQuick
import Brinmoor.App

// The Claude provider's logo at `size` × `size`, in its own colours; a sparkle symbol in the
// foreground colour when the image is missing.
Item {
    id: logo

    property real size: 16
    property color color: Theme.text
    // The same colour under the name the window components use.
    property alias tint: logo.color
    // Whether the image is drawn; false shows the symbol in its place.
    property bool hasImage: Assets.hasClaudeLogo

    implicitWidth: logo.hasImage ? logo.size : fallback.implicitWidth
    implicitHeight: logo.hasImage ? logo.size : fallback.implicitHeight

    Image {
        anchors.fill: parent
        visible: logo.hasImage
        source: Assets.claudeLogo
        fillMode: Image.PreserveAspectFit
        sourceSize.width: logo.size * 2
        sourceSize.height: logo.size * 2
        smooth: true
        mipmap: true
    }

    Text {
        id: fallback
        objectName: "fallback"
        anchors.centerIn: parent
        visible: !logo.hasImage
        text: "\u2726"
        color: logo.color
        font.pixelSize: 0.85 * logo.size
    }
}
