import QtQuick
import Brinmoor.App
import Brinmoor.Chat
import Brinmoor.Window

// What a stopped pane shows instead of its frame and content: a quiet card with the project's
// name and one button that starts the session again. It has no header, menu or state border. A
// chat pane's unsent draft, which waits for the restart, is shown on the card to be read and
// copied.
Item {
    id: card
    objectName: "stoppedPlaceholder"

    required property var session
    readonly property string sessionID: card.session ? card.session.id : ""
    // Why the pane stopped by itself (a chat agent that died), "" for a stop the user asked for.
    property string reason: ""
    // The chat pane's unsent draft, kept for its next session; null for none.
    property ComposerDraft draft: null
    readonly property string draftText: card.draft ? card.draft.text : ""
    readonly property int draftAttachments: card.draft && card.draft.attachments ? card.draft.attachments.count : 0
    readonly property alias restartButton: restart

    signal restartRequested()

    implicitWidth: 320
    implicitHeight: 240

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: Theme.pair("0d0e12", "dfe1e6", 1)
        border.width: 1
        border.color: Theme.border
    }

    Column {
        anchors.centerIn: parent
        width: parent.width
        spacing: 10

        SymbolIcon {
            objectName: "icon"
            anchors.horizontalCenter: parent.horizontalCenter
            name: card.session && card.session.kind === "chat" ? "bubble.left" : "stop.fill"
            size: 16
            color: Theme.textFaint
        }
        NameText {
            objectName: "projectName"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            // An empty name keeps its line, so the icon and the button stay in place.
            name: card.session ? card.session.project : ""
            height: Math.max(implicitHeight, fontMetrics.height)
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(12)
            font.weight: Font.Medium
            color: Theme.textDim
            FontMetrics {
                id: fontMetrics
                font.pointSize: Theme.fontSize(12)
                font.weight: Font.Medium
            }
        }
        Text {
            objectName: "reason"
            visible: card.reason !== ""
            width: Math.min(parent.width - 40, 420)
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            text: card.reason
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideRight
            font.pointSize: Theme.fontSize(11)
            color: Theme.textFaint
        }
        // The draft: a caption with the copy button, then its text, selectable, a few lines high
        // (more scroll inside the box).
        Column {
            id: draftBox
            objectName: "stoppedDraft"
            visible: card.draftText !== "" || card.draftAttachments > 0
            width: Math.min(parent.width - 40, 420)
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 4
            Item {
                width: draftBox.width
                height: Math.max(caption.implicitHeight, copyDraft.height)
                Text {
                    id: caption
                    objectName: "draftCaption"
                    anchors.left: parent.left
                    anchors.right: copyDraft.left
                    anchors.rightMargin: 6
                    anchors.verticalCenter: parent.verticalCenter
                    text: card.draftAttachments === 0 ? qsTr("Unsent draft")
                          : card.draftAttachments === 1 ? qsTr("Unsent draft · 1 attachment")
                          : qsTr("Unsent draft · %1 attachments").arg(card.draftAttachments)
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.pointSize: Theme.fontSize(10.5)
                    font.weight: Font.Medium
                    color: Theme.textFaint
                }
                CopyButton {
                    id: copyDraft
                    objectName: "copyDraftButton"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    visible: card.draftText !== ""
                    text: card.draftText
                }
            }
            Rectangle {
                visible: card.draftText !== ""
                width: draftBox.width
                // Up to four lines; a longer draft scrolls inside.
                height: Math.min(draftEdit.implicitHeight, Math.ceil(draftMetrics.lineSpacing * 4)) + 12
                // The composer's box, as the draft stood in it.
                radius: 7
                color: Theme.pair("13151a", "ffffff", 1)
                border.width: 1
                border.color: Theme.borderControl
                Flickable {
                    id: draftScroll
                    anchors.fill: parent
                    anchors.margins: 6
                    clip: true
                    contentWidth: width
                    contentHeight: draftEdit.implicitHeight
                    boundsBehavior: Flickable.StopAtBounds
                    TextEdit {
                        id: draftEdit
                        objectName: "draftText"
                        width: draftScroll.width
                        text: card.draftText
                        textFormat: TextEdit.PlainText
                        readOnly: true
                        selectByMouse: true
                        persistentSelection: true
                        wrapMode: TextEdit.Wrap
                        font.pointSize: Theme.fontSize(11)
                        color: Theme.text
                        selectionColor: Theme.accent
                    }
                }
                FontMetrics {
                    id: draftMetrics
                    font: draftEdit.font
                }
            }
        }
        Item {
            id: restart
            objectName: "restartButton"
            anchors.horizontalCenter: parent.horizontalCenter
            implicitWidth: label.implicitWidth + 24
            implicitHeight: label.implicitHeight + 12
            width: implicitWidth
            height: implicitHeight

            Rectangle {
                anchors.fill: parent
                radius: 7
                color: mouse.pressed ? Theme.hoverFill : "transparent"
                border.width: 1
                border.color: Theme.borderStrong
            }
            Row {
                id: label
                anchors.centerIn: parent
                spacing: 6
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "arrow.clockwise"
                    size: 10
                    color: Theme.text
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Stopped — Restart")
                    textFormat: Text.PlainText
                    font.pointSize: Theme.fontSize(11)
                    font.weight: Font.Medium
                    color: Theme.text
                }
            }
            MouseArea {
                id: mouse
                anchors.fill: parent
                onClicked: {
                    AppModel.restart(card.sessionID);
                    card.restartRequested();
                }
            }
        }
    }
}
