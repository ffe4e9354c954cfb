pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The inline card of a tool call waiting for the user's decision: who asks, the call's one-line
// summary, its detail in a collapsed code block, and Deny / Approve. It holds no state and sends
// nothing itself; the chat pane wires the two signals to the session.
Item {
    id: card

    // A permissionRequest value.
    required property var request
    // "claude" or "codex".
    property string provider: "claude"

    signal approve()
    signal deny()

    readonly property string tool: card.request ? card.request.tool : ""
    readonly property string summary: card.request ? card.request.summary : ""
    readonly property string detail: card.request && card.request.detail !== undefined ? card.request.detail : ""
    // The name or command the call acts on, its hidden characters as marks: what runs is what reads.
    readonly property string markedSummary: ChatText.markedName(card.summary)

    implicitHeight: column.implicitHeight + 22

    PromptFrame {
        anchors.fill: parent
    }
    Column {
        id: column
        x: 11
        y: 11
        width: card.width - 22
        spacing: 8

        Row {
            spacing: 7
            width: column.width
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "hand.raised.fill"
                size: 11
                color: Theme.amber
            }
            Text {
                id: asker
                anchors.verticalCenter: parent.verticalCenter
                text: (card.provider === "codex" ? "Codex" : "Claude") + qsTr(" wants to run")
                font.pointSize: Theme.fontSize(11.5)
                font.weight: Font.DemiBold
                color: Theme.text
            }
            Text {
                objectName: "summary"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, column.width - asker.width - 32)
                text: card.markedSummary !== "" ? card.markedSummary : card.summary
                textFormat: card.markedSummary !== "" ? Text.StyledText : Text.PlainText
                maximumLineCount: 1
                elide: Text.ElideMiddle
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(11)
                color: Theme.text
            }
        }
        Repeater {
            model: card.detail !== "" ? 1 : 0
            delegate: CodeBlock {
                objectName: "detail"
                width: column.width
                text: card.detail
                wholeLines: card.request && card.request.wholeLines ? card.request.wholeLines : 0
                wholeChars: card.request && card.request.wholeChars ? card.request.wholeChars : 0
                title: "Will run · " + card.summary
                collapsedLines: 2
                markdown: card.tool === "ExitPlanMode"
                isDiff: card.tool === "Edit" || card.tool === "MultiEdit"
            }
        }
        Row {
            anchors.right: parent.right
            spacing: 8
            PromptButton {
                objectName: "deny"
                title: qsTr("Deny")
                onClicked: card.deny()
            }
            PromptButton {
                objectName: "approve"
                title: qsTr("Approve")
                filled: true
                onClicked: card.approve()
            }
        }
    }
}
