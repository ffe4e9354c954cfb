import QtQuick
import Brinmoor.App

// A strip along the window's foot while the saved state cannot be written: what failed and why.
// It takes its own room below the window's content instead of lying over it (it can last, and
// must not hide a control meanwhile), and it goes as soon as a save succeeds. Nothing to close:
// the sentence stays true until then.
Rectangle {
    id: bar

    readonly property string text: AppModel.saveFailure

    objectName: "saveFailureBar"
    visible: bar.text !== ""
    height: bar.visible ? Math.max(message.implicitHeight, 14) + 14 : 0
    color: Theme.surfaceRaised

    Rectangle {
        anchors.fill: parent
        color: Theme.hex("f0524f", 0.10)
    }
    Rectangle {
        width: parent.width
        height: 1
        color: Theme.hex("f0524f", 0.45)
    }
    SymbolIcon {
        x: 14
        anchors.verticalCenter: parent.verticalCenter
        name: "exclamationmark.triangle.fill"
        size: 12
        color: Theme.red
    }
    Text {
        id: message
        objectName: "saveFailureText"
        x: 36
        anchors.verticalCenter: parent.verticalCenter
        width: bar.width - 50
        text: bar.text
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
        font.pointSize: Theme.fontSize(11.5)
        color: Theme.text
    }
}
