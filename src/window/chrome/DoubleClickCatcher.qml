import QtQuick

// Tells a double click from a single click, using the platform's own double-click detection.
// A double click reports only `doubleClicked`; with `reportsSingleClicks`, a single click is
// reported once the double-click interval has passed without a second click, so the first click
// of a double click is never reported as a single one.
// Controls laid over the catcher keep their clicks; a drag handler placed over it (below those
// controls) still takes drags, since its grab outranks the catcher's.
MouseArea {
    id: catcher

    property bool reportsSingleClicks: false
    // The system's double-click interval, in milliseconds.
    property int interval: Application.styleHints.mouseDoubleClickInterval

    signal singleClicked()

    acceptedButtons: Qt.LeftButton

    onClicked: {
        if (!catcher.reportsSingleClicks)
            return;
        // A click that came too late to pair with the one before: that one was single.
        if (pending.running) {
            pending.stop();
            catcher.singleClicked();
        }
        pending.restart();
    }
    onDoubleClicked: pending.stop()

    Timer {
        id: pending
        interval: catcher.interval
        onTriggered: catcher.singleClicked()
    }
}
