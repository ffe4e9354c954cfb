import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Sheets

// The add-session sheet's folder chooser in a window of the app's first size: where it opens,
// hidden folders, a typed path, a new folder, and its look in both palettes.
Item {
    id: top
    width: 1240
    height: 780

    Component {
        id: addSheet
        AddSessionSheet {
            x: (top.width - width) / 2
            y: 80
        }
    }

    TestCase {
        id: t
        name: "FolderChooser"
        when: windowShown

        function sheetWith(selected, recents) {
            const s = createTemporaryObject(addSheet, top, { recents: recents });
            if (selected !== undefined)
                s.selectedDir = selected;
            return s;
        }
        function openChooser(s) {
            const c = findChild(s, "folderChooser");
            mouseClick(findChild(s, "browseRow"));
            tryVerify(() => c.opened);
            return c;
        }
        function part(c, name) { return findChild(c.contentItem, name); }
        function listed(c) {
            const out = [];
            for (let i = 0; i < c.folders.count; ++i)
                out.push(c.folders.nameAt(i));
            return out;
        }
        function close(c) {
            c.close();
            tryVerify(() => !c.visible);
        }

        function test_opens_at_the_selected_folder_else_the_most_recent_one_there() {
            const root = TestSupport.folderTree("start", ["web/src", "api", "gone"]);
            // The sheet preselects the most recent folder; the chooser opens there.
            let s = sheetWith(undefined, [root + "/web", root + "/api"]);
            compare(s.selectedDir, root + "/web");
            let c = openChooser(s);
            compare(c.folder, root + "/web");
            compare(c.pathField.text, root + "/web");
            tryVerify(() => listed(c).join() === "src");
            close(c);
            // Another folder selected in the sheet: there.
            mouseClick(TestSupport.itemsNamed(s, "dirRow").filter(r => r.path === root + "/api")[0]);
            c = openChooser(s);
            compare(c.folder, root + "/api");
            close(c);
            // The selected folder was deleted since: the most recent folder that is still there.
            TestSupport.removeFolder(root + "/gone");
            s = sheetWith(root + "/gone", [root + "/gone", root + "/api"]);
            c = openChooser(s);
            compare(c.folder, root + "/api");
            close(c);
            // Nothing selected and no recent folder: the home folder.
            s = sheetWith(undefined, []);
            c = openChooser(s);
            compare(c.folder, TestSupport.homePath());
            close(c);
        }

        // Closing lets the listing go (a folder may hold hundreds of thousands of folders);
        // opening at the same folder again lists it again.
        function test_closing_drops_the_listing_and_reopening_reads_it_again() {
            const root = TestSupport.folderTree("reopen", ["web/src", "web/lib"]);
            const s = sheetWith(root + "/web", []);
            let c = openChooser(s);
            tryVerify(() => listed(c).join() === "lib,src");
            close(c);
            compare(c.folders.count, 0);
            c = openChooser(s);
            compare(c.folder, root + "/web");
            tryVerify(() => listed(c).join() === "lib,src");
            close(c);
        }

        // The list draws from the listing itself, row by row: no array of the folder's names is
        // made for it (for a folder of a million folders that array outlived the chooser until the
        // script engine collected it, and collecting it froze the window). Its rows follow the
        // listing, and closing empties them.
        function test_the_list_draws_its_rows_from_the_listing_and_closing_empties_it() {
            const root = TestSupport.folderTree("model", ["web/src", "web/lib", "web/.git"]);
            const s = sheetWith(root + "/web", []);
            const c = openChooser(s);
            const list = part(c, "folderList");
            verify(list.model === c.folders, "the list's model is " + list.model);
            tryVerify(() => list.count === 2 && listed(c).join() === "lib,src");
            c.showHidden = true;
            tryVerify(() => list.count === 3);
            list.forceLayout();
            const names = [];
            for (let i = 0; i < list.count; ++i)
                names.push(list.itemAtIndex(i).fileName);
            compare(names.join(), ".git,lib,src");
            close(c);
            compare(list.count, 0);
        }

        function test_a_folder_of_hidden_folders_offers_them_and_can_be_chosen() {
            const root = TestSupport.folderTree("hidden", [".config", ".cache", ".local/share"], ["notes.txt"]);
            const s = sheetWith(root, []);
            const c = openChooser(s);
            tryVerify(() => part(c, "emptyFolder").visible);
            const hint = part(c, "showHiddenHint");
            tryVerify(() => hint.visible && hint.text === "Show 3 hidden folders");
            TestSupport.grabWindow(top, "folder_chooser_only_hidden");
            mouseClick(hint);
            tryVerify(() => listed(c).join() === ".cache,.config,.local");
            // The footer's switch hides them again.
            mouseClick(part(c, "showHiddenToggle"));
            tryCompare(c.folders, "count", 0);
            // "Choose" with nothing highlighted chooses the folder shown.
            mouseClick(part(c, "chooseButton"));
            tryVerify(() => !c.visible);
            compare(s.selectedDir, root);
        }

        function test_a_typed_or_pasted_path_is_gone_to_and_return_again_chooses() {
            const root = TestSupport.folderTree("typed", ["one/two", "space name"], ["file.txt"]);
            const s = sheetWith(root, []);
            const c = openChooser(s);
            verify(c.pathField.activeFocus, "the path field has the keyboard");
            c.pathField.text = "  '" + root + "/space name'\n";
            keyClick(Qt.Key_Return);
            compare(c.folder, root + "/space name");
            compare(c.problem, "");
            // Relative to the folder shown, and up again.
            c.pathField.text = "../one";
            keyClick(Qt.Key_Return);
            compare(c.folder, root + "/one");
            // Not a folder: it says why and stays.
            c.pathField.text = root + "/file.txt";
            keyClick(Qt.Key_Return);
            compare(c.problem, root + "/file.txt is a file, not a folder.");
            compare(c.folder, root + "/one");
            c.pathField.text = root + "/missing";
            keyClick(Qt.Key_Return);
            compare(c.problem, "There is no folder at " + root + "/missing.");
            // Down highlights the first folder; Return on the path shown chooses it.
            c.pathField.text = root + "/one";
            tryVerify(() => listed(c).join() === "two");
            keyClick(Qt.Key_Down);
            compare(c.picked, "two");
            keyClick(Qt.Key_Return);
            tryVerify(() => !c.visible);
            compare(s.selectedDir, root + "/one/two");
        }

        // A folder named with a right-to-left override ("rlo<RLO>gpj.exe" reads "rloexe.jpg") shows
        // it as a mark in the sheet's row, the list and the path field; the path field's marks
        // stand for the override, so Return there chooses the true folder, and an edit keeps it.
        // The same eight characters typed are text: a folder literally named so is reached.
        function test_a_folder_name_shows_its_hidden_characters_as_marks() {
            const spoofed = "rlo\u202Egpj.exe";
            const root = TestSupport.folderTree("spoof", [spoofed + "/inner"]);
            const s = sheetWith(root + "/" + spoofed, [root + "/" + spoofed]);
            const marked = item => {
                const shown = String(item.text);
                verify(shown.indexOf("&lt;U+202E&gt;") > 0 && shown.indexOf("\u202E") < 0, shown);
            };
            marked(findChild(TestSupport.itemsNamed(s, "dirRow")[0], "displayPath"));
            const c = openChooser(s);
            compare(c.pathField.text, root + "/rlo<U+202E>gpj.exe");
            mouseClick(findChild(c.contentItem, "upButton"));
            tryVerify(() => listed(c).join() === spoofed);
            waitForRendering(c.contentItem);
            marked(TestSupport.itemsNamed(c.contentItem, "folderName")[0]);
            TestSupport.grabWindow(top, "folder_chooser_hidden_characters");
            verify(c.go(root + "/" + spoofed));
            c.pathField.forceActiveFocus();
            keyClick(Qt.Key_End);
            for (const ch of "/inner")
                keyClick(ch);
            compare(c.pathField.text, root + "/rlo<U+202E>gpj.exe/inner");
            keyClick(Qt.Key_Return);
            compare(c.folder, root + "/" + spoofed + "/inner");
            const literal = TestSupport.folderTree("literal", ["lit<U+202E>eral"]);
            c.pathField.text = literal + "/lit<U+202E>eral";
            keyClick(Qt.Key_Return);
            compare(c.problem, "");
            compare(c.folder, literal + "/lit<U+202E>eral");
            c.pathField.text = root + "/rlo<U+202E>gpj.exe";
            keyClick(Qt.Key_Return);
            compare(c.problem, "There is no folder at " + root + "/rlo<U+202E>gpj.exe.");
            compare(c.folder, literal + "/lit<U+202E>eral");
            // Its line for a path holding the override itself: the mark, isolated.
            c.pathField.text = root + "/gone\u202Etxt.exe";
            keyClick(Qt.Key_Return);
            compare(c.problem, "There is no folder at \u2068" + root + "/gone<U+202E>txt.exe\u2069.");
            verify(c.go(root + "/" + spoofed));
            keyClick(Qt.Key_Return);
            tryVerify(() => !c.visible);
            compare(s.selectedDir, root + "/" + spoofed);
        }

        function test_a_new_folder_is_made_here_highlighted_and_chosen() {
            const root = TestSupport.folderTree("made", ["old"]);
            const s = sheetWith(root, []);
            const c = openChooser(s);
            mouseClick(part(c, "newFolderButton"));
            verify(c.nameField.activeFocus);
            for (const ch of "old")
                keyClick(ch);
            keyClick(Qt.Key_Return);
            compare(c.problem, "“old” already exists here.");
            c.nameField.text = " fresh ";
            keyClick(Qt.Key_Return);
            verify(TestSupport.isFolder(root + "/fresh"));
            compare(c.picked, "fresh");
            verify(!c.naming);
            tryVerify(() => listed(c).join() === "fresh,old");
            mouseClick(part(c, "chooseButton"));
            tryVerify(() => !c.visible);
            compare(s.selectedDir, root + "/fresh");
        }

        // The new folder's name shows a pasted override as its mark, and the folder is made with
        // the character itself.
        function test_a_new_folder_s_name_shows_a_pasted_override_as_a_mark() {
            const root = TestSupport.folderTree("madeMarked", ["old"]);
            const s = sheetWith(root, []);
            const c = openChooser(s);
            mouseClick(part(c, "newFolderButton"));
            verify(c.nameField.activeFocus);
            TestSupport.setClipboardText("n\u202Egpj.exe");
            keyClick(Qt.Key_V, Qt.ControlModifier);
            compare(c.nameField.text, "n<U+202E>gpj.exe");
            compare(TestSupport.itemsNamed(c.nameField, "markBox").length, 1);
            keyClick(Qt.Key_Return);
            compare(c.problem, "");
            verify(TestSupport.isFolder(root + "/n\u202Egpj.exe"));
            verify(!TestSupport.isFolder(root + "/n<U+202E>gpj.exe"));
            compare(c.picked, "n\u202Egpj.exe");
            close(c);
        }

        function test_drawn_in_the_app_palette_data() {
            return [{ tag: "dark", dark: true, surface: "#14161c", list: "#0f1116" },
                    { tag: "light", dark: false, surface: "#f3f4f7", list: "#f4f5f8" }];
        }
        function test_drawn_in_the_app_palette(data) {
            Theme.animationDuration = 0;
            Theme.dark = data.dark;
            const root = TestSupport.folderTree("palette", ["backend", "docs", "frontend", ".git", ".github"]);
            const s = sheetWith(root, [root]);
            const c = openChooser(s);
            tryVerify(() => listed(c).join() === "backend,docs,frontend");
            c.picked = "docs";
            waitForRendering(c.contentItem);
            const file = TestSupport.grabWindow(top, "folder_chooser_" + data.tag);
            const at = c.contentItem.mapToItem(null, 10, 42);
            compare(TestSupport.pixel(file, at.x, at.y), data.surface, "the chooser's surface");
            const inList = part(c, "folderList").mapToItem(null, part(c, "folderList").width - 20, part(c, "folderList").height - 10);
            compare(TestSupport.pixel(file, inList.x, inList.y), data.list, "the list's well");
            close(c);
            Theme.dark = true;
            Theme.animationDuration = 300;
        }
    }
}
