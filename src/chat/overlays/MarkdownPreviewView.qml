pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Chat

// A read-only viewer for a terminal pane's markdown document over the whole window: a dimmed
// backdrop and a panel with the file name over the document. Its own small grammar: "# " and
// "## " headings, "- " bullets, unindented fences, and every other line a paragraph, all shown
// as typed. A click on the backdrop or the close button clears the application's markdown
// preview; Escape is the main window's.
Item {
    id: preview

    property string fileName: ""
    property string markdown: ""

    function close() {
        AppModel.markdownPreview = null;
    }

    MarkdownBlocks {
        id: blocks
        preview: true
        text: preview.markdown
    }

    FontMetrics {
        id: paragraphMetrics
        font.pointSize: Theme.fontSize(13.5)
    }
    FontMetrics {
        id: bulletMetrics
        font.pointSize: Theme.fontSize(13)
    }

    Rectangle {
        objectName: "backdrop"
        anchors.fill: parent
        color: Qt.rgba(0, 0, 0, 0.62)
        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            // Every button and the wheel stop here, never reaching the pane under it (a middle
            // click would paste into a shell); a left click closes.
            acceptedButtons: Qt.AllButtons
            onClicked: mouse => {
                if (mouse.button === Qt.LeftButton)
                    preview.close();
            }
            onWheel: wheel => wheel.accepted = true
        }
    }

    // The panel's shadow: black at 0.6, 40 points of blur, 24 points down.
    SoftShadow {
        anchors.fill: panel
        color: Qt.rgba(0, 0, 0, 0.6)
        radius: 40
        offsetY: 24
        cornerRadius: 14
    }

    Rectangle {
        id: panel
        objectName: "panel"
        anchors.centerIn: parent
        width: Math.min(640, preview.width)
        height: Math.min(540, preview.height)
        radius: 14
        clip: true
        // The design gives the dark panel; the light one matches the code preview's light card.
        color: Theme.pair("101216", "f3f4f7", 1)

        // Clicks on the panel stay on it.
        MouseArea {
            anchors.fill: parent
        }

        Rectangle {
            id: titleBar
            width: parent.width
            height: titleRow.implicitHeight + 26
            color: Theme.pair("14161c", "e9ebf0", 1)
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
                    id: docIcon
                    anchors.verticalCenter: parent.verticalCenter
                    name: "doc.text"
                    size: 12
                    color: Theme.hex("6cb6ff", 1)
                }
                Text {
                    id: nameText
                    objectName: "fileName"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, titleRow.width - docIcon.width - badge.width - escHint.width
                                    - closeButton.width - 5 * titleRow.spacing)
                    // The whole name, its hidden characters as marks.
                    readonly property string marked: ChatText.markedName(preview.fileName)
                    text: nameText.marked !== "" ? nameText.marked : preview.fileName
                    textFormat: nameText.marked !== "" ? Text.StyledText : Text.PlainText
                    maximumLineCount: 1
                    elide: Text.ElideMiddle
                    color: Theme.text
                    font.family: Theme.monospaceFamily
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.DemiBold
                }
                Rectangle {
                    id: badge
                    anchors.verticalCenter: parent.verticalCenter
                    width: badgeText.implicitWidth + 14
                    height: badgeText.implicitHeight + 4
                    radius: 5
                    color: "transparent"
                    border.width: 1
                    border.color: Theme.borderStrong
                    Text {
                        id: badgeText
                        anchors.centerIn: parent
                        text: qsTr("read-only")
                        color: Theme.textDim
                        font.pointSize: Theme.fontSize(9.5)
                        font.weight: Font.DemiBold
                        font.capitalization: Font.AllUppercase
                        font.letterSpacing: 0.4
                    }
                }
                Item {
                    height: 1
                    width: Math.max(0, titleRow.width - docIcon.width - nameText.width - badge.width - escHint.width
                                    - closeButton.width - 5 * titleRow.spacing)
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
                    color: Theme.pair("1d2027", "ffffff", 1)
                    SymbolIcon {
                        anchors.centerIn: parent
                        name: "xmark"
                        size: 12
                        color: Theme.textDim
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: preview.close()
                    }
                }
            }
        }

        ScrollView {
            id: scroll
            anchors.top: titleBar.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            contentWidth: scroll.availableWidth
            ScrollBar.vertical.policy: ScrollBar.AlwaysOn

            Item {
                implicitWidth: scroll.availableWidth
                implicitHeight: body.height + 44
                Column {
                    id: body
                    objectName: "body"
                    x: 26
                    y: 22
                    width: parent.width - 52
                    Repeater {
                        model: blocks.rows
                        // Every block is a text with its own look, a bullet a dot beside it, a
                        // code block a dark box of lines; each takes its padding below.
                        delegate: Item {
                            id: block

                            required property string kind
                            required property string text
                            required property list<string> lines

                            readonly property bool isCode: block.kind === "code"
                            readonly property bool isBullet: block.kind === "bullet"
                            readonly property real above: block.kind === "section" ? 14 : 0
                            readonly property real below: block.kind === "h1" ? 6 : block.kind === "section" ? 10
                                                        : block.isBullet ? 8 : 10

                            width: body.width
                            height: block.above + (block.isCode ? codeBox.height : blockText.implicitHeight) + block.below

                            SymbolIcon {
                                id: dot
                                visible: block.isBullet
                                y: 6
                                name: "circle.fill"
                                size: 4
                                color: Theme.hex("5ad07a", 1)
                            }
                            Text {
                                id: blockText
                                visible: !block.isCode
                                x: block.isBullet ? dot.width + 10 : 0
                                y: block.above
                                width: block.width - x
                                text: block.isCode ? "" : block.text
                                textFormat: Text.PlainText
                                wrapMode: Text.Wrap
                                lineHeightMode: Text.FixedHeight
                                lineHeight: block.kind === "paragraph" ? paragraphMetrics.lineSpacing + 3
                                          : block.isBullet ? bulletMetrics.lineSpacing + 2 : blockText.fontInfo.pixelSize * 1.25
                                color: block.kind === "h1" ? Theme.textStrong
                                     : block.kind === "section" ? Theme.accent
                                     : block.kind === "paragraph" ? Theme.textDim
                                     : Theme.text
                                font.pointSize: Theme.fontSize(block.kind === "h1" ? 20 : block.kind === "section" ? 11
                                                               : block.isBullet ? 13 : 13.5)
                                font.weight: block.kind === "h1" ? Font.Bold : block.kind === "section" ? Font.ExtraBold
                                                                                                       : Font.Normal
                                font.capitalization: block.kind === "section" ? Font.AllUppercase : Font.MixedCase
                                font.letterSpacing: block.kind === "section" ? 0.8 : 0
                            }
                            Rectangle {
                                id: codeBox
                                visible: block.isCode
                                width: block.width
                                height: block.isCode ? codeLines.implicitHeight + 26 : 0
                                radius: 9
                                // The code box stays dark in both palettes.
                                color: Theme.hex("0a0b0d", 1)
                                border.width: 1
                                border.color: Theme.border
                                Column {
                                    id: codeLines
                                    x: 15
                                    y: 13
                                    width: parent.width - 30
                                    spacing: 2
                                    Repeater {
                                        model: block.isCode ? block.lines : []
                                        delegate: Text {
                                            id: codeLine
                                            required property string modelData
                                            // Hidden characters in code show as marks.
                                            readonly property string marked: ChatText.markedOutput(codeLine.modelData)
                                            width: codeLines.width
                                            text: codeLine.marked !== "" ? codeLine.marked : codeLine.modelData
                                            textFormat: codeLine.marked !== "" ? Text.StyledText : Text.PlainText
                                            wrapMode: Text.Wrap
                                            color: Theme.hex("b7bcc4", 1)
                                            font.family: Theme.monospaceFamily
                                            font.pointSize: Theme.fontSize(11.5)
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }

        Rectangle {
            anchors.fill: parent
            radius: 14
            color: "transparent"
            border.width: 1
            border.color: Theme.borderStrong
        }
    }
}
