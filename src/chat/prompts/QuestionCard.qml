pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Chat

// The inline card of an agent's questions, one at a time: the options as selectable rows (round
// marks for one choice, square ones for several), then a free-text "Other…" row. A click on an
// option of a single-choice question moves on by itself; several choices and free text move on
// with Next, which reads Submit on the last question. Back keeps every choice; Skip dismisses
// the whole request. The step logic lives in QuestionFlow. A card taller than the room it is given
// (`maximumHeight`: a small pane) scrolls its question below the header, which stays in view with
// its progress and Skip.
Item {
    id: card

    // An askQuestion value.
    required property var ask
    // "claude" or "codex".
    property string provider: "claude"
    // The most the card may take; never less than its header.
    property real maximumHeight: Infinity
    // Where the steps, choices and typed text live (`flow`): the one the pane keeps with its
    // session, which a card built again (the pane's view made anew) comes back to; without one,
    // or once it is gone with its session, the card's own.
    property QuestionFlow keptFlow: null
    readonly property QuestionFlow flow: card.keptFlow ? card.keptFlow : ownFlow
    QuestionFlow {
        id: ownFlow
    }
    function showAsk() {
        if (card.flow)
            card.flow.ask = card.ask;
    }
    onAskChanged: card.showAsk()
    onFlowChanged: card.showAsk()
    Component.onCompleted: card.showAsk()
    Connections {
        target: card.flow
        function onSubmitted(answers: var) { card.answer(answers); }
    }
    readonly property var current: card.flow.current
    // The agent's caption and question, their hidden characters as marks: the user answers what
    // the agent asked, not what an override or an invisible character makes it read.
    readonly property string caption: card.current ? card.current.header : ""
    readonly property string markedCaption: ChatText.markedName(card.caption)
    readonly property string question: card.current ? card.current.question : ""
    readonly property string markedQuestion: ChatText.markedOutput(card.question)

    // The free-text box takes the keyboard when the user opens it or steps back to it; not when
    // the card is made again with it open (the user may be typing in another pane by then).
    property bool focusOtherBox: false

    signal answer(var answers)
    signal skip()

    readonly property real naturalHeight: 11 + header.height + 10 + column.implicitHeight + 11
    // Whether the question is cut to fit and scrolls.
    readonly property bool scrolls: scrollArea.contentHeight > scrollArea.height + 0.5
    implicitHeight: Math.min(card.naturalHeight, Math.max(card.maximumHeight, 11 + header.height + 11))

    // Brings an item of the question into view (the free-text editor as it opens).
    function reveal(item: Item) {
        const y = item.mapToItem(column, 0, 0).y;
        if (y + item.height > scrollArea.contentY + scrollArea.height)
            scrollArea.contentY = Math.max(0, Math.min(y + item.height, column.implicitHeight) - scrollArea.height);
        else if (y < scrollArea.contentY)
            scrollArea.contentY = y;
    }

    // The editor opens below the row that was clicked, perhaps past the card's foot.
    Timer {
        id: revealLater
        interval: 0
        onTriggered: {
            if (otherBox.count > 0)
                card.reveal(otherBox.itemAt(0));
        }
    }

    PromptFrame {
        anchors.fill: parent
    }
    // Header: the question's own caption or who asks, progress, Skip.
    Item {
        id: header
        objectName: "header"
        x: 11
        y: 11
        width: card.width - 22
        height: Math.max(title.implicitHeight, skipText.implicitHeight)
        Row {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 7
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "questionmark.bubble.fill"
                size: 11
                color: Theme.amber
            }
            Text {
                id: title
                objectName: "title"
                anchors.verticalCenter: parent.verticalCenter
                text: card.markedCaption !== "" ? card.markedCaption : card.caption !== "" ? card.caption
                      : (card.provider === "codex" ? "Codex" : "Claude") + qsTr(" needs your input")
                textFormat: card.markedCaption !== "" ? Text.StyledText : Text.PlainText
                font.pointSize: Theme.fontSize(11.5)
                font.weight: Font.DemiBold
                color: Theme.text
            }
            Text {
                objectName: "progress"
                anchors.verticalCenter: parent.verticalCenter
                visible: card.flow.count >= 2
                text: (card.flow.step + 1) + qsTr(" of ") + card.flow.count
                font.pointSize: Theme.fontSize(10)
                color: Theme.textFaint
            }
            Row {
                anchors.verticalCenter: parent.verticalCenter
                visible: card.flow.count >= 2
                spacing: 4
                Repeater {
                    model: card.flow.count
                    delegate: Rectangle {
                        required property int index
                        width: 5
                        height: 5
                        radius: 2.5
                        color: index === card.flow.step ? Theme.amber
                               : index < card.flow.step ? Theme.accent : Theme.borderStrong
                    }
                }
            }
        }
        Text {
            id: skipText
            objectName: "skip"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Skip")
            font.pointSize: Theme.fontSize(11)
            color: Theme.textFaint
            TapHandler {
                cursorShape: Qt.PointingHandCursor
                onTapped: card.skip()
            }
        }
    }

    // Everything below the header; scrolls when the card is held shorter than it.
    Flickable {
        id: scrollArea
        objectName: "questionScroller"
        x: 11
        y: header.y + header.height + 10
        width: card.width - 22 + 11
        height: Math.max(0, card.height - y - 11)
        clip: card.scrolls
        interactive: card.scrolls
        contentWidth: width
        contentHeight: column.implicitHeight
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            objectName: "questionScrollBar"
            policy: card.scrolls ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }

        Column {
            id: column
            width: card.width - 22
            spacing: 10

            // The question: its text, the hint for several choices, the options, the free text. A new
            // step fades in over 0.12 s, from the top.
            Column {
                id: questionBody
                readonly property int step: card.flow.step
                onStepChanged: {
                    scrollArea.contentY = 0;
                    stepFade.restart();
                }
                NumberAnimation {
                    id: stepFade
                    target: questionBody
                    property: "opacity"
                    from: 0
                    to: 1
                    duration: 120
                    easing.type: Easing.InOutQuad
                }
                visible: card.flow.hasQuestion
                width: column.width
                spacing: 7

                Text {
                    objectName: "question"
                    width: parent.width
                    text: card.markedQuestion !== "" ? card.markedQuestion : card.question
                    textFormat: card.markedQuestion !== "" ? Text.StyledText : Text.PlainText
                    wrapMode: Text.Wrap
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.DemiBold
                    color: Theme.textStrong
                }
                Text {
                    visible: card.flow.multiSelect
                    text: qsTr("Choose one or more")
                    font.pointSize: Theme.fontSize(10)
                    color: Theme.textFaint
                }
                Repeater {
                    model: card.current ? card.current.options : []
                    delegate: ChoiceRow {
                        id: option
                        required property var modelData
                        objectName: "option:" + option.modelData.label
                        width: column.width
                        label: option.modelData.label
                        description: option.modelData.description
                        multiSelect: card.flow.multiSelect
                        chosen: card.flow.chosen.indexOf(option.modelData.label) >= 0
                        onClicked: card.flow.tap(option.modelData.label)
                    }
                }
                ChoiceRow {
                    id: otherRow
                    objectName: "other"
                    width: column.width
                    label: qsTr("Other…")
                    multiSelect: card.flow.multiSelect
                    chosen: card.flow.otherChosen
                    onClicked: {
                        card.focusOtherBox = true;
                        card.flow.tapOther();
                    }
                }
                Repeater {
                    id: otherBox
                    model: card.flow.otherChosen ? 1 : 0
                    delegate: Rectangle {
                        width: column.width
                        height: Math.min(92, Math.max(22, editor.contentHeight)) + 10
                        radius: 8
                        color: Theme.pair("13151a", "ffffff", 1)
                        border.width: 1
                        border.color: Theme.accent
                        Flickable {
                            id: scroller
                            x: 8
                            y: 5
                            width: parent.width - 16
                            height: parent.height - 10
                            clip: true
                            contentHeight: editor.contentHeight
                            boundsBehavior: Flickable.StopAtBounds
                            TextEdit {
                                id: editor
                                objectName: "otherEditor"
                                width: scroller.width
                                text: card.flow.otherText
                                wrapMode: TextEdit.Wrap
                                selectByMouse: true
                                color: Theme.textStrong
                                font.pointSize: Theme.fontSize(12.5)
                                onTextChanged: card.flow.otherText = editor.text
                                onCursorRectangleChanged: {
                                    if (editor.cursorRectangle.y + editor.cursorRectangle.height > scroller.contentY + scroller.height)
                                        scroller.contentY = editor.cursorRectangle.y + editor.cursorRectangle.height - scroller.height;
                                    // The box grows with its text: it stays in view as it does.
                                    if (card.scrolls)
                                        revealLater.restart();
                                }
                                Keys.onReturnPressed: event => {
                                    if (event.modifiers & Qt.ShiftModifier) {
                                        event.accepted = false;
                                        return;
                                    }
                                    card.flow.advance();
                                }
                                Keys.onEnterPressed: event => {
                                    if (event.modifiers & Qt.ShiftModifier) {
                                        event.accepted = false;
                                        return;
                                    }
                                    card.flow.advance();
                                }
                                Component.onCompleted: {
                                    // Text typed before the card was made again: go on after it.
                                    editor.cursorPosition = editor.length;
                                    if (card.focusOtherBox)
                                        editor.forceActiveFocus();
                                    revealLater.restart();
                                }
                            }
                        }
                    }
                }
            }

            // Footer: Back and Next / Submit.
            Item {
                visible: card.flow.showsNext || card.flow.step >= 1
                width: column.width
                height: nextButton.implicitHeight
                PromptButton {
                    objectName: "back"
                    visible: card.flow.step >= 1
                    title: qsTr("Back")
                    horizontalPadding: 12
                    weight: Font.Medium
                    outlinedText: Theme.textDim
                    onClicked: {
                        card.focusOtherBox = true;
                        card.flow.back();
                    }
                }
                PromptButton {
                    id: nextButton
                    objectName: "next"
                    anchors.right: parent.right
                    visible: card.flow.showsNext
                    enabled: card.flow.answered
                    filled: true
                    horizontalPadding: 16
                    title: card.flow.isLast ? qsTr("Submit") : qsTr("Next")
                    onClicked: card.flow.advance()
                }
            }
        }
    }
}
