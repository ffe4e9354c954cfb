pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The pane grids of the workspaces shown lately (KeptWorkspaces): the selected workspace's grid
// fills this item; the others are kept, out of the window, as they were left. Going back to one
// puts it back as it is (its panes, terminals and chats are not built again), and the keyboard
// goes back to the pane that had it when the workspace was left.
//
// A kept grid out of the window costs nothing: it draws no frame, its pulses and spinners stop,
// its panes keep their sizes (their terminals are not resized while unseen) and a pane added to
// it meanwhile starts its runtime only when it is first shown.
Item {
    id: grids
    objectName: "workspaceGrids"

    readonly property KeptWorkspaces kept: keptModel
    // The shown workspace's grid, or null.
    property PaneGridView current: null

    function follow(slot: KeptGridSlot) {
        if (slot.current)
            grids.current = slot.grid;
        else if (grids.current === slot.grid)
            grids.current = null;
    }

    KeptWorkspaces {
        id: keptModel
        appModel: AppModel
    }

    Repeater {
        id: slots
        model: keptModel.rows
        delegate: KeptGridSlot {
            id: slot
            home: grids
            onCurrentChanged: grids.follow(slot)
            Component.onCompleted: grids.follow(slot)
        }
    }
}
