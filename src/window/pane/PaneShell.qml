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

    readonly property bool showsLogo: !!shell.session && shell.session.kind === "chat"
    readonly property bool showsLock: !!shell.session && shell.session.autoApprove === true
    // The cost text's short form: the cost alone, without the token count before it (the text is
    // HeaderFigures::label's, which parts them with " · ": the two stay in step).
    readonly property string costShort: shell.cost.split(" · ").pop()
    readonly property real spacerWidth: 6
    // How the header's row shares its width, so that nothing overlaps and nothing leaves the frame
    // however narrow the pane: the buttons keep their size; the session label gives way first
    // (then goes), then the project name down to its first ten letters, then the cost text (down
    // to the cost alone, then gone), then the rest of the name (down to a letter). In a pane too
    // narrow even for that, the mute button, the accessory and the maximize button go, in that
    // order; the menu stays. Worked out from the frame's own width, known from the start, so that
    // the row's first layout is already right.
    readonly property var headerFit: shell.fitHeader(shell.width - row.anchors.leftMargin - row.anchors.rightMargin)
    function fitHeader(available: real): var {
        const gap = row.spacing;
        const nameFull = Math.ceil(nameMetrics.advanceWidth);
        const labelFull = !shell.compact && !!shell.session && shell.session.sessionLabel !== ""
                          ? Math.min(Math.ceil(labelMetrics.advanceWidth), 140) : 0;
        const fit = { name: 0, label: 0, cost: 0, costText: "", accessory: true, mute: true, maximize: true };
        // What always stands in the row besides the name, each with the gap that parts it from
        // its neighbour.
        const fixed = [stateDot.implicitWidth, shell.spacerWidth];
        if (shell.showsLogo)
            fixed.push(providerLogo.implicitWidth);
        if (shell.showsLock)
            fixed.push(autoApproveLock.implicitWidth);
        const optional = [];
        if (!shell.compact) {
            if (accessoryLoader.active)
                optional.push({ key: "accessory", width: accessoryLoader.implicitWidth });
            if (shell.accessoryItem !== null)
                optional.push({ key: "accessory", width: accessorySlot.implicitWidth });
            optional.push({ key: "mute", width: muteButton.implicitWidth });
            optional.push({ key: "maximize", width: maximizeButton.implicitWidth });
            fixed.push(overflowMenu.implicitWidth);
        }
        let free = available;
        for (const w of fixed)
            free -= w + gap;
        for (const o of optional)
            free -= o.width + gap;
        // The name keeps at least a letter and its ellipsis; the buttons that matter least give up
        // their room for that.
        const nameMin = Math.min(nameFull, Math.ceil(nameMinMetrics.advanceWidth));
        for (const key of ["mute", "accessory", "maximize"]) {
            if (free >= nameMin)
                break;
            for (const o of optional)
                if (o.key === key) {
                    fit[key] = false;
                    free += o.width + gap;
                }
        }
        // The name's first ten letters come before the cost text: the cost gives way (to the cost
        // alone, then gone) before the name is cut shorter than that; what is left after the cost
        // goes to the rest of the name.
        fit.name = Math.max(0, Math.min(Math.max(nameMin, Math.ceil(nameFairMetrics.advanceWidth)), nameFull, free));
        free -= fit.name;
        if (!shell.compact && shell.cost !== "") {
            const full = Math.ceil(costMetrics.advanceWidth);
            const brief = Math.ceil(costShortMetrics.advanceWidth);
            if (full + gap <= free) {
                fit.cost = full;
                fit.costText = shell.cost;
            } else if (brief + gap <= free) {
                fit.cost = brief;
                fit.costText = shell.costShort;
            }
            if (fit.cost > 0)
                free -= fit.cost + gap;
        }
        const more = Math.max(0, Math.min(free, nameFull - fit.name));
        fit.name += more;
        free -= more;
        // A label cut to a letter or two says nothing: it shows with some of its words, or not at all.
        if (labelFull > 0 && free - gap >= Math.min(labelFull, 40))
            fit.label = Math.min(labelFull, free - gap);
        return fit;
    }

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
                id: stateDot
                objectName: "stateDot"
                directory: shell.session ? shell.session.directory : ""
                paneState: shell.paneState
                size: 7
            }
            NameText {
                id: nameText
                objectName: "projectName"
                name: shell.session ? shell.session.project : ""
                font.pointSize: Theme.fontSize(shell.compact ? 11 : 12)
                font.weight: Font.Medium
                color: shell.paneState === "idle" ? Theme.textDim : Theme.text
                elide: Text.ElideRight
                Layout.preferredWidth: shell.headerFit.name
                Layout.minimumWidth: shell.headerFit.name
                Layout.maximumWidth: shell.headerFit.name
                // The natural width comes from metrics: an eliding Text's own implicit width can
                // follow its elided width and shrink the name step by step.
                TextMetrics {
                    id: nameMetrics
                    font: nameText.font
                    text: nameText.shownName
                }
                // The least the name shows: its first letter and the ellipsis; and what it keeps
                // before the cost text gets any room: its first ten letters.
                TextMetrics {
                    id: nameMinMetrics
                    font: nameText.font
                    text: nameText.shownName === "" ? "" : String.fromCodePoint(nameText.shownName.codePointAt(0)) + "…"
                }
                TextMetrics {
                    id: nameFairMetrics
                    font: nameText.font
                    text: Array.from(nameText.shownName).slice(0, 10).join("") + "…"
                }
            }
            NameText {
                id: labelText
                objectName: "sessionLabel"
                visible: shell.headerFit.label > 0
                name: shell.session ? shell.session.sessionLabel : ""
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
                elide: Text.ElideRight
                Layout.preferredWidth: shell.headerFit.label
                Layout.minimumWidth: shell.headerFit.label
                Layout.maximumWidth: shell.headerFit.label
                TextMetrics {
                    id: labelMetrics
                    font: labelText.font
                    text: labelText.shownName
                }
            }
            ProviderLogo {
                id: providerLogo
                objectName: "providerLogo"
                visible: shell.showsLogo
                provider: shell.session ? shell.session.provider : "claude"
                size: 12
            }
            AutoApproveLock {
                id: autoApproveLock
                objectName: "autoApproveLock"
                visible: shell.showsLock
                size: 10
            }
            Item {
                objectName: "spacer"
                Layout.fillWidth: true
                Layout.minimumWidth: shell.spacerWidth
                Layout.preferredWidth: shell.spacerWidth
                implicitHeight: 1
            }
            Text {
                id: costText
                objectName: "cost"
                visible: shell.headerFit.cost > 0
                text: shell.headerFit.costText
                textFormat: Text.PlainText
                font.family: Theme.monospaceFamily
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
                maximumLineCount: 1
                elide: Text.ElideRight
                Layout.preferredWidth: shell.headerFit.cost
                Layout.minimumWidth: shell.headerFit.cost
                Layout.maximumWidth: shell.headerFit.cost
                TextMetrics {
                    id: costMetrics
                    font: costText.font
                    text: shell.cost
                }
                TextMetrics {
                    id: costShortMetrics
                    font: costText.font
                    text: shell.costShort
                }
            }
            Loader {
                id: accessoryLoader
                objectName: "accessory"
                active: !shell.compact && shell.accessory !== null
                visible: active && shell.headerFit.accessory
                sourceComponent: shell.accessory
            }
            Item {
                id: accessorySlot
                objectName: "accessoryItemSlot"
                visible: !shell.compact && shell.accessoryItem !== null && shell.headerFit.accessory
                implicitWidth: shell.accessoryItem ? shell.accessoryItem.implicitWidth : 0
                implicitHeight: shell.accessoryItem ? shell.accessoryItem.implicitHeight : 0
            }
            IconButton {
                id: muteButton
                objectName: "muteButton"
                visible: !shell.compact && shell.headerFit.mute
                systemName: !!shell.session && shell.session.muted ? "bell.slash.fill" : "bell.fill"
                size: 11
                active: shell.session ? shell.session.muted === true : false
                onClicked: {
                    AppModel.toggleMute(shell.sessionID);
                    AppModel.save();
                }
            }
            IconButton {
                id: maximizeButton
                objectName: "maximizeButton"
                visible: !shell.compact && shell.headerFit.maximize
                systemName: "arrow.up.left.and.arrow.down.right"
                size: 11
                active: false
                onClicked: AppModel.toggleMaximize(shell.sessionID)
            }
            PaneOverflowMenu {
                id: overflowMenu
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
