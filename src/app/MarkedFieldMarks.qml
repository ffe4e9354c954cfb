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

    Repeater {
        model: overlay.edit.marks
        delegate: Rectangle {
            id: box
            objectName: "markBox"
            required property var modelData
            // Follows the text's scrolling and layout.
            readonly property rect from: {
                overlay.field.text; overlay.field.cursorPosition; overlay.field.width; overlay.field.contentWidth;
                return overlay.field.positionToRectangle(box.modelData.start);
            }
            readonly property rect to: {
                overlay.field.text; overlay.field.cursorPosition; overlay.field.width; overlay.field.contentWidth;
                return overlay.field.positionToRectangle(box.modelData.end);
            }
            x: box.from.x + overlay.shift.x - overlay.x - 1
            y: box.from.y + overlay.shift.y - overlay.y + 1
            width: box.to.x - box.from.x + 2
            height: Math.max(4, box.from.height - 2)
            radius: 3
            color: Qt.rgba(0xd9 / 255, 0x4f / 255, 0x8c / 255, 0.30)
            border.width: 1
            border.color: "#d94f8c"
        }
    }
}
