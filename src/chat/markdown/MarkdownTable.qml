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
        const rich = html => ChatText.needsRichText(html);
        for (let i = 0; i < Math.min(n, table.cells.length); ++i)
            out.push({ role: "header", html: table.cells[i], rich: rich(table.cells[i]) });
        for (let k = 0; k < n; ++k)
            out.push({ role: "divider", html: "", rich: false });
        for (let i = n; i < table.cells.length; ++i)
            out.push({ role: "cell", html: table.cells[i], rich: rich(table.cells[i]) });
        return out;
    }

    readonly property real headerSize: Theme.fontSize(11.5)
    readonly property real bodySize: Theme.fontSize(12)

    // Whether a link lies under a point of the grid.
    function linkAt(p: point): bool {
        const cell = grid.childAt(p.x, p.y) as Text;
        return cell !== null && cell.linkAt(p.x - cell.x, p.y - cell.y) !== "";
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
                objectName: "tableGrid"
                columns: Math.max(1, table.columns)
                columnSpacing: 14
                rowSpacing: 6
                Repeater {
                    id: gridCells
                    model: table.items
                    // One display text per cell, not an editor in a frame: a table of hundreds of
                    // cells is made in one go when it scrolls into view.
                    delegate: Text {
                        id: cell
                        required property var modelData
                        readonly property bool divider: cell.modelData.role === "divider"
                        readonly property bool header: cell.modelData.role === "header"
                        // A positioner skips items of no size: spacers and empty cells keep one pixel.
                        width: cell.divider ? 1 : Math.max(1, cell.implicitWidth)
                        height: cell.divider ? 1 : Math.max(1, cell.implicitHeight)
                        text: cell.modelData.html
                        // Styled text needs no document per cell.
                        textFormat: cell.modelData.rich ? Text.RichText : Text.StyledText
                        font.pointSize: cell.header ? table.headerSize : table.bodySize
                        font.weight: cell.header ? Font.DemiBold : Font.Normal
                        color: cell.header ? Theme.textStrong : Theme.text
                        onLinkActivated: link => ChatText.openLink(link)
                    }
                }
                // The pointing hand over a link, for the whole grid at once.
                HoverHandler {
                    id: hover
                    objectName: "tableHover"
                    cursorShape: table.linkAt(hover.point.position) ? Qt.PointingHandCursor : Qt.ArrowCursor
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
