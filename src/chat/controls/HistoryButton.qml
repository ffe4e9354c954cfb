import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The chat pane header's clock button: asks the session for the folder's stored conversations
// and shows them in a pop-over; picking one records it on the pane and resumes it there.
Item {
    id: button

    required property ClaudeSession session

    implicitWidth: 20
    implicitHeight: 18

    function resume(conversationId: string) {
        popup.close();
        const pane = button.session.paneId;
        AppModel.resumeChat(pane, conversationId);
        button.session.resume(conversationId);
        AppModel.save();
    }

    SymbolIcon {
        anchors.centerIn: parent
        name: "clock.arrow.circlepath"
        size: 12
        color: Theme.textDim
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: {
            button.session.clearSessionsList();
            button.session.requestSessions();
            popup.open();
        }
    }
    ToolTip.visible: mouse.containsMouse && !popup.visible
    ToolTip.delay: 600
    ToolTip.text: "Resume a past conversation"

    Popup {
        id: popup
        objectName: "historyPopup"
        // Takes the keyboard while open, so Escape closes it before anything else.
        focus: true
        y: button.height + 6
        x: button.width - width
        padding: 0
        background: Rectangle {
            radius: 9
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderControl
        }
        contentItem: HistoryPicker {
            session: button.session
            onPicked: id => button.resume(id)
        }
    }
}
