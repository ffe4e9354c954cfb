pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// One row of a chat timeline. A user message is a bubble against the trailing edge with its
// attachments above it; every other row hangs on the rail at the leading edge (a dot coloured by
// kind and a line down to the row's end, except under the last row) with its content beside it:
// markdown, a thinking toggle, a tool card or to-do list, a dim tool result, or an activity row.
Item {
    id: row

    // The row, by the timeline model's role names (the list hands them over by name).
    required property string kind
    required property string text
    // chatAttachment values of a user row.
    required property var attachments
    // A thinking row's seconds, or undefined.
    required property var seconds
    // A tool row's toolUse value.
    required property var tool
    // A working row's token text, or undefined.
    required property var label
    // A tool row's outcome, or what a tool-result row tells: "pending", "done", "failed", "denied",
    // "interrupted".
    required property string outcome
    // A user row whose turn ended with nothing of an answer (shown under its last piece), and what
    // ended it: "interrupted", an error's short reason, or "" when nothing tells.
    required property bool unanswered
    required property string noAnswer
    // A text row holding part of a code block too long for one row: whether its first code card
    // goes on from the row above, its last into the row below, and that block's whole code.
    required property bool codeAbove
    required property bool codeBelow
    required property string wholeCode
    property bool isLast: false
    // A later piece of a long text block: no dot of its own, the rail runs on from the piece
    // above across the list's spacing.
    property bool continued: false
    // A later piece follows this one: a user's bubble runs on into it.
    property bool joinsNext: false
    property real railGap: 13
    // A thinking row: whether its block starts open, and each opening or closing by the user (the
    // list keeps that by row id, beyond this view).
    property bool thinkingOpen: false
    signal thinkingToggled(bool open)

    readonly property bool failed: row.outcome === "failed" || row.outcome === "denied"
    readonly property color bubbleFill: Theme.hex("5b8cdd", 0.16)
    readonly property color bubbleEdge: Theme.hex("5b8cdd", 0.3)
    readonly property bool isUser: row.kind === "user"
    // A tool row with a to-do list (even an empty one) shows the list, not a tool card.
    readonly property bool isTodo: row.kind === "tool" && row.tool !== undefined && row.tool !== null
                                   && row.tool.todos !== undefined

    implicitHeight: row.isUser ? (userLayout.count > 0 ? userLayout.itemAt(0).height : 0) : Math.max(content.height, 10)

    function dotColor(): color {
        switch (row.kind) {
        case "thinking": return Theme.hex("c2a8f8", 1);
        case "tool": return row.failed ? Theme.red : row.outcome === "interrupted" ? Theme.textFaint : Theme.hex("d6b271", 1);
        case "working":
        case "compacting": return Theme.amber;
        default: return Theme.textFaint;
        }
    }

    // The user layout, made for user rows only (most rows are not).
    Repeater {
        id: userLayout
        model: row.isUser ? 1 : 0
        delegate: Item {
            width: row.width
            height: userColumn.height

            // A later piece's bubble across the list's spacing above it, up to the piece before
            // (beneath the text, which runs on across it).
            Rectangle {
                visible: row.isUser && row.continued && row.text !== ""
                anchors.right: parent.right
                y: -row.railGap
                width: row.width - 44
                height: row.railGap
                color: row.bubbleFill
                Rectangle { width: 1; height: parent.height; color: row.bubbleEdge }
                Rectangle { anchors.right: parent.right; width: 1; height: parent.height; color: row.bubbleEdge }
            }

            // Attachments, then the bubble, hugging the trailing edge and reaching at most to 44
            // points from the leading one.
            Column {
                id: userColumn
                visible: row.isUser
                anchors.right: parent.right
                width: Math.min(row.width - 44, Math.max(chips.implicitWidth, bubble.visible ? bubble.width : 0))
                spacing: 6

                // The chips in lines as wide as the row allows, in their order, each line against the
                // trailing edge: every attachment is seen however narrow the pane (one row that never
                // wrapped pushed the first ones past the leading edge).
                Item {
                    id: chips
                    objectName: "attachments"
                    readonly property real room: row.width - 44
                    readonly property real spacing: 6
                    visible: row.isUser && row.attachments && row.attachments.length > 0
                    anchors.right: parent.right
                    width: Math.min(chips.implicitWidth, chips.room)
                    height: chips.implicitHeight
                    onRoomChanged: chips.place()

                    // Places the chips line by line, a chip wider than the room alone on its line,
                    // and takes the widest line's width and the lines' height.
                    function place() {
                        const lines = [];
                        let line = { chips: [], width: 0, height: 0 };
                        for (let i = 0; i < chipRepeater.count; ++i) {
                            const c = chipRepeater.itemAt(i);
                            if (c === null)
                                continue;
                            if (line.chips.length > 0 && line.width + chips.spacing + c.width > chips.room) {
                                lines.push(line);
                                line = { chips: [], width: 0, height: 0 };
                            }
                            line.width += (line.chips.length > 0 ? chips.spacing : 0) + c.width;
                            line.height = Math.max(line.height, c.height);
                            line.chips.push(c);
                        }
                        if (line.chips.length > 0)
                            lines.push(line);
                        const widest = lines.reduce((w, l) => Math.max(w, l.width), 0);
                        let y = 0;
                        for (const l of lines) {
                            let x = widest - l.width;
                            for (const c of l.chips) {
                                c.x = x;
                                c.y = y + (l.height - c.height) / 2;
                                x += c.width + chips.spacing;
                            }
                            y += l.height + chips.spacing;
                        }
                        chips.implicitWidth = widest;
                        chips.implicitHeight = Math.max(0, y - chips.spacing);
                    }

                    Repeater {
                        id: chipRepeater
                        model: row.isUser ? row.attachments : []
                        onItemAdded: chips.place()
                        onItemRemoved: chips.place()
                        delegate: Item {
                            id: chip
                            required property var modelData
                            readonly property bool thumbnail: ChatLabels.showsThumbnail(chip.modelData)
                            readonly property string markedName: ChatText.markedName(chip.modelData.name)
                            objectName: chip.thumbnail ? "thumbnail" : "fileChip"
                            width: chip.thumbnail ? 120 : fileChip.width
                            height: chip.thumbnail ? 84 : fileChip.height
                            onWidthChanged: chips.place()
                            onHeightChanged: chips.place()

                            AttachmentImage {
                                visible: chip.thumbnail
                                anchors.fill: parent
                                attachment: chip.thumbnail ? chip.modelData : undefined
                                radius: 8
                            }
                            Rectangle {
                                visible: chip.thumbnail
                                anchors.fill: parent
                                radius: 8
                                color: "transparent"
                                border.width: 1
                                border.color: Theme.borderControl
                            }
                            Rectangle {
                                id: fileChip
                                visible: !chip.thumbnail
                                width: chipRow.implicitWidth + 18
                                height: chipRow.implicitHeight + 12
                                radius: 7
                                color: Theme.surfaceCard
                                border.width: 1
                                border.color: Theme.borderControl
                                Row {
                                    id: chipRow
                                    anchors.centerIn: parent
                                    spacing: 6
                                    SymbolIcon {
                                        anchors.verticalCenter: parent.verticalCenter
                                        name: "doc.fill"
                                        size: 11
                                        color: Theme.textDim
                                    }
                                    Text {
                                        anchors.verticalCenter: parent.verticalCenter
                                        objectName: "fileChipName"
                                        // The whole name: a line break or other hidden character shows as a mark.
                                        // A name wider than the row breaks onto more lines, never past its edge.
                                        text: chip.markedName !== "" ? chip.markedName : chip.modelData.name
                                        textFormat: chip.markedName !== "" ? Text.StyledText : Text.PlainText
                                        width: Math.min(implicitWidth, chips.room - 35)
                                        wrapMode: Text.WrapAnywhere
                                        font.pointSize: Theme.fontSize(11.5)
                                        font.weight: Font.Medium
                                        color: Theme.text
                                    }
                                }
                            }
                        }
                    }
                }
                // A long message is cut into pieces, one row each; their bubbles join into one, square
                // and open where they meet (the corners and border there clipped away), at full width,
                // the text running on across the list's spacing with no padding between.
                Item {
                    id: bubble
                    objectName: "bubble"
                    readonly property real topPad: row.continued ? -row.railGap : 8
                    readonly property real bottomPad: row.joinsNext ? 0 : 8
                    visible: row.isUser && row.text !== ""
                    anchors.right: parent.right
                    width: row.continued || row.joinsNext ? row.width - 44
                                                           : Math.min(measure.implicitWidth + 1, row.width - 44 - 22) + 22
                    height: bubbleText.implicitHeight + bubble.topPad + bubble.bottomPad

                    Item {
                        anchors.fill: parent
                        clip: row.continued || row.joinsNext
                        Rectangle {
                            y: row.continued ? -radius : 0
                            width: bubble.width
                            height: bubble.height - y + (row.joinsNext ? radius : 0)
                            radius: 12
                            color: row.bubbleFill
                            border.width: 1
                            border.color: row.bubbleEdge
                        }
                    }
                    // The unwrapped width of the text, which the bubble takes when it fits.
                    Text {
                        id: measure
                        visible: false
                        text: !bubble.visible || row.continued || row.joinsNext ? "" : bubbleText.marked !== "" ? bubbleText.marked : row.text
                        textFormat: bubbleText.marked !== "" ? Text.RichText : Text.PlainText
                        font: bubbleText.font
                    }
                    TextEdit {
                        id: bubbleText
                        objectName: "bubbleText"
                        x: 11
                        y: bubble.topPad
                        width: bubble.width - 22
                        // A piece ends at a line's end; the next piece's first line follows on directly.
                        readonly property string shown: !bubble.visible ? "" : row.joinsNext && row.text.endsWith("\n") ? row.text.slice(0, -1) : row.text
                        // What goes in the user's name (an answer holds the agent's question) shows
                        // its hidden characters as marks.
                        readonly property string marked: ChatText.markedCode(bubbleText.shown)
                        text: bubbleText.marked !== "" ? bubbleText.marked : bubbleText.shown
                        textFormat: bubbleText.marked !== "" ? TextEdit.RichText : TextEdit.PlainText
                        wrapMode: TextEdit.Wrap
                        readOnly: true
                        selectByMouse: true
                        color: Theme.textStrong
                        font.pointSize: Theme.fontSize(12.5)
                    }
                }
                // The turn ended (an interrupt, a failure, a crash, a quit) with nothing of an answer.
                Row {
                    objectName: "unanswered"
                    visible: row.isUser && row.unanswered
                    anchors.right: parent.right
                    spacing: 5
                    SymbolIcon {
                        anchors.verticalCenter: parent.verticalCenter
                        name: "stop.circle.fill"
                        size: 10
                        color: Theme.textFaint
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: row.noAnswer === "" ? qsTr("No answer") : qsTr("No answer — %1").arg(row.noAnswer)
                        textFormat: Text.PlainText
                        // A long reason never runs past a narrow pane's edge.
                        width: Math.min(implicitWidth, row.width - 44 - 15)
                        elide: Text.ElideRight
                        font.pointSize: Theme.fontSize(10.5)
                        color: Theme.textFaint
                    }
                }
            }
        }
    }

    // The rail: the dot and, unless this is the last row, a line down to the row's end.
    Item {
        id: rail
        visible: !row.isUser
        width: 9
        height: row.height
        Rectangle {
            objectName: "dot"
            visible: !row.continued
            x: 1
            y: 3
            width: 7
            height: 7
            radius: 3.5
            color: row.dotColor()
        }
        Rectangle {
            objectName: "railLine"
            visible: !row.isLast
            x: 4
            y: row.continued ? -row.railGap : 10
            width: 1
            height: Math.max(0, rail.height - y)
            color: Theme.border
        }
    }

    // The content beside the rail: one of these exists, by kind.
    Column {
        id: content
        x: 19
        width: row.width - 19

        Repeater {
            model: row.kind === "thinking" ? 1 : 0
            delegate: ThinkingBlock {
                width: content.width
                text: row.text
                seconds: row.seconds
                expanded: row.thinkingOpen
                onToggled: open => row.thinkingToggled(open)
            }
        }
        Repeater {
            model: row.kind === "text" ? 1 : 0
            delegate: MarkdownText {
                width: content.width
                text: row.text
                codeAbove: row.codeAbove
                codeBelow: row.codeBelow
                wholeCode: row.wholeCode
                gapAbove: row.railGap
            }
        }
        Repeater {
            model: row.kind === "tool" && !row.isTodo ? 1 : 0
            delegate: ToolCard {
                width: content.width
                tool: row.tool
                outcome: row.outcome
            }
        }
        Repeater {
            model: row.kind === "tool" && row.isTodo ? 1 : 0
            delegate: TodoChecklist {
                width: content.width
                todos: row.tool.todos
            }
        }
        Repeater {
            model: row.kind === "toolResult" ? 1 : 0
            delegate: Text {
                id: result
                objectName: "toolResult"
                // Output is what a command did: its hidden characters show as marks.
                readonly property string marked: ChatText.markedOutput(row.text)
                width: content.width
                text: result.marked !== "" ? result.marked : ChatText.shownLines(row.text)
                textFormat: result.marked !== "" ? Text.StyledText : Text.PlainText
                wrapMode: Text.Wrap
                maximumLineCount: 3
                elide: Text.ElideRight
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(10.5)
                // A failed or refused call's result is its error: not the grey of output.
                color: row.failed ? Theme.hex("f0524f", 0.9) : Theme.textFaint
            }
        }
        Repeater {
            model: row.kind === "working" ? 1 : 0
            delegate: Row {
                spacing: 8
                StepSpinner {
                    id: spinner
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    id: working
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Working…")
                    font.pointSize: Theme.fontSize(11)
                    color: Theme.textDim
                }
                // The token count, or what the agent waits on (a reconnect's own words, often long:
                // cut to the row).
                Text {
                    objectName: "workingDetail"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: row.label !== undefined && row.label !== null && row.label !== ""
                    width: Math.max(0, Math.min(implicitWidth, content.width - spinner.width - working.width - 16))
                    elide: Text.ElideRight
                    text: "· " + (visible ? row.label : "")
                    textFormat: Text.PlainText
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(10.5)
                    color: Theme.textFaint
                }
            }
        }
        Repeater {
            model: row.kind === "compacting" ? 1 : 0
            delegate: Row {
                spacing: 8
                StepSpinner {
                    anchors.verticalCenter: parent.verticalCenter
                }
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "arrow.down.right.and.arrow.up.left"
                    size: 10
                    color: Theme.amber
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Compacting conversation…")
                    font.pointSize: Theme.fontSize(11)
                    color: Theme.textDim
                }
            }
        }
    }
}
