import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// A fenced code block of rendered markdown: the code as written in monospaced text that scrolls
// sideways (lines never wrap, every line shows), and a copy button that fades in at the top
// trailing corner while the pointer is over the card. The button is made anew at every entry,
// so it never shows a check mark left from an earlier visit. Hidden characters show as marks;
// the button copies the code as written, all of it where the card shows a part.
Item {
    id: card

    property string code: ""
    // What the copy button copies: the code, or the whole block when this card shows a part.
    property string copyText: card.code
    // A code block too long for one row shows as one card over several: this card goes on from
    // the one above (across `reachAbove` points of the list's spacing) or into the one below, its
    // frame open and square there, its code running on without padding. Going on from above, its
    // first line takes the place of the spacing, right under the last line of the card above, so
    // that the lines keep their pitch across the join: the card is that much shorter.
    property bool joinsAbove: false
    property bool joinsBelow: false
    property real reachAbove: 0
    readonly property string marked: ChatText.markedCode(card.code)
    readonly property real topPad: card.joinsAbove ? 0 : 8
    readonly property real lift: card.joinsAbove ? card.reachAbove : 0

    implicitHeight: Math.max(0, codeText.implicitHeight + card.topPad - card.lift + (card.joinsBelow ? 0 : 8))

    Item {
        objectName: "codeFrame"
        y: card.joinsAbove ? -card.reachAbove : 0
        width: card.width
        height: card.height - y
        clip: card.joinsAbove || card.joinsBelow
        Rectangle {
            y: card.joinsAbove ? -radius : 0
            width: parent.width
            height: parent.height - y + (card.joinsBelow ? radius : 0)
            radius: 7
            color: Theme.surface
            border.width: 1
            border.color: Theme.border
        }
    }
    Flickable {
        id: scroller
        objectName: "codeScroller"
        y: -card.lift
        width: card.width
        height: card.height + card.lift
        clip: true
        contentWidth: codeText.implicitWidth + 20
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        TextEdit {
            id: codeText
            objectName: "codeText"
            x: 10
            y: card.topPad
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
            value: card.copyText
        }
    }
    Component {
        id: copyButton
        CopyButton {}
    }
}
