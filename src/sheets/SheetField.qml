import QtQuick
import QtQuick.Controls
import Brinmoor.App

// A one-line text field in the sheets' look.
TextField {
    id: field
    color: Theme.textStrong
    placeholderTextColor: Theme.textFaint
    selectionColor: Theme.hex("5b8cdd", 0.45)
    font.pointSize: Theme.fontSize(12.5)
    leftPadding: 10
    rightPadding: 10
    background: Rectangle {
        implicitHeight: 30
        radius: 7
        color: Theme.surface
        border.width: 1
        border.color: field.activeFocus ? Theme.accent : Theme.borderControl
    }
}
