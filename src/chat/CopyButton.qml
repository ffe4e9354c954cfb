import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// Copies `text` (trimmed of white space at both ends) and shows a blue check mark for 1.4 s.
ChatSquareButton {
    id: copy

    property string text: ""
    readonly property CopyFeedback feedback: CopyFeedback {}
    readonly property bool copied: copy.feedback.copied

    symbol: copy.copied ? "checkmark" : "doc.on.doc"
    symbolColor: copy.copied ? Theme.accent : Theme.textFaint
    tooltip: copy.copied ? qsTr("Copied") : qsTr("Copy to clipboard")
    onClicked: copy.feedback.copy(copy.text)
}
