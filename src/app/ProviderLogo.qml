import QtQuick
import Brinmoor.App

// The logo of a chat provider ("claude" or "codex") at `size`.
Item {
    id: logo

    property string provider: "claude"
    property real size: 16
    property color color: Theme.text
    // The same colour under the name the window components use.
    property alias tint: logo.color

    implicitWidth: logo.provider === "codex" ? codex.implicitWidth : claude.implicitWidth
    implicitHeight: logo.provider === "codex" ? codex.implicitHeight : claude.implicitHeight

    CodexLogo {
        id: codex
        anchors.centerIn: parent
        visible: logo.provider === "codex"
        size: logo.size
        color: logo.color
    }

    ClaudeLogo {
        id: claude
        anchors.centerIn: parent
        visible: logo.provider !== "codex"
        size: logo.size
        color: logo.color
    }
}
