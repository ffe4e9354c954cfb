import QtQuick
import Brinmoor.App

// One line naming a folder, a workspace or a pane, its hidden characters shown as marks (an
// override that would make "rlo<RLO>gpj.exe" read "rloexe.jpg" shows where it is). Set `name`, not
// `text`; `shownName` is the same line in plain text, for metrics that size the item. Its marks
// stand in isolates: the line is measured by its own font (MeasuredText), so a name with marks or
// written right to left is as high as any other.
//
// With `words`, the line is one of the app's sentences holding the name in place of "%1" (and
// `secondName` in place of "%2"): each name stands in an isolate of its own, so a name written
// right to left neither turns the sentence around nor moves its words.
MeasuredText {
    id: nameText

    property string name: ""
    property string words: ""
    property string secondName: ""
    readonly property var names: [nameText.name, nameText.secondName]
    readonly property string marked: nameText.words === "" ? HiddenMarks.name(nameText.name)
                                                           : HiddenMarks.markedSentence(nameText.words, nameText.names)
    readonly property string shownName: nameText.words !== "" ? HiddenMarks.plainSentence(nameText.words, nameText.names)
                                        : nameText.marked !== "" ? HiddenMarks.plainName(nameText.name) : nameText.name

    text: nameText.marked !== "" ? nameText.marked : nameText.shownName
    textFormat: nameText.marked !== "" ? Text.StyledText : Text.PlainText
    maximumLineCount: 1
}
