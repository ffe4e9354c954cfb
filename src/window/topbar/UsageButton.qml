import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Window

// A provider's usage button in the top bar: its logo in a 24 × 24 frame. A click refreshes the
// account's usage and opens the popover below the button.
Item {
    id: button

    required property UsageService service
    // "claude" or "codex".
    required property string provider
    property bool showPopover: false
    readonly property alias popover: popover

    width: 24
    height: 24

    onShowPopoverChanged: button.showPopover ? popover.open() : popover.close()

    function activate() {
        button.service.refresh();
        button.showPopover = true;
    }

    Loader {
        anchors.centerIn: parent
        sourceComponent: button.provider === "codex" ? codexLogo : claudeLogo
    }
    Component {
        id: claudeLogo
        ClaudeLogo {
            size: 15
        }
    }
    Component {
        id: codexLogo
        CodexLogo {
            size: 15
            color: Theme.textDim
        }
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onClicked: button.activate()
    }
    ToolTip.visible: mouse.containsMouse && !button.showPopover
    ToolTip.delay: 600
    ToolTip.text: button.provider === "codex" ? qsTr("Codex usage / limits") : qsTr("Claude usage / limits")

    UsagePopover {
        id: popover
        objectName: "usagePopover"
        service: button.service
        provider: button.provider
        x: (button.width - popover.width) / 2
        y: button.height + 6
        onClosed: button.showPopover = false
    }
}
