import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// A fenced code block of rendered markdown: the code as written in monospaced text that scrolls
// sideways (lines never wrap, every line shows), and a copy button that fades in at the top
// trailing corner while the pointer is over the card. The button is made anew at every entry,
// so it never shows a check mark left from an earlier visit. Hidden characters show as marks;
// the button copies the code as written.
Item {
    id: card

    property string code: ""
    readonly property string marked: ChatText.markedCode(card.code)

    implicitHeight: codeText.implicitHeight + 16

    Rectangle {
        anchors.fill: parent
        radius: 7
        color: Theme.surface
        border.width: 1
        border.color: Theme.border
    }
    Flickable {
        id: scroller
        objectName: "codeScroller"
        anchors.fill: parent
        clip: true
        contentWidth: codeText.implicitWidth + 20
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        TextEdit {
            id: codeText
            objectName: "codeText"
            x: 10
            y: 8
            text: card.marked !== "" ? card.marked : card.code
            textFormat: card.marked !== "" ? TextEdit.RichText : TextEdit.PlainText
            readOnly: true
            selectByMouse: true
            color: Theme.text
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(11)
        }
    }
    HoverHandler {
        id: hover
    }
    Loader {
        id: copyLoader
        objectName: "copyLoader"
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 6
        opacity: hover.hovered ? 1 : 0
        active: copyLoader.opacity > 0
        Behavior on opacity {
            NumberAnimation {
                duration: 120
                easing.type: Easing.OutQuad
            }
        }
        sourceComponent: copyButton
        Binding {
            when: copyLoader.item !== null
            target: copyLoader.item
            property: "text"
            value: card.code
        }
    }
    Component {
        id: copyButton
        CopyButton {}
    }
}
