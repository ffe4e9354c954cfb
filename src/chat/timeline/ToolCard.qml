pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// One tool call: its name, its one-line summary and, when the call carries a longer detail that
// is more than the summary again, that detail in a collapsed code block (a coloured diff for
// edits, markdown in the preview for a plan).
Item {
    id: card

    // A toolUse value.
    required property var tool
    readonly property string name: card.tool ? card.tool.name : ""
    readonly property string summary: card.tool ? card.tool.summary : ""
    readonly property string detail: card.tool && card.tool.detail !== undefined ? card.tool.detail : ""
    readonly property bool showsDetail: card.detail !== "" && card.detail !== card.summary

    implicitHeight: column.implicitHeight + 14

    CardFrame {
        anchors.fill: parent
    }
    Column {
        id: column
        x: 10
        y: 7
        width: card.width - 20
        spacing: 6

        Row {
            spacing: 8
            width: column.width
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "wrench.and.screwdriver"
                size: 10
                color: Theme.hex("d6b271", 1)
            }
            Text {
                id: nameText
                objectName: "name"
                anchors.verticalCenter: parent.verticalCenter
                text: card.name
                textFormat: Text.PlainText
                color: Theme.text
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(11)
                font.weight: Font.DemiBold
            }
            Text {
                objectName: "summary"
                anchors.verticalCenter: parent.verticalCenter
                visible: card.summary !== ""
                width: Math.min(implicitWidth, column.width - nameText.width - 34)
                text: card.summary
                textFormat: Text.PlainText
                elide: Text.ElideMiddle
                maximumLineCount: 1
                color: Theme.textFaint
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(10.5)
            }
        }
        Repeater {
            model: card.showsDetail ? 1 : 0
            delegate: CodeBlock {
                objectName: "detail"
                width: column.width
                text: card.detail
                title: card.name + "  " + card.summary
                collapsedLines: 2
                markdown: card.name === "ExitPlanMode"
                isDiff: card.name === "Edit" || card.name === "MultiEdit"
            }
        }
    }
}
