import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Chat

// The chat pane on a session that runs no sidecar, filled with the events a sidecar sends:
// following the end, the jump button, a restored conversation, thinking blocks kept open.
Item {
    id: top
    width: 700
    height: 560

    Component {
        id: paneComponent
        ChatPaneView {
            width: 620
            height: 520
            compact: false
        }
    }

    function text(t) { return { role: "assistant", blocks: [{ type: "text", text: t }] }; }
    function conversation(count, extra) {
        const out = [{ role: "user", blocks: [{ type: "text", text: "Where does the build fail?" }] },
                     { role: "assistant", blocks: [{ type: "thinking", text: "Looking at the linker line." }] }];
        for (let i = 0; i < count; ++i)
            out.push(top.text("Step " + i + ": the linker line names md4c, which is missing.\n\nRebuild after installing it."));
        return out.concat(extra || []);
    }

    // Where the views made again on one session go (a workspace's grid goes and comes back).
    Item {
        id: holder
        width: 620
        height: 520
    }

    TestCase {
        id: t
        name: "ChatPane"
        when: windowShown

        function makePane(messages, project) {
            const s = TestSupport.newSession("claude");
            if (messages)
                TestSupport.feed(s, { ev: "history", messages: messages });
            const pane = createTemporaryObject(paneComponent, top, {
                session: { id: s.paneId, project: project === undefined ? "demo" : project, state: "idle" }, vm: s });
            return pane;
        }
        // The last row lies within the visible area, its end at most 60 points below it.
        function showsEnd(pane) {
            const list = pane.list;
            return !pane.settling && list.count > 0 && list.contentHeight > 0
                && list.originY + list.contentHeight + list.bottomMargin - list.contentY <= list.height + 60
                && list.itemAtIndex(list.count - 1) !== null;
        }
        function thinkingRow(list, text) {
            const items = list.contentItem.children;
            for (let i = 0; i < items.length; ++i)
                if (items[i].kind === "thinking" && (text === undefined || items[i].text === text))
                    return items[i];
            return null;
        }

        function test_restored_conversation_opens_at_its_end_data() {
            const paragraphs = [];
            for (let i = 0; i < 400; ++i)
                paragraphs.push("Paragraph " + i + " of a very long answer: the migration rewrote every table and the index, then the checks ran again.");
            return [{ tag: "normal", messages: top.conversation(40) },
                    { tag: "one very long answer", messages: top.conversation(5, [top.text(paragraphs.join("\n\n"))]) }];
        }
        function test_restored_conversation_opens_at_its_end(data) {
            const pane = makePane(null);
            waitForRendering(pane);
            TestSupport.feed(pane.vm, { ev: "history", messages: data.messages });
            tryVerify(() => t.showsEnd(pane), 3000, "the end of the conversation is in view");
            verify(pane.atBottom);
            // The late scrolls of the first jump are done and nothing moved it away again.
            wait(900);
            verify(t.showsEnd(pane), "still at the end once the rows settled");
        }

        function test_scroll_bar_leaves_the_end_and_the_jump_button_brings_it_back() {
            const pane = makePane(top.conversation(40));
            tryVerify(() => t.showsEnd(pane), 3000);
            const list = pane.list;
            const jump = findChild(pane, "jumpButton");
            verify(!jump.visible);
            // The scroll bar's handle dragged to the top: the position changes, the list is not
            // "moving".
            const bar = findChild(pane, "timelineScrollBar");
            mousePress(bar, bar.width / 2, bar.height - 4);
            mouseMove(bar, bar.width / 2, bar.height / 2);
            mouseMove(bar, bar.width / 2, 2);
            mouseRelease(bar, bar.width / 2, 2);
            tryVerify(() => !pane.atBottom, 1000, "scrolled away from the end");
            verify(!list.moving);
            // A new message does not pull the user back down.
            const y = list.contentY;
            TestSupport.feed(pane.vm, { ev: "assistant", blocks: [{ type: "text", text: "One more thing." }] });
            wait(100);
            compare(list.contentY, y);
            // The button sits over the visible area's bottom-trailing corner.
            tryVerify(() => jump.visible && jump.opacity === 1, 1000);
            const viewport = findChild(pane, "timelineViewport");
            const at = jump.mapToItem(viewport, 0, 0);
            compare(at.x + jump.width, viewport.width - 14);
            compare(at.y + jump.height, viewport.height - 12);
            pane.grabToImage(r => r.saveToFile(TestSupport.galleryDir() + "/chat-pane-scrolled-up.png"));
            mouseClick(jump);
            verify(pane.atBottom, "hidden at once");
            tryVerify(() => t.showsEnd(pane), 2000);
            tryVerify(() => !jump.visible, 1000);
        }

        function test_content_shrinking_back_into_reach_is_measured() {
            const lines = [];
            for (let i = 0; i < 30; ++i)
                lines.push("Thought " + i);
            const thought = lines.join("\n");
            const pane = makePane(top.conversation(30, [{ role: "assistant", blocks: [{ type: "thinking", text: thought }] }]));
            const list = pane.list;
            tryVerify(() => t.showsEnd(pane), 3000);
            const row = t.thinkingRow(list, thought);
            mouseClick(findChild(row, "caption"));
            tryVerify(() => t.showsEnd(pane) && row.height > 300 && !pane.settling, 3000, "the open block at the end is followed");
            // Up far enough to leave the end, with the block's toggle still in view (once the pane's
            // own late jumps to the end are over: one still to come would undo the scroll).
            list.contentY -= 200;
            tryVerify(() => !pane.atBottom, 1000);
            // Closing it shortens the content: the end comes back within reach without a scroll.
            mouseClick(findChild(row, "caption"));
            tryVerify(() => pane.atBottom, 1000);
        }

        function test_an_open_thinking_block_stays_open_after_scrolling_away() {
            const pane = makePane(top.conversation(60));
            const list = pane.list;
            tryVerify(() => t.showsEnd(pane), 3000);
            list.positionViewAtBeginning();
            let row = t.thinkingRow(list);
            verify(row !== null);
            mouseClick(findChild(row, "caption"));
            tryVerify(() => findChild(row, "thought") !== null);
            // Far enough for the list to drop the row's view, then back.
            list.positionViewAtEnd();
            tryVerify(() => t.thinkingRow(list) === null, 2000, "the row's view is gone");
            list.positionViewAtBeginning();
            tryVerify(() => t.thinkingRow(list) !== null, 2000);
            row = t.thinkingRow(list);
            verify(findChild(row, "thought") !== null, "open again");
            compare(findChild(row, "chevron").name, "chevron.up");
        }

        function test_history_button_empties_the_old_list_before_asking() {
            const pane = makePane(null);
            TestSupport.setSessions(pane.vm, 3);
            compare(pane.vm.sessionsList.length, 3);
            const button = findChild(pane, "historyButton");
            mouseClick(button);
            compare(pane.vm.sessionsList.length, 0, "no stale list while the new one is on its way");
            verify(pane.vm.sessionsLoading);
            findChild(button, "historyPopup").close();
        }

        // While the agent waits on its model server it says so, and the working row shows it
        // until the turn moves on.
        function test_the_working_row_says_what_the_agent_waits_on() {
            const pane = makePane(null);
            verify(pane.vm.send("hello?"));
            TestSupport.feed(pane.vm, { ev: "status", text: "Reconnecting... waiting for network" });
            const detail = () => {
                const row = findChild(pane, "row:working");
                const d = row ? findChild(row, "workingDetail") : null;
                return d && d.visible ? d.text : "";
            };
            tryVerify(() => detail() === "· Reconnecting... waiting for network", 2000, detail());
            let saved = false;
            pane.grabToImage(r => saved = r.saveToFile(TestSupport.galleryDir() + "/chat-pane-reconnecting.png"));
            tryVerify(() => saved);
            TestSupport.answer(pane.vm, "Back again.");
            tryVerify(() => detail() === "", 2000, "the turn moved on: " + detail());
        }

        // A pane of a 2×2 grid in a 1240×780 window: a question with three described options and
        // "Other…" is taller than the room above the composer. The card scrolls inside the pane,
        // its header (the step, Skip) in view all along, and every option can be reached.
        function test_a_tall_question_scrolls_under_its_header_in_a_small_pane() {
            const pane = makePane(top.conversation(3));
            pane.width = 600;
            pane.height = 320;
            const option = (label) => ({ label: label, description: "A description long enough to take a second line in a pane of this width, as real ones often do." });
            TestSupport.feed(pane.vm, { ev: "question", id: "q1", questions: [
                { question: "Which storage engine should the migration target? The choice decides how the index is rebuilt.",
                  header: "Storage", multiSelect: false, options: [option("Postgres"), option("SQLite"), option("Keep JSON")] },
                { question: "Run the tests after?", header: "Tests", multiSelect: false, options: [option("Yes")] }] });
            const card = findChild(pane, "questionCard");
            verify(card !== null);
            waitForRendering(pane);
            const within = (item) => {
                const at = item.mapToItem(pane, 0, 0);
                return at.y >= 0 && at.y + item.height <= pane.height + 0.5;
            };
            verify(within(findChild(card, "title")), "the step's header is in the pane");
            verify(within(findChild(card, "skip")), "so is Skip");
            verify(card.scrolls, "the question is taller than its room");
            verify(findChild(pane, "timelineViewport").height >= 40, "a strip of the conversation stays");
            // The wheel scrolls it to its end: "Other…" comes into the pane, under the header still
            // in place.
            const scroller = findChild(card, "questionScroller");
            const headerAt = findChild(card, "title").mapToItem(pane, 0, 0).y;
            for (let i = 0; i < 10; ++i)
                mouseWheel(scroller, scroller.width / 2, scroller.height / 2, 0, -120);
            const other = findChild(card, "other");
            tryVerify(() => other.mapToItem(pane, 0, 0).y >= scroller.mapToItem(pane, 0, 0).y
                      && other.mapToItem(pane, 0, 0).y + other.height <= pane.height, 2000, "Other… reachable");
            compare(findChild(card, "title").mapToItem(pane, 0, 0).y, headerAt);
            tryVerify(() => !scroller.moving, 2000);
            // Its editor opens into view; a click on an option moves on, back at the top.
            mouseClick(other);
            tryVerify(() => findChild(card, "otherEditor") !== null && findChild(card, "otherEditor").activeFocus);
            const editor = findChild(card, "otherEditor");
            tryVerify(() => editor.mapToItem(pane, 0, 0).y + editor.height <= scroller.mapToItem(pane, 0, 0).y + scroller.height + 1,
                      1000, "the editor is scrolled into view");
            scroller.contentY = 0;
            wait(0);
            mouseClick(findChild(card, "option:SQLite"));
            compare(card.flow.step, 1);
            compare(scroller.contentY, 0);
            for (const dark of [true, false]) {
                Theme.dark = dark;
                wait(0);
                pane.grabToImage(r => r.saveToFile(TestSupport.galleryDir() + "/question-in-small-pane-" + (dark ? "dark" : "light") + ".png"));
            }
            Theme.dark = true;
            mouseClick(findChild(card, "skip"));
            compare(pane.vm.pendingQuestion, undefined);
        }

        // A view of the session as the grid builds one: the chat host hands the session over once
        // the view is made.
        function viewOf(s) {
            const pane = createTemporaryObject(paneComponent, holder, {
                session: { id: s.paneId, project: "demo", state: "stopped" } });
            pane.vm = s;
            return pane;
        }
        // The view goes, as when its workspace is no longer kept, and a new one takes the session
        // when the workspace is shown again.
        function remake(pane) {
            const s = pane.vm;
            pane.destroy();
            tryVerify(() => holder.children.length === 0, 2000, "the old view is gone");
            return t.viewOf(s);
        }
        function type(text) {
            for (const ch of text)
                keyClick(ch);
        }
        function composerOf(pane) {
            const bar = findChild(pane, "chatInputBar");
            return bar ? bar.composer : null;
        }
        // The row at the top of the visible area: its text and how far its top lies above it.
        function topRow(pane) {
            const list = pane.list;
            for (let y = list.contentY; y < list.contentY + list.height; y += 4) {
                const item = list.itemAt(list.contentX + list.width / 2, y);
                if (item)
                    return { text: item.text, offset: Math.round(list.contentY - item.y) };
            }
            return null;
        }

        function test_a_view_made_again_gives_back_the_draft_and_its_chips() {
            const s = TestSupport.newSession("claude");
            let pane = t.viewOf(s);
            tryVerify(() => t.composerOf(pane) !== null);
            findChild(pane, "chatTextEditor").forceEditorFocus();
            t.type("DRAFT-ALPHA unsent words");
            keyClick(Qt.Key_Return, Qt.ShiftModifier);
            t.type("second line");
            keyClick(Qt.Key_Left);
            keyClick(Qt.Key_Left);
            TestSupport.setClipboardFiles([TestSupport.writeFile("draft-shot.png", 90)]);
            keyClick(Qt.Key_V, Qt.ControlModifier);
            tryCompare(t.composerOf(pane).attachments, "count", 1);
            const draft = "DRAFT-ALPHA unsent words\nsecond line";

            pane = t.remake(pane);
            tryVerify(() => t.composerOf(pane) !== null);
            const edit = findChild(pane, "chatEdit");
            compare(edit.text, draft);
            tryCompare(edit, "cursorPosition", draft.length - 2, 1000, "the cursor where it was");
            const list = t.composerOf(pane).attachments;
            compare(list.count, 1);
            compare(list.data(list.index(0, 0), Qt.UserRole + 2), "draft-shot.png");
            verify(findChild(pane, "attachmentStrip").visible, "the chip shows");
            verify(t.composerOf(pane).canSend);

            // Sent, the draft and its chip go with the message, and a view made again is empty.
            findChild(pane, "chatTextEditor").forceEditorFocus();
            keyClick(Qt.Key_Return);
            compare(s.messageCount, 1);
            compare(edit.text, "");
            pane = t.remake(pane);
            tryVerify(() => t.composerOf(pane) !== null);
            compare(findChild(pane, "chatEdit").text, "");
            compare(t.composerOf(pane).attachments.count, 0);
        }

        // A draft's marks come back as marks, counted and removable, not as the text of marks.
        function test_a_view_made_again_gives_back_the_drafts_marks() {
            let pane = t.viewOf(TestSupport.newSession("claude"));
            tryVerify(() => t.composerOf(pane) !== null);
            findChild(pane, "chatTextEditor").forceEditorFocus();
            t.type("typed <U+200B> ");
            TestSupport.setClipboardText("a\u202Eb");
            keyClick(Qt.Key_V, Qt.ControlModifier);
            const shown = "typed <U+200B> a<U+202E>b";
            tryCompare(findChild(pane, "chatEdit"), "text", shown);
            tryCompare(t.composerOf(pane), "hiddenCount", 1);

            pane = t.remake(pane);
            tryVerify(() => t.composerOf(pane) !== null);
            compare(findChild(pane, "chatEdit").text, shown);
            tryCompare(t.composerOf(pane), "hiddenCount", 1, 1000, "the pasted one only: typed text stays text");
            verify(findChild(pane, "hiddenNotice").visible);
            t.composerOf(pane).removeHidden();
            compare(findChild(pane, "chatEdit").text, "typed <U+200B> ab");
        }

        function test_a_view_made_again_gives_back_the_question_as_answered_so_far() {
            const s = TestSupport.newSession("claude");
            let pane = t.viewOf(s);
            TestSupport.feed(s, { ev: "question", id: "q1", questions: [
                { question: "Which engine?", header: "Storage", multiSelect: false,
                  options: [{ label: "Postgres", description: "" }, { label: "SQLite", description: "" }] },
                { question: "Anything else?", header: "Notes", multiSelect: false,
                  options: [{ label: "No", description: "" }] }] });
            tryVerify(() => findChild(pane, "questionCard") !== null);
            mouseClick(findChild(findChild(pane, "questionCard"), "option:SQLite"));
            const other = findChild(findChild(pane, "questionCard"), "other");
            mouseClick(other);
            tryVerify(() => findChild(pane, "otherEditor") !== null && findChild(pane, "otherEditor").activeFocus);
            t.type("PARTIAL-OTHER text");

            pane = t.remake(pane);
            tryVerify(() => findChild(pane, "otherEditor") !== null, 2000, "the typed answer's box is open again");
            const card = findChild(pane, "questionCard");
            compare(card.flow.step, 1, "on the second question still");
            verify(findChild(card, "other").chosen);
            compare(findChild(pane, "otherEditor").text, "PARTIAL-OTHER text");
            verify(!findChild(pane, "otherEditor").activeFocus, "made again, it leaves the keyboard where it is");
            // The first answer is kept too, and the typed one goes as typed.
            card.flow.back();
            compare(card.flow.chosen, ["SQLite"]);
            card.flow.advance();
            compare(card.flow.answers()["Anything else?"], "PARTIAL-OTHER text");
            card.flow.advance();
            compare(s.pendingQuestion, undefined);
            // A new request after it starts afresh.
            TestSupport.feed(s, { ev: "question", id: "q2", questions: [
                { question: "Which engine?", header: "Storage", multiSelect: false, options: [{ label: "SQLite", description: "" }] }] });
            tryVerify(() => findChild(pane, "questionCard") !== null);
            compare(findChild(pane, "questionCard").flow.step, 0);
            compare(findChild(pane, "questionCard").flow.chosen, []);
        }

        // Where the user read: a view made again comes back to it (at the end it follows the end);
        // the same conversation read back after a restart leaves the view where it was.
        function test_the_reading_position_is_kept_data() {
            const paragraphs = [];
            for (let i = 1; i <= 108; ++i)
                paragraphs.push("Paragraph " + i + " of 108: the migration rewrote every table and the index, then the checks ran again.");
            const longAnswer = top.conversation(3, [top.text(paragraphs.join("\n\n"))]);
            return [{ tag: "scrolled up, view made again", up: true, remake: true },
                    { tag: "at the end, view made again", up: false, remake: true },
                    { tag: "scrolled up, conversation read back", up: true, remake: false },
                    { tag: "at the end, conversation read back", up: false, remake: false },
                    { tag: "in a long answer, view made again", up: true, remake: true, messages: longAnswer, from: 1 },
                    { tag: "in a long answer, conversation read back", up: true, remake: false, messages: longAnswer, from: 1 }];
        }
        function test_the_reading_position_is_kept(data) {
            const s = TestSupport.newSession("claude");
            const messages = data.messages || top.conversation(60);
            TestSupport.feed(s, { ev: "history", messages: messages });
            let pane = t.viewOf(s);
            tryVerify(() => t.showsEnd(pane), 3000);
            if (data.up) {
                pane.list.positionViewAtIndex(pane.list.count - 1 - (data.from === undefined ? 40 : data.from), ListView.Beginning);
                pane.list.contentY += 17;
                tryVerify(() => !pane.atBottom, 1000);
            }
            const before = t.topRow(pane);
            verify(before !== null);
            if (data.remake)
                pane = t.remake(pane);
            else
                TestSupport.feed(s, { ev: "history", messages: messages });
            tryVerify(() => !pane.settling && pane.list.count > 0, 3000);
            if (data.up) {
                const after = t.topRow(pane);
                verify(after !== null);
                compare(after.text, before.text, "the same row at the top");
                verify(Math.abs(after.offset - before.offset) <= 1, "at the same place: " + after.offset + " for " + before.offset);
                verify(!pane.atBottom);
            } else {
                tryVerify(() => t.showsEnd(pane), 3000, "at the end");
            }
            // New output: followed at the end, left alone above it.
            const y = pane.list.contentY;
            const rowsBefore = pane.list.count;
            TestSupport.answer(s, "Done: the build passes now.");
            if (data.up) {
                tryVerify(() => pane.list.count > rowsBefore);
                waitForRendering(pane);
                compare(pane.list.contentY, y);
            } else {
                tryVerify(() => t.showsEnd(pane) && pane.list.itemAtIndex(pane.list.count - 1).text === "Done: the build passes now.",
                          3000, "the new answer is in view");
            }
        }

        // A view made again as the grid makes it on a return: laid out first with no session, then
        // given the session, whose composer arrives with it and changes the list's height before
        // the list has laid out its rows. At every depth of a long answer with more after it, and
        // on every return, the same row comes back to the top at the same place and stays there.
        function remakeAsTheGridDoes(pane) {
            const s = pane.vm;
            pane.destroy();
            tryVerify(() => holder.children.length === 0, 2000, "the old view is gone");
            const again = createTemporaryObject(paneComponent, holder, {
                session: { id: s.paneId, project: "demo", state: "stopped" } });
            waitForRendering(again);
            again.vm = s;
            // What the composer's first layout does to the list, before the list lays out.
            again.height -= 90;
            return again;
        }
        function test_a_return_comes_back_to_the_row_being_read_data() {
            const paragraphs = [];
            for (let i = 1; i <= 108; ++i)
                paragraphs.push("Paragraph " + i + " of 108: the migration rewrote every table and the index, then the checks ran again.");
            const after = [];
            for (let i = 1; i <= 3; ++i)
                after.push({ role: "user", blocks: [{ type: "text", text: "Short question " + i + "?" }] }, top.text("Short answer " + i + "."));
            const messages = top.conversation(3, [top.text(paragraphs.join("\n\n"))].concat(after));
            // Where the scroll bar's handle is dragged to, as a share of its height.
            return [{ tag: "just above the exchanges after it", messages: messages, at: 0.85 },
                    { tag: "near the long answer's end", messages: messages, at: 0.7 },
                    { tag: "in the long answer's middle", messages: messages, at: 0.5 },
                    { tag: "near the long answer's start", messages: messages, at: 0.25 }];
        }
        function test_a_return_comes_back_to_the_row_being_read(data) {
            const s = TestSupport.newSession("claude");
            TestSupport.feed(s, { ev: "history", messages: data.messages });
            let pane = t.viewOf(s);
            tryVerify(() => t.showsEnd(pane), 3000);
            // Up into the conversation by a drag of the scroll bar's handle.
            const bar = findChild(pane, "timelineScrollBar");
            mousePress(bar, bar.width / 2, bar.height - 4);
            mouseMove(bar, bar.width / 2, bar.height * (data.at + 1) / 2);
            mouseMove(bar, bar.width / 2, bar.height * data.at);
            mouseRelease(bar, bar.width / 2, bar.height * data.at);
            tryVerify(() => !pane.atBottom, 1000);
            tryVerify(() => pane.memory.readingRow !== "", 1000, "the reading position is kept");
            const before = t.topRow(pane);
            verify(before !== null);
            for (let visit = 1; visit <= 3; ++visit) {
                pane = t.remakeAsTheGridDoes(pane);
                tryVerify(() => !pane.settling && pane.list.count > 0, 3000);
                const after = t.topRow(pane);
                verify(after !== null);
                compare(after.text, before.text, "return " + visit + ": the same row at the top");
                verify(Math.abs(after.offset - before.offset) <= 1,
                       "return " + visit + ": at the same place: " + after.offset + " for " + before.offset);
                verify(!pane.atBottom, "return " + visit + ": not following the end");
            }
        }

        // At the end, the list's bottom margin shows below the last row, as the wheel leaves it:
        // when the pane opens, when it follows new rows, and on each return.
        function test_the_end_keeps_the_margin_below_the_last_row() {
            const s = TestSupport.newSession("claude");
            TestSupport.feed(s, { ev: "history", messages: top.conversation(40) });
            let pane = t.viewOf(s);
            const below = list => list.height - (list.originY + list.contentHeight + list.bottomMargin - list.contentY);
            for (let visit = 0; visit <= 2; ++visit) {
                if (visit > 0)
                    pane = t.remakeAsTheGridDoes(pane);
                tryVerify(() => t.showsEnd(pane), 3000);
                tryVerify(() => Math.abs(below(pane.list)) <= 0.5, 2000,
                          "visit " + visit + ": the end is " + below(pane.list) + " px off the wheel's end");
                verify(pane.atBottom);
            }
        }

        // Before the first message the pane says what it is, where the first row will be: inside
        // the list's margins, not against the pane's edge.
        function test_the_empty_hint_sits_where_the_first_row_will() {
            const pane = makePane(null);
            const hint = findChild(pane, "emptyHint");
            verify(hint.visible);
            const at = hint.mapToItem(pane.list, 0, 0);
            compare(at.x, pane.list.leftMargin);
            compare(at.y, pane.list.topMargin);
        }

        // The hint names the project: isolated from its words, hidden characters as marks, and
        // never markup.
        function test_the_empty_hint_shows_the_project_s_hidden_characters_as_marks() {
            const cases = [
                { project: "demo", shown: "Chat with Claude in demo" },
                { project: "rlo\u202Egpj.exe", contains: "\u2068rlo<font", ends: "gpj.exe\u2069" },
                { project: "<b>bold</b>", shown: "Chat with Claude in &lt;b&gt;bold&lt;/b&gt;" },
            ];
            for (const c of cases) {
                const pane = makePane(null, c.project);
                const title = findChild(pane, "emptyHintTitle");
                const shown = String(title.text);
                verify(shown.indexOf("\u202E") < 0, shown);
                if (c.shown !== undefined)
                    compare(shown, c.shown);
                else
                    verify(shown.indexOf(c.contains) > 0 && shown.endsWith(c.ends) && shown.indexOf("&lt;U+202E&gt;") > 0, shown);
            }
        }
    }
}
