pragma ComponentBehavior: Bound
import QtQuick
import Brinmoor.App
import Brinmoor.Chat

// The chat input: multi-line plain text that sends on Return and breaks the line on Shift+Return
// (keypad Enter counts as Return; a Return while an input method composes commits the candidate
// instead). It grows with its text between minHeight and maxHeight and scrolls inside beyond.
// Pasting files or an image (Ctrl+V, Shift+Insert) hands them to `attachmentSink` as chips
// instead of text; with a sink, a middle click pastes the primary selection the same way. `specialKey`, when set, is offered Up, Down, Tab, Escape and Return first.
// `copyKey`, when set, is offered Ctrl+C and Ctrl+X (with `true` for a cut) first.
Item {
    id: editor

    property alias text: edit.text
    property real minHeight: 22
    property real maxHeight: 92
    property bool autoFocus: false
    // function(key: int): bool — true when the key was taken (the slash pop-up).
    property var specialKey: null
    property var copyKey: null
    property AttachmentListModel attachmentSink: null
    // The composer whose marks of hidden characters the draft holds: each is drawn on a box.
    property ComposerModel markSource: null
    readonly property alias textItem: edit
    // The height the text wants, clamped to the limits.
    readonly property real wantedHeight: Math.min(editor.maxHeight, Math.max(editor.minHeight, edit.implicitHeight))

    signal sendRequested()
    signal focusGained()
    signal focusLost()

    function forceEditorFocus() {
        edit.forceActiveFocus();
    }

    implicitHeight: editor.wantedHeight
    height: editor.wantedHeight

    onEnabledChanged: {
        if (!editor.enabled && edit.activeFocus)
            edit.focus = false;
    }
    // Focus is taken once, after the first layout.
    Timer {
        interval: 0
        running: editor.autoFocus
        onTriggered: {
            if (editor.enabled)
                edit.forceActiveFocus();
        }
    }

    Flickable {
        id: flick
        anchors.fill: parent
        clip: true
        contentWidth: width
        contentHeight: edit.implicitHeight
        boundsBehavior: Flickable.StopAtBounds
        interactive: edit.implicitHeight > height

        function follow(r: rect) {
            if (r.y < flick.contentY)
                flick.contentY = r.y;
            else if (r.y + r.height > flick.contentY + flick.height)
                flick.contentY = r.y + r.height - flick.height + edit.bottomPadding;
        }

        // A box in the marks' colour behind each mark in view, which text typed into the draft
        // never gets: the same eight characters typed read apart from a hidden character's mark.
        // Drawn apart from the text (a colour of the marks' own in the text made each mark a
        // piece of its own for the editor to lay out and draw), for the lines in view only.
        Item {
            id: markLayer
            width: edit.width
            height: edit.height
            property var boxes: []

            function refresh() {
                const source = editor.markSource;
                markLayer.boxes = source && source.hiddenCount > 0
                        ? source.markBoxes(flick.contentY - edit.topPadding, flick.contentY + flick.height - edit.topPadding)
                        : [];
            }

            Connections {
                target: editor.markSource
                function onMarksMoved() { markLayer.refresh(); }
            }
            // The text scrolled, or laid out anew: once the editor is done.
            Timer {
                id: refreshSoon
                interval: 0
                onTriggered: markLayer.refresh()
            }
            Connections {
                target: flick
                function onContentYChanged() { refreshSoon.restart(); }
                function onHeightChanged() { refreshSoon.restart(); }
            }
            Connections {
                target: edit
                function onWidthChanged() { refreshSoon.restart(); }
                function onContentHeightChanged() { refreshSoon.restart(); }
            }

            Repeater {
                model: markLayer.boxes
                delegate: Rectangle {
                    id: box
                    required property var modelData
                    readonly property int start: box.modelData.start
                    readonly property int end: box.modelData.end
                    objectName: "markBox"
                    x: edit.leftPadding + box.modelData.x - 1
                    y: edit.topPadding + box.modelData.y + 1
                    width: box.modelData.width + 2
                    height: Math.max(4, box.modelData.height - 2)
                    radius: 3
                    color: Theme.hex("d94f8c", 0.30)
                    border.width: 1
                    border.color: Theme.hex("d94f8c", 1)
                }
            }
        }

        TextEdit {
            id: edit
            objectName: "chatEdit"
            width: flick.width
            textFormat: TextEdit.PlainText
            wrapMode: TextEdit.Wrap
            selectByMouse: true
            persistentSelection: false
            readOnly: !editor.enabled
            leftPadding: 5
            rightPadding: 5
            topPadding: 6
            bottomPadding: 6
            color: Theme.textStrong
            selectionColor: Theme.hex("5b8cdd", 0.35)
            selectedTextColor: edit.color
            font.pointSize: Theme.fontSize(12.5)
            cursorDelegate: Rectangle {
                width: 1
                color: Theme.accent
                visible: edit.activeFocus && edit.selectionStart === edit.selectionEnd
            }

            onCursorRectangleChanged: flick.follow(edit.cursorRectangle)
            onTextChanged: ChatEditorSupport.drawOnlyWhatShows(edit)
            onActiveFocusChanged: {
                if (edit.activeFocus)
                    editor.focusGained();
                else
                    editor.focusLost();
            }

            // Its pastes are read by the attachment sink, off the GUI thread: the application's
            // own reader for Qt's fields leaves it alone.
            property bool readsPastesItself: editor.attachmentSink !== null

            Keys.onPressed: event => {
                const key = event.key;
                const isReturn = key === Qt.Key_Return || key === Qt.Key_Enter;
                const shift = (event.modifiers & Qt.ShiftModifier) !== 0;
                if (isReturn && ChatEditorSupport.commitComposition(edit)) {
                    event.accepted = true;
                    return;
                }
                const special = isReturn || key === Qt.Key_Up || key === Qt.Key_Down || key === Qt.Key_Tab
                        || key === Qt.Key_Escape;
                if (special && !shift && editor.specialKey && editor.specialKey(key)) {
                    event.accepted = true;
                    return;
                }
                if (isReturn) {
                    event.accepted = true;
                    if (!shift) {
                        editor.sendRequested();
                        return;
                    }
                    // A plain line feed (TextEdit's own Shift+Return would insert U+2028).
                    if (edit.selectionStart !== edit.selectionEnd)
                        edit.remove(edit.selectionStart, edit.selectionEnd);
                    edit.insert(edit.cursorPosition, "\n");
                    return;
                }
                const cut = event.matches(StandardKey.Cut);
                if ((cut || event.matches(StandardKey.Copy)) && editor.copyKey && editor.copyKey(cut)) {
                    event.accepted = true;
                    return;
                }
                const paste = event.matches(StandardKey.Paste) || (key === Qt.Key_Insert && shift);
                if (paste && editor.attachmentSink && editor.attachmentSink.pasteClipboard(edit))
                    event.accepted = true;
            }

            // A middle click pastes the selection as Ctrl+V pastes the clipboard: read off the GUI
            // thread, a long text as a chip, at the place clicked. TextEdit's own would read and
            // lay out all of it on the GUI thread (50 MB: two minutes).
            MouseArea {
                objectName: "middlePaste"
                anchors.fill: parent
                enabled: editor.attachmentSink !== null && !edit.readOnly
                acceptedButtons: Qt.MiddleButton
                onClicked: mouse => {
                    edit.forceActiveFocus();
                    edit.cursorPosition = edit.positionAt(mouse.x, mouse.y);
                    editor.attachmentSink.pasteSelection(edit);
                }
            }
        }
    }
    // A click into the editor reports focus again, even when it already has it.
    PointHandler {
        onActiveChanged: {
            if (active)
                editor.focusGained();
        }
    }
}
