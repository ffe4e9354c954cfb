pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The row under the composer: attach button, permission-mode pill (its pop-over also holds the
// effort and auto-compact controls), the context gauge for Claude, and the model pill.
Item {
    id: row

    required property ClaudeSession session
    required property AttachmentListModel attachments
    readonly property string provider: row.session ? row.session.provider : "claude"
    readonly property var mode: SessionControls.currentMode(row.provider, row.session ? row.session.permissionMode : "")

    implicitHeight: 22 + 8

    Row {
        x: 10
        height: 22
        spacing: 7

        Rectangle {
            objectName: "attachButton"
            width: 24
            height: 22
            radius: 6
            color: Theme.surfaceCard
            border.width: 1
            border.color: Theme.borderControl
            SymbolIcon {
                anchors.centerIn: parent
                name: "plus"
                size: 12
                color: Theme.textDim
            }
            MouseArea {
                id: attachMouse
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: fileDialog.open()
            }
            ToolTip.visible: attachMouse.containsMouse
            ToolTip.delay: 600
            ToolTip.text: "Attach image"
        }
        ControlPill {
            id: modePill
            objectName: "modePill"
            anchors.verticalCenter: parent.verticalCenter
            icon: row.mode.icon
            text: row.mode.title
            onClicked: modes.open()

            Popup {
                id: modes
                objectName: "modesPopup"
                // Takes the keyboard while open, so Escape closes it before anything else.
                focus: true
                y: -height - 6
                padding: 0
                background: Rectangle {
                    radius: 9
                    color: Theme.surfaceRaised
                    border.width: 1
                    border.color: Theme.borderControl
                }
                contentItem: ModesPopover {
                    session: row.session
                }
            }
        }
    }
    Row {
        anchors.right: parent.right
        anchors.rightMargin: 10
        height: 22
        spacing: 7
        ContextGauge {
            objectName: "contextGauge"
            anchors.verticalCenter: parent.verticalCenter
            session: row.session
        }
        ModelMenu {
            objectName: "modelPill"
            anchors.verticalCenter: parent.verticalCenter
            session: row.session
        }
    }

    FileDialog {
        id: fileDialog
        objectName: "attachDialog"
        title: "Attach"
        acceptLabel: "Attach"
        fileMode: FileDialog.OpenFiles
        onAccepted: row.attachments.addFiles(fileDialog.selectedFiles)
    }
}
