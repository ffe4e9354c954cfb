pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import Brinmoor.App
import Brinmoor.Window

// The frame every live pane wears: a one-line header with the pane's identity, state and
// controls, the content below it, and a rounded border whose colour, width and glow tell the
// state and whether the pane holds the focus. The header is the pane's drag source, and a double
// click on its empty parts maximizes the pane or returns it to the grid.
Item {
    id: shell
    objectName: "paneShell"

    // The session record: id, kind, project, sessionLabel, directory, autoApprove, muted, provider.
    required property var session
    // The state and cost text to show (the content decides them; a chat pane's live state may
    // differ from the record's).
    property string paneState: shell.session ? shell.session.state : "idle"
    property string cost: ""
    // The small form of dense grids: smaller title, no label, no right-hand controls.
    property bool compact: false
    // An extra header control placed before the mute button (not shown when compact).
    property Component accessory: null
    // The same as an item the content made itself (so it can reach the content): moved into
    // the header while this frame shows it.
    property Item accessoryItem: null
    onAccessoryItemChanged: shell.placeAccessoryItem()
    Component.onCompleted: shell.placeAccessoryItem()
    function placeAccessoryItem() {
        if (shell.accessoryItem)
            shell.accessoryItem.parent = accessorySlot;
    }
    default property alias content: body.data
    // The content view inside, for those who need to reach it (set by PaneView).
    property var contentView: null

    readonly property string sessionID: shell.session ? shell.session.id : ""
    readonly property bool alarming: shell.paneState === "awaiting" || shell.paneState === "error"
    readonly property bool showsFocus: shell.sessionID !== "" && AppModel.focusedSessionID === shell.sessionID
                                       && !shell.alarming
    // 0 without focus, 1 with it; every focus-dependent look follows it over 0.22 s.
    property real focusAmount: shell.showsFocus ? 1 : 0
    Behavior on focusAmount {
        NumberAnimation { duration: 220; easing.type: Easing.InOutQuad }
    }

    readonly property color borderColor: {
        switch (shell.paneState) {
        case "awaiting": return Theme.amber;
        case "error": return Theme.red;
        case "idle": return Theme.mix(Theme.border, Theme.hex("5b8cdd", 0.7), shell.focusAmount);
        default: return Theme.mix(Theme.pair("2b303a", "d2d5dc", 1), Theme.hex("5b8cdd", 0.7), shell.focusAmount);
        }
    }
    readonly property real borderWidth: shell.alarming ? 1.5 : 1.0 + 0.5 * shell.focusAmount
    readonly property color glowColor: shell.paneState === "awaiting" ? Theme.hex("f0b429", 0.45)
                                       : shell.paneState === "error" ? Theme.hex("f0524f", 0.25) : "transparent"
    readonly property color headerBg: shell.paneState === "awaiting"
                                      ? Theme.pairWithOpacities("f0b429", 0.06, "f0b429", 0.14)
                                      : Theme.surfaceHeader

    // For tests and the grid: the header, the focus ring, the drag proxy.
    readonly property alias header: header
    readonly property alias focusRing: focusRing
    readonly property alias dragProxy: dragProxy
    readonly property bool dragging: doubleClicks.drag.active

    implicitWidth: 320
    implicitHeight: 240

    SoftGlow {
        anchors.fill: parent
        color: shell.glowColor
        radius: 8
        cornerRadius: 9
    }
    Rectangle {
        id: frameBackground
        anchors.fill: parent
        radius: 9
        color: Theme.surface
    }

    // Header background: rounded at the top only; the clip cuts off the lower rounded corners.
    Item {
        anchors.fill: header
        clip: true
        Rectangle {
            width: parent.width
            height: parent.height + 9
            radius: 9
            color: shell.headerBg
        }
    }

    Item {
        id: header
        objectName: "header"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: row.implicitHeight + 14

        // Behind the row: a double click maximizes, and a drag picks the pane up (the catcher
        // is a mouse area whose own drag moves the proxy past the drag threshold). Controls in
        // the row take their own presses, so neither ever sees a click meant for a button.
        DoubleClickCatcher {
            id: doubleClicks
            objectName: "doubleClickCatcher"
            anchors.fill: parent
            onDoubleClicked: AppModel.toggleMaximize(shell.sessionID)
            onPressed: mouse => {
                dragProxy.x = mouse.x;
                dragProxy.y = mouse.y;
            }
            drag.target: dragProxy
            drag.threshold: Application.styleHints.startDragDistance
            drag.onActiveChanged: {
                if (doubleClicks.drag.active) {
                    AppModel.beginDrag(shell.sessionID);
                    dragProxy.Drag.active = true;
                } else {
                    const action = dragProxy.Drag.drop();
                    dragProxy.Drag.active = false;
                    // A drag that lands nowhere must not leave the drag state behind, or later
                    // drops would still be taken for this pane.
                    if (action === Qt.IgnoreAction && AppModel.draggingSessionID === shell.sessionID)
                        AppModel.endDrag();
                }
            }
        }

        RowLayout {
            id: row
            objectName: "headerRow"
            anchors.fill: parent
            anchors.leftMargin: 11
            anchors.rightMargin: 11
            anchors.topMargin: 7
            anchors.bottomMargin: 7
            spacing: 7

            ProjectStateDot {
                objectName: "stateDot"
                directory: shell.session ? shell.session.directory : ""
                paneState: shell.paneState
                size: 7
            }
            Text {
                id: nameText
                objectName: "projectName"
                text: shell.session ? shell.session.project : ""
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(shell.compact ? 11 : 12)
                font.weight: Font.Medium
                color: shell.paneState === "idle" ? Theme.textDim : Theme.text
                elide: Text.ElideRight
                maximumLineCount: 1
                // Full width when there is room; it gives way (truncating) only when the row is short.
                Layout.fillWidth: true
                // The natural width comes from metrics: an eliding Text's own implicit width can
                // follow its elided width and shrink the name step by step.
                Layout.preferredWidth: Math.ceil(nameMetrics.advanceWidth)
                Layout.maximumWidth: Math.ceil(nameMetrics.advanceWidth)
                Layout.minimumWidth: Math.min(Math.ceil(nameMetrics.advanceWidth), 24)
                TextMetrics {
                    id: nameMetrics
                    font: nameText.font
                    text: nameText.text
                }
            }
            Text {
                id: labelText
                objectName: "sessionLabel"
                visible: !shell.compact && !!shell.session && shell.session.sessionLabel !== ""
                text: shell.session ? shell.session.sessionLabel : ""
                textFormat: Text.PlainText
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
                maximumLineCount: 1
                // A long label is cut short with an ellipsis rather than pushing the name and
                // the buttons out of the header.
                elide: Text.ElideRight
                Layout.preferredWidth: Math.min(Math.ceil(labelMetrics.advanceWidth), 140)
                Layout.maximumWidth: Layout.preferredWidth
                Layout.minimumWidth: Math.min(Math.ceil(labelMetrics.advanceWidth), 24)
                TextMetrics {
                    id: labelMetrics
                    font: labelText.font
                    text: labelText.text
                }
            }
            ProviderLogo {
                objectName: "providerLogo"
                visible: !!shell.session && shell.session.kind === "chat"
                provider: shell.session ? shell.session.provider : "claude"
                size: 12
            }
            AutoApproveLock {
                objectName: "autoApproveLock"
                visible: !!shell.session && shell.session.autoApprove === true
                size: 10
            }
            Item {
                objectName: "spacer"
                Layout.fillWidth: true
                Layout.minimumWidth: 6
                Layout.preferredWidth: 6
                implicitHeight: 1
            }
            Text {
                objectName: "cost"
                visible: !shell.compact && shell.cost !== ""
                text: shell.cost
                textFormat: Text.PlainText
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
            }
            Loader {
                objectName: "accessory"
                active: !shell.compact && shell.accessory !== null
                visible: active
                sourceComponent: shell.accessory
            }
            Item {
                id: accessorySlot
                objectName: "accessoryItemSlot"
                visible: !shell.compact && shell.accessoryItem !== null
                implicitWidth: shell.accessoryItem ? shell.accessoryItem.implicitWidth : 0
                implicitHeight: shell.accessoryItem ? shell.accessoryItem.implicitHeight : 0
            }
            IconButton {
                objectName: "muteButton"
                visible: !shell.compact
                systemName: !!shell.session && shell.session.muted ? "bell.slash.fill" : "bell.fill"
                size: 11
                active: shell.session ? shell.session.muted === true : false
                onClicked: {
                    AppModel.toggleMute(shell.sessionID);
                    AppModel.save();
                }
            }
            IconButton {
                objectName: "maximizeButton"
                visible: !shell.compact
                systemName: "arrow.up.left.and.arrow.down.right"
                size: 11
                active: false
                onClicked: AppModel.toggleMaximize(shell.sessionID)
            }
            PaneOverflowMenu {
                objectName: "overflowMenu"
                visible: !shell.compact
                session: shell.session
            }
        }

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 1
            color: Theme.border
        }
    }

    // The content, inset from the rounded corners so that a square-cornered content view never
    // shows outside the frame's curve.
    Item {
        id: body
        objectName: "body"
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 3
        anchors.rightMargin: 3
        anchors.bottomMargin: 3
        clip: true
    }

    Rectangle {
        id: border
        objectName: "border"
        anchors.fill: parent
        radius: 9
        color: "transparent"
        border.width: shell.borderWidth
        border.color: shell.borderColor
    }
    // Always present; focus shows and hides it through its opacity.
    Rectangle {
        id: focusRing
        objectName: "focusRing"
        anchors.fill: parent
        anchors.margins: 1
        radius: 9
        color: "transparent"
        border.width: 1.5
        border.color: Theme.accent
        opacity: 0.9 * shell.focusAmount
    }

    // What a drag carries: the session id as plain text. The grid's drop areas read
    // `drag.source.sessionID`, or the model's draggingSessionID.
    Item {
        id: dragProxy
        objectName: "dragProxy"
        readonly property string sessionID: shell.sessionID
        width: 1
        height: 1
        Drag.dragType: Drag.Internal
        Drag.keys: ["text/plain"]
        Drag.mimeData: ({ "text/plain": shell.sessionID })
        Drag.hotSpot.x: 0
        Drag.hotSpot.y: 0
    }
}
