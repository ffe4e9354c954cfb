pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// Agent prose as a column of blocks: headings, bullet and numbered items, code cards, tables and
// paragraphs, with inline styling. Each text is parsed once and kept in the renderer's cache.
Column {
    id: md

    property string text: ""
    readonly property int blockCount: blocks.count
    // Part of a code block too long for one text: the first code card goes on from the text
    // above (codeAbove), across `gapAbove` points, the last into the text below (codeBelow), and
    // their copy buttons copy the whole block's code.
    property bool codeAbove: false
    property bool codeBelow: false
    property string wholeCode: ""
    property real gapAbove: 0

    spacing: 6

    MarkdownBlocks {
        id: blocks
        text: md.text
    }

    Repeater {
        model: blocks.rows
        // Headings, paragraphs and list items are one text with an optional marker; code cards and
        // tables are loaded from their own files (a Loader in Qt 6.4 refuses bound inline
        // components), their data handed over by bindings.
        delegate: Item {
            id: block

            required property int index
            required property string kind
            required property int level
            required property string label
            required property string text
            required property string code
            required property int columns
            required property list<string> cells

            readonly property bool textual: block.kind !== "code" && block.kind !== "table"
            readonly property bool isHeading: block.kind === "heading"
            readonly property bool joinsAbove: md.codeAbove && block.index === 0 && block.kind === "code"
            readonly property bool joinsBelow: md.codeBelow && block.index === blocks.count - 1 && block.kind === "code"
            readonly property string copyText: block.joinsAbove || block.joinsBelow ? md.wholeCode : block.code

            width: md.width
            height: block.textual ? Math.max(inline.y + inline.implicitHeight, number.visible ? number.implicitHeight : 0)
                                  : heavy.height

            SymbolIcon {
                id: dot
                visible: block.kind === "bullet"
                y: 6
                name: "circle.fill"
                size: 4
                color: Theme.textDim
            }
            Text {
                id: number
                visible: block.kind === "ordered"
                text: block.label
                textFormat: Text.PlainText
                color: Theme.textDim
                font.pointSize: Theme.fontSize(12.5)
                font.weight: Font.Medium
            }
            InlineText {
                id: inline
                objectName: "inline"
                visible: block.textual
                x: dot.visible ? dot.width + 8 : number.visible ? number.implicitWidth + 8 : 0
                y: block.isHeading ? 2 : 0
                width: block.width - x
                text: block.textual ? block.text : ""
                size: !block.isHeading ? 12.5 : block.level === 1 ? 15 : block.level === 2 ? 13.5 : 12.5
                font.weight: !block.isHeading ? Font.Normal : block.level <= 2 ? Font.Bold : Font.DemiBold
                color: block.isHeading ? Theme.textStrong : Theme.text
            }
            // Code cards and tables only: made with their data, then kept up with it.
            Loader {
                id: heavy
                width: block.width
                Component.onCompleted: block.load()
            }
            function load() {
                if (block.textual)
                    heavy.source = "";
                else if (block.kind === "code")
                    heavy.setSource("CodeCard.qml", { code: block.code, copyText: block.copyText, joinsAbove: block.joinsAbove,
                                                      joinsBelow: block.joinsBelow, reachAbove: md.gapAbove });
                else
                    heavy.setSource("MarkdownTable.qml", { columns: block.columns, cells: block.cells });
            }
            onKindChanged: block.load()
            onCodeChanged: if (block.kind === "code" && heavy.item) heavy.item.code = block.code
            onCopyTextChanged: if (block.kind === "code" && heavy.item) heavy.item.copyText = block.copyText
            onJoinsAboveChanged: if (block.kind === "code" && heavy.item) heavy.item.joinsAbove = block.joinsAbove
            onJoinsBelowChanged: if (block.kind === "code" && heavy.item) heavy.item.joinsBelow = block.joinsBelow
            onColumnsChanged: if (block.kind === "table" && heavy.item) heavy.item.columns = block.columns
            onCellsChanged: if (block.kind === "table" && heavy.item) heavy.item.cells = block.cells
        }
    }
}
