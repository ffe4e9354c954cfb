pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Brinmoor.Terminal

// The terminal's context menu: Copy (only with a selection), Paste and Select All, the same
// commands as Ctrl+Shift+C, V and A. Give it the view (it may come and go, as a pane's terminal
// does); it opens where the view was right-clicked.
Menu {
    id: menu

    property TerminalView view

    Connections {
        target: menu.view
        function onContextMenuRequested(position: point) {
            menu.popup(menu.view, position);
        }
    }

    MenuItem {
        text: qsTr("Copy")
        enabled: menu.view !== null && menu.view.selectionActive
        onTriggered: menu.view?.copy()
    }
    MenuItem {
        text: qsTr("Paste")
        enabled: menu.view !== null
        onTriggered: menu.view?.paste()
    }
    MenuItem {
        text: qsTr("Select All")
        enabled: menu.view !== null
        onTriggered: menu.view?.selectAll()
    }
}
