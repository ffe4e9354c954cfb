pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Window

// One pane of the grid, placed at the rectangle the grid's geometry gives it. The pane's content
// is created once, the first time the pane is shown, and then lives as long as its session stays in
// the workspace: relayouts, swaps and the maximized view only move and hide this item.
Item {
    id: cell

    required property int index
    required property string sessionID
    required property var session
    required property real paneX
    required property real paneY
    required property real paneWidth
    required property real paneHeight
    required property bool inGroup
    required property bool shown
    required property bool isMaximized

    required property GridGeometryModel geometry
    // Builds the pane's content; it gets `session` and `compact` (false).
    required property Component content
    // Where the cell asks for its content to be built.
    required property PaneBuildQueue builds
    // The part of the scrolled content that is on screen.
    property real viewportY: 0
    property real viewportHeight: height

    // A view that has not got its real size yet (a 1-point inner area, a cell of no width) shows
    // nothing: content made then would start its runtime at a size it never keeps. Nor does the
    // grid of a workspace out of sight: a pane's runtime starts when it is first seen. (The
    // geometry goes first when a kept grid is let go.)
    readonly property bool onScreen: geometry !== null && geometry.shown && shown && width >= 1 && height >= 1
                                     && geometry.inner.width > 1 && geometry.inner.height > 1
                                     && (!geometry.scrolling || isMaximized
                                         || geometry.inViewport(paneY, paneHeight, viewportY, viewportHeight))
    property Item contentItem: null

    objectName: "gridCell:" + sessionID
    x: paneX
    y: paneY
    width: paneWidth
    height: paneHeight
    visible: shown
    z: isMaximized ? 3 : 1

    // The content is built the first time the pane is on screen, once the current round of size
    // changes has settled (a later turn of the event loop, in the grid's order), and then kept.
    onOnScreenChanged: if (onScreen && contentItem === null) builds.enqueue(cell)
    Component.onCompleted: if (onScreen) builds.enqueue(cell)

    function buildContent() {
        if (contentItem !== null || content === null || !onScreen)
            return;
        // Made at the cell's size: content that started at its own implicit size would give its
        // terminal, and the shell in it, a size of its own for a moment.
        const item = content.createObject(cell, { session: cell.session, compact: false,
                                                  width: cell.width, height: cell.height }) as Item;
        if (item === null)
            return;
        item.anchors.fill = cell;
        item.session = Qt.binding(() => cell.session);
        contentItem = item;
    }

    // Another single pane dropped here changes places with this one. Group members and the
    // maximized pane are no drop targets.
    DropArea {
        id: drop
        anchors.fill: parent
        z: 5  // over the content, which may accept drops of its own
        enabled: !cell.inGroup && !cell.isMaximized
        keys: ["text/plain"]

        PaneDropDelegate {
            id: delegate
            model: cell.geometry ? cell.geometry.appModel : null
            targetID: cell.sessionID
        }

        onEntered: drag => {
            drag.accepted = delegate.validateDrop();
            delegate.dropEntered();
        }
        onPositionChanged: drag => {
            drag.accepted = delegate.dropUpdated();
        }
        onExited: delegate.dropExited()
        onDropped: drop => {
            drop.accepted = delegate.performDrop();
            if (drop.accepted)
                drop.action = Qt.MoveAction;
        }
    }

    PaneGridGhost {
        anchors.centerIn: parent
        width: parent.width
        height: parent.height
        z: 10
        swap: true
        visible: cell.geometry !== null && cell.geometry.swapTargetID === cell.sessionID && cell.sessionID !== ""
    }
}
