pragma ComponentBehavior: Bound
import QtQuick

// One end of a sheet's Tab chain. Qt Quick moves the keyboard along every item of the window
// that takes Tab, and the terminal panes behind the backdrop all do: Tab from a sheet's last
// control, Shift+Tab from its first, or either from a sheet with nothing to tab to, handed the
// keyboard to a pane the user cannot reach. A sheet puts a fence before its first control and
// one after its last; a fence that the chain lands on sends the keyboard round to the far end of
// the sheet's own controls, and the sheet's Tab keys come to enter().
Item {
    id: fence

    // The sheet whose controls the keyboard stays among.
    required property Item sheet
    // The fence at the sheet's other end.
    required property SheetTabFence other
    // Whether this fence stands after the sheet's last control (else before its first).
    required property bool atEnd

    // Gives the keyboard to the sheet's first control after this fence (at the start) or its last
    // before it (at the end); to the sheet itself when it has none.
    function enter() {
        const next = fence.nextItemInFocusChain(!fence.atEnd);
        let inSheet = false;
        for (let up = next; up && !inSheet; up = up.parent)
            inSheet = up === fence.sheet;
        if (inSheet && next !== fence.other)
            next.forceActiveFocus(fence.atEnd ? Qt.BacktabFocusReason : Qt.TabFocusReason);
        else
            fence.sheet.forceActiveFocus();
    }

    width: 0
    height: 0
    activeFocusOnTab: true
    // Reached by the chain from the sheet's control at this end: round to the other end.
    onActiveFocusChanged: {
        if (fence.activeFocus)
            fence.other.enter();
    }
}
