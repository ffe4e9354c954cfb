pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// The thin band between the top bar and the panes: one chip per session of the selected workspace,
// in order, with the project's state dot, the pane's name and the auto-approve badge. Clicking a
// chip maximizes that pane, or returns to the grid when it already is.
Item {
    id: strip

    // The selected workspace's sessions, in order: a session list model whose `session` role is
    // the record (AppModel.selectedSessions).
    required property var sessions
    // The maximized session's id, "" for none.
    property string maximizedSessionID: AppModel.maximizedSessionID

    // A chip was clicked.
    signal chipClicked(string id)
    onChipClicked: id => AppModel.toggleMaximize(id)

    implicitHeight: row.implicitHeight + 18
    height: implicitHeight

    Rectangle {
        anchors.fill: parent
        color: Theme.pair("101218", "eceef2", 1)
    }

    Flickable {
        id: scroller
        anchors.fill: parent
        contentWidth: row.implicitWidth + 24
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        // A plain mouse wheel turns vertically: let it move the strip sideways too.
        WheelHandler {
            target: null
            onWheel: event => {
                const delta = event.angleDelta.y !== 0 ? event.angleDelta.y : event.angleDelta.x;
                const limit = Math.max(0, scroller.contentWidth - scroller.width);
                scroller.contentX = Math.max(0, Math.min(limit, scroller.contentX - delta / 2));
            }
        }

        Row {
            id: row
            x: 12
            y: 9
            spacing: 7

            Repeater {
                model: strip.sessions
                delegate: AttentionStripChip {
                    id: chipDelegate
                    highlighted: chipDelegate.session.id === strip.maximizedSessionID
                    onClicked: strip.chipClicked(chipDelegate.session.id)
                }
            }
        }
    }

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 1
        color: Theme.border
    }
}
