import QtQuick
import QtQuick.Controls
import QtQuick.Shapes
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// How full the conversation's context is: a ring that fills clockwise from the top and the
// percent, dim below 70 %, amber from 70 %, red from 90 %.
Item {
    id: gauge

    required property ClaudeSession session

    readonly property int percent: counts.percent
    readonly property string level: counts.level
    readonly property color tint: gauge.level === "alert" ? Theme.red
                                : gauge.level === "warning" ? Theme.amber
                                : Theme.textFaint
    readonly property string tooltip: counts.tooltip

    // Whether the session has figures to show, and whether the row has room for them.
    readonly property bool shown: counts.shown
    property bool room: true

    visible: gauge.shown && gauge.room

    ContextGaugeModel {
        id: counts
        session: gauge.session
    }

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
                strokeColor: Theme.borderStrong
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
