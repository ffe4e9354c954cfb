pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Window

// One provider account's usage under the top bar's usage button: the provider with the account's
// e-mail and plan, then one bar per limit with its percentage and reset time, or the loading,
// empty or not-available line. It only reads its service.
Popup {
    id: popover

    required property UsageService service
    // "claude" or "codex".
    required property string provider

    readonly property var metrics: popover.service ? popover.service.metrics : []
    readonly property bool loading: popover.service ? popover.service.loading : false
    readonly property bool available: popover.service ? popover.service.available : true
    readonly property string email: popover.service ? popover.service.email : ""
    readonly property string subscription: popover.service ? popover.service.subscription : ""
    // "loading", "empty", "unavailable" or "metrics": which body is shown.
    readonly property string body: popover.metrics.length > 0 ? "metrics"
                                   : popover.loading ? "loading"
                                   : popover.available ? "empty" : "unavailable"

    padding: 0
    // Kept inside the window whatever the button's place.
    margins: 8
    width: 340
    // Takes the keyboard while open, so Escape closes it before anything else.
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent

    background: Rectangle {
        color: Theme.pair("14161c", "f3f4f7", 1)
        border.width: 1
        border.color: Theme.pair("1c1e25", "dfe1e6", 1)
    }

    // Each word capitalised ("max plan" → "Max Plan"); the badge then shows it in capitals.
    function capitalised(text: string): string {
        return text.split(" ").map(w => w.length > 0 ? w.charAt(0).toUpperCase() + w.slice(1).toLowerCase() : w).join(" ");
    }

    Column {
        spacing: 0

        Text {
            objectName: "usageTitle"
            leftPadding: 14
            rightPadding: 14
            topPadding: 12
            bottomPadding: 8
            text: qsTr("Usage")
            textFormat: Text.PlainText
            font.capitalization: Font.AllUppercase
            font.letterSpacing: 0.4
            font.pointSize: Theme.fontSize(11)
            font.weight: Font.DemiBold
            color: Theme.pair("787f89", "737982", 1)
        }

        // Provider, plan badge, and the e-mail on its own line below the name.
        Item {
            width: popover.width
            height: header.height + (popover.email !== "" ? 16 : 0)
            Row {
                id: header
                x: 14
                spacing: 7
                ProviderLogo {
                    anchors.verticalCenter: parent.verticalCenter
                    provider: popover.provider
                    size: 13
                    color: Theme.pair("eef0f3", "262a31", 1)
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: popover.provider === "codex" ? "Codex" : "Claude"
                    textFormat: Text.PlainText
                    font.pointSize: Theme.fontSize(12.5)
                    font.weight: Font.DemiBold
                    color: Theme.pair("eef0f3", "262a31", 1)
                }
                Rectangle {
                    objectName: "usageBadge"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: popover.subscription !== ""
                    width: badgeText.implicitWidth + 12
                    height: badgeText.implicitHeight + 4
                    radius: 5
                    color: Theme.hex("5b8cdd", 0.15)
                    Text {
                        id: badgeText
                        anchors.centerIn: parent
                        text: popover.capitalised(popover.subscription)
                        textFormat: Text.PlainText
                        font.capitalization: Font.AllUppercase
                        font.letterSpacing: 0.3
                        font.pointSize: Theme.fontSize(9.5)
                        font.weight: Font.DemiBold
                        color: Theme.hex("5b8cdd", 1)
                    }
                }
            }
            // The account as the service names it, its hidden characters as marks.
            NameText {
                objectName: "usageEmail"
                visible: popover.email !== ""
                x: 14
                y: header.height - height + 16
                name: popover.email
                font.pointSize: Theme.fontSize(10.5)
                color: Theme.pair("5a616b", "9097a1", 1)
            }
        }

        Item {
            width: popover.width
            height: 9
            Rectangle {
                y: 8
                width: parent.width
                height: 1
                color: Theme.pair("1c1e25", "dfe1e6", 1)
            }
        }

        Row {
            objectName: "usageLoading"
            visible: popover.body === "loading"
            padding: 14
            spacing: 8
            BusyIndicator {
                anchors.verticalCenter: parent.verticalCenter
                width: 16
                height: 16
                running: parent.visible
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Loading…")
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(11.5)
                color: Theme.pair("787f89", "737982", 1)
            }
        }

        Text {
            objectName: "usageEmpty"
            visible: popover.body === "empty" || popover.body === "unavailable"
            padding: 14
            width: Math.min(implicitWidth, 260 + 28)
            wrapMode: Text.Wrap
            text: popover.body === "empty" ? qsTr("No usage data.") : qsTr("Usage limits not available for this account.")
            textFormat: Text.PlainText
            font.pointSize: Theme.fontSize(11.5)
            color: Theme.pair("5a616b", "9097a1", 1)
        }

        Column {
            objectName: "usageMetrics"
            visible: popover.body === "metrics"
            padding: 14
            spacing: 16
            Repeater {
                model: popover.metrics
                delegate: Column {
                    id: metric
                    required property var modelData
                    readonly property real percent: metric.modelData.percent
                    width: popover.width - 28
                    spacing: 6
                    Item {
                        width: parent.width
                        height: Math.max(label.implicitHeight, value.implicitHeight)
                        Text {
                            id: label
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width - value.implicitWidth - 8
                            elide: Text.ElideRight
                            text: metric.modelData.label
                            textFormat: Text.PlainText
                            font.pointSize: Theme.fontSize(13)
                            font.weight: Font.Medium
                            color: Theme.pair("c5c9d0", "3a4048", 1)
                        }
                        Text {
                            id: value
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            text: WindowText.percent(metric.percent)
                            textFormat: Text.PlainText
                            font.pointSize: Theme.fontSize(13)
                            font.weight: Font.DemiBold
                            color: Theme.pair("eef0f3", "262a31", 1)
                        }
                    }
                    Rectangle {
                        width: parent.width
                        height: 4
                        radius: 2
                        color: Theme.pair("23262e", "d2d5dc", 1)
                        Rectangle {
                            objectName: "usageBar"
                            width: Math.max(4, parent.width * Math.min(1, metric.percent / 100))
                            height: parent.height
                            radius: 2
                            // The thresholds read the unrounded percentage.
                            color: metric.percent >= 90 ? Theme.hex("f0524f", 1)
                                   : metric.percent >= 70 ? Theme.hex("f0b429", 1)
                                   : Theme.pair("787f89", "737982", 1)
                        }
                    }
                    Text {
                        visible: text !== ""
                        text: metric.modelData.resetsLabel
                        textFormat: Text.PlainText
                        font.pointSize: Theme.fontSize(11)
                        color: Theme.pair("5a616b", "9097a1", 1)
                    }
                }
            }
        }
    }
}
