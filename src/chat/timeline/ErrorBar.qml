import QtQuick
import QtQuick.Controls
import Brinmoor.App

// A red bar at a chat pane's foot: a session failure (no input until it clears) or a turn error
// (dismissable; input stays).
Rectangle {
    id: bar

    property string message: ""
    property int maximumLines: 2
    property bool dismissable: false

    signal dismissed()

    implicitHeight: Math.max(text.implicitHeight, 12) + (bar.dismissable ? 16 : 18)
    color: Theme.hex("f0524f", 0.08)

    Rectangle {
        width: parent.width
        height: 1
        color: bar.dismissable ? Theme.hex("f0524f", 0.35) : Theme.border
    }
    SymbolIcon {
        x: 11
        anchors.verticalCenter: parent.verticalCenter
        name: "exclamationmark.triangle.fill"
        size: 11
        color: Theme.red
    }
    // "Project folder not found: " and a path in isolates: lines measured by the text's own font, so
    // the bar is as high for such a path as for any other.
    MeasuredText {
        id: text
        objectName: "message"
        x: 30
        anchors.verticalCenter: parent.verticalCenter
        width: bar.width - 41 - (bar.dismissable ? 20 : 0)
        text: bar.message
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        maximumLineCount: bar.maximumLines
        elide: Text.ElideRight
        font.pointSize: Theme.fontSize(11)
        color: Theme.textDim
    }
    Item {
        objectName: "dismiss"
        visible: bar.dismissable
        anchors.right: parent.right
        anchors.rightMargin: 6
        anchors.verticalCenter: parent.verticalCenter
        width: 20
        height: 20
        SymbolIcon {
            anchors.centerIn: parent
            name: "xmark"
            size: 9
            color: Theme.textFaint
        }
        TapHandler {
            cursorShape: Qt.PointingHandCursor
            onTapped: bar.dismissed()
        }
        HoverHandler {
            id: dismissHover
        }
        ToolTip.visible: dismissHover.hovered
        ToolTip.delay: 600
        ToolTip.text: qsTr("Dismiss")
    }
}
