pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The selected workspace's panes in an even grid, or the maximized one alone: what the main
// area shows while the layout grid's own view is not part of the build. Delegates follow the
// session list row by row, so a pane's content lives as long as its session does.
Item {
    id: grid

    property var sessions: AppModel.selectedSessions
    property real gap: 10
    property real pad: 12

    readonly property int count: grid.sessions ? grid.sessions.count : 0
    readonly property int columns: Math.max(1, Math.ceil(Math.sqrt(grid.count)))
    readonly property int rows: Math.max(1, Math.ceil(grid.count / grid.columns))
    readonly property real cellWidth: (grid.width - 2 * grid.pad - (grid.columns - 1) * grid.gap) / grid.columns
    readonly property real cellHeight: (grid.height - 2 * grid.pad - (grid.rows - 1) * grid.gap) / grid.rows
    readonly property bool anyMaximized: AppModel.maximizedSessionID !== "" && !!grid.sessions
                                         && grid.sessions.indexOf(AppModel.maximizedSessionID) >= 0

    Repeater {
        model: grid.sessions
        delegate: PaneView {
            id: cell
            required property int index
            readonly property bool maximized: grid.anyMaximized && AppModel.maximizedSessionID === cell.session.id
            visible: !grid.anyMaximized || cell.maximized
            x: grid.pad + (cell.maximized ? 0 : (cell.index % grid.columns) * (grid.cellWidth + grid.gap))
            y: grid.pad + (cell.maximized ? 0 : Math.floor(cell.index / grid.columns) * (grid.cellHeight + grid.gap))
            width: cell.maximized ? grid.width - 2 * grid.pad : grid.cellWidth
            height: cell.maximized ? grid.height - 2 * grid.pad : grid.cellHeight
        }
    }
}
