pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Window

// The workspace menu of the rail (a row's context menu and its ellipsis menu): Rename, the
// "Color" submenu with the six workspace colours, and "Delete workspace", which acts at once.
// (The root is not called `menu`: inside a MenuItem that name is the item's own menu.)
Menu {
    id: workspaceMenu

    // The workspace the menu was opened for.
    property string workspaceID: ""
    property string workspaceName: ""
    property string colorHex: ""
    readonly property alias colorMenu: colorMenu

    signal renameRequested(string workspaceID, string name)

    function openFor(anchor: Item, x: real, y: real, workspaceID: string, name: string, colorHex: string) {
        workspaceMenu.workspaceID = workspaceID;
        workspaceMenu.workspaceName = name;
        workspaceMenu.colorHex = colorHex;
        workspaceMenu.popup(anchor, x, y);
    }

    padding: 4
    background: Rectangle {
        implicitWidth: 200
        radius: 8
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderStrong
    }

    // Submenus ("Color") are drawn by this delegate.
    delegate: Entry {
        symbol: "paintpalette"
        showsSubmenuArrow: true
    }

    component Entry: MenuItem {
        id: entry
        property string symbol: ""
        property bool destructive: false
        property bool showsSubmenuArrow: false
        implicitHeight: 26
        implicitWidth: 200
        indicator: Item {}
        arrow: SymbolIcon {
            x: entry.width - width - 8
            y: (entry.height - height) / 2
            visible: entry.showsSubmenuArrow
            name: "chevron.right"
            size: 10
            color: Theme.textDim
        }
        contentItem: Row {
            spacing: 8
            leftPadding: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: entry.symbol
                visible: entry.symbol !== ""
                size: 12
                color: entry.destructive ? Theme.red : Theme.text
            }
            // Keeps names aligned whether or not a check mark stands before them.
            Item {
                visible: entry.symbol === ""
                width: 12
                height: 12
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: entry.text
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(12.5)
                color: entry.destructive ? Theme.red : Theme.textStrong
            }
        }
        background: Rectangle {
            radius: 5
            color: entry.highlighted ? Theme.hoverFill : "transparent"
        }
    }

    Entry {
        objectName: "renameItem"
        text: qsTr("Rename")
        symbol: "pencil"
        onTriggered: workspaceMenu.renameRequested(workspaceMenu.workspaceID, workspaceMenu.workspaceName)
    }
    Menu {
        id: colorMenu
        objectName: "colorMenu"
        title: qsTr("Color")
        padding: 4
        background: Rectangle {
            implicitWidth: 160
            radius: 8
            color: Theme.surfaceRaised
            border.width: 1
            border.color: Theme.borderStrong
        }
        Repeater {
            model: WindowText.workspaceColors.length
            delegate: Entry {
                id: colorItem
                required property int index
                readonly property string hex: WindowText.workspaceColors[colorItem.index]
                objectName: "colorItem" + colorItem.index
                text: WindowText.workspaceColorNames[colorItem.index]
                // The check follows the stored text exactly: "5B8CEE" marks nothing.
                symbol: workspaceMenu.colorHex === colorItem.hex ? "checkmark" : ""
                onTriggered: AppModel.setWorkspaceColor(workspaceMenu.workspaceID, colorItem.hex)
            }
        }
    }
    MenuSeparator {
        contentItem: Rectangle {
            implicitHeight: 1
            color: Theme.borderStrong
        }
    }
    Entry {
        objectName: "deleteItem"
        text: qsTr("Delete workspace")
        symbol: "trash"
        destructive: true
        onTriggered: AppModel.deleteWorkspace(workspaceMenu.workspaceID)
    }
}
