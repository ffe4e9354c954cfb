pragma Singleton
import QtQuick

// Serial numbers for stand-in pane contents (see PaneContentPlaceholder).
QtObject {
    property int last: 0
    function next(): int {
        last = last + 1;
        return last;
    }
}
