pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Terminal

// The content of a terminal pane: the session's live terminal, filling what the pane frame
// (PaneShell, placed around it by PaneView) offers. The terminal itself belongs to the terminal
// host, so rebuilding this view never restarts the shell; a change of theme restyles it.
Item {
    id: pane

    required property var session
    required property bool compact
    // What the frame shows: the record's state and cost.
    readonly property string paneState: pane.session ? pane.session.state : "idle"
    readonly property string costText: pane.session ? pane.session.cost : ""
    readonly property Component accessory: null
    readonly property alias surface: surface

    // Asks for a fresh terminal once the pane's runtime was ended while this view stays up (a
    // restart of a live pane); a stopped or closed pane gets none.
    function reattachIfLive() {
        const record = pane.session ? AppModel.session(pane.session.id) : null;
        if (record && record.state !== "stopped")
            surface.reattach();
    }

    TerminalSurfaceView {
        id: surface
        anchors.fill: parent
        sessionID: pane.session ? pane.session.id : ""
        directory: pane.session ? pane.session.directory : ""
        dark: Theme.dark
        onViewDropped: pane.reattachIfLive()
    }

    // Why a paste put nothing in (its owner did not answer, the text was too long): a strip over
    // the terminal's foot for a few seconds, or until clicked.
    Rectangle {
        id: pasteNotice

        readonly property TerminalView view: surface.view as TerminalView
        readonly property string text: pasteNotice.view ? pasteNotice.view.pasteNotice : ""
        property bool dismissed: false

        objectName: "pasteNotice"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        visible: pasteNotice.text !== "" && !pasteNotice.dismissed
        height: Math.max(noticeText.implicitHeight, 14) + 12
        color: Theme.surfaceRaised
        onTextChanged: {
            pasteNotice.dismissed = false;
            if (pasteNotice.text !== "")
                hideNotice.restart();
        }

        Rectangle {
            anchors.fill: parent
            color: Theme.hex("f0b429", 0.12)
        }
        Rectangle {
            width: parent.width
            height: 1
            color: Theme.hex("f0b429", 0.45)
        }
        Text {
            id: noticeText
            x: 12
            anchors.verticalCenter: parent.verticalCenter
            width: pasteNotice.width - 24
            text: pasteNotice.text
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(11.5)
            color: Theme.text
        }
        MouseArea {
            anchors.fill: parent
            onClicked: pasteNotice.dismissed = true
        }
        Timer {
            id: hideNotice
            interval: 8000
            onTriggered: pasteNotice.dismissed = true
        }
    }

    // Right-click offers Copy, Paste and Select All for whichever terminal the surface shows.
    TerminalContextMenu {
        view: surface.view as TerminalView
    }
}
