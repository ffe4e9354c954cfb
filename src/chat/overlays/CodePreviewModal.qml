// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses.
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Chat

// Code, a diff or markdown enlarged over the whole window: a dimmed backdrop and a card with a
// title bar (title, copy, the "esc" hint, close) over the content. Markdown wins over diff. A
// click on the backdrop or the close button clears the application's code preview; Escape is the
// main window's.
Item {
    id: modal

    property string title: ""
    property string content: ""
    property bool isMarkdown: false
    property bool isDiff: false
    // The content is only a part of a longer text: what part, said above it ("Showing the first
    // 25 of 130,000 lines"), and the copy button copies that part and says so. Empty when the
    // content is whole.
    property string note: ""
    // Hidden characters of the title (a path, a command) as marks.
    readonly property string markedTitle: ChatText.markedName(modal.title)

    function close() {
        AppModel.codePreview = null;
    }

    // The content's scroll bar: along the card's right edge, clear of its border and of its
    // rounded bottom corner, and there only while the content is taller than the card.
    component CardScrollBar: ScrollBar {
        id: bar
        // The area it scrolls, which fills the card under the title bar.
        required property Item area
        objectName: "previewScrollBar"
        parent: bar.area
        x: bar.area.width - bar.width - 2
        y: 4
        height: bar.area.height - 4 - 14
        policy: bar.size < 1 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
    }

    Rectangle {
        objectName: "backdrop"
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.6)
        // Hover ends here too: the controls under the overlay lose it, and their tooltips go.
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            // Every button and the wheel stop here, never reaching the pane under it (a middle
            // click would paste into a shell); a left click closes.
            acceptedButtons: Qt.AllButtons
            onClicked: mouse => {
                if (mouse.button === Qt.LeftButton)
                    modal.close();
            }
            onWheel: wheel => wheel.accepted = true
        }
    }

    // The card's shadow: black at 0.6, 40 points of blur, 24 points down.
    SoftShadow {
        anchors.fill: card
        color: Qt.rgba(0, 0, 0, 0.6)
        radius: 40
        offsetY: 24
        cornerRadius: 14
    }

    Rectangle {
        id: card
        objectName: "card"
        anchors.centerIn: parent
        width: Math.min(820, modal.width)
        height: Math.min(680, modal.height)
        radius: 14
        clip: true
        color: Theme.surfaceRaised

        // Clicks and hover on the card stay on it.
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
        }

        Rectangle {
            id: titleBar
            objectName: "titleBar"
            width: parent.width
            height: titleRow.implicitHeight + 26
            color: Theme.surfaceHeader
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: Theme.border
            }
            Row {
                id: titleRow
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 32
                spacing: 10
                SymbolIcon {
                    id: titleIcon
                    anchors.verticalCenter: parent.verticalCenter
                    name: "chevron.left.forwardslash.chevron.right"
                    size: 12
                    color: Theme.hex("6cb6ff", 1)
                }
                Text {
                    objectName: "title"
                    anchors.verticalCenter: parent.verticalCenter
                    width: titleRow.width - titleIcon.width - copyLabel.width - escHint.width - closeButton.width
                           - 4 * titleRow.spacing
                    text: modal.markedTitle !== "" ? modal.markedTitle : modal.title
                    textFormat: modal.markedTitle !== "" ? Text.StyledText : Text.PlainText
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                    color: Theme.text
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.DemiBold
                }
                // "⧉ copy": no installed font carries "⧉", so the mark is the bundled symbol.
                Item {
                    id: copyLabel
                    objectName: "copyButton"
                    anchors.verticalCenter: parent.verticalCenter
                    width: copyRow.implicitWidth
                    height: copyRow.implicitHeight
                    Row {
                        id: copyRow
                        spacing: 4
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "square.on.square"
                            size: 11
                            color: Theme.accent
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: modal.note !== "" ? qsTr("copy part") : qsTr("copy")
                            color: Theme.accent
                            font.family: Theme.monospaceFamily
                            font.pointSize: Theme.fontSize(11)
                            font.weight: Font.DemiBold
                        }
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        // The content exactly as it is, not trimmed.
                        onClicked: ChatText.copy(modal.content)
                    }
                }
                Text {
                    id: escHint
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("esc")
                    color: Theme.textFaint
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(11)
                }
                Rectangle {
                    id: closeButton
                    objectName: "closeButton"
                    anchors.verticalCenter: parent.verticalCenter
                    width: 24
                    height: 24
                    radius: 7
                    color: Theme.surfaceCard
                    SymbolIcon {
                        anchors.centerIn: parent
                        name: "xmark"
                        size: 12
                        color: Theme.textDim
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: modal.close()
                    }
                }
            }
        }

        Rectangle {
            id: noteBar
            objectName: "partNote"
            visible: modal.note !== ""
            anchors.top: titleBar.bottom
            width: parent.width
            height: noteBar.visible ? noteText.implicitHeight + 12 : 0
            color: Theme.surfaceHeader
            Text {
                id: noteText
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 32
                text: modal.note
                textFormat: Text.PlainText
                elide: Text.ElideRight
                color: Theme.textDim
                font.pointSize: Theme.fontSize(11)
            }
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: Theme.border
            }
        }

        Loader {
            id: body
            objectName: "content"
            anchors.top: noteBar.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            readonly property string mode: modal.isMarkdown ? "markdown" : modal.isDiff ? "diff" : "plain"
            sourceComponent: body.mode === "markdown" ? markdownContent : body.mode === "diff" ? diffContent : plainContent
            Binding {
                when: body.item !== null
                target: body.item
                property: "content"
                value: modal.content
            }
        }

        // The border over everything, inside the rounded shape.
        Rectangle {
            anchors.fill: parent
            radius: 14
            color: "transparent"
            border.width: 1
            border.color: Theme.borderStrong
        }
    }

    Component {
        id: markdownContent
        ScrollView {
            id: markdownScroll
            property string content
            contentWidth: markdownScroll.availableWidth
            ScrollBar.vertical: CardScrollBar {
                area: markdownScroll
            }
            Item {
                implicitWidth: markdownScroll.availableWidth
                implicitHeight: markdown.height + 36
                MarkdownText {
                    id: markdown
                    objectName: "markdown"
                    x: 18
                    y: 18
                    width: parent.width - 36
                    text: markdownScroll.content
                }
            }
        }
    }
    Component {
        id: diffContent
        Item {
            id: diffBox
            property string content
            DiffText {
                objectName: "diff"
                anchors.fill: parent
                anchors.leftMargin: 14
                anchors.rightMargin: 14
                topMargin: 14
                bottomMargin: 14
                text: diffBox.content
                collapsed: false
                ScrollBar.vertical: CardScrollBar {
                    area: diffBox
                }
            }
        }
    }
    Component {
        id: plainContent
        ScrollView {
            id: plainScroll
            property string content
            // Hidden characters as marks; the copy button takes the content as it is.
            readonly property string marked: ChatText.markedCode(plainScroll.content)
            contentWidth: plainScroll.availableWidth
            ScrollBar.vertical: CardScrollBar {
                area: plainScroll
            }
            Item {
                implicitWidth: plainScroll.availableWidth
                implicitHeight: plain.implicitHeight + 32
                TextEdit {
                    id: plain
                    objectName: "plain"
                    x: 16
                    y: 16
                    width: parent.width - 32
                    text: plainScroll.marked !== "" ? plainScroll.marked : plainScroll.content
                    textFormat: plainScroll.marked !== "" ? TextEdit.RichText : TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    readOnly: true
                    selectByMouse: true
                    color: Theme.text
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(12)
                }
            }
        }
    }
}
