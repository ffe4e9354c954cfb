pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The composer at the foot of a chat pane: from top to bottom the slash-command pop-up, a notice
// when a pasted image was refused, the pending attachment chips, and the editor beside the send
// button (a stop button while the agent works).
Item {
    id: bar

    required property ClaudeSession session
    // The draft, the pop-up and the pending attachments (shared with the controls row).
    required property ComposerModel composer
    readonly property AttachmentListModel attachments: bar.composer.attachments
    readonly property alias editor: editor

    implicitHeight: column.implicitHeight + 18

    Rectangle {
        width: parent.width
        height: 1
        color: Theme.border
    }

    Column {
        id: column
        x: 10
        y: 9
        width: parent.width - 20
        spacing: 6

        SlashPopup {
            objectName: "slashPopup"
            width: column.width
            visible: bar.composer.slashMatches.length > 0
            composer: bar.composer
        }
        // A refusal names its file in isolates: lines measured by the text's own font.
        MeasuredText {
            objectName: "attachmentNotice"
            width: column.width
            visible: bar.attachments.notice !== ""
            text: bar.attachments.notice
            // It names files: never markup.
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pointSize: Theme.fontSize(11)
            color: Theme.red
        }
        // A paste still being read from another program: what, how much so far, and a way to stop
        // it; and that a message sent meanwhile waits for it.
        Item {
            objectName: "pasteStatus"
            width: column.width
            visible: bar.attachments.pasteStatus !== ""
            height: Math.max(pasteText.implicitHeight, cancelPaste.implicitHeight)
            Text {
                id: pasteText
                objectName: "pasteStatusText"
                width: parent.width - (cancelPaste.visible ? cancelPaste.width + 10 : 0)
                text: bar.attachments.pasteStatus
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pointSize: Theme.fontSize(11)
                color: Theme.textDim
            }
            Text {
                id: cancelPaste
                objectName: "cancelPaste"
                anchors.right: parent.right
                visible: bar.attachments.pasting
                text: qsTr("Cancel")
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(11)
                font.underline: cancelHover.hovered
                color: Theme.accent
                HoverHandler {
                    id: cancelHover
                    cursorShape: Qt.PointingHandCursor
                }
                TapHandler {
                    onTapped: {
                        bar.attachments.cancelPaste();
                        editor.forceEditorFocus();
                    }
                }
            }
        }
        // Hidden characters that came into the draft stand in it as marks: this says so before
        // anything is sent, and offers to take them out.
        Item {
            objectName: "hiddenNotice"
            width: column.width
            visible: bar.composer.hiddenCount > 0
            height: Math.max(hiddenText.implicitHeight, removeHidden.implicitHeight)
            Text {
                id: hiddenText
                objectName: "hiddenNoticeText"
                width: parent.width - removeHidden.width - 10
                text: bar.composer.hiddenNotice
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pointSize: Theme.fontSize(11)
                color: Theme.hex("d94f8c", 1)
            }
            Text {
                id: removeHidden
                objectName: "removeHidden"
                anchors.right: parent.right
                text: qsTr("Remove them")
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(11)
                font.underline: removeHover.hovered
                color: Theme.accent
                HoverHandler {
                    id: removeHover
                    cursorShape: Qt.PointingHandCursor
                }
                TapHandler {
                    onTapped: {
                        bar.composer.removeHidden();
                        editor.forceEditorFocus();
                    }
                }
            }
        }
        AttachmentStrip {
            objectName: "attachmentStrip"
            width: column.width
            visible: bar.attachments.count > 0
            attachments: bar.attachments
        }
        Row {
            width: column.width
            spacing: 8

            Rectangle {
                id: box
                objectName: "editorBox"
                width: parent.width - sendButton.width - 8
                height: editor.height + 6
                radius: 9
                color: Theme.pair("13151a", "ffffff", 1)
                border.width: 1
                border.color: Theme.borderControl
                opacity: bar.composer.awaitingChoice ? 0.55 : 1

                ChatTextEditor {
                    id: editor
                    objectName: "chatTextEditor"
                    x: 2
                    y: 3
                    width: box.width - 4
                    enabled: !bar.composer.awaitingChoice
                    attachmentSink: bar.attachments
                    markSource: bar.composer
                    specialKey: key => bar.composer.handleSpecialKey(key)
                    copyKey: cut => bar.composer.copySelection(cut)
                    onTextChanged: bar.attachments.clearNotice()
                    onSendRequested: bar.composer.send()
                    onFocusGained: AppModel.focusPane(bar.session ? bar.session.paneId : "")
                    onFocusLost: AppModel.blurPane(bar.session ? bar.session.paneId : "")
                }
                Text {
                    objectName: "placeholder"
                    x: 2 + 10
                    y: 3 + 6
                    // Cut short in a narrow pane rather than run past the box into the send button.
                    width: box.width - 2 * 10 - 4
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    visible: editor.textItem.length === 0
                    text: bar.composer.placeholder
                    font.pointSize: Theme.fontSize(12.5)
                    color: Theme.textFaint
                }
            }
            Item {
                id: sendButton
                objectName: "sendButton"
                readonly property bool stops: bar.composer.busy
                readonly property bool usable: sendButton.stops || (bar.composer.canSend && !bar.composer.awaitingChoice)
                width: 24
                height: box.height
                SymbolIcon {
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 3
                    anchors.horizontalCenter: parent.horizontalCenter
                    name: sendButton.stops ? "stop.circle.fill" : "arrow.up.circle.fill"
                    size: 22
                    color: sendButton.stops ? Theme.red
                         : (bar.composer.canSend && !bar.composer.awaitingChoice) ? Theme.accent
                         : Theme.textFaint
                }
                MouseArea {
                    id: sendMouse
                    anchors.fill: parent
                    enabled: sendButton.usable
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        if (sendButton.stops)
                            bar.composer.stop();
                        else
                            bar.composer.send();
                    }
                }
                ToolTip.visible: sendMouse.containsMouse
                ToolTip.delay: 600
                ToolTip.text: sendButton.stops ? "Stop" : "Send"
            }
        }
    }
}
