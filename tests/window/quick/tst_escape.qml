import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Window

// The main window at its first size with a chat pane and a terminal pane: Escape closes the
// topmost pop-over first (one per press, before the rest of the Escape chain), and whatever closes
// (a pop-over, a sheet, the folder chooser over a sheet) gives the keyboard back to the composer or
// the terminal that held it.
Item {
    id: top
    width: 1240
    height: 780

    Loader {
        id: main
        anchors.fill: parent
        active: false
        sourceComponent: MainWindowView {}
    }

    function find(name) {
        const all = TestSupport.itemsNamed(top, name);
        return all.length > 0 ? all[0] : null;
    }
    function focused() { return top.Window.activeFocusItem; }
    // The terminal of the terminal pane, once its shell runs.
    function terminalView() {
        for (const pane of TestSupport.itemsNamed(top, "paneView")) {
            const surface = pane.content ? pane.content.surface : null;
            if (surface && surface.view && surface.shellPid > 0)
                return surface.view;
        }
        return null;
    }
    // A pop-up by its name below the item that declares it (usage pop-overs by their button).
    function popup(owner, name) {
        const button = top.find(owner);
        return button.popover !== undefined ? button.popover : t.findChild(button, name);
    }
    function sessionOf(kind) {
        for (let i = 0; i < AppModel.selectedSessions.count; ++i)
            if (AppModel.selectedSessions.get(i).kind === kind)
                return AppModel.selectedSessions.get(i).id;
        return "";
    }

    TestCase {
        id: t
        name: "EscapeAndFocusReturn"
        when: windowShown

        function initTestCase() {
            verify(TestSupport.useFakeSidecar(), "Node runs the fake sidecar");
            verify(AppModel.addWorkspace("Escape", "5b8cee"));
            verify(AppModel.addSession("chat", "web", TestSupport.homePath(), false, "claude"));
            verify(AppModel.addSession("terminal", "shell", TestSupport.homePath(), false, "claude"));
            main.active = true;
            tryVerify(() => top.find("chatEdit") !== null && top.terminalView() !== null, 10000);
        }
        function cleanup() {
            AppModel.maximizedSessionID = "";
            AppModel.activeSheet = "";
        }
        // The composer's editor, holding the keyboard as after a click into it.
        function typeIntoComposer() {
            const edit = top.find("chatEdit");
            mouseClick(edit);
            tryVerify(() => edit.activeFocus);
            return edit;
        }

        // Each pop-over of the window, opened by a click on its control while the maximized chat
        // pane's composer holds the keyboard.
        function test_escape_closes_the_popover_and_the_composer_gets_the_keyboard_back_data() {
            return [{ tag: "history", control: "historyButton", owner: "historyButton", popup: "historyPopup" },
                    { tag: "modes", control: "modePill", owner: "modePill", popup: "modesPopup" },
                    { tag: "model menu", control: "modelPill", owner: "modelPill", popup: "modelPopup" },
                    { tag: "usage", control: "claudeUsageButton", owner: "claudeUsageButton", popup: "" },
                    { tag: "layout picker", control: "layoutChip", owner: "layoutPicker", popup: "layoutPopover" }];
        }
        function test_escape_closes_the_popover_and_the_composer_gets_the_keyboard_back(data) {
            AppModel.maximizedSessionID = top.sessionOf("chat");
            const edit = typeIntoComposer();
            mouseClick(top.find(data.control));
            const popup = top.popup(data.owner, data.popup);
            verify(popup !== null);
            tryVerify(() => popup.opened, 3000, "the pop-over opened");
            keyClick(Qt.Key_Escape);
            tryVerify(() => !popup.visible, 3000, "Escape closed the pop-over");
            compare(AppModel.maximizedSessionID, top.sessionOf("chat"), "the pane stays maximized");
            tryVerify(() => top.focused() === edit, 3000, "the composer has the keyboard again");
            keyClick(Qt.Key_A);
            compare(edit.text, "a", "typed keys reach the composer");
            edit.text = "";
        }

        // A sheet over the composer, closed with Escape or its Cancel button: the composer gets the
        // keyboard back, and what is typed next goes into it.
        function test_a_closed_sheet_gives_the_keyboard_back_to_the_composer_data() {
            return [{ tag: "add session, Escape", sheet: "addSession", close: "" },
                    { tag: "new workspace, Cancel", sheet: "newWorkspace", close: "cancelButton" }];
        }
        function test_a_closed_sheet_gives_the_keyboard_back_to_the_composer(data) {
            const edit = typeIntoComposer();
            AppModel.activeSheet = data.sheet;
            tryVerify(() => top.focused() !== edit && top.focused() !== null, 3000, "the sheet takes the keyboard");
            if (data.close === "")
                keyClick(Qt.Key_Escape);
            else
                mouseClick(top.find(data.close));
            compare(AppModel.activeSheet, "");
            tryVerify(() => top.focused() === edit, 3000, "the composer has the keyboard again");
            keyClick(Qt.Key_B);
            compare(edit.text, "b");
            edit.text = "";
        }

        // Composer, then the add-session sheet, then its folder chooser with a new folder's name
        // field: each Escape closes one of them, and the keyboard goes back one step each time.
        function test_escape_steps_back_through_a_chooser_over_a_sheet() {
            const edit = typeIntoComposer();
            AppModel.activeSheet = "addSession";
            let sheet = null;
            tryVerify(() => (sheet = top.find("addSessionSheet")) !== null);
            mouseClick(top.find("browseRow"));
            const chooser = t.findChild(sheet, "folderChooser");
            tryVerify(() => chooser.opened);
            mouseClick(t.findChild(chooser.contentItem, "newFolderButton"));
            verify(chooser.nameField.activeFocus);
            keyClick(Qt.Key_Escape);
            verify(!chooser.naming, "the name field went");
            verify(chooser.visible);
            tryVerify(() => chooser.pathField.activeFocus);
            keyClick(Qt.Key_Escape);
            tryVerify(() => !chooser.visible);
            compare(AppModel.activeSheet, "addSession", "the sheet stays");
            tryVerify(() => sheet.activeFocus, 3000, "the sheet has the keyboard again");
            keyClick(Qt.Key_Escape);
            compare(AppModel.activeSheet, "");
            tryVerify(() => top.focused() === edit, 3000, "the composer has the keyboard again");
        }

        // Two pop-overs open: each press closes the topmost only; the third leaves the maximized view.
        function test_one_popover_per_press_then_the_rest_of_the_chain() {
            AppModel.maximizedSessionID = top.sessionOf("terminal");
            const view = top.terminalView();
            mouseClick(view);
            tryVerify(() => view.activeFocus);
            mouseClick(top.find("layoutChip"));
            const layout = top.popup("layoutPicker", "layoutPopover");
            tryVerify(() => layout.opened);
            top.find("claudeUsageButton").activate();
            const usage = top.popup("claudeUsageButton", "");
            tryVerify(() => usage.opened);
            keyClick(Qt.Key_Escape);
            tryVerify(() => !usage.visible);
            verify(layout.visible, "the one below stays open");
            keyClick(Qt.Key_Escape);
            tryVerify(() => !layout.visible);
            compare(AppModel.maximizedSessionID, top.sessionOf("terminal"));
            tryVerify(() => top.focused() === view, 3000, "the terminal has the keyboard again");
        }
    }
}
