import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// Copies `text` (trimmed of white space at both ends) and shows a blue check mark for 1.4 s.
ChatSquareButton {
    id: copy

    property string text: ""
    // The text is only a part of a longer one: the tooltip says that the part is what is copied.
    property bool part: false
    readonly property CopyFeedback feedback: CopyFeedback {}
    readonly property bool copied: copy.feedback.copied

    symbol: copy.copied ? "checkmark" : "doc.on.doc"
    symbolColor: copy.copied ? Theme.accent : Theme.textFaint
    tooltip: copy.copied ? qsTr("Copied") : copy.part ? qsTr("Copy the part shown to clipboard") : qsTr("Copy to clipboard")
    onClicked: copy.feedback.copy(copy.text)
    // The check mark eases in over 0.12 s and back out over 0.15 s.
    Behavior on symbolColor {
        ColorAnimation {
            duration: copy.copied ? 120 : 150
            easing.type: Easing.OutQuad
        }
    }
}
