import QtQuick
import Brinmoor.App

// The Codex provider's logo at `size` × `size`, drawn as a template: its shape in `color`. A
// code-brackets symbol (semibold) when the image is missing.
Item {
    id: logo

    property real size: 16
    property color color: Theme.text
    // The same colour under the name the window components use.
    property alias tint: logo.color
    // Whether the image is drawn; false shows the symbol in its place.
    property bool hasImage: Assets.hasCodexLogo

    implicitWidth: logo.hasImage ? logo.size : fallback.implicitWidth
    implicitHeight: logo.hasImage ? logo.size : fallback.implicitHeight

    TemplateImage {
        anchors.fill: parent
        visible: logo.hasImage
        source: Assets.codexLogo
        color: logo.color
    }

    Text {
        id: fallback
        objectName: "fallback"
        anchors.centerIn: parent
        visible: !logo.hasImage
        text: "</>"
        color: logo.color
        font.pixelSize: 0.8 * logo.size
        font.weight: Font.DemiBold
    }
}
