pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// The grid-layout chip of the top bar and its popover: "Auto — fit window" or a fixed number of
// columns with a maximum number of rows, picked on a 4 × 4 matrix. Hovering previews a choice;
// a click applies it to the selected workspace through AppModel.setGridLayout.
Item {
    id: picker

    // The selected workspace's grid settings: forced columns (0 = automatic) and maximum rows.
    property int forcedColumns: AppModel.selectedWorkspace ? AppModel.selectedWorkspace.forcedColumns : 0
    property int maxRows: AppModel.selectedWorkspace ? AppModel.selectedWorkspace.maxRows : 4
    readonly property bool automatic: picker.forcedColumns <= 0

    property bool show: false
    // The matrix cell under the pointer; 0 × 0 when none.
    property int hoverC: 0
    property int hoverR: 0
    readonly property int maxC: 4
    readonly property int maxR: 4

    readonly property alias popover: popover
    readonly property string caption: WindowText.caption(picker.hoverC, picker.hoverR, picker.forcedColumns, picker.maxRows)

    function choose(columns: var, rows: int) {
        AppModel.setGridLayout(columns, rows);
        picker.show = false;
    }
    function isLit(c: int, r: int): bool {
        return WindowText.lit(c, r, picker.hoverC, picker.hoverR, picker.forcedColumns, picker.maxRows);
    }

    onShowChanged: picker.show ? popover.open() : popover.close()

    implicitWidth: chip.implicitWidth
    implicitHeight: chip.implicitHeight
    width: chip.implicitWidth
    height: chip.implicitHeight

    Rectangle {
        id: chip
        objectName: "layoutChip"
        implicitWidth: chipRow.implicitWidth + 16
        implicitHeight: chipRow.implicitHeight + 8
        radius: 7
        color: Theme.pair("15171d", "ffffff", 1)
        border.width: 1
        border.color: Theme.borderControl

        Row {
            id: chipRow
            anchors.centerIn: parent
            spacing: 4
            readonly property color tint: picker.automatic ? Theme.textFaint : Theme.accent
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "square.grid.2x2"
                size: 10
                color: chipRow.tint
            }
            Text {
                objectName: "chipText"
                anchors.verticalCenter: parent.verticalCenter
                text: WindowText.chip(picker.forcedColumns, picker.maxRows)
                color: chipRow.tint
                font.pointSize: Theme.fontSize(11)
                font.weight: Font.Medium
            }
        }
        MouseArea {
            id: chipMouse
            anchors.fill: parent
            hoverEnabled: true
            preventStealing: true
            onClicked: picker.show = !picker.show
        }
    }
    ToolTip.visible: chipMouse.containsMouse && !picker.show
    ToolTip.delay: 600
    ToolTip.text: qsTr("Grid layout — Auto adapts to window shape")

    Popup {
        id: popover
        objectName: "layoutPopover"
        x: (picker.width - popover.width) / 2
        y: picker.height + 6
        // Kept clear of the window's edges.
        margins: 8
        width: 196
        padding: 12
        focus: true
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
        onClosed: {
            picker.show = false;
            picker.hoverC = 0;
            picker.hoverR = 0;
        }
        background: Rectangle {
            radius: 9
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderControl
        }

        Column {
            width: 196 - 24
            spacing: 9

            // "Auto — fit window".
            Item {
                objectName: "autoRow"
                width: parent.width
                height: autoRow.implicitHeight
                Row {
                    id: autoRow
                    spacing: 6
                    readonly property color tint: picker.automatic ? Theme.accent : Theme.text
                    SymbolIcon {
                        objectName: "autoSymbol"
                        anchors.verticalCenter: parent.verticalCenter
                        name: picker.automatic ? "checkmark.circle.fill" : "circle"
                        size: 11
                        color: autoRow.tint
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Auto — fit window")
                        color: autoRow.tint
                        font.pointSize: Theme.fontSize(11.5)
                        font.weight: Font.Medium
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: picker.choose(null, 4)
                }
            }
            Rectangle {
                width: parent.width
                height: 1
                color: Theme.border
            }
            // The matrix. Entering a cell previews it; only leaving the whole matrix clears the
            // preview, so moving across the 4 pt gaps between cells does not flicker.
            Item {
                objectName: "matrix"
                width: matrix.implicitWidth
                height: matrix.implicitHeight
                HoverHandler {
                    id: matrixHover
                    onHoveredChanged: {
                        if (!matrixHover.hovered) {
                            picker.hoverC = 0;
                            picker.hoverR = 0;
                        }
                    }
                }
                Column {
                    id: matrix
                    spacing: 4
                    Repeater {
                        model: picker.maxR
                        delegate: Row {
                            id: matrixRow
                            required property int index
                            spacing: 4
                            Repeater {
                                model: picker.maxC
                                delegate: Rectangle {
                                    id: cell
                                    required property int index
                                    readonly property int c: cell.index + 1
                                    readonly property int r: matrixRow.index + 1
                                    readonly property bool lit: picker.isLit(cell.c, cell.r)
                                    objectName: "cell" + cell.c + "x" + cell.r
                                    width: 36
                                    height: 26
                                    radius: 3
                                    color: cell.lit ? Theme.hex("5b8cdd", 0.85) : Theme.pair("15171d", "ffffff", 1)
                                    border.width: 1
                                    border.color: cell.lit ? Theme.accent : Theme.borderControl
                                    MouseArea {
                                        anchors.fill: parent
                                        hoverEnabled: true
                                        onEntered: {
                                            picker.hoverC = cell.c;
                                            picker.hoverR = cell.r;
                                        }
                                        onClicked: picker.choose(cell.c, cell.r)
                                    }
                                }
                            }
                        }
                    }
                }
            }
            Text {
                objectName: "caption"
                width: parent.width
                wrapMode: Text.Wrap
                text: picker.caption
                color: Theme.textFaint
                font.pointSize: Theme.fontSize(10.5)
            }
        }
    }
}
