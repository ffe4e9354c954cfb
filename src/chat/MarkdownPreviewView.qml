// Not a bound-components file: Qt 6.4's Loader gives the item it makes a context of its own,
// which a bound component refuses.
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

    MarkdownBlockModel {
        id: blocks
        grammar: MarkdownBlockModel.Preview
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
            onClicked: preview.close()
        }
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
                color: Theme.pair("1c1e25", "dfe1e6", 1)
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
                    text: preview.fileName
                    textFormat: Text.PlainText
                    elide: Text.ElideMiddle
                    color: Theme.pair("c5c9d0", "3a4048", 1)
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
                    border.color: Theme.pair("23262e", "d2d5dc", 1)
                    Text {
                        id: badgeText
                        anchors.centerIn: parent
                        text: qsTr("read-only")
                        color: Theme.pair("787f89", "737982", 1)
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
                    color: Theme.pair("5a616b", "9097a1", 1)
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
                        color: Theme.pair("787f89", "737982", 1)
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
                        model: blocks
                        delegate: Loader {
                            id: block
                            required property string kind
                            required property string text
                            required property list<string> lines
                            width: body.width
                            sourceComponent: block.kind === "h1" ? h1 : block.kind === "section" ? section
                                           : block.kind === "bullet" ? bullet : block.kind === "code" ? code : paragraph

                            Component {
                                id: h1
                                Item {
                                    implicitHeight: h1Text.implicitHeight + 6
                                    Text {
                                        id: h1Text
                                        width: parent.width
                                        text: block.text
                                        textFormat: Text.PlainText
                                        wrapMode: Text.Wrap
                                        color: Theme.pair("eef0f3", "262a31", 1)
                                        font.pointSize: Theme.fontSize(20)
                                        font.weight: Font.Bold
                                    }
                                }
                            }
                            Component {
                                id: section
                                Item {
                                    implicitHeight: sectionText.implicitHeight + 24
                                    Text {
                                        id: sectionText
                                        y: 14
                                        width: parent.width
                                        text: block.text
                                        textFormat: Text.PlainText
                                        wrapMode: Text.Wrap
                                        color: Theme.accent
                                        font.pointSize: Theme.fontSize(11)
                                        font.weight: Font.ExtraBold
                                        font.capitalization: Font.AllUppercase
                                        font.letterSpacing: 0.8
                                    }
                                }
                            }
                            Component {
                                id: paragraph
                                Item {
                                    implicitHeight: paragraphText.implicitHeight + 10
                                    Text {
                                        id: paragraphText
                                        width: parent.width
                                        text: block.text
                                        textFormat: Text.PlainText
                                        wrapMode: Text.Wrap
                                        lineHeightMode: Text.FixedHeight
                                        lineHeight: paragraphMetrics.lineSpacing + 3
                                        color: Theme.pair("787f89", "737982", 1)
                                        font: paragraphMetrics.font
                                    }
                                }
                            }
                            Component {
                                id: bullet
                                Item {
                                    implicitHeight: bulletText.implicitHeight + 8
                                    SymbolIcon {
                                        id: dot
                                        y: 6
                                        name: "circle.fill"
                                        size: 4
                                        color: Theme.hex("5ad07a", 1)
                                    }
                                    Text {
                                        id: bulletText
                                        x: dot.width + 10
                                        width: parent.width - x
                                        text: block.text
                                        textFormat: Text.PlainText
                                        wrapMode: Text.Wrap
                                        lineHeightMode: Text.FixedHeight
                                        lineHeight: bulletMetrics.lineSpacing + 2
                                        color: Theme.pair("c5c9d0", "3a4048", 1)
                                        font: bulletMetrics.font
                                    }
                                }
                            }
                            Component {
                                id: code
                                Item {
                                    implicitHeight: codeBox.height + 10
                                    Rectangle {
                                        id: codeBox
                                        width: parent.width
                                        height: codeLines.implicitHeight + 26
                                        radius: 9
                                        // The code box stays dark in both palettes.
                                        color: Theme.hex("0a0b0d", 1)
                                        border.width: 1
                                        border.color: Theme.pair("1c1e25", "dfe1e6", 1)
                                        Column {
                                            id: codeLines
                                            x: 15
                                            y: 13
                                            width: parent.width - 30
                                            spacing: 2
                                            Repeater {
                                                model: block.lines
                                                delegate: Text {
                                                    required property string modelData
                                                    width: codeLines.width
                                                    text: modelData
                                                    textFormat: Text.PlainText
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
            }
        }

        Rectangle {
            anchors.fill: parent
            radius: 14
            color: "transparent"
            border.width: 1
            border.color: Theme.pair("23262e", "d2d5dc", 1)
        }
    }
}
