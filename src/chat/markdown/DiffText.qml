pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// Line-prefixed diff text, one row per line, tinted by the line's first character: "+" green on a
// green wash, "-" red on a red wash, anything else grey. A list, so that a long diff makes rows
// only for what is on screen. Collapsed, every row stays on one line and is cut at its end;
// expanded, long lines wrap. Hidden characters in a line show as marks.
ListView {
    id: diff

    property string text: ""
    // Only the first `maxLines` lines are drawn; below 0, every line.
    property int maxLines: -1
    property bool collapsed: false
    // Space kept clear at the rows' trailing side (the buttons of a code block).
    property real trailingRoom: 0

    readonly property var lines: {
        const all = diff.text.split("\n");
        return diff.maxLines >= 0 ? all.slice(0, diff.maxLines) : all;
    }

    model: diff.lines
    spacing: 1
    boundsBehavior: Flickable.StopAtBounds
    clip: true

    delegate: Rectangle {
        id: row

        required property string modelData
        readonly property string marked: ChatText.markedCode(row.modelData)

        readonly property bool added: row.modelData.startsWith("+")
        readonly property bool removed: !row.added && row.modelData.startsWith("-")

        width: ListView.view.width - diff.trailingRoom
        height: line.implicitHeight + 1
        radius: 3
        clip: diff.collapsed
        color: row.added ? Theme.hex("2ea043", 0.16) : row.removed ? Theme.hex("f85149", 0.13) : "transparent"

        TextEdit {
            id: line
            objectName: "diffLine"
            x: 5
            y: 0.5
            width: diff.collapsed ? implicitWidth : row.width - 10
            // An empty line keeps the height of a line.
            text: row.marked !== "" ? row.marked : row.modelData.length > 0 ? row.modelData : " "
            textFormat: row.marked !== "" ? TextEdit.RichText : TextEdit.PlainText
            wrapMode: diff.collapsed ? TextEdit.NoWrap : TextEdit.Wrap
            readOnly: true
            selectByMouse: true
            color: row.added ? Theme.hex("56d364", 1) : row.removed ? Theme.hex("f85149", 1)
                             : Theme.textFaint
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(11)
        }
    }
}
