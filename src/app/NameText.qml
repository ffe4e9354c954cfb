import QtQuick
import Brinmoor.App

// One line naming a folder, a workspace or a pane, its hidden characters shown as marks (an
// override that would make "rlo<RLO>gpj.exe" read "rloexe.jpg" shows where it is). Set `name`, not
// `text`; `shownName` is the same line in plain text, for metrics that size the item.
Text {
    id: nameText

    property string name: ""
    readonly property string marked: HiddenMarks.name(nameText.name)
    readonly property string shownName: nameText.marked !== "" ? HiddenMarks.plainName(nameText.name) : nameText.name

    text: nameText.marked !== "" ? nameText.marked : nameText.name
    textFormat: nameText.marked !== "" ? Text.StyledText : Text.PlainText
    maximumLineCount: 1
}
