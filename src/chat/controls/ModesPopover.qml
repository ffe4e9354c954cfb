pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The mode pill's pop-over: the permission modes of the session's provider, the reasoning
// effort as five dots, and for Claude the auto-compact switch. Choices act at once and leave it
// open.
Rectangle {
    id: panel

    required property ClaudeSession session
    readonly property string provider: panel.session ? panel.session.provider : "claude"
    readonly property bool isClaude: panel.provider !== "codex"

    width: 340
    implicitHeight: column.implicitHeight
    color: Theme.surfaceRaised

    Column {
        id: column
        width: panel.width

        Text {
            leftPadding: 12
            rightPadding: 12
            topPadding: 11
            bottomPadding: 6
            text: "MODES"
            font.pointSize: Theme.fontSize(11)
            font.weight: Font.DemiBold
            font.letterSpacing: 0.4
            color: Theme.textDim
        }
        Repeater {
            model: SessionControls.modes(panel.provider)
            delegate: Rectangle {
                id: modeRow
                required property var modelData
                readonly property bool selected: panel.session !== null && panel.session.permissionMode === modeRow.modelData.mode
                objectName: "modeRow"
                width: column.width
                height: texts.implicitHeight + 16
                color: modeRow.selected ? Theme.hoverFill : "transparent"

                SymbolIcon {
                    x: 12 + 2
                    y: 8 + 1
                    name: modeRow.modelData.icon
                    size: 14
                    color: modeRow.selected ? Theme.textStrong : Theme.textDim
                }
                Column {
                    id: texts
                    x: 12 + 18 + 11
                    y: 8
                    width: parent.width - x - 12 - 6 - 14
                    spacing: 2
                    Text {
                        text: modeRow.modelData.title
                        textFormat: Text.PlainText
                        font.pointSize: Theme.fontSize(12.5)
                        font.weight: Font.DemiBold
                        color: Theme.textStrong
                    }
                    Text {
                        width: parent.width
                        text: modeRow.modelData.desc
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        font.pointSize: Theme.fontSize(11)
                        color: Theme.textDim
                    }
                }
                SymbolIcon {
                    anchors.right: parent.right
                    anchors.rightMargin: 12
                    y: 8 + 2
                    visible: modeRow.selected
                    name: "checkmark"
                    size: 11
                    color: Theme.textStrong
                }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: SessionControls.chooseMode(panel.session, modeRow.modelData.mode)
                }
            }
        }
        Item {
            width: column.width
            height: 11
            Rectangle {
                y: 5
                width: parent.width
                height: 1
                color: Theme.border
            }
        }
        Item {
            objectName: "effortRow"
            width: column.width
            height: 22 + 2 + (panel.isClaude ? 0 : 11)
            Row {
                x: 12
                y: 2
                height: 22
                spacing: 10
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "gauge.with.dots.needle.50percent"
                    size: 13
                    color: Theme.textDim
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Effort"
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.Medium
                    color: Theme.text
                }
                Text {
                    objectName: "effortLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    text: "(" + SessionControls.effortLabel(panel.session ? panel.session.effort : "") + ")"
                    font.pointSize: Theme.fontSize(11)
                    color: Theme.textFaint
                }
            }
            Row {
                anchors.right: parent.right
                anchors.rightMargin: 12
                y: 2
                height: 22
                spacing: 9
                Repeater {
                    model: SessionControls.efforts()
                    delegate: Item {
                        id: dot
                        required property var modelData
                        readonly property bool selected: panel.session !== null && panel.session.effort === dot.modelData.value
                        objectName: "effortDot"
                        width: 10
                        height: 22
                        Rectangle {
                            anchors.centerIn: parent
                            width: dot.selected ? 10 : 7
                            height: width
                            radius: width / 2
                            color: dot.selected ? Theme.accent : Theme.borderStrong
                        }
                        MouseArea {
                            id: dotMouse
                            anchors.fill: parent
                            anchors.margins: -3
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: SessionControls.chooseEffort(panel.session, dot.modelData.value)
                        }
                        ToolTip.visible: dotMouse.containsMouse
                        ToolTip.delay: 600
                        ToolTip.text: dot.modelData.label
                    }
                }
            }
        }
        Item {
            objectName: "autoCompactRow"
            visible: panel.isClaude
            width: column.width
            height: visible ? compactTexts.implicitHeight + 20 : 0
            SymbolIcon {
                x: 12
                anchors.verticalCenter: compactTexts.verticalCenter
                name: "arrow.down.right.and.arrow.up.left"
                size: 13
                color: Theme.textDim
            }
            Column {
                id: compactTexts
                x: 12 + 13 + 10
                y: 9
                width: parent.width - x - 60
                spacing: 1
                Text {
                    text: "Auto-compact"
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.Medium
                    color: Theme.text
                }
                Text {
                    width: parent.width
                    text: "Summarize the conversation near the context limit"
                    wrapMode: Text.Wrap
                    font.pointSize: Theme.fontSize(10.5)
                    color: Theme.textFaint
                }
            }
            Switch {
                id: compactSwitch
                objectName: "autoCompactSwitch"
                anchors.right: parent.right
                anchors.rightMargin: 12
                anchors.verticalCenter: compactTexts.verticalCenter
                scale: 0.7
                checked: panel.session !== null && panel.session.autoCompact
                onToggled: SessionControls.setAutoCompact(panel.session, compactSwitch.checked)
            }
        }
    }
}
