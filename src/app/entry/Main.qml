import QtQuick
import QtQuick.Window

Window {
    id: window
    width: 1240
    height: 780
    visible: true
    title: "Brinmoor"
    color: "#0f1014"

    Text {
        anchors.centerIn: parent
        text: "Brinmoor"
        color: "#c5c9d0"
        font.pixelSize: 24
    }
}
