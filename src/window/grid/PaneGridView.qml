pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Brinmoor.App
import Brinmoor.Window

// Every session of the selected workspace as panes in a grid that follows the window's shape, or,
// while one of them is maximized, that pane beside the cards of the others (MaximizedView).
//
// The rectangles come from GridGeometryModel; this view only places items at them. Each session's
// pane is one GridCell for as long as the session is in the workspace, so its content survives
// relayouts, swaps and maximizing.
Item {
    id: grid

    // Builds a pane's content from `session` and `compact`; PaneView unless a caller says otherwise.
    property Component paneContent: defaultPane
    // The workspace shown (upper-case UUID text); empty for the selected one.
    property string workspaceID: ""
    readonly property GridGeometryModel geometry: geometryModel
    readonly property PaneBuildQueue builds: buildQueue
    readonly property alias flickable: flick

    Component {
        id: defaultPane
        PaneView {}
    }

    // The panes' contents are built a few per turn of the event loop.
    PaneBuildQueue {
        id: buildQueue
    }

    GridGeometryModel {
        id: geometryModel
        appModel: AppModel
        workspaceID: grid.workspaceID
        // A grid out of sight keeps its panes' sizes until it is shown again.
        shown: grid.visible
        viewWidth: grid.width
        viewHeight: grid.height
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.canvas
    }

    Flickable {
        id: flick
        objectName: "gridFlickable"

        readonly property bool scrolls: geometryModel.scrolling && !geometryModel.maximized

        x: geometryModel.inner.x
        y: geometryModel.inner.y
        width: geometryModel.inner.width
        height: geometryModel.inner.height
        contentWidth: width
        contentHeight: scrolls ? geometryModel.contentHeight : height
        interactive: scrolls
        boundsBehavior: Flickable.StopAtBounds
        clip: scrolls
        onScrollsChanged: if (!scrolls) contentY = 0

        ScrollBar.vertical: ScrollBar {
            policy: flick.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }

        // The row-major grid's fillers: empty, they only keep a short row's panes as wide as the others.
        Repeater {
            model: geometryModel.maximized ? [] : geometryModel.fillers
            delegate: Item {
                required property rect modelData
                x: modelData.x
                y: modelData.y
                width: modelData.width
                height: modelData.height
            }
        }

        Repeater {
            model: geometryModel.maximized ? [] : geometryModel.groups
            delegate: GroupContainer {
                required property var modelData
                objectName: "group:" + modelData.itemID
                label: modelData.label
                labelWords: modelData.labelWords
                labelName: modelData.labelName
                x: modelData.x
                y: modelData.y
                width: modelData.width
                height: modelData.height
            }
        }

        Repeater {
            id: cells
            objectName: "gridCells"
            model: geometryModel.panes
            delegate: GridCell {
                geometry: geometryModel
                builds: buildQueue
                content: grid.paneContent
                viewportY: flick.contentY
                viewportHeight: flick.height
            }
        }
    }

    // The side strips accept the big-side pane while it is dragged.
    Item {
        id: strips
        objectName: "sideStrips"
        x: geometryModel.inner.x
        y: geometryModel.inner.y
        width: geometryModel.inner.width
        height: geometryModel.inner.height
        visible: geometryModel.bigSideID !== "" && geometryModel.draggingID === geometryModel.bigSideID
                 && !geometryModel.maximized

        Repeater {
            model: [true, false]
            delegate: DropArea {
                id: strip
                required property bool modelData
                objectName: modelData ? "leadingStrip" : "trailingStrip"
                readonly property rect area: modelData ? geometryModel.leadingStrip : geometryModel.trailingStrip
                x: area.x
                y: area.y
                width: area.width
                height: area.height
                enabled: strips.visible
                keys: ["text/plain"]

                SideDropDelegate {
                    id: side
                    model: geometryModel.appModel
                    leading: strip.modelData
                    loneID: geometryModel.bigSideID
                }

                onEntered: drag => {
                    drag.accepted = side.validateDrop();
                    side.dropEntered();
                }
                onPositionChanged: drag => {
                    drag.accepted = side.dropUpdated();
                }
                onExited: side.dropExited()
                onDropped: drop => {
                    drop.accepted = side.performDrop();
                    if (drop.accepted)
                        drop.action = Qt.MoveAction;
                }
            }
        }
    }

    // Where the big side would move to.
    PaneGridGhost {
        objectName: "sideGhost"
        readonly property rect area: geometryModel.sideTarget === GridGeometryModel.LeadingSide
                                     ? geometryModel.leadingGhost : geometryModel.trailingGhost
        x: geometryModel.inner.x + area.x
        y: geometryModel.inner.y + area.y
        width: area.width
        height: area.height
        visible: geometryModel.sideTarget !== GridGeometryModel.NoSide && !geometryModel.maximized
    }

    // Entering and leaving the maximized view eases in over 0.22 s.
    readonly property bool maximized: geometryModel.maximized
    onMaximizedChanged: maximizeFade.restart()
    NumberAnimation {
        id: maximizeFade
        targets: [flick, maximizedView]
        property: "opacity"
        from: 0.35
        to: 1
        duration: 220
        easing.type: Easing.InOutQuad
    }

    MaximizedView {
        id: maximizedView
        anchors.fill: parent
        visible: geometryModel.maximized
        focused: geometryModel.focusedSession
        others: geometryModel.otherSessions
        paneRect: Qt.rect(geometryModel.inner.x + geometryModel.maximizedPane.x,
                          geometryModel.inner.y + geometryModel.maximizedPane.y,
                          geometryModel.maximizedPane.width, geometryModel.maximizedPane.height)
        onSelect: id => geometryModel.setMaximized(id)
    }
}
