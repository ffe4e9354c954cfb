pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The model pill and its menu: the provider's models, the active one checked.
ControlPill {
    id: menu

    required property ClaudeSession session
    readonly property string provider: menu.session ? menu.session.provider : "claude"
    readonly property string active: menu.session ? SessionControls.activeModel(menu.session.model, menu.session.resolvedModel) : ""

    icon: "cpu"
    text: SessionControls.modelLabel(menu.provider, menu.active)
    onClicked: popup.open()

    Popup {
        id: popup
        objectName: "modelPopup"
        // Takes the keyboard while open, so Escape closes it before anything else.
        focus: true
        y: -height - 6
        x: menu.width - width
        // Kept clear of the window's edges.
        margins: 8
        padding: 4
        background: Rectangle {
            radius: 8
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderControl
        }
        Column {
            Repeater {
                model: SessionControls.models(menu.provider)
                delegate: Rectangle {
                    id: item
                    required property var modelData
                    objectName: "modelItem"
                    width: 170
                    height: 26
                    radius: 5
                    color: itemMouse.containsMouse ? Theme.hoverFill : "transparent"
                    SymbolIcon {
                        x: 8
                        anchors.verticalCenter: parent.verticalCenter
                        visible: SessionControls.isActiveModel(item.modelData.id, menu.active)
                        name: "checkmark"
                        size: 10
                        color: Theme.textStrong
                    }
                    Text {
                        x: 26
                        anchors.verticalCenter: parent.verticalCenter
                        text: item.modelData.label
                        textFormat: Text.PlainText
                        font.pointSize: Theme.fontSize(12)
                        color: Theme.textStrong
                    }
                    MouseArea {
                        id: itemMouse
                        anchors.fill: parent
                        hoverEnabled: true
                        onClicked: {
                            SessionControls.chooseModel(menu.session, item.modelData.id);
                            popup.close();
                        }
                    }
                }
            }
        }
    }
}
