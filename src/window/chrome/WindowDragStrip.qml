import QtQuick
import Brinmoor.Window

// What stands in for the title bar of the frameless window: dragging it moves the window (once
// the pointer has gone past the drag distance, so a click stays a click) and a double click
// zooms it. Controls laid over it keep their own clicks.
DoubleClickCatcher {
    id: strip

    required property WindowChrome chrome
    property point pressPoint
    property bool moving: false

    onPressed: mouse => {
        strip.pressPoint = Qt.point(mouse.x, mouse.y);
        strip.moving = false;
    }
    onPositionChanged: mouse => {
        if (!strip.pressed || strip.moving)
            return;
        const dx = mouse.x - strip.pressPoint.x;
        const dy = mouse.y - strip.pressPoint.y;
        if (Math.abs(dx) + Math.abs(dy) >= Application.styleHints.startDragDistance)
            strip.moving = strip.chrome.startMove();
    }
    onDoubleClicked: strip.chrome.zoom()
}
