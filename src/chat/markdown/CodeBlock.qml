pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The collapsed box in which a chat card shows a tool call's long detail: at most
// `collapsedLines` lines, a copy button, and an Expand button that opens the whole text in the
// code preview when the text has more lines than that or more than 110 characters. A cut text
// ends with a row that says how many lines are not shown (nobody approves what they did not
// see); hidden characters show as marks, and the copy button copies the text as it is. A text
// that is only the start of a longer one counts what is not shown from the whole, and its
// preview and copy button say that they hold a part.
Item {
    id: block

    property string text: ""
    // The title of the preview; the block itself does not show it.
    property string title: ""
    property int collapsedLines: 6
    // The preview renders the text as markdown; here it stays plain code.
    property bool markdown: false
    property bool isDiff: false
    // The text is only the start of a longer one (a written file's content): that one's lines
    // and characters, from which what is not shown is counted; 0 when the text is all of it.
    property real wholeLines: 0
    property real wholeChars: 0

    readonly property int lineCount: ChatText.lineCount(block.text)
    // A final line break ends the last line rather than starting an empty one that could be
    // "not shown": a two-line file written with its newline hides nothing at two lines.
    readonly property int ownLines: block.lineCount - (block.text.endsWith("\n") ? 1 : 0)
    readonly property bool isPart: block.wholeLines > 0
    readonly property real hiddenLines: block.isPart ? block.wholeLines - Math.min(block.ownLines, block.collapsedLines)
                                                     : Math.max(0, block.ownLines - block.collapsedLines)
    // What part of the whole the text is, for the preview and the copy button. The counts are
    // written out whole: a number given to arg() as it is comes out as "1e+06" past six digits.
    readonly property string partNote: !block.isPart ? ""
        : block.ownLines < block.wholeLines
            ? qsTr("Showing the first %1 of %2 lines").arg(block.ownLines).arg(Math.round(block.wholeLines).toFixed(0))
            : qsTr("Showing the first %1 of %2 characters").arg(block.text.length).arg(Math.round(block.wholeChars).toFixed(0))
    readonly property string shownText: block.isDiff ? "" : ChatText.firstLines(block.text, block.collapsedLines)
    readonly property string markedText: ChatText.markedCode(block.shownText)
    readonly property bool showExpand: block.isPart || block.lineCount > block.collapsedLines
                                       || ChatText.characterCount(block.text) > 110
    // Keeps the text clear of the buttons in the top trailing corner.
    readonly property real trailingRoom: block.showExpand ? 66 : 36

    implicitHeight: (block.isDiff ? diff.height + 14 : plain.implicitHeight + 16)
                    + (block.hiddenLines > 0 ? more.implicitHeight + 1 : 0)

    function expand() {
        AppModel.showCodePreview(block.title, block.text, block.markdown, block.isDiff, block.partNote);
    }

    Rectangle {
        anchors.fill: parent
        radius: 7
        color: Theme.surface
        border.width: 1
        border.color: Theme.border
    }

    DiffText {
        id: diff
        objectName: "diff"
        visible: block.isDiff
        x: 6
        y: 7
        width: block.width - 12
        height: diff.contentHeight
        interactive: false
        text: block.isDiff ? block.text : ""
        maxLines: block.collapsedLines
        collapsed: true
        trailingRoom: block.trailingRoom
    }

    Flickable {
        id: scroller
        visible: !block.isDiff
        x: 10
        y: 8
        width: block.width - 20 - block.trailingRoom
        height: plain.implicitHeight
        clip: true
        contentWidth: plain.implicitWidth
        contentHeight: plain.implicitHeight
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        TextEdit {
            id: plain
            objectName: "plain"
            text: block.markedText !== "" ? block.markedText : block.shownText
            textFormat: block.markedText !== "" ? TextEdit.RichText : TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            color: Theme.text
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(11)
        }
    }

    Text {
        id: more
        objectName: "moreLines"
        visible: block.hiddenLines > 0
        x: block.isDiff ? 11 : 10
        y: block.isDiff ? diff.y + diff.height + 1 : scroller.y + scroller.height + 1
        text: ChatText.moreLines(block.hiddenLines)
        color: Theme.textFaint
        font.family: Theme.monospaceFamily
        font.pointSize: Theme.fontSize(10.5)
    }

    Row {
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 6
        spacing: 6
        ChatSquareButton {
            objectName: "expandButton"
            visible: block.showExpand
            symbol: "arrow.up.left.and.arrow.down.right"
            symbolColor: Theme.accent
            tooltip: qsTr("Expand")
            onClicked: block.expand()
        }
        CopyButton {
            objectName: "copyButton"
            text: block.text
            part: block.isPart
        }
    }
}
