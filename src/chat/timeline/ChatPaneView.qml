pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Brinmoor.App
import Brinmoor.Agent
import Brinmoor.Chat

// The content of a chat pane, inside the frame PaneView puts around it: the conversation
// timeline, which follows its end while the user is near it; the question and permission cards
// while the agent waits for the user; and at the foot the failure bar, or the turn-error bar and
// the composer. Everything it does goes to the pane's chat session, which lives in the chat host
// beyond this view.
Item {
    id: pane
    objectName: "chatPaneView"

    required property var session
    required property bool compact
    // The pane's chat session, from the chat host, which makes and starts it on the pane's first
    // display and keeps it beyond this view (asking again returns the same one). Taken just after
    // this view is built (a new session reports its state to the very record the grid is building
    // this view from), and again after a restart ended it while the pane stayed live; never for a
    // stopped pane, which shows the stopped card instead.
    property ClaudeSession vm: null
    function attach() {
        if (!pane.vm && pane.session && pane.session.state !== "stopped")
            pane.vm = ChatHost.sessionFor(pane.session);
    }
    // After a restart the record is read afresh: a pane closed or stopped meanwhile gets none.
    function reattach() {
        const record = pane.session ? AppModel.session(pane.session.id) : undefined;
        if (!pane.vm && record && record.state !== "stopped")
            pane.vm = ChatHost.sessionFor(record);
    }
    Timer {
        interval: 0
        running: true
        onTriggered: pane.attach()
    }
    Timer {
        id: reattachLater
        interval: 0
        onTriggered: pane.reattach()
    }
    Connections {
        target: ChatHost
        function onSessionEnded(paneID: string) {
            if (pane.session && paneID === pane.session.id) {
                pane.vm = null;
                reattachLater.restart();
            }
        }
    }
    ChatPaneLabels {
        id: labels
        session: pane.vm
    }
    ChatTimelineRows {
        id: rows
        session: pane.vm
    }
    // What the view holds of the user's own beyond the session's state (the reading position, the
    // draft, the question card's answers), kept with the session.
    readonly property ChatPaneMemory memory: pane.vm ? ChatMemory.of(pane.vm) : null
    // The first showing of the conversation starts at its end, or where the user left it in a
    // view of this session made before.
    onVmChanged: {
        if (pane.vm && pane.vm.messageCount > 0)
            timeline.didInitialScroll = true;
        // Asked here: the binding of `memory` may not have caught up yet.
        const kept = pane.vm ? ChatMemory.of(pane.vm) : null;
        if (kept && kept.readingRow !== "")
            pane.returnTo(kept.readingRow, kept.readingOffset);
        else
            pane.jumpToBottom();
    }

    // What the frame shows: the live session's state and the cost text; the history button.
    readonly property string paneState: pane.vm ? pane.vm.state : (pane.session ? pane.session.state : "idle")
    readonly property string costText: labels.costText
    readonly property Component accessory: null
    readonly property Item accessoryItem: pane.compact ? null : history

    readonly property string failure: pane.vm ? pane.vm.failure : ""
    readonly property bool atBottom: timeline.atBottom
    // Scrolls of the pane's own still to come (the slide to a new end, the late jumps).
    readonly property bool settling: slide.running || jumps.running || goingBack.returning
    readonly property ListView list: timeline

    // Sets `atBottom` and scrolls to the end 0.03, 0.2, 0.45 and 0.8 s from now: rows whose
    // height settles after layout (markdown, code blocks) are caught by the later ones.
    function jumpToBottom() {
        slide.stop();
        goingBack.finish();
        timeline.atBottom = true;
        jumps.step = 0;
        jumps.interval = 30;
        jumps.restart();
    }
    function stopScrolling() {
        slide.stop();
        jumps.stop();
        goingBack.finish();
    }

    // Back to a reading position: the row's top `offset` above the top of the visible area, now
    // and again 0.03, 0.2, 0.45 and 0.8 s from now, as the rows around it settle their heights. A
    // row no longer there (another conversation) leaves the view at the end. Until the last of
    // these, or the user's own scroll, the view is the return's: nothing measured on the way (a
    // list not laid out yet, the composer arriving and changing the list's height) takes it to
    // the end.
    function returnTo(rowId: string, offset: real) {
        slide.stop();
        jumps.stop();
        timeline.atBottom = false;
        goingBack.rowId = rowId;
        goingBack.offset = offset;
        goingBack.step = 0;
        goingBack.interval = 0;
        goingBack.returning = true;
        goingBack.restart();
    }
    // Whether the row is at the top of the view, `offset` into it: false for a row not in the
    // conversation, or not made yet (a list not laid out).
    function showRow(rowId: string, offset: real): bool {
        const i = rows.indexOf(rowId);
        if (i < 0)
            return false;
        timeline.positionViewAtIndex(i, ListView.Beginning);
        const item = timeline.itemAtIndex(i);
        if (!item)
            return false;
        const first = timeline.originY - timeline.topMargin;
        const last = Math.max(first, timeline.originY + timeline.contentHeight + timeline.bottomMargin - timeline.height);
        timeline.contentY = Math.max(first, Math.min(item.y + offset, last));
        return true;
    }
    // Where the user reads, left in the session's memory: the row at the top of the visible area
    // and how far the area's top lies below the row's, or "" at the end. Only while the view is on
    // screen and not on its way back to a kept position.
    function keepReadingPosition() {
        if (!pane.memory || goingBack.returning || !timeline.visible || timeline.height <= 0 || timeline.count === 0)
            return;
        if (timeline.atBottom) {
            pane.memory.keepReadingPosition("", 0);
            return;
        }
        // Down from the top in steps smaller than the gap between rows, past the top margin.
        const x = timeline.contentX + timeline.width / 2;
        for (let y = timeline.contentY; y < timeline.contentY + timeline.height; y += 6) {
            const item = timeline.itemAt(x, y);
            if (item && item.rowId !== "working") {
                pane.memory.keepReadingPosition(item.rowId, timeline.contentY - item.y);
                return;
            }
        }
    }
    Timer {
        id: goingBack
        property string rowId
        property real offset
        property int step: 0
        // From returnTo() until its last step, or until the user or the pane scrolls elsewhere.
        property bool returning: false
        readonly property list<int> delays: [0, 30, 170, 250, 350]
        function finish() {
            goingBack.stop();
            goingBack.returning = false;
        }
        onTriggered: {
            // A row the conversation no longer has: the end, as for a view never read. One not
            // laid out yet is tried again at the next step.
            if (!pane.showRow(goingBack.rowId, goingBack.offset) && rows.indexOf(goingBack.rowId) < 0) {
                pane.jumpToBottom();
                return;
            }
            goingBack.step += 1;
            if (goingBack.step < goingBack.delays.length) {
                goingBack.interval = goingBack.delays[goingBack.step];
                goingBack.restart();
            } else {
                goingBack.returning = false;
                keepLater.restart();
            }
        }
    }
    Timer {
        id: keepLater
        interval: 0
        onTriggered: pane.keepReadingPosition()
    }
    // New rows while the user is at the end: a short ease-out slide to the new end. More than a
    // screen of new rows at once (a long answer arriving whole) is a jump: a slide would make the
    // rows of every screen on its way, and lay out the old position again first.
    function autoScroll() {
        if (!timeline.atBottom)
            return;
        const from = timeline.contentY;
        timeline.toEnd();
        const to = timeline.contentY;
        if (Math.abs(to - from) < 1 || Math.abs(to - from) > timeline.height || !timeline.visible)
            return;
        timeline.contentY = from;
        slide.stop();
        slide.from = from;
        slide.to = to;
        slide.start();
    }

    Timer {
        id: newRows
        interval: 0
        onTriggered: pane.autoScroll()
    }
    Timer {
        id: measureLater
        interval: 0
        onTriggered: timeline.measure()
    }
    Timer {
        id: follow
        interval: 0
        // Only when the end has moved: a long list re-estimates the rows above the visible ones as
        // it makes and drops delegates, and repositioning for each estimate drew frame after frame.
        onTriggered: if (timeline.atBottom && !timeline.moving && !slide.running
                             && Math.abs(timeline.endY() - timeline.height) > 0.5) timeline.toEnd()
    }
    Timer {
        id: jumps
        property int step: 0
        readonly property list<int> delays: [30, 170, 250, 350]
        onTriggered: {
            timeline.toEnd();
            jumps.step += 1;
            if (jumps.step < jumps.delays.length) {
                jumps.interval = jumps.delays[jumps.step];
                jumps.restart();
            }
        }
    }
    NumberAnimation {
        id: slide
        target: timeline
        property: "contentY"
        duration: 120
        easing.type: Easing.OutCubic
        // The end may have moved on while sliding (a row still settling).
        onStopped: if (timeline.atBottom) follow.restart()
    }

    Column {
        id: stack
        anchors.fill: parent

        // The timeline's visible area, with the jump button over its bottom-trailing corner.
        Item {
            id: viewport
            objectName: "timelineViewport"
            width: stack.width
            height: Math.max(0, stack.height - cards.height - foot.height)
            // In a short pane the hint (or anything over the list) stops at the composer's edge.
            clip: true

        ListView {
            id: timeline
            objectName: "timeline"

            // Whether the end of the conversation is within 60 points below the visible area;
            // written only when that changes. Measured after every scroll, however it came about
            // (a drag of the scroll bar sets the position directly), and after every change of
            // the content's size while away from the end; at the end a growing row is followed
            // instead (below), and the pane's own slide to the end is not measured half-way.
            property bool atBottom: true
            property bool didInitialScroll: false
            // How far the content's end lies below the top of the visible area. Worked out afresh
            // in each handler: a bound property may not have caught up with the change that
            // calls it.
            function endY(): real {
                return timeline.originY + timeline.contentHeight + timeline.bottomMargin - timeline.contentY;
            }

            // The end as the wheel and the scroll bar reach it, the bottom margin below the last
            // row: ListView's own positionViewAtEnd() stops that margin short, so the view came back
            // to a conversation read to its end 11 px lower than it was left, and the end-following
            // below saw an end still to reach after each of its own moves.
            function toEnd() {
                timeline.positionViewAtEnd();  // makes the last rows, so their extent is known
                timeline.contentY = Math.max(timeline.originY - timeline.topMargin,
                                             timeline.originY + timeline.contentHeight + timeline.bottomMargin - timeline.height);
            }
            // A drag, flick or wheel of the list's own, or the scroll bar held.
            function userScrolling(): bool {
                return timeline.moving || scrollBar.pressed;
            }
            // The content's size and origin when last measured.
            property real measuredHeight: 0
            property real measuredOrigin: 0
            function measure() {
                // Not while sliding; not on the way back to a kept row, which the user's own scroll
                // alone interrupts (it stops the return first); and not from a list without a
                // laid-out height or rows, which would read as being at the end.
                if (slide.running || goingBack.returning || timeline.height <= 0
                        || (timeline.count > 0 && timeline.contentHeight <= 0))
                    return;
                const laidOut = timeline.contentHeight !== timeline.measuredHeight
                                || timeline.originY !== timeline.measuredOrigin;
                timeline.measuredHeight = timeline.contentHeight;
                timeline.measuredOrigin = timeline.originY;
                const at = ChatLabels.atEnd(timeline.endY(), timeline.height);
                if (at === timeline.atBottom)
                    return;
                // At the end, the end moving away with a change of the content's size or origin is
                // the list laying out new or settling rows, not the user leaving: follow it.
                if (!at && laidOut && !timeline.userScrolling()) {
                    follow.restart();
                    return;
                }
                timeline.atBottom = at;
            }
            function contentResized() {
                if (timeline.atBottom) {
                    if (!timeline.moving)
                        follow.restart();
                } else {
                    timeline.measure();
                }
            }

            anchors.fill: parent
            clip: true
            spacing: 13
            topMargin: 11
            bottomMargin: 11
            leftMargin: 13
            rightMargin: 13
            boundsBehavior: Flickable.StopAtBounds
            reuseItems: false
            cacheBuffer: 600
            // No current row: a ListView otherwise keeps row 0 alive as its current item and slides
            // an (invisible) highlight after it, which drew frames for seconds after opening.
            currentIndex: -1
            highlightFollowsCurrentItem: false
            model: rows.rows
            // The user takes over: the pane's own scrolls still to come would pull the view away.
            ScrollBar.vertical: ScrollBar {
                id: scrollBar
                objectName: "timelineScrollBar"
                onPressedChanged: if (pressed) pane.stopScrolling()
            }
            onMovementStarted: pane.stopScrolling()

            // The user's own scrolls are measured at once; any other move once the layout pass
            // that made it is over, when the content's new size and origin are known too.
            onContentYChanged: {
                if (timeline.userScrolling())
                    timeline.measure();
                else
                    measureLater.restart();
                keepLater.restart();
            }
            onAtBottomChanged: keepLater.restart()
            onHeightChanged: {
                pane.autoScroll();
                timeline.measure();
            }
            onWidthChanged: if (timeline.atBottom) timeline.toEnd()
            // A streamed row that grows keeps the end in view while the user follows it: once per
            // turn of the event loop, not inside the layout pass that changed the height (that
            // would lay out every row of a long list to find its end).
            onContentHeightChanged: timeline.contentResized()
            onOriginYChanged: timeline.contentResized()

            // The trailing activity row is the last while there is one; otherwise the last row is
            // last only while the agent is not at work.
            delegate: TimelineRowView {
                required property int index
                required property string rowId
                required property int piece
                required property bool more
                objectName: "row:" + rowId
                width: timeline.width - 26
                continued: piece > 0
                joinsNext: more
                railGap: timeline.spacing
                isLast: index === timeline.count - 1 && (rowId === "working" || (pane.vm !== null && !pane.vm.busy))
                thinkingOpen: rows.isOpen(rowId)
                onThinkingToggled: open => rows.setOpen(rowId, open)
            }

            Connections {
                target: pane.vm
                function onMessageCountChanged() {
                    // A transcript cleared to resume another conversation: that one opens at its
                    // end like the first did.
                    if (pane.vm.messageCount === 0)
                        timeline.didInitialScroll = false;
                    if (!timeline.didInitialScroll && pane.vm.messageCount >= 1) {
                        timeline.didInitialScroll = true;
                        pane.jumpToBottom();
                    } else {
                        // Once per turn of the event loop: the rows one read of the sidecar
                        // brought are laid out together, not inside the event that adds each.
                        newRows.restart();
                    }
                }
                // Also on the next turn: the turn's end comes in the same read as its last rows,
                // and following the end here would lay them out inside that read too.
                function onBusyChanged() { newRows.restart(); }
            }
        }

        // Before the first message: what this pane is, where the list's first row would be.
        Column {
            id: hint
            objectName: "emptyHint"
            visible: pane.vm !== null && pane.vm.messageCount === 0 && pane.failure === ""
            x: timeline.leftMargin
            y: timeline.topMargin
            width: timeline.width - 26
            spacing: 4
            MeasuredText {
                id: hintTitle
                objectName: "emptyHintTitle"
                width: hint.width
                // The project's name isolated from the words and its hidden characters as marks: a
                // folder "rlo<RLO>gpj.exe" would otherwise end the sentence "rloexe.jpg". The line is
                // measured by its own font (MeasuredText), whatever font the isolates are drawn in.
                text: HiddenMarks.sentence(qsTr("Chat with ") + (pane.vm && pane.vm.provider === "codex" ? "Codex" : "Claude")
                                           + qsTr(" in %1"), pane.session ? pane.session.project : "")
                textFormat: Text.StyledText
                elide: Text.ElideRight
                font.pointSize: Theme.fontSize(12)
                font.weight: Font.DemiBold
                color: Theme.textDim
            }
            Text {
                id: hintText
                objectName: "emptyHintText"
                // Whole lines only, as many as the list shows: a short pane cut the last one through
                // its middle.
                readonly property int room: Math.floor((timeline.height - timeline.topMargin - hintTitle.height
                                                        - hint.spacing) / Math.max(1, hintMetrics.lineSpacing))
                width: hint.width
                visible: room >= 1
                text: pane.vm && pane.vm.provider === "codex"
                      ? qsTr("Runs Codex here — AGENTS.md, tools, and sandboxed approvals apply inline.")
                      : qsTr("Runs Claude Code here — CLAUDE.md, tools, and memory all apply. Approvals appear inline.")
                wrapMode: Text.Wrap
                maximumLineCount: Math.max(1, room)
                elide: Text.ElideRight
                font.pointSize: Theme.fontSize(11)
                color: Theme.textFaint
                FontMetrics {
                    id: hintMetrics
                    font: hintText.font
                }
            }
        }

            // Back to the end: over the corner of the visible area, shown while the end is out
            // of reach.
            Item {
                id: jumpButton
                objectName: "jumpButton"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.rightMargin: 14
                anchors.bottomMargin: 12
                width: 30
                height: 30
                opacity: timeline.atBottom ? 0 : 1
                visible: opacity > 0
                Behavior on opacity { NumberAnimation { duration: 150 } }
                SoftShadow {
                    anchors.fill: parent
                    cornerRadius: 15
                }
                Rectangle {
                    anchors.fill: parent
                    radius: 15
                    color: Theme.pair("23262f", "dbe5f6", 1)
                    border.width: 1
                    border.color: Theme.pair("23262e", "d2d5dc", 1)
                }
                SymbolIcon {
                    anchors.centerIn: parent
                    name: "arrow.down"
                    size: 12
                    color: Theme.pair("c5c9d0", "3a4048", 1)
                }
                TapHandler {
                    cursorShape: Qt.PointingHandCursor
                    onTapped: pane.jumpToBottom()
                }
            }
        }

        // The question card above the permission card; neither in the compact form. A question
        // taller than the room left above the foot (a small pane) scrolls inside its card, and
        // leaves a strip of the conversation in view.
        Column {
            id: cards
            width: stack.width
            Repeater {
                model: !pane.compact && pane.vm !== null && pane.vm.pendingQuestion !== undefined ? 1 : 0
                delegate: QuestionCard {
                    objectName: "questionCard"
                    width: stack.width
                    maximumHeight: stack.height - foot.height - permissionCards.cardHeight - 56
                    ask: pane.vm.pendingQuestion
                    keptFlow: pane.memory ? pane.memory.questionFlow : null
                    provider: pane.vm.provider
                    onAnswer: answers => pane.vm.answerQuestion(answers)
                    onSkip: pane.vm.skipQuestion()
                }
            }
            Repeater {
                id: permissionCards
                readonly property real cardHeight: permissionCards.count > 0 && permissionCards.itemAt(0)
                                                   ? permissionCards.itemAt(0).height : 0
                model: !pane.compact && pane.vm !== null && pane.vm.pendingPermission !== undefined ? 1 : 0
                delegate: PermissionCard {
                    id: permission
                    objectName: "permissionCard"
                    width: stack.width
                    request: pane.vm.pendingPermission
                    provider: pane.vm.provider
                    onApprove: {
                        // Accepting a plan also lets the agent edit files, switched before the
                        // plan is allowed.
                        if (permission.tool === "ExitPlanMode")
                            pane.vm.setPermissionMode("acceptEdits");
                        pane.vm.resolvePermission(true);
                    }
                    onDeny: pane.vm.resolvePermission(false)
                }
            }
        }

        // The foot: the failure bar alone, or (not compact) the turn-error bar and the composer.
        Column {
            id: foot
            width: stack.width
            ErrorBar {
                objectName: "failureBar"
                visible: pane.failure !== ""
                width: stack.width
                message: pane.failure
                maximumLines: 2
            }
            ErrorBar {
                objectName: "turnErrorBar"
                visible: pane.failure === "" && !pane.compact && pane.vm !== null && pane.vm.turnError !== ""
                width: stack.width
                message: pane.vm ? pane.vm.turnError : ""
                maximumLines: 3
                dismissable: true
                onDismissed: pane.vm.dismissTurnError()
            }
            Repeater {
                model: pane.failure === "" && !pane.compact && pane.vm !== null ? 1 : 0
                delegate: ChatComposer {
                    width: stack.width
                    session: pane.vm
                }
            }
        }
    }

    // Shown in the frame's header (PaneShell moves it there).
    HistoryButton {
        id: history
        objectName: "historyButton"
        visible: !pane.compact
        session: pane.vm
    }
}
