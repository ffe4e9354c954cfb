pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Window

// One chip of the attention strip: state dot, name and auto-approve badge of a session. The dot
// is the project's colour (ringed while running) until the session needs the user: then it turns
// amber and breathes while a question or permission waits, red after an error, as the pane's
// frame does, so a backgrounded pane that waits shows here.
Item {
    id: chip

    required property var session
    property bool highlighted: false
    signal clicked

    readonly property bool idle: session.state === "idle"
    readonly property bool needsUser: session.state === "awaiting" || session.state === "error"
    // A grouped session reads "project·label", without spaces around the dot, each name in an
    // isolate of its own: a right-to-left project does not turn the pair into "label·project".
    readonly property bool grouped: session.groupID !== ""

    objectName: "chip:" + session.id
    implicitWidth: content.implicitWidth + 9 + 11
    implicitHeight: content.implicitHeight + 10
    width: implicitWidth
    height: implicitHeight

    Rectangle {
        objectName: "chipBackground"
        anchors.fill: parent
        radius: 7
        color: chip.highlighted ? Theme.hoverFill : Theme.pair("15171d", "ffffff", 1)
        border.width: 1
        border.color: chip.highlighted ? "transparent" : Theme.borderControl
    }

    Row {
        id: content
        x: 9
        anchors.verticalCenter: parent.verticalCenter
        spacing: 7

        Item {
            anchors.verticalCenter: parent.verticalCenter
            width: projectDot.width
            height: projectDot.height
            ProjectStateDot {
                id: projectDot
                objectName: "projectDot"
                visible: !chip.needsUser
                directory: chip.session.directory
                paneState: chip.session.state
                size: 7
            }
            StateDot {
                objectName: "attentionDot"
                anchors.centerIn: parent
                visible: chip.needsUser
                paneState: chip.needsUser ? chip.session.state : "idle"
                size: 7
            }
        }
        NameText {
            id: chipLabel
            objectName: "chipLabel"
            anchors.verticalCenter: parent.verticalCenter
            name: chip.session.project
            words: chip.grouped ? "%1\u00b7%2" : ""
            secondName: chip.grouped ? chip.session.sessionLabel : ""
            color: chip.idle ? Theme.textDim : Theme.text
            font.pointSize: Theme.fontSize(11.5)
            font.weight: Font.Medium
            // A long name ends in an ellipsis instead of filling the strip; the width comes from
            // metrics because an eliding Text's implicit width can follow its elided width.
            elide: Text.ElideRight
            width: Math.min(Math.ceil(chipMetrics.advanceWidth), 220)
            TextMetrics {
                id: chipMetrics
                font: chipLabel.font
                text: chipLabel.shownName
            }
        }
        AutoApproveLock {
            anchors.verticalCenter: parent.verticalCenter
            visible: chip.session.autoApprove
            size: 9
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: chip.clicked()
    }
}
