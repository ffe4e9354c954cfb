import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The provider's logo at a given size: the Claude logo in its own colours, the Codex logo as a
// shape in the current text colour; each falls back to a symbol when its image is missing.
Item {
    id: logo

    property string provider: "claude"
    property real size: 12
    // The colour the Codex logo (and any fallback symbol) takes.
    property color tint: Theme.text

    readonly property bool codex: logo.provider === "codex"
    readonly property url source: logo.codex ? Assets.codexLogo : Assets.claudeLogo

    implicitWidth: logo.size
    implicitHeight: logo.size

    Image {
        id: image
        anchors.fill: parent
        visible: !logo.codex && status === Image.Ready
        source: logo.codex ? "" : logo.source
        sourceSize.width: Math.ceil(logo.size * 2)
        sourceSize.height: Math.ceil(logo.size * 2)
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
    // The Codex logo is drawn as a template: its shape in the tint colour.
    SymbolIcon {
        anchors.fill: parent
        visible: logo.codex && logo.source != ""
        source: logo.codex ? logo.source : ""
        size: logo.size
        color: logo.tint
    }
    SymbolIcon {
        anchors.centerIn: parent
        visible: logo.codex ? logo.source == "" : image.status !== Image.Ready
        name: logo.codex ? "chevron.left.forwardslash.chevron.right" : "sparkle"
        size: logo.size * (logo.codex ? 0.8 : 0.85)
        color: logo.tint
    }
}
