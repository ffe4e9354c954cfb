// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses.
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// Agent prose as a column of blocks: headings, bullet and numbered items, code cards, tables and
// paragraphs, with inline styling. Each text is parsed once and kept in the renderer's cache.
Column {
    id: md

    property string text: ""
    readonly property int blockCount: blocks.count

    spacing: 6

    MarkdownBlockModel {
        id: blocks
        text: md.text
    }

    Repeater {
        model: blocks
        delegate: Item {
            id: block

            required property string kind
            required property int level
            required property string label
            required property string text
            required property string code
            required property int columns
            required property list<string> cells

            width: md.width
            height: loader.height

            Loader {
                id: loader
                width: block.width
                sourceComponent: block.kind === "heading" ? heading
                               : block.kind === "bullet" ? bullet
                               : block.kind === "ordered" ? numbered
                               : block.kind === "code" ? codeCard
                               : block.kind === "table" ? table : paragraph
            }

            Component {
                id: heading
                Item {
                    implicitHeight: headingText.implicitHeight + 2
                    InlineText {
                        id: headingText
                        y: 2
                        width: parent.width
                        text: block.text
                        size: block.level === 1 ? 15 : block.level === 2 ? 13.5 : 12.5
                        font.weight: block.level <= 2 ? Font.Bold : Font.DemiBold
                        color: Theme.pair("eef0f3", "262a31", 1)
                    }
                }
            }
            Component {
                id: paragraph
                InlineText {
                    text: block.text
                }
            }
            Component {
                id: bullet
                Item {
                    implicitHeight: bulletText.implicitHeight
                    SymbolIcon {
                        id: dot
                        y: 6
                        name: "circle.fill"
                        size: 4
                        color: Theme.pair("787f89", "737982", 1)
                    }
                    InlineText {
                        id: bulletText
                        x: dot.width + 8
                        width: parent.width - x
                        text: block.text
                    }
                }
            }
            Component {
                id: numbered
                Item {
                    implicitHeight: Math.max(number.implicitHeight, itemText.implicitHeight)
                    Text {
                        id: number
                        text: block.label
                        textFormat: Text.PlainText
                        color: Theme.pair("787f89", "737982", 1)
                        font.pointSize: Theme.fontSize(12.5)
                        font.weight: Font.Medium
                    }
                    InlineText {
                        id: itemText
                        x: number.implicitWidth + 8
                        width: parent.width - x
                        text: block.text
                    }
                }
            }
            Component {
                id: codeCard
                CodeCard {
                    code: block.code
                }
            }
            Component {
                id: table
                MarkdownTable {
                    columns: block.columns
                    cells: block.cells
                }
            }
        }
    }
}
