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

    // What the two pills may take, so that the left group (attach, mode) and the right one
    // (gauge, model) never meet however narrow the pane: the model pill shrinks to its symbols
    // first, then the mode pill's text is cut short and at last it too shows its symbols alone;
    // in a pane too narrow even for that, the gauge goes (its tooltip said what it says).
    readonly property real spare: row.width - 2 * 10 - attach.width - 3 * 7
    readonly property bool gaugeRoom: row.spare - gauge.implicitWidth - 7 >= modePill.iconWidth + modelPill.iconWidth
    readonly property real pillRoom: row.spare - (gauge.shown && row.gaugeRoom ? gauge.implicitWidth + 7 : 0)
    readonly property bool bothWhole: modePill.fullWidth + modelPill.fullWidth <= row.pillRoom

    Row {
        x: 10
        height: 22
        spacing: 7

        Rectangle {
            id: attach
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
                onClicked: {
                    // Files to attach are usually the project's own.
                    fileDialog.currentFolder = SessionControls.attachFolder(row.session);
                    fileDialog.open();
                }
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
            maximumWidth: row.bothWhole ? modePill.fullWidth : row.pillRoom - modelPill.iconWidth
            onClicked: modes.open()

            Popup {
                id: modes
                objectName: "modesPopup"
                // Takes the keyboard while open, so Escape closes it before anything else.
                focus: true
                y: -height - 6
                // Kept clear of the window's edges (a narrow pane at the window's right).
                margins: 8
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
            id: gauge
            objectName: "contextGauge"
            anchors.verticalCenter: parent.verticalCenter
            session: row.session
            room: row.gaugeRoom
        }
        ModelMenu {
            id: modelPill
            objectName: "modelPill"
            anchors.verticalCenter: parent.verticalCenter
            session: row.session
            maximumWidth: row.bothWhole ? modelPill.fullWidth : modelPill.iconWidth
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
