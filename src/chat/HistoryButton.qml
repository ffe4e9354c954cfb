pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent

// The chat pane's header accessory: the clock button that lists the stored conversations of the
// pane's folder in a popover and resumes the one picked.
Item {
    id: button
    objectName: "historyButton"

    property ClaudeSession vm: null

    signal picked(string id)

    implicitWidth: 20
    implicitHeight: 18

    function open() {
        if (!button.vm)
            return;
        button.vm.requestSessions();
        popup.open();
    }

    SymbolIcon {
        anchors.centerIn: parent
        name: "clock.arrow.circlepath"
        size: 12
        color: Theme.pair("787f89", "737982", 1)
    }
    HoverHandler {
        id: hover
        cursorShape: Qt.PointingHandCursor
    }
    TapHandler {
        onTapped: button.open()
    }
    ToolTip.visible: hover.hovered && !popup.visible
    ToolTip.delay: 600
    ToolTip.text: qsTr("Resume a past conversation")

    Popup {
        id: popup
        objectName: "historyPopup"
        y: button.height + 4
        x: button.width - popup.width
        width: 300
        height: Math.min(320, list.contentHeight + 16 + (list.count === 0 ? 28 : 0))
        padding: 8
        background: Rectangle {
            radius: 9
            color: Theme.pair("15171d", "ffffff", 1)
            border.width: 1
            border.color: Theme.pair("22252d", "d6d9e0", 1)
        }
        Text {
            visible: list.count === 0
            text: button.vm && button.vm.sessionsLoading ? qsTr("Loading…") : qsTr("No past conversations")
            font.pointSize: Theme.fontSize(11)
            color: Theme.pair("5a616b", "9097a1", 1)
        }
        ListView {
            id: list
            anchors.fill: parent
            clip: true
            model: button.vm ? button.vm.sessionsList : []
            delegate: Rectangle {
                id: entry
                required property var modelData
                width: list.width
                height: 30
                radius: 6
                color: entryHover.hovered ? Theme.hoverFill : "transparent"
                Text {
                    x: 8
                    width: entry.width - 16
                    anchors.verticalCenter: parent.verticalCenter
                    text: entry.modelData.summary !== "" ? entry.modelData.summary : entry.modelData.id
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pointSize: Theme.fontSize(11.5)
                    color: Theme.pair("c5c9d0", "3a4048", 1)
                }
                HoverHandler {
                    id: entryHover
                    cursorShape: Qt.PointingHandCursor
                }
                TapHandler {
                    onTapped: {
                        popup.close();
                        button.picked(entry.modelData.id);
                    }
                }
            }
        }
    }
}
