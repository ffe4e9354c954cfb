pragma ComponentBehavior: Bound

import QtQuick
import Brinmoor.App

// Put inside a one-line field whose text a MarkedEdit keeps: a box in the marks' colour behind
// each mark, which text typed into the field never gets, so a hidden character's mark and the
// same eight characters typed read apart.
Item {
    id: overlay

    required property TextInput field
    required property MarkedEdit edit

    x: overlay.field.leftPadding
    y: 0
    width: overlay.field.width - overlay.field.leftPadding - overlay.field.rightPadding
    height: overlay.field.height
    z: -0.5
    clip: true

    // Where the field draws what positionToRectangle() places: the cursor's rectangle is in the
    // field's own coordinates, padding included, which positionToRectangle() leaves out in a
    // field with padding (a TextField) and keeps in one without (a TextInput); the difference at
    // the cursor is what to add.
    readonly property point shift: {
        overlay.field.text; overlay.field.width; overlay.field.contentWidth;
        const at = overlay.field.positionToRectangle(overlay.field.cursorPosition);
        const cursor = overlay.field.cursorRectangle;
        return Qt.point(cursor.x - at.x, cursor.y - at.y);
    }

    // The field's rectangle for a place in its text, asked again whenever the text, the cursor
    // (which scrolls it) or the field's width changes: those are taken as arguments, so that the
    // box follows each (the marks may come before the text they are marks of).
    function placeOf(position: int, text: string, cursor: int, width: real, contentWidth: real): rect {
        return position <= text.length ? overlay.field.positionToRectangle(position) : Qt.rect(0, 0, 0, 0);
    }

    FontMetrics {
        id: metrics
        font: overlay.field.font
    }

    Repeater {
        model: overlay.edit.marks
        delegate: Rectangle {
            id: box
            objectName: "markBox"
            required property var modelData
            readonly property int start: box.modelData.start
            readonly property int end: box.modelData.end
            // Follows the text's scrolling and layout. A mark reads left to right in any line (the
            // field shows it in an isolate where the line holds right-to-left letters): its box
            // starts at the left of its "<" and is as wide as its text. Found from the place just
            // after the "<", inside the mark: the places at its two ends may lie where the text
            // beside it goes on, on the other side of the mark, in right-to-left text.
            readonly property rect from: overlay.placeOf(box.start + 1, overlay.field.text, overlay.field.cursorPosition,
                                                         overlay.field.width, overlay.field.contentWidth)
            x: box.from.x - metrics.advanceWidth(overlay.field.text.charAt(box.start)) + overlay.shift.x - overlay.x - 1
            y: box.from.y + overlay.shift.y - overlay.y + 1
            width: metrics.advanceWidth(overlay.field.text.slice(box.start, box.end)) + 2
            height: Math.max(4, box.from.height - 2)
            radius: 3
            color: Qt.rgba(0xd9 / 255, 0x4f / 255, 0x8c / 255, 0.30)
            border.width: 1
            border.color: "#d94f8c"
        }
    }
}
