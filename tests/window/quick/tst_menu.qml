import QtQuick
import QtQuick.Controls.Basic
import QtTest
import Brinmoor.App
import Brinmoor.Window

Item {
    id: top
    width: 800
    height: 600

    Component { id: menuComponent; PaneOverflowMenu { x: 300; y: 20 } }

    function record(row) { return AppModel.selectedSessions.get(row); }

    // The saved record of a session, read back from the state file.
    function savedSession(id) {
        const state = JSON.parse(TestSupport.readFile(TestSupport.stateFilePath()));
        for (const w of state.workspaces)
            for (const s of w.sessions)
                if (s.id === id)
                    return s;
        return null;
    }

    TestCase {
        name: "PaneOverflowMenu"
        when: windowShown

        SignalSpy { id: saves; target: AppModel; signalName: "stateSaved" }

        function initTestCase() {
            verify(AppModel.addWorkspace("Menus", "5b8cee"));
            verify(AppModel.addSession("terminal", "gamma", "/tmp/gamma", false, "claude"));
            verify(AppModel.addSession("terminal", "delta", "/tmp/delta", false, "claude"));
        }
        function init() {
            saves.clear();
        }
        function makeMenu(row) {
            return createTemporaryObject(menuComponent, top, { session: top.record(row) });
        }

        function test_titles_and_order() {
            const m = makeMenu(0);
            mouseClick(findChild(m, "menuButton"));
            tryCompare(m.menu, "opened", true, 1000);
            const want = ["Rename", "Restart session", "Resume a different session…", "Reveal in File Manager",
                          "Open in VS Code", "Stop", "Close pane"];
            compare(m.menu.count, want.length);
            for (let i = 0; i < want.length; ++i) {
                compare(m.menu.itemAt(i).text, want[i]);
                verify(m.menu.itemAt(i).enabled, want[i]);
            }
            const symbols = m.items.map(e => e.symbol);
            compare(symbols, ["pencil", "arrow.clockwise", "clock.arrow.circlepath", "arrow.up.forward.app",
                              "chevron.left.forwardslash.chevron.right", "stop.fill", "xmark"]);
            compare(m.items.map(e => e.destructive), [false, false, false, false, false, true, true]);
            m.menu.close();
        }

        function test_rename_opens_with_the_current_name() {
            const m = makeMenu(0);
            m.trigger(0);
            compare(m.renaming, true);
            tryCompare(m.renameDialog, "opened", true, 1000);
            compare(m.draftName, "gamma");
            compare(m.renameDialog.title, "Rename pane");
            compare(m.nameField.placeholderText, "Name");
            // A pasted name stops at what the saved state holds.
            m.nameField.clear();
            m.nameField.insert(0, "x".repeat(300));
            compare(m.nameField.length, 256);
            m.renameDialog.reject();
            tryCompare(m, "renaming", false, 1000);
        }

        function test_rename_to_empty_keeps_the_name_and_writes_nothing() {
            const m = makeMenu(0);
            m.trigger(0);
            tryCompare(m.renameDialog, "opened", true, 1000);
            m.draftName = "";
            m.renameDialog.accept();
            compare(top.record(0).project, "gamma");
            compare(saves.count, 0);
        }

        function test_rename_to_spaces_stores_spaces_and_saves() {
            const m = makeMenu(1);
            m.trigger(0);
            tryCompare(m.renameDialog, "opened", true, 1000);
            m.nameField.text = "";
            m.nameField.forceActiveFocus();
            keyClick(Qt.Key_Space); keyClick(Qt.Key_Space); keyClick(Qt.Key_Space);
            compare(m.draftName, "   ");
            mouseClick(findChild(m.renameDialog.footer, "renameButton"));
            compare(top.record(1).project, "   ");
            compare(saves.count, 1);
            compare(top.savedSession(top.record(1).id).project, "   ");
            AppModel.rename(top.record(1).id, "delta");
            AppModel.save();
        }

        function test_cancel_changes_nothing_and_reopening_shows_the_current_name() {
            const m = makeMenu(0);
            m.trigger(0);
            tryCompare(m.renameDialog, "opened", true, 1000);
            m.draftName = "typed but cancelled";
            mouseClick(findChild(m.renameDialog.footer, "cancelButton"));
            tryCompare(m, "renaming", false, 1000);
            compare(top.record(0).project, "gamma");
            compare(saves.count, 0);
            m.trigger(0);
            compare(m.draftName, "gamma");
            m.renameDialog.reject();
        }

        function test_rename_saves_the_new_name() {
            const m = makeMenu(0);
            m.trigger(0);
            tryCompare(m.renameDialog, "opened", true, 1000);
            m.draftName = "gamma two";
            m.renameDialog.accept();
            compare(top.record(0).project, "gamma two");
            compare(saves.count, 1);
            compare(top.savedSession(top.record(0).id).project, "gamma two");
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        // A name holding an override or tag characters opens with them written as marks, which
        // cannot reorder the field; left as it is, the stored name stays; edited, the marks
        // still stand for their characters, and a mark deleted takes its character away.
        function test_a_name_with_hidden_characters_opens_as_its_marks_and_keeps_them() {
            const spoofed = "rlo\u202Egpj.exe\u{E0041}";
            AppModel.rename(top.record(0).id, spoofed);
            const shown = "rlo<U+202E>gpj.exe<U+E0041>";
            const cases = [{ shown: shown, edit: "", name: spoofed }, { shown: shown, edit: "2", name: spoofed + "2" },
                           { shown: shown + "2", edit: "rlogpj.exe", name: "rlogpj.exe", replace: true }];
            for (const c of cases) {
                const m = makeMenu(0);
                m.trigger(0);
                tryCompare(m.renameDialog, "opened", true, 1000);
                compare(m.nameField.text, c.shown);
                if (c.replace)
                    m.nameField.text = "";
                m.nameField.insert(m.nameField.length, c.edit);
                m.draftName = m.nameField.text;
                mouseClick(findChild(m.renameDialog.footer, "renameButton"));
                compare(top.record(0).project, c.name);
            }
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        FontMetrics {
            id: fieldMetrics
        }

        // In a name with right-to-left letters a mark reads as one piece, left to right, whatever
        // stands beside it (a number after it drew its "<" on the far side of the digits), and its
        // box sits on it: it starts at the left of the mark's "<" and is as wide as its text, in
        // Hebrew and Arabic as in Latin. The name saved is the name, with its hidden character.
        function test_a_mark_reads_as_one_piece_on_its_box_in_right_to_left_names() {
            const cases = ["\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8\u200B\u05E9\u05E0\u05D9", "\u05DE\u05D7\u05D9\u05E8\u200B100",
                           "\u0645\u0634\u0631\u0648\u0639\u200B2", "ws\u200B100"];
            for (const name of cases) {
                AppModel.rename(top.record(0).id, name);
                const m = makeMenu(0);
                m.trigger(0);
                tryCompare(m.renameDialog, "opened", true, 1000);
                const field = m.nameField;
                fieldMetrics.font = field.font;
                const start = field.text.indexOf("<U+200B>"), end = start + 8;
                verify(start > 0, field.text);
                // Each character of the mark stands just right of the one before it (the places at
                // its two ends are where the text around it goes on).
                for (let i = start + 2; i < end; ++i) {
                    const step = field.positionToRectangle(i).x - field.positionToRectangle(i - 1).x;
                    const wide = fieldMetrics.advanceWidth(field.text[i - 1]);
                    verify(Math.abs(step - wide) <= 1, name + ": " + i + " steps " + step + " for " + wide);
                }
                const boxes = TestSupport.itemsNamed(field, "markBox");
                compare(boxes.length, 1, name);
                const box = boxes[0].mapToItem(field, 1, 0);
                const left = field.positionToRectangle(start + 1).x - fieldMetrics.advanceWidth("<") + field.leftPadding;
                verify(Math.abs(box.x - left) <= 1.5, name + ": box at " + box.x + ", mark at " + left);
                verify(Math.abs(boxes[0].width - 2 - fieldMetrics.advanceWidth("<U+200B>")) <= 1.5, name + ": " + boxes[0].width);
                m.draftName = field.text;
                mouseClick(findChild(m.renameDialog.footer, "renameButton"));
                compare(top.record(0).project, name);
            }
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        // What is typed is saved as typed: "<U+200B>" typed is those eight characters, never a
        // zero-width space. A name's own hidden characters stay marks until an edit cuts into one,
        // which takes the whole mark.
        function test_typed_mark_text_is_saved_as_typed() {
            const cases = [
                { from: "gamma", keys: "fix <U+200B> bug", shown: "fix <U+200B> bug", name: "fix <U+200B> bug" },
                { from: "lit\u202Eeral", end: true, keys: "<U+202E>", shown: "lit<U+202E>eral<U+202E>",
                  name: "lit\u202Eeral<U+202E>" },
                { from: "lit\u202Eeral", end: true, backspaces: 5, keys: "x", shown: "litx", name: "litx" },
            ];
            for (const c of cases) {
                AppModel.rename(top.record(0).id, c.from);
                const m = makeMenu(0);
                m.trigger(0);
                tryCompare(m.renameDialog, "opened", true, 1000);
                m.nameField.forceActiveFocus();
                if (c.end)
                    keyClick(Qt.Key_End);
                for (let i = 0; i < (c.backspaces || 0); ++i)
                    keyClick(Qt.Key_Backspace);
                for (const ch of c.keys)
                    keyClick(ch);
                compare(m.nameField.text, c.shown);
                keyClick(Qt.Key_Return);
                tryCompare(m, "renaming", false, 1000);
                compare(top.record(0).project, c.name);
                compare(top.savedSession(top.record(0).id).project, c.name);
            }
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        // An edit over a name's real mark keeps exactly what was typed or pasted and takes the
        // mark whole: the selection before the edit tells typing "<" over the mark from deleting
        // the rest of it. Typing after the mark keeps it.
        function test_an_edit_over_a_mark_keeps_what_was_typed() {
            const from = "ws\u2066old";  // shown "ws<U+2066>old", the mark from 2 to 10
            const cases = [
                { select: [0, 13], paste: "ws<U+2066>new", name: "ws<U+2066>new" },
                { select: [2, 10], keys: "<U+200B>", name: "ws<U+200B>old" },
                { select: [2, 10], paste: "<U+200B>", name: "ws<U+200B>old" },
                { select: [4, 6], keys: "x", name: "wsxold" },
                { select: [1, 3], paste: "<U+202E>", name: "w<U+202E>old" },
                { select: [2, 10], backspace: true, name: "wsold" },
                { select: [13, 13], keys: "2", name: "ws\u2066old2" },
                { select: [10, 10], keys: "<", name: "ws\u2066<old" },
            ];
            for (const c of cases) {
                AppModel.rename(top.record(0).id, from);
                const m = makeMenu(0);
                m.trigger(0);
                tryCompare(m.renameDialog, "opened", true, 1000);
                compare(m.nameField.text, "ws<U+2066>old");
                m.nameField.forceActiveFocus();
                m.nameField.select(c.select[0], c.select[1]);
                if (c.paste !== undefined) {
                    TestSupport.setClipboardText(c.paste);
                    keyClick(Qt.Key_V, Qt.ControlModifier);
                }
                for (const ch of c.keys || "")
                    keyClick(ch);
                if (c.backspace)
                    keyClick(Qt.Key_Backspace);
                keyClick(Qt.Key_Return);
                tryCompare(m, "renaming", false, 1000);
                compare(top.record(0).project, c.name, JSON.stringify(c));
            }
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        // Each mark's box is drawn over the mark itself: from the caret's place before it to the
        // caret's place after it, in the field with its padding.
        function test_the_marks_boxes_sit_on_their_marks() {
            AppModel.rename(top.record(0).id, "a\u202Eb\u200Bc");
            const m = makeMenu(0);
            m.trigger(0);
            tryCompare(m.renameDialog, "opened", true, 1000);
            const field = m.nameField;
            compare(field.text, "a<U+202E>b<U+200B>c");
            const boxes = TestSupport.itemsNamed(field, "markBox");
            compare(boxes.length, 2);
            const marks = [[1, 9], [10, 18]];
            for (let i = 0; i < marks.length; ++i) {
                // Copied: a rect read from a property follows the property.
                field.cursorPosition = marks[i][0];
                const start = { x: field.cursorRectangle.x, y: field.cursorRectangle.y };
                field.cursorPosition = marks[i][1];
                const end = { x: field.cursorRectangle.x };
                const at = boxes[i].mapToItem(field, 0, 0);
                fuzzyCompare(at.x, start.x - 1, 1, "box " + i + " x");
                fuzzyCompare(at.y, start.y + 1, 1, "box " + i + " y");
                fuzzyCompare(boxes[i].width, end.x - start.x + 2, 1, "box " + i + " width");
            }
            m.renameDialog.reject();
            AppModel.rename(top.record(0).id, "gamma");
            AppModel.save();
        }

        function test_restart_resume_and_stop_change_runtime_state_only() {
            const id = top.record(0).id;
            const m = makeMenu(0);
            AppModel.maximizedSessionID = top.record(1).id;
            m.trigger(2); // resume: the same as restart
            compare(top.record(0).state, "running");
            compare(AppModel.maximizedSessionID, "", "restart returns to the grid");
            AppModel.maximizedSessionID = id;
            m.trigger(5); // stop
            compare(top.record(0).state, "stopped");
            compare(top.record(0).cost, "");
            compare(AppModel.maximizedSessionID, id, "stop keeps the pane maximized");
            m.trigger(1);
            compare(top.record(0).state, "running");
            compare(saves.count, 0, "nothing of this is saved");
            AppModel.maximizedSessionID = "";
        }

        function test_close_removes_the_pane_and_saves() {
            verify(AppModel.addSession("terminal", "doomed", "/tmp/doomed", false, "claude"));
            const row = AppModel.selectedSessions.count - 1;
            const m = makeMenu(row);
            saves.clear();
            m.trigger(6);
            compare(AppModel.selectedSessions.count, row);
            compare(saves.count, 1);
        }
    }
}
