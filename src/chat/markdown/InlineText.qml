import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// One block's styled text: escaped rich text made by the markdown renderer, selectable. A click
// on a link opens it only for http, https and mailto.
TextEdit {
    id: inline

    property real size: 12.5

    textFormat: TextEdit.RichText
    wrapMode: TextEdit.Wrap
    readOnly: true
    selectByMouse: true
    color: Theme.text
    font.pointSize: Theme.fontSize(inline.size)
    onLinkActivated: link => ChatText.openLink(link)

    HoverHandler {
        cursorShape: inline.hoveredLink !== "" ? Qt.PointingHandCursor : Qt.IBeamCursor
    }
}
