import QtQuick
import QtQuick.Layouts
import Brinmoor.App
import Brinmoor.Window

// A note along the bottom of the window about the saved state: what start-up could not read and
// where the original file was put. It stays until closed, so that the path can be read.
Rectangle {
    id: notice

    property string text: AppModel.startupNotice

    objectName: "startupNotice"
    visible: notice.text !== ""
    width: Math.min(parent ? parent.width - 32 : 560, 560)
    implicitHeight: row.implicitHeight + 16
    height: implicitHeight
    radius: 8
    color: Theme.surfaceRaised
    border.color: Theme.amber
    border.width: 1

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 8
        anchors.leftMargin: 12
        spacing: 8
        Text {
            objectName: "startupNoticeText"
            Layout.fillWidth: true
            text: notice.text
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(11)
            color: Theme.text
        }
        IconButton {
            objectName: "startupNoticeClose"
            Layout.alignment: Qt.AlignTop
            systemName: "xmark"
            size: 10
            onClicked: AppModel.dismissStartupNotice()
        }
    }
}
