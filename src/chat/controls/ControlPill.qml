import QtQuick
import QtQuick.Controls
import Brinmoor.App

// The session controls' pill: a symbol, a short text and the up-down chevrons, on a bordered
// rounded fill; the whole pill takes clicks. Given less room than its whole text needs, the text
// is cut short, and below room for a few letters the pill shows its two symbols alone (the text
// then shows as its tooltip).
Rectangle {
    id: pill

    property string icon: ""
    property string text: ""
    // The most the pill may take; the row it stands in gives what it can spare.
    property real maximumWidth: Infinity
    // The pill's width with its whole text, and with its symbols alone.
    readonly property real fullWidth: pill.iconWidth + content.spacing + Math.ceil(textMetrics.advanceWidth)
    readonly property real iconWidth: 16 + leading.width + content.spacing + chevrons.width
    readonly property bool iconOnly: pill.maximumWidth < pill.iconWidth + content.spacing + Math.min(pill.fullWidth - pill.iconWidth - content.spacing, 30)

    signal clicked()

    implicitWidth: content.implicitWidth + 16
    implicitHeight: content.implicitHeight + 8
    radius: 6
    color: Theme.surfaceCard
    border.width: 1
    border.color: Theme.borderControl

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 4
        SymbolIcon {
            id: leading
            anchors.verticalCenter: parent.verticalCenter
            name: pill.icon
            size: 9
            color: Theme.textDim
        }
        Text {
            id: label
            objectName: "pillText"
            anchors.verticalCenter: parent.verticalCenter
            visible: !pill.iconOnly
            width: Math.min(Math.ceil(textMetrics.advanceWidth), pill.maximumWidth - pill.iconWidth - content.spacing)
            text: pill.text
            textFormat: Text.PlainText
            elide: Text.ElideRight
            maximumLineCount: 1
            font.pointSize: Theme.fontSize(10.5)
            font.weight: Font.Medium
            color: Theme.textDim
            TextMetrics {
                id: textMetrics
                font: label.font
                text: label.text
            }
        }
        SymbolIcon {
            id: chevrons
            anchors.verticalCenter: parent.verticalCenter
            name: "chevron.up.chevron.down"
            size: 7
            color: Theme.textDim
        }
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: pill.clicked()
    }
    ToolTip.visible: mouse.containsMouse && (pill.iconOnly || label.truncated)
    ToolTip.delay: 600
    ToolTip.text: pill.text
}
