pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Terminal
import Brinmoor.Agent
import Brinmoor.Chat
import Brinmoor.Window

// The one entry to a pane's content, for the grid and the maximized view. A stopped session
// shows the stopped card alone; a live one shows its content inside the pane frame. The live
// content is made once and survives every change of the record except leaving or entering the
// stopped state (a stop ends the runtime; a restart starts a new one).
//
// A content view (the terminal surface, the chat view) takes `session` and `compact`, and may
// offer `paneState` and `costText` (what the frame shows; else the record's state and cost) and
// `accessory` (a Component placed in the header) or `accessoryItem` (an item of its own, moved
// into the header).
Item {
    id: pane
    objectName: "paneView"

    required property var session
    property bool compact: false

    readonly property bool stopped: pane.session ? pane.session.state === "stopped" : false
    readonly property string kind: pane.session ? pane.session.kind : "terminal"
    // The live frame while not stopped, else null; its content; the stopped card while stopped.
    readonly property PaneShell shell: live.count > 0 ? live.itemAt(0) as PaneShell : null
    readonly property var content: pane.shell ? pane.shell.contentView : null
    readonly property StoppedPlaceholder placeholder: stoppedCard.count > 0 ? stoppedCard.itemAt(0) as StoppedPlaceholder : null

    implicitWidth: 320
    implicitHeight: 240

    // A count of 0 or 1: the frame exists exactly while the pane is live, and a change of the
    // record that keeps it live leaves the count (and so the frame and content) alone.
    Repeater {
        id: live
        model: pane.stopped ? 0 : 1
        delegate: PaneShell {
            id: frame
            contentView: terminal.count > 0 ? terminal.itemAt(0)
                         : chat.count > 0 ? chat.itemAt(0) : null
            width: pane.width
            height: pane.height
            session: pane.session
            compact: pane.compact
            paneState: frame.contentView && frame.contentView.paneState !== undefined
                       ? frame.contentView.paneState : (pane.session ? pane.session.state : "idle")
            cost: frame.contentView && frame.contentView.costText !== undefined
                  ? frame.contentView.costText : (pane.session ? pane.session.cost : "")
            accessory: frame.contentView && frame.contentView.accessory && !pane.compact
                       ? frame.contentView.accessory : null
            accessoryItem: frame.contentView && frame.contentView.accessoryItem && !pane.compact
                           ? frame.contentView.accessoryItem : null

            // The kind of a session never changes, so exactly one of these holds the content:
            // the live terminal or the chat.
            Repeater {
                id: terminal
                model: pane.kind === "chat" ? 0 : 1
                delegate: TerminalPaneView {
                    anchors.fill: parent
                    session: pane.session
                    compact: pane.compact
                }
            }
            Repeater {
                id: chat
                model: pane.kind === "chat" ? 1 : 0
                delegate: ChatPaneView {
                    anchors.fill: parent
                    session: pane.session
                    compact: false
                }
            }
        }
    }
    Repeater {
        id: stoppedCard
        model: pane.stopped ? 1 : 0
        delegate: StoppedPlaceholder {
            width: pane.width
            height: pane.height
            session: pane.session
            // Read once: the card is made after the agent's end was recorded.
            reason: pane.kind === "chat" && pane.session ? ChatHost.exitReason(pane.session.id) : ""
            // The pane's draft waits for its next session; read once too: the pane keeps the same one.
            draft: pane.kind === "chat" && pane.session ? ChatMemory.keptDraft(pane.session.id) : null
        }
    }
}
