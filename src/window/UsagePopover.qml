pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Window

// A small popover with one provider account's usage limits: each metric's label, a bar, its
// percentage and when it resets. While the service has nothing yet it says so.
Popup {
    id: popover

    required property UsageService service
    // "claude" or "codex".
    required property string provider

    readonly property var metrics: popover.service ? popover.service.metrics : []

    padding: 12
    width: 240
    // Takes the keyboard while open, so Escape closes it before anything else.
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent

    background: Rectangle {
        radius: 9
        color: Theme.surfaceRaised
        border.width: 1
        border.color: Theme.borderControl
    }

    Column {
        width: popover.availableWidth
        spacing: 9
        Text {
            text: popover.provider === "codex" ? qsTr("Codex usage") : qsTr("Claude usage")
            textFormat: Text.PlainText
            color: Theme.textStrong
            font.pointSize: Theme.fontSize(12)
            font.weight: Font.DemiBold
        }
        Text {
            objectName: "usageEmpty"
            visible: popover.metrics.length === 0
            width: parent.width
            wrapMode: Text.Wrap
            text: popover.service && popover.service.loading ? qsTr("Loading…") : qsTr("No usage data yet.")
            textFormat: Text.PlainText
            color: Theme.textFaint
            font.pointSize: Theme.fontSize(11)
        }
        Repeater {
            model: popover.metrics
            delegate: Column {
                id: metricRow
                required property var modelData
                width: parent.width
                spacing: 4
                Item {
                    width: parent.width
                    height: label.implicitHeight
                    Text {
                        id: label
                        text: metricRow.modelData.label
                        textFormat: Text.PlainText
                        color: Theme.text
                        font.pointSize: Theme.fontSize(11)
                    }
                    Text {
                        anchors.right: parent.right
                        text: WindowText.percent(metricRow.modelData.percent)
                        color: Theme.textDim
                        font.pointSize: Theme.fontSize(11)
                        font.weight: Font.DemiBold
                    }
                }
                Rectangle {
                    width: parent.width
                    height: 4
                    radius: 2
                    color: Theme.borderControl
                    Rectangle {
                        width: parent.width * Math.max(0, Math.min(1, metricRow.modelData.percent / 100))
                        height: parent.height
                        radius: 2
                        color: Theme.hex(metricRow.modelData.percent >= 100 ? "f0524f"
                                         : metricRow.modelData.percent >= 90 ? "f0b429" : "5b8cdd", 1)
                    }
                }
                Text {
                    visible: text !== ""
                    text: metricRow.modelData.resetsLabel
                    textFormat: Text.PlainText
                    color: Theme.textFaint
                    font.pointSize: Theme.fontSize(10)
                }
            }
        }
    }
}
