import QtQuick
import Brinmoor.App
import Brinmoor.Window

// One sample chip of the onboarding's attention strip: a dot, glowing and breathing when
// `pulse`, and a name.
Rectangle {
    id: chip

    property string name: ""
    property color dotColor: "white"
    property bool pulse: false

    implicitWidth: row.implicitWidth + 15
    implicitHeight: row.implicitHeight + 8
    radius: 6
    color: Theme.pair("15171d", "ffffff", 1)
    border.width: 1
    border.color: Theme.borderControl

    Row {
        id: row
        x: 7
        anchors.verticalCenter: parent.verticalCenter
        spacing: 5
        Pulse {
            anchors.verticalCenter: parent.verticalCenter
            active: chip.pulse
            low: 0.4
            high: 1.0
            duration: 1.6
            width: 6
            height: 6
            SoftGlow {
                anchors.fill: parent
                radius: 4
                cornerRadius: 3
                color: chip.pulse ? Qt.rgba(chip.dotColor.r, chip.dotColor.g, chip.dotColor.b, 0.9) : "transparent"
            }
            Rectangle {
                width: 6
                height: 6
                radius: 3
                color: chip.dotColor
            }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: chip.name
            textFormat: Text.PlainText
            color: Theme.text
            font.pointSize: Theme.fontSize(9.5)
        }
    }
}
