pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// A markdown table: the header row, a divider, then the rows, every column leading-aligned, in a
// rounded box as wide as the table needs (it scrolls sideways when the text column is narrower).
Item {
    id: table

    property int columns: 0
    // Row by row, header first, `columns` cells each: escaped rich text.
    property list<string> cells

    // The grid's items: the header cells, one empty spacer per column where the divider runs,
    // then the body cells.
    readonly property var items: {
        const out = [];
        const n = table.columns;
        for (let i = 0; i < Math.min(n, table.cells.length); ++i)
            out.push({ role: "header", html: table.cells[i] });
        for (let k = 0; k < n; ++k)
            out.push({ role: "divider", html: "" });
        for (let i = n; i < table.cells.length; ++i)
            out.push({ role: "cell", html: table.cells[i] });
        return out;
    }

    implicitHeight: grid.implicitHeight + 18
    height: table.implicitHeight

    Rectangle {
        width: Math.min(table.width, grid.implicitWidth + 24)
        height: parent.height
        radius: 8
        color: Theme.pair("0d0e12", "eceef2", 1)
        border.width: 1
        border.color: Theme.border

        Flickable {
            anchors.fill: parent
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            anchors.topMargin: 9
            anchors.bottomMargin: 9
            clip: true
            contentWidth: grid.implicitWidth
            contentHeight: grid.implicitHeight
            flickableDirection: Flickable.HorizontalFlick
            boundsBehavior: Flickable.StopAtBounds

            Grid {
                id: grid
                columns: Math.max(1, table.columns)
                columnSpacing: 14
                rowSpacing: 6
                Repeater {
                    id: gridCells
                    model: table.items
                    delegate: Item {
                        id: cell
                        required property var modelData
                        required property int index
                        // A positioner skips items of no size: spacers and empty cells keep one pixel.
                        implicitWidth: cell.modelData.role === "divider" ? 1 : Math.max(1, cellText.implicitWidth)
                        implicitHeight: cell.modelData.role === "divider" ? 1 : Math.max(1, cellText.implicitHeight)
                        width: cell.implicitWidth
                        height: cell.implicitHeight
                        // A display text, not an editor: a table of hundreds of cells is made
                        // in one go when it scrolls into view.
                        Text {
                            id: cellText
                            visible: cell.modelData.role !== "divider"
                            text: cell.modelData.html
                            textFormat: Text.RichText
                            font.pointSize: Theme.fontSize(cell.modelData.role === "header" ? 11.5 : 12)
                            font.weight: cell.modelData.role === "header" ? Font.DemiBold : Font.Normal
                            color: cell.modelData.role === "header" ? Theme.textStrong
                                                                    : Theme.text
                            onLinkActivated: link => ChatText.openLink(link)
                            HoverHandler {
                                enabled: cellText.hoveredLink !== ""
                                cursorShape: Qt.PointingHandCursor
                            }
                        }
                    }
                }
            }
            // The divider under the header, across every column.
            Rectangle {
                readonly property Item spacer: table.columns > 0 && gridCells.count > table.columns
                                               ? gridCells.itemAt(table.columns) : null
                visible: spacer !== null
                y: spacer ? spacer.y : 0
                width: grid.implicitWidth
                height: 1
                color: Theme.border
            }
        }
    }
}
