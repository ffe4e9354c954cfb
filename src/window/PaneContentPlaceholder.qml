import QtQuick
import Brinmoor.App
import Brinmoor.Window

// Stand-in content of a live pane until the terminal surface and the chat view are built: it
// names what will run here. Each instance carries a serial number from its creation, so a view
// can tell whether a relayout kept its content or made a new one.
Item {
    id: content

    required property var session
    required property bool compact
    // What the frame shows: the record's state and cost.
    readonly property string paneState: content.session ? content.session.state : "idle"
    readonly property string costText: content.session ? content.session.cost : ""
    readonly property Component accessory: null
    property int serial: 0
    Component.onCompleted: content.serial = PaneContentCounter.next()

    Rectangle {
        anchors.fill: parent
        color: content.session && content.session.kind === "chat" ? Theme.surface
                                                                     : Theme.pair("0a0b0d", "f4f5f8", 1)
    }
    Column {
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 10
        spacing: 4
        Text {
            text: content.session && content.session.kind === "chat"
                  ? qsTr("Chat with %1").arg(content.session.provider === "codex" ? "Codex" : "Claude")
                  : "$ " + (content.session ? content.session.directory : "")
            textFormat: Text.PlainText
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(12)
            color: Theme.text
        }
        Text {
            objectName: "serial"
            text: "#" + content.serial
            textFormat: Text.PlainText
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(11)
            color: Theme.textFaint
        }
    }
}
