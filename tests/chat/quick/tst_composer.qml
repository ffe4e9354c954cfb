import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Chat

// The composer on a chat session that runs no sidecar: Return and Shift+Return, the editor's
// height limits, pasting files, the slash pop-up and its keys, input-method composition; and
// gallery shots of the composer and its controls row, dark and light.
Item {
    id: top
    width: 560
    height: 520

    Rectangle {
        anchors.fill: parent
        color: Theme.pair("0f1116", "f4f5f8", 1)
    }
    Component {
        id: composerComponent
        ChatComposer {
            anchors.bottom: parent ? parent.bottom : undefined
            anchors.left: parent ? parent.left : undefined
            anchors.right: parent ? parent.right : undefined
        }
    }

    Component {
        id: pickerComponent
        HistoryPicker {}
    }

    TestCase {
        name: "Composer"
        when: windowShown

        property var session: null
        property var composer: null

        function init() {
            Theme.animationDuration = 0;
            session = TestSupport.newSession("claude");
            composer = createTemporaryObject(composerComponent, top, { session: session });
            composer.focusEditor();
        }
        function edit() { return findChild(composer, "chatEdit"); }
        function popup() { return findChild(composer, "slashPopup"); }
        function rows() {
            const out = [];
            const walk = item => {
                for (let i = 0; i < item.children.length; ++i) {
                    const c = item.children[i];
                    if (c.objectName === "slashRow")
                        out.push(c);
                    walk(c);
                }
            };
            walk(popup());
            return out;
        }
        function type(text) {
            for (const ch of text)
                keyClick(ch);
        }

        function test_return_sends_and_shift_return_breaks_the_line() {
            type("one");
            keyClick(Qt.Key_Return, Qt.ShiftModifier);
            type("two");
            compare(edit().text, "one\ntwo");
            compare(session.messageCount, 0);
            keyClick(Qt.Key_Enter, Qt.KeypadModifier);
            compare(session.messageCount, 1);
            compare(edit().text, "");
            keyClick(Qt.Key_Return);  // nothing left to send
            compare(session.messageCount, 1);
        }

        function test_height_grows_between_its_limits() {
            const editor = findChild(composer, "chatTextEditor");
            const oneLine = editor.height;
            verify(oneLine >= 22 && oneLine < 40);
            for (let i = 0; i < 12; ++i) {
                type("line");
                keyClick(Qt.Key_Return, Qt.ShiftModifier);
            }
            compare(editor.height, 92);
            edit().selectAll();
            keyClick(Qt.Key_Backspace);
            tryCompare(editor, "height", oneLine);
        }

        function test_return_while_composing_commits_the_candidate() {
            type("a");
            TestSupport.compose(edit(), "候補");
            keyClick(Qt.Key_Return);
            compare(edit().text, "a候補");
            compare(session.messageCount, 0);
            keyClick(Qt.Key_Return);
            compare(session.messageCount, 1);
        }

        function test_pasting_two_files_makes_two_chips_in_order_and_no_text() {
            TestSupport.setClipboardFiles([TestSupport.writeFile("shot.png", 90), TestSupport.writeFile("notes.txt", 0)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            const list = composer.model.attachments;
            tryCompare(list, "count", 2);  // files are read off the GUI thread
            compare(list.data(list.index(0, 0), Qt.UserRole + 2), "shot.png");
            compare(list.data(list.index(0, 0), Qt.UserRole + 3), true);
            compare(list.data(list.index(1, 0), Qt.UserRole + 2), "notes.txt");
            compare(edit().text, "");
            keyClick(Qt.Key_Insert, Qt.ShiftModifier);
            tryCompare(list, "count", 4);
            keyClick(Qt.Key_Return);  // no text, but attachments go
            compare(session.messageCount, 1);
            compare(list.count, 0);
        }

        // A pasted file whose name holds a line break: its chip shows the whole name on one line,
        // the break as a mark.
        function test_a_line_break_in_a_pasted_file_name_shows_as_a_mark() {
            TestSupport.setClipboardFiles([TestSupport.writeFile("new\nline.txt", 0)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model.attachments, "count", 1);
            const name = findChild(composer, "chipName");
            const shown = String(name.text);
            verify(shown.startsWith("new") && shown.indexOf("&lt;U+000A&gt;") > 0 && shown.endsWith("line.txt"), shown);
            compare(name.lineCount, 1);
        }

        function test_a_text_file_named_as_a_picture_is_refused_with_its_reason() {
            TestSupport.setClipboardFiles([TestSupport.writeFile("diagram.png", 0), TestSupport.writeFile("notes.txt", 0)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            const list = composer.model.attachments;
            tryCompare(list, "count", 1);
            compare(list.data(list.index(0, 0), Qt.UserRole + 2), "notes.txt");
            const notice = findChild(composer, "attachmentNotice");
            verify(notice.visible);
            verify(notice.text.startsWith("diagram.png was not attached"), notice.text);
            compare(edit().length, 0);
            type("a");  // the next edit clears the notice
            verify(!notice.visible);
        }

        // A file's name in the refusal is text, never markup: the line reads the name as it is.
        function test_a_refused_file_s_name_is_never_markup() {
            const name = "<h1>Attached OK<font color=\"#101216\">x.png";
            TestSupport.setClipboardFiles([TestSupport.writeFile(name, 0)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            const notice = findChild(composer, "attachmentNotice");
            tryVerify(() => notice.visible);
            compare(notice.textFormat, Text.PlainText);
            verify(notice.text.startsWith(name + " was not attached"), notice.text);
        }

        // Hidden characters pasted into the draft stand in the editor as their marks before
        // anything is sent: an override reorders nothing, a notice says so, and the message is
        // the text the editor shows. A paste without any is left as it is.
        function test_a_pasted_draft_shows_its_hidden_characters_before_it_is_sent() {
            const cases = [
                { pasted: "keep \u202Eabc\u2069 q\u{E0041}\u{E0042}v\uFE0Fz\u200Bw",
                  shown: "keep <U+202E>abc<U+2069> q<U+E0041><U+E0042>v<U+FE0F>z<U+200B>w", marks: 6 },
                { pasted: "/compact keep \u202Eabc", shown: "/compact keep <U+202E>abc", marks: 1 },
                { pasted: "\u05E9\u05DC\u05D5\u05DD \u2764\uFE0F ok\nline", shown: "\u05E9\u05DC\u05D5\u05DD \u2764\uFE0F ok\nline", marks: 0 },
            ];
            for (const c of cases) {
                edit().clear();
                TestSupport.setClipboardText(c.pasted);
                keyClick(Qt.Key_V, Qt.ControlModifier);
                tryCompare(edit(), "text", c.shown);
                tryCompare(composer.model, "hiddenCount", c.marks);
                compare(findChild(composer, "hiddenNotice").visible, c.marks > 0);
                if (c.marks > 0)
                    verify(findChild(composer, "hiddenNoticeText").text.indexOf("U+202E") >= 0);
            }
            const sent = session.messageCount;
            edit().clear();
            TestSupport.setClipboardText(cases[0].pasted);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            keyClick(Qt.Key_Return);  // at once: what came in is marked before it goes
            compare(session.messageCount, sent + 1);
            compare(TestSupport.sentText(session), cases[0].shown);
            tryCompare(composer.model, "hiddenCount", 0);
        }

        // "Remove them" takes the marks out and nothing else; mark text typed by the user is text.
        function test_remove_takes_the_marks_out_and_keeps_typed_text() {
            TestSupport.setClipboardText("a\u202Eb");
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(edit(), "text", "a<U+202E>b");
            type("<U+200B>c");
            tryCompare(composer.model, "hiddenCount", 1);
            waitForRendering(composer);  // the notice laid out where the click goes
            edit().select(9, 12);  // "b<U", after the mark
            mouseClick(findChild(composer, "removeHidden"));
            compare(edit().text, "ab<U+200B>c");
            compare(composer.model.hiddenCount, 0);
            compare([edit().selectionStart, edit().selectionEnd], [1, 4]);  // the same text selected
            keyClick(Qt.Key_Z, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 1);
            edit().cursorPosition = 5;  // inside the mark
            waitForRendering(composer);
            mouseClick(findChild(composer, "removeHidden"));
            compare(edit().text, "ab<U+200B>c");
            compare(edit().cursorPosition, 1);
            verify(!findChild(composer, "hiddenNotice").visible);
            // A mark cut into is text from then on: it no longer counts, and Remove leaves it.
            edit().cursorPosition = edit().length;
            TestSupport.setClipboardText("\u200B");
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 1);
            keyClick(Qt.Key_Backspace);
            tryCompare(composer.model, "hiddenCount", 0);
            compare(edit().text, "ab<U+200B>c<U+200B");
        }

        function pink() { return JSON.stringify(TestSupport.pinkStretches(edit())); }

        // A real mark stays pink and counted when text is typed beside it, and through undo and
        // redo of a paste and of "Remove them"; the mark's text typed beside it never is.
        function test_marks_stay_marks_through_typing_undo_and_redo() {
            const steps = [
                { act: () => { TestSupport.setClipboardText("\u202Eb"); keyClick(Qt.Key_V, Qt.ControlModifier); },
                  text: "<U+202E>b", count: 1, pink: [[0, 8]] },
                { act: () => { edit().cursorPosition = 8; type("x<U+200B>"); },
                  text: "<U+202E>x<U+200B>b", count: 1, pink: [[0, 8]] },
                { act: () => { edit().cursorPosition = 0; type("y"); },
                  text: "y<U+202E>x<U+200B>b", count: 1, pink: [[1, 9]] },
                { act: () => { edit().cursorPosition = 1; type("za"); },
                  text: "yza<U+202E>x<U+200B>b", count: 1, pink: [[3, 11]] },
                { act: () => { waitForRendering(composer); mouseClick(findChild(composer, "removeHidden")); },
                  text: "yzax<U+200B>b", count: 0, pink: [] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier),
                  text: "yza<U+202E>x<U+200B>b", count: 1, pink: [[3, 11]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier),
                  text: "yzax<U+200B>b", count: 0, pink: [] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier),
                  text: "yza<U+202E>x<U+200B>b", count: 1, pink: [[3, 11]] },
                { act: () => { edit().selectAll(); TestSupport.setClipboardText("p\u200Bq\u202Er"); keyClick(Qt.Key_V, Qt.ControlModifier); },
                  text: "p<U+200B>q<U+202E>r", count: 2, pink: [[1, 9], [10, 18]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier),
                  text: "yza<U+202E>x<U+200B>b", count: 1, pink: [[3, 11]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier),
                  text: "p<U+200B>q<U+202E>r", count: 2, pink: [[1, 9], [10, 18]] },
            ];
            for (let i = 0; i < steps.length; ++i) {
                const step = steps[i];
                step.act();
                tryCompare(edit(), "text", step.text, 1000, "step " + i);
                tryCompare(composer.model, "hiddenCount", step.count, 1000, "step " + i);
                tryVerify(() => pink() === JSON.stringify(step.pink), 1000, "step " + i + ": " + pink());
                compare(findChild(composer, "hiddenNotice").visible, step.count > 0, "step " + i);
            }
        }

        // Marks side by side are one pink stretch; each is still a mark of its own: the mark's
        // text typed after them is text, a key that cuts into the second leaves the first, and
        // undo, redo and "Remove them" and its undo bring back each one. A key that cuts into a
        // mark is one step to undo, the mark coming back whole with its text.
        function test_marks_side_by_side_stay_marks_of_their_own() {
            const undo = () => keyClick(Qt.Key_Z, Qt.ControlModifier);
            const redo = () => keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier);
            const steps = [
                { act: () => { TestSupport.setClipboardText("\u200B\u202Eb"); keyClick(Qt.Key_V, Qt.ControlModifier); },
                  text: "<U+200B><U+202E>b", count: 2, pink: [[0, 16]] },
                { act: () => { edit().cursorPosition = 16; type("<U+2066>"); },
                  text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
                { act: () => { edit().cursorPosition = 16; keyClick(Qt.Key_Backspace); },
                  text: "<U+200B><U+202E<U+2066>b", count: 1, pink: [[0, 8]] },
                { act: undo, text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
                { act: redo, text: "<U+200B><U+202E<U+2066>b", count: 1, pink: [[0, 8]] },
                { act: undo, text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
                { act: undo, text: "<U+200B><U+202E>b", count: 2, pink: [[0, 16]] },
                { act: redo, text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
                { act: () => { waitForRendering(composer); mouseClick(findChild(composer, "removeHidden")); },
                  text: "<U+2066>b", count: 0, pink: [] },
                { act: undo, text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
                { act: redo, text: "<U+2066>b", count: 0, pink: [] },
                { act: undo, text: "<U+200B><U+202E><U+2066>b", count: 2, pink: [[0, 16]] },
            ];
            for (let i = 0; i < steps.length; ++i) {
                const step = steps[i];
                step.act();
                tryCompare(edit(), "text", step.text, 1000, "step " + i);
                tryCompare(composer.model, "hiddenCount", step.count, 1000, "step " + i);
                tryVerify(() => pink() === JSON.stringify(step.pink), 1000, "step " + i + ": " + pink());
            }
            compare(composer.model.hiddenNotice.indexOf("2 hidden characters (U+200B, U+202E)") >= 0, true, composer.model.hiddenNotice);
        }

        // Keys that delete run on as one step to undo: a run of Backspaces that cuts into a mark
        // and on through it gives the mark back whole when undone, and again after its redo. An
        // edit after an undo ends the redo steps, and the marks before it stay marks.
        function test_a_run_of_deletions_through_a_mark_is_undone_whole() {
            const undo = () => keyClick(Qt.Key_Z, Qt.ControlModifier);
            const redo = () => keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier);
            const back = n => { for (let i = 0; i < n; ++i) keyClick(Qt.Key_Backspace); };
            const steps = [
                { act: () => { type("ab"); TestSupport.setClipboardText("\u200B"); keyClick(Qt.Key_V, Qt.ControlModifier); type("cd"); },
                  text: "ab<U+200B>cd", count: 1, pink: [[2, 10]] },
                { act: () => back(5), text: "ab<U+20", count: 0, pink: [] },
                { act: undo, text: "ab<U+200B>cd", count: 1, pink: [[2, 10]] },
                { act: redo, text: "ab<U+20", count: 0, pink: [] },
                { act: undo, text: "ab<U+200B>cd", count: 1, pink: [[2, 10]] },
                { act: () => { edit().cursorPosition = 0; keyClick(Qt.Key_Delete); }, text: "b<U+200B>cd", count: 1, pink: [[1, 9]] },
                { act: redo, text: "b<U+200B>cd", count: 1, pink: [[1, 9]] },
                { act: undo, text: "ab<U+200B>cd", count: 1, pink: [[2, 10]] },
                { act: () => { edit().selectAll(); type("z"); }, text: "z", count: 0, pink: [] },
                { act: undo, text: "ab<U+200B>cd", count: 1, pink: [[2, 10]] },
            ];
            for (let i = 0; i < steps.length; ++i) {
                const step = steps[i];
                step.act();
                tryCompare(edit(), "text", step.text, 1000, "step " + i);
                tryCompare(composer.model, "hiddenCount", step.count, 1000, "step " + i);
                tryVerify(() => pink() === JSON.stringify(step.pink), 1000, "step " + i + ": " + pink());
            }
        }

        // The marks the history keeps for undo are bounded: sixty steps that each cut one of
        // 20,000 marks hold more than that, so the oldest states go. Undone, every step brings
        // its text back; the marks of the newest come back as marks, those of the oldest as text.
        function test_the_marks_kept_for_undo_are_bounded() {
            const line = "x\u200B".repeat(10);
            TestSupport.setClipboardText(Array(2000).fill(line).join("\n"));
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 20000, 20000);
            const whole = edit().text;
            for (let k = 0; k < 60; ++k) {
                edit().cursorPosition = k * 91 + 1 - k;
                keyClick(Qt.Key_Delete);
            }
            tryCompare(composer.model, "hiddenCount", 19940);
            for (let k = 0; k < 60; ++k)
                keyClick(Qt.Key_Z, Qt.ControlModifier);
            tryCompare(edit(), "text", whole);
            const back = composer.model.hiddenCount;
            verify(back > 19980 && back < 20000, back);
        }

        // The boxes sit on their marks as the text wraps and scrolls: a run of marks wider than
        // the editor breaks inside a mark (a box on each line), and the marks scrolled into view
        // get theirs.
        function test_mark_boxes_follow_wrapping_and_scrolling() {
            TestSupport.setClipboardText("\u200B".repeat(20));
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 20);
            tryVerify(() => pink() === "[[0,160]]", 1000, pink());
            edit().clear();
            let pasted = "";
            for (let i = 0; i < 300; ++i)
                pasted += "word" + (i % 50 ? " " : "\u202E ");
            TestSupport.setClipboardText(pasted);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 6);
            const last = edit().text.lastIndexOf("<U+202E>");
            const drawn = () => TestSupport.pinkStretches(edit());
            tryVerify(() => { const d = drawn(); return d.length > 0 && d[d.length - 1][0] === last && d[0][0] > 4; }, 1000, pink());
            edit().cursorPosition = 0;
            tryVerify(() => { const d = drawn(); return d.length > 0 && d[0][0] === 4 && d[d.length - 1][0] < last; }, 1000, pink());
        }

        // A paste goes in with its hidden characters as marks already, as one step to undo: the
        // document never holds them raw (the editor never lays out or draws the raw text), the
        // plain text pasted beside a mark is never pink, and a character hidden only out of
        // context is judged beside what stands before it (a selector after an emoji).
        function test_a_paste_goes_in_marked_as_one_step() {
            TestSupport.watchRawHidden(edit());
            const paste = (text) => { TestSupport.setClipboardText(text); keyClick(Qt.Key_V, Qt.ControlModifier); };
            const steps = [
                { act: () => paste("a\u202Eb"), now: true, text: "a<U+202E>b", count: 1, pink: [[1, 9]] },
                { act: () => paste("\u200B\u2066c"), now: true, text: "a<U+202E>b<U+200B><U+2066>c", count: 3, pink: [[1, 9], [10, 26]] },
                { act: () => { edit().cursorPosition = 9; paste("x y"); }, now: true,
                  text: "a<U+202E>x yb<U+200B><U+2066>c", count: 3, pink: [[1, 9], [13, 29]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier), text: "a<U+202E>b<U+200B><U+2066>c", count: 3, pink: [[1, 9], [10, 26]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier), text: "a<U+202E>b", count: 1, pink: [[1, 9]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier),
                  text: "a<U+202E>b<U+200B><U+2066>c", count: 3, pink: [[1, 9], [10, 26]] },
                { act: () => { edit().cursorPosition = edit().length; paste("\u2764"); paste("\uFE0F\u200B"); }, now: true,
                  text: "a<U+202E>b<U+200B><U+2066>c\u2764\uFE0F<U+200B>", count: 4, pink: [[1, 9], [10, 26], [29, 37]] },
                { act: () => { edit().selectAll(); paste("\u202E"); }, now: true, text: "<U+202E>", count: 1, pink: [[0, 8]] },
            ];
            for (let i = 0; i < steps.length; ++i) {
                const step = steps[i];
                step.act();
                if (step.now) {
                    compare(edit().text, step.text, "step " + i);
                    compare(composer.model.hiddenCount, step.count, "step " + i);
                    compare(pink(), JSON.stringify(step.pink), "step " + i);
                }
                tryCompare(edit(), "text", step.text, 1000, "step " + i);
                tryCompare(composer.model, "hiddenCount", step.count, 1000, "step " + i);
                tryVerify(() => pink() === JSON.stringify(step.pink), 1000, "step " + i + ": " + pink());
                compare(TestSupport.rawHiddenEdits(), 0, "step " + i);
            }
        }

        // A paste takes out only the marks it reaches into, however the editor reports it: a piece
        // put in at the start of the draft, or of a paragraph, is reported as a change of the whole
        // paragraph. Beside it, a paste one character on, a piece put in as a drop, and pastes and
        // drops over a selection that reaches into a mark.
        function test_a_paste_at_the_start_keeps_the_marks_it_does_not_reach() {
            const paste = (text) => { TestSupport.setClipboardText(text); keyClick(Qt.Key_V, Qt.ControlModifier); };
            const steps = [
                { act: () => paste("keep x\u200By\nnext \u202Ez"), text: "keep x<U+200B>y\nnext <U+202E>z", count: 2, pink: [[6, 14], [21, 29]] },
                { act: () => { keyClick(Qt.Key_Home, Qt.ControlModifier); paste("Hello: "); },
                  text: "Hello: keep x<U+200B>y\nnext <U+202E>z", count: 2, pink: [[13, 21], [28, 36]] },
                { act: () => { edit().cursorPosition = 1; paste("i"); },
                  text: "Hiello: keep x<U+200B>y\nnext <U+202E>z", count: 2, pink: [[14, 22], [29, 37]] },
                { act: () => { edit().cursorPosition = 24; paste("one\ntwo "); },
                  text: "Hiello: keep x<U+200B>y\none\ntwo next <U+202E>z", count: 2, pink: [[14, 22], [37, 45]] },
                { act: () => TestSupport.insertFragment(edit(), 0, 0, "Dropped "),
                  text: "Dropped Hiello: keep x<U+200B>y\none\ntwo next <U+202E>z", count: 2, pink: [[22, 30], [45, 53]] },
                { act: () => TestSupport.insertFragment(edit(), 32, 32, "a\nb "),
                  text: "Dropped Hiello: keep x<U+200B>y\na\nb one\ntwo next <U+202E>z", count: 2, pink: [[22, 30], [49, 57]] },
                { act: () => { edit().select(0, 24); paste("X"); },
                  text: "X+200B>y\na\nb one\ntwo next <U+202E>z", count: 1, pink: [[26, 34]] },
                { act: () => keyClick(Qt.Key_Z, Qt.ControlModifier),
                  text: "Dropped Hiello: keep x<U+200B>y\na\nb one\ntwo next <U+202E>z", count: 2, pink: [[22, 30], [49, 57]] },
                { act: () => TestSupport.insertFragment(edit(), 40, 51, "Y"),
                  text: "Dropped Hiello: keep x<U+200B>y\na\nb one\nY+202E>z", count: 1, pink: [[22, 30]] },
            ];
            for (let i = 0; i < steps.length; ++i) {
                const step = steps[i];
                step.act();
                tryCompare(edit(), "text", step.text, 1000, "step " + i);
                tryCompare(composer.model, "hiddenCount", step.count, 1000, "step " + i);
                tryVerify(() => pink() === JSON.stringify(step.pink), 1000, "step " + i + ": " + pink());
                compare(findChild(composer, "hiddenNotice").visible, step.count > 0, "step " + i);
            }
        }

        // Undo and redo in a draft with a long paragraph they do not touch, and in that paragraph:
        // every paragraph stays laid out (and drawn), with its marks.
        function test_undo_and_redo_beside_a_long_paragraph() {
            let words = [];
            for (let i = 0; i < 1500; ++i)
                words.push(i % 100 ? "word" : "w\u200Bs");
            TestSupport.setClipboardText(words.join(" "));
            keyClick(Qt.Key_V, Qt.ControlModifier);
            keyClick(Qt.Key_Return, Qt.ShiftModifier);
            type("x");
            const whole = edit().text;
            keyClick(Qt.Key_Z, Qt.ControlModifier);
            tryVerify(() => edit().text === whole.slice(0, -2) || edit().text === whole.slice(0, -1), 1000, edit().text.slice(-5));
            compare(TestSupport.paragraphsNotLaidOut(edit()), 0);
            compare(composer.model.hiddenCount, 15);
            keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier);
            tryCompare(edit(), "text", whole);
            compare(TestSupport.paragraphsNotLaidOut(edit()), 0);
            // A key that cuts into a mark, undone: the mark is back whole, and drawn as one.
            edit().cursorPosition = 3;
            keyClick(Qt.Key_Delete);
            tryCompare(composer.model, "hiddenCount", 14);
            keyClick(Qt.Key_Z, Qt.ControlModifier);
            tryCompare(edit(), "text", whole);
            compare(TestSupport.paragraphsNotLaidOut(edit()), 0);
            compare(composer.model.hiddenCount, 15);
            tryVerify(() => JSON.stringify(TestSupport.pinkStretches(edit())) === "[[1,9]]", 1000,
                      JSON.stringify(TestSupport.pinkStretches(edit())));
            waitForRendering(composer);
        }

        // A paste of 10,000 hidden characters is marked whole, taken out by "Remove them", and
        // brought back whole by undo. (Words of ten: a stretch of them side by side that long
        // would go as a chip.)
        function test_a_large_paste_is_marked_removed_and_brought_back() {
            const kinds = ["\u200B", "\u202E", "\u2066", "\u{E0041}", "\u00AD"];
            const marks = ["<U+200B>", "<U+202E>", "<U+2066>", "<U+E0041>", "<U+00AD>"];
            let pasted = "", shown = "", bare = "";
            for (let i = 0; i < 10000; ++i) {
                const gap = i % 10 === 9 ? " " : "";
                pasted += "a" + kinds[i % kinds.length] + gap;
                shown += "a" + marks[i % marks.length] + gap;
                bare += "a" + gap;
            }
            TestSupport.setClipboardText(pasted);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 10000, 20000);
            compare(edit().text, shown);
            waitForRendering(composer);
            mouseClick(findChild(composer, "removeHidden"));
            compare(edit().text, bare);
            compare(composer.model.hiddenCount, 0);
            keyClick(Qt.Key_Z, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 10000, 20000);
            compare(edit().text, shown);
            // The marks in view are drawn, each on its own, and only marks are.
            tryVerify(() => TestSupport.pinkStretches(edit()).length > 5);
            for (const [start, end] of TestSupport.pinkStretches(edit()))
                verify(marks.indexOf(shown.slice(start, end)) >= 0 && shown[start - 1] === "a", shown.slice(start - 1, end + 1));
        }

        // A paste that would leave a stretch Qt cannot break at a word boundary past 40,000
        // characters as it reads (50,000 hidden characters side by side read as 450,000) goes as a
        // text chip that counts its hidden characters; the editor is left as it was. Beside it:
        // a stretch under the bound is marked in place, another such paste joining it goes as a
        // chip, 10,000 marks in words stay in place, and so does a second paragraph.
        function test_a_paste_too_long_to_lay_out_becomes_a_chip() {
            const list = composer.model.attachments;
            const chipName = () => list.count ? list.data(list.index(list.count - 1, 0), Qt.UserRole + 2) : "";
            const paste = (text) => { TestSupport.setClipboardText(text); keyClick(Qt.Key_V, Qt.ControlModifier); };
            type("keep");
            paste("a\u200B".repeat(49999));
            tryCompare(list, "count", 1);
            verify(chipName().startsWith("49,999 hidden characters · Pasted text ("), chipName());
            compare(edit().text, "keep");
            compare(composer.model.hiddenCount, 0);
            paste("a".repeat(99999));
            tryCompare(list, "count", 2);
            verify(/^Pasted text \([0-9.]+ kB\)$/.test(chipName()), chipName());
            compare(edit().text, "keep");
            list.clear();
            edit().clear();
            paste("a\u200B".repeat(4000));  // 36,000 characters as it reads
            tryCompare(composer.model, "hiddenCount", 4000);
            compare(list.count, 0);
            paste("\u200Ba".repeat(1000));  // joins it: 45,000
            tryCompare(list, "count", 1);
            verify(chipName().startsWith("1,000 hidden characters"), chipName());
            compare(composer.model.hiddenCount, 4000);
            keyClick(Qt.Key_Return, Qt.ShiftModifier);
            paste("a\u200B".repeat(1000));
            tryCompare(composer.model, "hiddenCount", 5000);
            compare(list.count, 1);
            list.clear();
            edit().clear();
            paste(Array(10000).fill("word\u200Bs").join(" "));
            tryCompare(composer.model, "hiddenCount", 10000);
            compare(list.count, 0);
        }

        // A key lays its paragraph out again, each mark a piece of its own: a paste that would
        // leave more marks in the paragraphs it goes into than a key there lays out in time goes
        // as a chip named with its count, the draft left as it was; fewer stay in place, and a
        // paste that joins them past the bound goes as a chip too, while a new paragraph starts
        // its own count; a paste's marks are bounded as a whole as well. The bounds are lower in right-to-left text, where each mark is a piece of
        // the other direction (before, 49,500 marks in Hebrew took the window a second a key).
        // Hebrew and Arabic beside Latin.
        function test_a_paste_of_more_marks_than_a_key_lays_out_in_time_becomes_a_chip() {
            const list = composer.model.attachments;
            const chipName = () => list.count ? list.data(list.index(list.count - 1, 0), Qt.UserRole + 2) : "";
            const paste = (text) => { TestSupport.setClipboardText(text); keyClick(Qt.Key_V, Qt.ControlModifier); };
            const cases = [
                { word: "\u05D0\u05D1", most: 5000, total: 10000 },
                { word: "\u0627\u0628", most: 5000, total: 10000 },
                { word: "ab", most: 12000, total: 20000 },
            ];
            for (const c of cases) {
                const words = n => Array(n).fill(c.word[0] + "\u200B" + c.word[1]).join(" ");
                list.clear();
                edit().clear();
                type("k");
                paste(words(c.most + 1));
                tryCompare(list, "count", 1);
                const count = String(c.most + 1).replace(/\B(?=(\d{3})+$)/, ",");
                verify(chipName().startsWith(count + " hidden characters · Pasted text ("), c.word + ": " + chipName());
                compare(edit().text, "k");
                compare(composer.model.hiddenCount, 0);
                list.clear();
                paste(words(c.most - 10));
                tryCompare(composer.model, "hiddenCount", c.most - 10, 20000);
                compare(list.count, 0);
                paste(" " + words(11));  // joins them: one past the bound
                tryCompare(list, "count", 1);
                verify(chipName().startsWith("11 hidden characters"), c.word + ": " + chipName());
                compare(composer.model.hiddenCount, c.most - 10);
                keyClick(Qt.Key_Return, Qt.ShiftModifier);
                paste(words(11));
                tryCompare(composer.model, "hiddenCount", c.most + 1);
                compare(list.count, 1);
                // The paste lays out all its marks: past its own bound over many short
                // paragraphs, it goes as a chip as well.
                paste(Array(c.total / 10 + 1).fill(words(10)).join("\n"));
                tryCompare(list, "count", 2);
                compare(composer.model.hiddenCount, c.most + 1);
            }
            list.clear();
            edit().clear();
        }

        FontMetrics {
            id: editMetrics
        }

        // In right-to-left text a mark's characters may fall in runs of both directions (a mark
        // before a number, common in copied Hebrew and Arabic): its box covers exactly them, as
        // wide as the mark's text, and never the number beside it. Latin text beside it.
        function test_a_mark_s_box_sits_on_it_in_right_to_left_text() {
            const cases = [
                { pasted: "\u05DE\u05D7\u05D9\u05E8 \u200F100 \u20AA", mark: "<U+200F>" },
                { pasted: "\u0627\u0644\u0633\u0639\u0631 \u200F100 \u0631.\u0633", mark: "<U+200F>" },
                { pasted: "\u05E4\u05E8\u05D5\u05D9\u05E7\u05D8\u200B\u05E9\u05E0\u05D9", mark: "<U+200B>" },
                { pasted: "\u05DE\u05D7\u05D9\u05E8\u200B100", mark: "<U+200B>" },
                { pasted: "price \u200F100 $", mark: "<U+200F>" },
            ];
            editMetrics.font = edit().font;
            const wide = editMetrics.advanceWidth(cases[0].mark);
            for (const c of cases) {
                edit().clear();
                TestSupport.setClipboardText(c.pasted);
                keyClick(Qt.Key_V, Qt.ControlModifier);
                tryCompare(composer.model, "hiddenCount", 1);
                const text = edit().text;
                const at = text.indexOf(c.mark);
                let boxes = [];
                tryVerify(() => { boxes = TestSupport.markBoxes(edit()); return boxes.length > 0; }, 1000, c.pasted);
                const left = Math.min(...boxes.map(b => b.left)), right = Math.max(...boxes.map(b => b.right));
                const width = boxes.reduce((sum, b) => sum + b.right - b.left, 0);
                verify(Math.abs(width - editMetrics.advanceWidth(c.mark)) <= 2, c.pasted + ": " + JSON.stringify(boxes) + " for " + wide);
                // The places between the other characters lie outside the mark's boxes.
                for (let i = 1; i < text.length; ++i) {
                    if (i >= at && i <= at + c.mark.length)
                        continue;
                    const x = edit().positionToRectangle(i).x;
                    for (const b of boxes)
                        verify(x <= b.left + 1 || x >= b.right - 1, c.pasted + ": " + i + " at " + x + " in " + JSON.stringify(b));
                }
            }
        }

        // A mark's written form reads as one piece, in order, whatever the paragraph's direction:
        // beside digits in Hebrew and Arabic text its "<" and ">" are neutrals that would take the
        // direction of what stands beside them. Its box covers it; the draft, the message and a
        // copy hold its written form alone. Latin text beside it keeps its marks bare.
        function test_a_mark_reads_as_one_piece_in_any_direction() {
            const cases = [
                { pasted: "\u05DE\u05D7\u05D9\u05E8 \u200F100 \u20AA", rtl: true },
                { pasted: "\u0627\u0644\u0633\u0639\u0631 \u200F100 \u0631.\u0633", rtl: true },
                { pasted: "\u05DE\u05D7\u05D9\u05E8 100\u200F \u20AA", rtl: true },
                { pasted: "price \u200F100 $", rtl: false },
            ];
            const mark = "<U+200F>";
            editMetrics.font = edit().font;
            for (const c of cases) {
                const draft = c.pasted.replace("\u200F", mark);
                edit().clear();
                TestSupport.setClipboardText(c.pasted);
                keyClick(Qt.Key_V, Qt.ControlModifier);
                tryCompare(composer.model, "hiddenCount", 1);
                compare(composer.model.draft, draft);
                const at = edit().text.indexOf(mark);
                let boxes = [];
                tryVerify(() => { boxes = TestSupport.markBoxes(edit()); return boxes.length > 0; }, 1000, c.pasted);
                compare(boxes.length, 1, c.pasted + ": " + JSON.stringify(boxes));
                const box = boxes[0];
                verify(Math.abs(box.right - box.left - editMetrics.advanceWidth(mark)) <= 2, c.pasted + ": " + JSON.stringify(box));
                // The places between the mark's characters run left to right, a character's
                // advance apart, inside its box.
                for (let i = 1; i < mark.length; ++i) {
                    const x = edit().positionToRectangle(at + i).x;
                    verify(x > box.left && x < box.right, c.pasted + ": " + i + " at " + x + " outside " + JSON.stringify(box));
                    if (i + 1 < mark.length) {
                        const step = edit().positionToRectangle(at + i + 1).x - x;
                        verify(Math.abs(step - editMetrics.advanceWidth(mark[i])) <= 1.5, c.pasted + ": " + i + " steps " + step);
                    }
                }
                // Only a paragraph with right-to-left letters needs the mark's fences, and no
                // isolate (a bidi run of its own for each mark) stands in the editor's text.
                compare(edit().text.indexOf("\u200E") >= 0, c.rtl, c.pasted);
                compare(edit().text.indexOf("\u2066"), -1, c.pasted);
                // Copied out, the selection holds the mark's written form alone.
                edit().selectAll();
                keyClick(Qt.Key_C, Qt.ControlModifier);
                compare(TestSupport.clipboardText(), draft);
                edit().cursorPosition = edit().length;
                const sent = session.messageCount;
                keyClick(Qt.Key_Return);
                compare(session.messageCount, sent + 1);
                compare(TestSupport.sentText(session), draft.trim());
            }
            // A Latin paragraph that gains a right-to-left letter puts its marks between fences,
            // the cursor staying where it stood; a key that cuts into a fenced mark takes its
            // fences with it, never leaving them as hidden characters to mark.
            edit().clear();
            TestSupport.setClipboardText("x \u200F100");
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model, "hiddenCount", 1);
            edit().cursorPosition = 2;
            edit().insert(2, "\u05D0");
            const fenced = "x \u05D0\u200E" + mark + "\u200E100";
            tryCompare(edit(), "text", fenced);
            compare(edit().cursorPosition, 3);  // before the mark, where the letter went in
            compare(composer.model.hiddenCount, 1);
            compare(TestSupport.markBoxes(edit()).length, 1);
            // The letter's step is the editor's own: the fences are a step after it.
            const steps = [[Qt.ControlModifier, "x \u05D0" + mark + "100"], [Qt.ControlModifier, "x " + mark + "100"],
                           [Qt.ControlModifier | Qt.ShiftModifier, "x \u05D0" + mark + "100"],
                           [Qt.ControlModifier | Qt.ShiftModifier, fenced]];
            for (const [modifiers, text] of steps) {
                keyClick(Qt.Key_Z, modifiers);
                tryCompare(edit(), "text", text);
                compare(composer.model.hiddenCount, 1, text);
            }
            edit().cursorPosition = edit().text.indexOf(">") + 1;
            keyClick(Qt.Key_Backspace);
            tryCompare(edit(), "text", "x \u05D0<U+200F100");
            compare(composer.model.hiddenCount, 0);
            compare(composer.model.draft, "x \u05D0<U+200F100");
            // Backspace right after the fenced mark, and Delete right before it, meet a fence
            // first: they cut into the mark all the same, as into a bare one.
            for (const [key, from, left] of [[Qt.Key_Backspace, 1, "x \u05D0<U+200F100"],
                                             [Qt.Key_Delete, 0, "x \u05D0U+200F>100"]]) {
                edit().clear();
                TestSupport.setClipboardText("x \u05D0\u200F100");
                keyClick(Qt.Key_V, Qt.ControlModifier);
                tryCompare(edit(), "text", fenced);
                edit().cursorPosition = from ? fenced.lastIndexOf("\u200E") + 1 : fenced.indexOf("\u200E");
                keyClick(key);
                tryCompare(edit(), "text", left);
                compare(composer.model.hiddenCount, 0);
                compare(composer.model.draft, left);
            }
            edit().clear();
        }

        // The caret never stops between a mark and its fences (the left-to-right marks around it in
        // right-to-left text, isolates before): the arrows in either direction, from either end,
        // step from the place beside the mark to the place after its "<" (or before its ">") as in
        // a bare mark in Latin text, and a click just inside the mark's edge lands beside it. A key
        // typed at each place the caret stops beside the mark keeps the mark. Before, the places
        // inside the fences were stops of their own where the caret did not move on screen, and a
        // key typed there took the mark away. Hebrew and Arabic beside Latin.
        function test_the_caret_never_stops_inside_a_mark_s_fences() {
            const mark = "<U+200B>";
            const cases = [
                { pasted: "\u05D0\u05D1\u200B\u05D2\u05D3", fenced: true },
                { pasted: "\u0627\u0628\u200B\u062C\u062F", fenced: true },
                { pasted: "ab\u200Bcd", fenced: false },
            ];
            const fresh = c => {
                edit().clear();
                TestSupport.setClipboardText(c.pasted);
                keyClick(Qt.Key_V, Qt.ControlModifier);
                tryCompare(composer.model, "hiddenCount", 1);
                tryCompare(edit(), "text", c.pasted.replace("\u200B", c.fenced ? "\u200E" + mark + "\u200E" : mark));
            };
            for (const c of cases) {
                fresh(c);
                const text = edit().text;
                const at = c.fenced ? text.indexOf("\u200E") : text.indexOf(mark);
                const end = c.fenced ? text.lastIndexOf("\u200E") + 1 : at + mark.length;
                const inner = c.fenced ? [at + 1, end - 1] : [];
                // Every stop of the arrows, each press moving the caret until an end of the line.
                const stops = new Set();
                for (const key of [Qt.Key_Left, Qt.Key_Right]) {
                    for (const from of [0, text.length]) {
                        edit().cursorPosition = from;
                        stops.add(from);
                        for (let n = 0; n < text.length + 2; ++n) {
                            const was = edit().cursorPosition;
                            keyClick(key);
                            const now = edit().cursorPosition;
                            if (now === was) {
                                verify(now === 0 || now === text.length, c.pasted + ": the caret stuck at " + now);
                                break;
                            }
                            verify(!inner.includes(now), c.pasted + ": a stop inside the fences at " + now);
                            stops.add(now);
                        }
                    }
                }
                for (let i = 0; i <= text.length; ++i)
                    compare(stops.has(i), !inner.includes(i), c.pasted + ": stop " + i);
                // Shift and an arrow move a selection's end past the fences as well.
                edit().cursorPosition = at;
                const shiftStops = [];
                for (const key of [Qt.Key_Left, Qt.Key_Right])
                    for (let n = 0; n < 3; ++n) {
                        keyClick(key, Qt.ShiftModifier);
                        shiftStops.push(edit().cursorPosition);
                    }
                for (const stop of shiftStops)
                    verify(!inner.includes(stop), c.pasted + ": a selection ends inside the fences: " + shiftStops);
                // A key typed beside the mark, at each end, keeps it.
                for (const place of [at, end]) {
                    fresh(c);
                    edit().cursorPosition = place;
                    keyClick(Qt.Key_Z);
                    const typed = text.slice(0, place) + "z" + text.slice(place);
                    tryCompare(edit(), "text", typed);
                    compare(composer.model.hiddenCount, 1, c.pasted + " at " + place);
                    compare(composer.model.draft, typed.split("\u200E").join(""));
                    tryVerify(() => TestSupport.markBoxes(edit()).length === 1, 1000, c.pasted + " at " + place);
                }
                // A click two pixels inside either edge of the mark's box lands beside it or in
                // its written form, never inside the fences; a key typed beside it keeps it.
                fresh(c);
                let boxes = [];
                tryVerify(() => { boxes = TestSupport.markBoxes(edit()); return boxes.length === 1; }, 1000, c.pasted);
                const y = edit().positionToRectangle(at).y + edit().positionToRectangle(at).height / 2;
                for (const x of [boxes[0].left + 2, boxes[0].right - 2]) {
                    edit().cursorPosition = text.length;
                    mouseClick(edit(), x, y);
                    const now = edit().cursorPosition;
                    verify(!inner.includes(now), c.pasted + ": a click at " + x + " landed inside the fences at " + now);
                    if (now === at || now === end) {
                        keyClick(Qt.Key_Z);
                        compare(composer.model.hiddenCount, 1, c.pasted + ": typed at " + now + " after a click");
                        keyClick(Qt.Key_Backspace);
                        tryCompare(edit(), "text", text);
                        compare(composer.model.hiddenCount, 1);
                    }
                }
            }
            edit().clear();
        }

        // A draft left in its store holds its marks between their fences, in isolates as earlier
        // builds kept them, or bare as builds before those kept every mark: either way they are
        // marks again in an editor made anew (the isolates become fences), and the draft's text
        // holds their written forms alone. The same text kept without a mark is no mark.
        function test_a_kept_draft_s_marks_come_back_in_either_form() {
            const mark = "<U+200F>";
            const cases = [
                { text: "\u05DE\u05D7\u05D9\u05E8 " + mark + "100", at: 5, count: 1 },
                { text: "\u05DE\u05D7\u05D9\u05E8 \u2066" + mark + "\u2069100", at: 5, count: 1,
                  shown: "\u05DE\u05D7\u05D9\u05E8 \u200E" + mark + "\u200E100" },
                { text: "\u0627\u0644\u0633\u0639\u0631 \u200E" + mark + "\u200E100", at: 6, count: 1 },
                { text: "price " + mark + "100", at: 6, count: 1 },
                { text: "price " + mark + "100", at: -1, count: 0 },
            ];
            for (const c of cases) {
                const draft = TestSupport.keptDraft(c.text, c.at < 0 ? [] : [{ at: c.at, character: 0x200F }]);
                composer.model.store = draft;
                tryCompare(composer.model, "hiddenCount", c.count, 1000, c.text);
                compare(edit().text, c.shown || c.text);
                compare(composer.model.draft, c.text.replace("\u2066", "").replace("\u2069", "").split("\u200E").join(""));
                tryVerify(() => composer.model.markBoxes(0, 1000).length === c.count, 1000, c.text);
                composer.model.store = null;
                edit().clear();
            }
            // Read while no editor shows it (a message sent once a paste is in, its pane gone),
            // the kept draft is its text without the fences either.
            const alone = createTemporaryQmlObject("import Brinmoor.Chat\nComposerModel {}", top);
            for (const c of cases) {
                alone.store = TestSupport.keptDraft(c.text, c.at < 0 ? [] : [{ at: c.at, character: 0x200F }]);
                compare(alone.draft, c.text.replace("\u2066", "").replace("\u2069", "").split("\u200E").join(""), c.text);
            }
        }

        function test_slash_shows_six_rows_and_counts_the_rest() {
            TestSupport.setCommands(session, ["agents", "clear", "compact", "context", "cost", "help", "init", "memory", "review"]);
            verify(!popup().visible);
            type("/");
            verify(popup().visible);
            compare(rows().length, 6);
            compare(findChild(composer, "slashMore").text, "+3 more — keep typing");
            type("co");
            compare(rows().length, 3);
            verify(!findChild(composer, "slashMore").visible);
        }

        function test_slash_keys_accept_and_escape_reopens_on_the_next_key() {
            TestSupport.setCommands(session, ["compact", "context", "review"]);
            type("/co");
            keyClick(Qt.Key_Down);
            keyClick(Qt.Key_Return);
            compare(edit().text, "/context ");
            verify(!popup().visible);
            compare(session.messageCount, 0);

            edit().selectAll();
            type("/c");
            verify(popup().visible);
            keyClick(Qt.Key_Escape);
            verify(!popup().visible);
            type("o");
            verify(popup().visible);
            compare(rows().length, 2);
        }

        function test_gallery() {
            TestSupport.setCommands(session, ["agents", "clear", "compact", "context", "cost", "help", "init", "memory", "review"]);
            TestSupport.setContext(session, 150000, 200000);
            TestSupport.setClipboardFiles([TestSupport.writeFile("screen.png", 120), TestSupport.writeFile("migration-plan-for-the-store.md", 0)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(composer.model.attachments, "count", 2);
            type("/");
            keyClick(Qt.Key_Down);
            for (const dark of [true, false]) {
                Theme.dark = dark;
                waitForRendering(composer);
                grabImage(top).save(TestSupport.galleryDir() + "/chat-composer-" + (dark ? "dark" : "light") + ".png");
            }
            Theme.dark = true;
        }

        function test_history_picker_pages_and_picks() {
            TestSupport.setSessions(session, 20);
            const picker = createTemporaryObject(pickerComponent, top, { session: session });
            let picked = "";
            picker.picked.connect(id => picked = id);
            compare(findChild(picker, "loadMoreText").text, "Load more (12 more)");
            compare(findChild(picker, "historyList").height, 310);
            mouseClick(findChild(picker, "loadMore"));
            compare(picker.visibleCount, 16);
            compare(findChild(picker, "historyList").height, 420);
            compare(findChild(picker, "loadMoreText").text, "Load more (4 more)");
            for (const dark of [true, false]) {
                Theme.dark = dark;
                waitForRendering(picker);
                grabImage(picker).save(TestSupport.galleryDir() + "/chat-history-" + (dark ? "dark" : "light") + ".png");
            }
            Theme.dark = true;
            mouseClick(picker, 60, 40 + 34 * 2);
            compare(picked, "conv-2");
        }

        // A past conversation's title shows its hidden characters as marks ("hi <RLO>eltit exe.png"
        // read "hi gnp.exe title"), and is never markup.
        function test_history_titles_show_hidden_characters_as_marks() {
            TestSupport.feed(session, { ev: "sessions_list", items: [
                { id: "c1", summary: "hi \u202Eeltit exe.png", lastModified: 2 },
                { id: "c2", summary: "<h1>big</h1>", lastModified: 1 }] });
            const picker = createTemporaryObject(pickerComponent, top, { session: session });
            const found = [];
            const walk = item => {
                for (let i = 0; i < item.children.length; ++i) {
                    if (item.children[i].objectName === "historyTitle")
                        found.push(item.children[i]);
                    walk(item.children[i]);
                }
            };
            tryVerify(() => { found.length = 0; walk(picker); return found.length === 2; });
            const titles = found.map(t => String(t.text));
            verify(titles[0].indexOf("&lt;U+202E&gt;") > 0 && titles[0].indexOf("\u202E") < 0, titles[0]);
            const plain = found[1];
            compare(plain.textFormat, Text.PlainText);
            compare(plain.text, "<h1>big</h1>");
        }

        function test_attach_button_opens_the_file_chooser_in_the_project_folder() {
            mouseClick(findChild(composer, "attachButton"));
            const dialog = findChild(composer, "attachDialog");
            tryCompare(dialog, "visible", true);
            compare(dialog.currentFolder, TestSupport.fileUrl(session.directory));
            dialog.close();
            compare(composer.model.attachments.count, 0);
        }

        // A log of some 100 characters a line.
        function logText(bytes) {
            const line = "2025-03-14T09:00:00.123Z INFO  [worker-3] request 100123 handled in 12 ms path=/api/v1/items status=200\n";
            return line.repeat(Math.ceil(bytes / line.length)).slice(0, bytes);
        }

        // How many sampled points of the editor differ from its background: none for a blank box.
        function inkedPoints() {
            const box = findChild(composer, "chatTextEditor");
            waitForRendering(top);
            const image = grabImage(top);
            const at = box.mapToItem(top, 0, 0);
            const background = image.pixel(at.x + 1, at.y + 1);
            let inked = 0;
            for (let y = 8; y < box.height - 8; y += 3)
                for (let x = 8; x < box.width - 8; x += 2)
                    if (!Qt.colorEqual(image.pixel(at.x + x, at.y + y), background))
                        ++inked;
            return inked;
        }

        function test_a_long_paste_kept_as_text_draws_only_what_shows() {
            const log = logText(60000);
            TestSupport.setClipboardText(log);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            compare(composer.model.attachments.count, 0);
            compare(edit().length, 60000);
            verify(TestSupport.drawsOnlyWhatShows(edit()));
            verify(!findChild(composer, "placeholder").visible);
            // Scrolled back (a wheel, a drag), the editor draws the lines that come into view.
            const flick = edit().parent.parent;
            for (const at of [0.5, 0.2, 0]) {
                flick.contentY = flick.contentHeight * at;
                verify(inkedPoints() > 50, "scrolled to " + at);
            }
            type("x");
            verify(TestSupport.drawsOnlyWhatShows(edit()));
            verify(composer.model.canSend);
            // The draft the composer sends is the editor's, read when it goes.
            compare(composer.model.draft, log + "x");
            keyClick(Qt.Key_Return);
            compare(session.messageCount, 1);
            compare(edit().length, 0);
            verify(!TestSupport.drawsOnlyWhatShows(edit()));
        }

        function test_a_megabyte_paste_becomes_a_text_chip_and_goes_whole() {
            const log = logText(1024 * 1024);
            TestSupport.setClipboardText(log);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            const list = composer.model.attachments;
            tryCompare(list, "count", 1);
            compare(list.data(list.index(0, 0), Qt.UserRole + 2), "Pasted text (1.0 MB)");
            compare(edit().length, 0);
            verify(findChild(composer, "placeholder").visible);
            type("why?");
            keyClick(Qt.Key_Return);
            compare(session.messageCount, 1);
            compare(list.count, 0);
        }

        function test_gallery_big_paste() {
            TestSupport.setClipboardText(logText(3 * 1024 * 1024));
            keyClick(Qt.Key_V, Qt.ControlModifier);
            type("Why do the requests after 09:00 fail?");
            for (const dark of [true, false]) {
                Theme.dark = dark;
                waitForRendering(composer);
                grabImage(top).save(TestSupport.galleryDir() + "/chat-composer-big-paste-" + (dark ? "dark" : "light") + ".png");
            }
            Theme.dark = true;
        }

        function test_gallery_modes() {
            TestSupport.setContext(session, 185000, 200000);
            mouseClick(findChild(composer, "modePill"));
            const modes = findChild(composer, "modesPopup");
            tryCompare(modes, "opened", true);
            for (const dark of [true, false]) {
                Theme.dark = dark;
                waitForRendering(composer);
                grabImage(top).save(TestSupport.galleryDir() + "/chat-modes-" + (dark ? "dark" : "light") + ".png");
            }
            Theme.dark = true;
        }
    }
}
