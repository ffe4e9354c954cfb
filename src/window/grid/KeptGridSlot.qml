pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.Window

// One kept workspace's pane grid (WorkspaceGrids). While its workspace is selected the grid
// sits in `home`, filling it; otherwise it is taken out of the window, so that nothing in it
// draws, ticks or takes the keyboard, and it keeps the size it was last shown at. The slot itself
// stays where the repeater put it: an empty item that owns the grid wherever the grid is.
Item {
    id: slot

    required property string workspaceID
    required property bool current
    // The item the shown grid fills.
    required property Item home
    readonly property PaneGridView grid: paneGrid
    // What held the keyboard in the grid when its workspace was left; it gets it back on return.
    property Item keyboardHolder: null

    PaneGridView {
        id: paneGrid
        objectName: "keptGrid:" + slot.workspaceID
        width: slot.home.width
        height: slot.home.height
        visible: false
        workspaceID: slot.workspaceID
    }

    // Whether an item lies in the grid. (Item.isAncestorOf refuses the items QML hands it.)
    function holds(item: Item): bool {
        for (let it = item; it; it = it.parent)
            if (it === paneGrid)
                return true;
        return false;
    }

    function place() {
        if (slot.current) {
            paneGrid.parent = slot.home;
            paneGrid.visible = true;
            const holder = slot.keyboardHolder;
            slot.keyboardHolder = null;
            if (holder && slot.holds(holder) && holder.visible)
                holder.forceActiveFocus();
        } else if (paneGrid.parent !== null) {
            const focused = slot.Window.activeFocusItem;
            slot.keyboardHolder = slot.holds(focused) ? focused : null;
            paneGrid.visible = false;
            paneGrid.parent = null;
        }
    }
    onCurrentChanged: slot.place()
    Component.onCompleted: slot.place()
}
