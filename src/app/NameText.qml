import QtQuick
import Brinmoor.App

// One line naming a folder, a workspace or a pane, its hidden characters shown as marks (an
// override that would make "rlo<RLO>gpj.exe" read "rloexe.jpg" shows where it is). Set `name`, not
// `text`; `shownName` is the same line in plain text, for metrics that size the item. Its marks
// stand in isolates: the line is measured by its own font (MeasuredText), so a name with marks or
// written right to left is as high as any other.
MeasuredText {
    id: nameText

    property string name: ""
    readonly property string marked: HiddenMarks.name(nameText.name)
    readonly property string shownName: nameText.marked !== "" ? HiddenMarks.plainName(nameText.name) : nameText.name

    text: nameText.marked !== "" ? nameText.marked : nameText.name
    textFormat: nameText.marked !== "" ? Text.StyledText : Text.PlainText
    maximumLineCount: 1
}
