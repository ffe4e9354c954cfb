pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The inline card of an agent's questions, one at a time: the options as selectable rows (round
// marks for one choice, square ones for several), then a free-text "Other…" row. A click on an
// option of a single-choice question moves on by itself; several choices and free text move on
// with Next, which reads Submit on the last question. Back keeps every choice; Skip dismisses
// the whole request. The step logic lives in QuestionFlow.
Item {
    id: card

    // An askQuestion value.
    required property var ask
    // "claude" or "codex".
    property string provider: "claude"
    readonly property QuestionFlow flow: QuestionFlow {
        ask: card.ask
        onSubmitted: answers => card.answer(answers)
    }
    readonly property var current: card.flow.current

    signal answer(var answers)
    signal skip()

    implicitHeight: column.implicitHeight + 22

    PromptFrame {
        anchors.fill: parent
    }
    Column {
        id: column
        x: 11
        y: 11
        width: card.width - 22
        spacing: 10

        // Header: the question's own caption or who asks, progress, Skip.
        Item {
            width: column.width
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
                    text: card.current && card.current.header !== "" ? card.current.header
                          : (card.provider === "codex" ? "Codex" : "Claude") + qsTr(" needs your input")
                    textFormat: Text.PlainText
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

        // The question: its text, the hint for several choices, the options, the free text. A new
        // step fades in over 0.12 s.
        Column {
            id: questionBody
            readonly property int step: card.flow.step
            onStepChanged: stepFade.restart()
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
                text: card.current ? card.current.question : ""
                textFormat: Text.PlainText
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
                onClicked: card.flow.tapOther()
            }
            Repeater {
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
                            focus: true
                            color: Theme.textStrong
                            font.pointSize: Theme.fontSize(12.5)
                            onTextChanged: card.flow.otherText = editor.text
                            onCursorRectangleChanged: {
                                if (editor.cursorRectangle.y + editor.cursorRectangle.height > scroller.contentY + scroller.height)
                                    scroller.contentY = editor.cursorRectangle.y + editor.cursorRectangle.height - scroller.height;
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
                            Component.onCompleted: editor.forceActiveFocus()
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
                onClicked: card.flow.back()
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
