pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// One tool call: its name, its one-line summary and, when the call carries a longer detail that
// is more than the summary again, that detail in a collapsed code block (a coloured diff for
// edits, markdown in the preview for a plan). A call that did not run to its end says how it
// ended at the header's end: failed (its result was an error), denied (refused: nothing ran, so
// its detail is not shown as if it had) or interrupted (its turn ended before its result).
Item {
    id: card

    // A toolUse value.
    required property var tool
    // How the call ended: "pending", "done", "failed", "denied", "interrupted".
    property string outcome: "pending"
    readonly property string name: card.tool ? card.tool.name : ""
    readonly property string summary: card.tool ? card.tool.summary : ""
    readonly property string detail: card.tool && card.tool.detail !== undefined ? card.tool.detail : ""
    readonly property bool denied: card.outcome === "denied"
    readonly property bool failed: card.outcome === "failed" || card.denied
    readonly property bool interrupted: card.outcome === "interrupted"
    readonly property bool showsDetail: card.detail !== "" && card.detail !== card.summary && !card.denied
    // Hidden characters of the name and summary as marks.
    readonly property string markedName: ChatText.markedName(card.name)
    readonly property string markedSummary: ChatText.markedName(card.summary)

    implicitHeight: column.implicitHeight + 14

    CardFrame {
        anchors.fill: parent
        color: card.failed ? Theme.mix(Theme.surfaceCard, Theme.red, 0.06) : Theme.surfaceCard
        border.color: card.failed ? Theme.hex("f0524f", 0.45) : Theme.borderControl
    }
    Column {
        id: column
        x: 10
        y: 7
        width: card.width - 20
        spacing: 6

        Item {
            width: column.width
            height: Math.max(nameText.implicitHeight, badge.visible ? badge.height : 0)
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "wrench.and.screwdriver"
                    size: 10
                    color: card.failed ? Theme.red : card.interrupted ? Theme.textFaint : Theme.hex("d6b271", 1)
                }
                Text {
                    id: nameText
                    objectName: "name"
                    anchors.verticalCenter: parent.verticalCenter
                    text: card.markedName !== "" ? card.markedName : card.name
                    textFormat: card.markedName !== "" ? Text.StyledText : Text.PlainText
                    color: Theme.text
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.DemiBold
                }
                Text {
                    objectName: "summary"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.summary !== ""
                    width: Math.min(implicitWidth, column.width - nameText.width - 34 - (badge.visible ? badge.width + 8 : 0))
                    text: card.markedSummary !== "" ? card.markedSummary : card.summary
                    textFormat: card.markedSummary !== "" ? Text.StyledText : Text.PlainText
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                    font.strikeout: card.denied
                    color: Theme.textFaint
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(10.5)
                }
            }
            Row {
                id: badge
                objectName: "outcome"
                visible: card.failed || card.interrupted
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 4
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: card.denied ? "hand.raised.fill" : card.interrupted ? "stop.circle.fill" : "xmark.circle.fill"
                    size: 10
                    color: badgeText.color
                }
                Text {
                    id: badgeText
                    objectName: "outcomeText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: card.denied ? qsTr("Denied") : card.interrupted ? qsTr("Interrupted") : qsTr("Failed")
                    font.pointSize: Theme.fontSize(10.5)
                    font.weight: Font.Medium
                    color: card.interrupted ? Theme.textDim : Theme.red
                }
            }
        }
        Repeater {
            model: card.showsDetail ? 1 : 0
            delegate: CodeBlock {
                objectName: "detail"
                width: column.width
                text: card.detail
                wholeLines: card.tool && card.tool.wholeLines ? card.tool.wholeLines : 0
                wholeChars: card.tool && card.tool.wholeChars ? card.tool.wholeChars : 0
                title: card.name + "  " + card.summary
                collapsedLines: 2
                markdown: card.name === "ExitPlanMode"
                isDiff: card.name === "Edit" || card.name === "MultiEdit"
            }
        }
    }
}
