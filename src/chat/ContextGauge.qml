import QtQuick
import QtQuick.Controls
import QtQuick.Shapes
import Brinmoor.App
import Brinmoor.Chat

// How full the conversation's context is: a ring that fills clockwise from the top and the
// percent, dim below 70 %, amber from 70 %, red from 90 %.
Item {
    id: gauge

    property real tokens: 0
    property real window: 200000
    property bool autoCompact: true
    property real threshold: 160000

    readonly property int percent: SessionControls.contextPercent(gauge.tokens, gauge.window)
    readonly property string level: SessionControls.gaugeLevel(gauge.percent)
    readonly property color tint: gauge.level === "alert" ? Theme.red
                                : gauge.level === "warning" ? Theme.amber
                                : Theme.pair("5a616b", "9097a1", 1)
    readonly property string tooltip: SessionControls.gaugeTooltip(gauge.tokens, gauge.window, gauge.autoCompact, gauge.threshold)

    implicitWidth: row.implicitWidth + 14
    implicitHeight: row.implicitHeight + 8

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 4
        Shape {
            anchors.verticalCenter: parent.verticalCenter
            width: 11
            height: 11
            ShapePath {
                strokeColor: Theme.pair("23262e", "d2d5dc", 1)
                strokeWidth: 2
                fillColor: "transparent"
                PathAngleArc {
                    centerX: 5.5
                    centerY: 5.5
                    radiusX: 4.5
                    radiusY: 4.5
                    startAngle: 0
                    sweepAngle: 360
                }
            }
            ShapePath {
                strokeColor: gauge.tint
                strokeWidth: 2
                fillColor: "transparent"
                capStyle: ShapePath.RoundCap
                PathAngleArc {
                    centerX: 5.5
                    centerY: 5.5
                    radiusX: 4.5
                    radiusY: 4.5
                    startAngle: -90
                    sweepAngle: 360 * gauge.percent / 100
                }
            }
        }
        Text {
            objectName: "gaugeText"
            anchors.verticalCenter: parent.verticalCenter
            text: gauge.percent + "%"
            font.family: Theme.monospaceFamily
            font.pointSize: Theme.fontSize(10)
            color: gauge.tint
        }
    }
    HoverHandler {
        id: hover
    }
    ToolTip.visible: hover.hovered
    ToolTip.delay: 600
    ToolTip.text: gauge.tooltip
}
