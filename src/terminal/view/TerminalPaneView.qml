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

    // Right-click offers Copy, Paste and Select All for whichever terminal the surface shows.
    TerminalContextMenu {
        view: surface.view as TerminalView
    }
}
