import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Chat

// A long answer in a chat pane: rows of pieces of which the list makes only those near the view,
// its end on screen at once, and its start reached by scrolling.
Item {
    id: top
    width: 700
    height: 760

    // The window's own background, for the pictures.
    Rectangle {
        anchors.fill: parent
        color: Theme.pair("0e0f13", "e7e9ee", 1)
    }

    Component {
        id: paneComponent
        ChatPaneView { width: 700; height: 760; session: null; compact: false }
    }

    function answerText(sections) {
        const out = ["Answer start, the first line."];
        for (let s = 0; s < sections; ++s) {
            out.push("", "## Section " + s, "", "Prose of section **" + s + "** with `code` in it.", "", "```sh");
            for (let k = 0; k < 6; ++k)
                out.push("echo " + s + "." + k);
            out.push("```", "", "| key | value |", "|---|---|", "| a" + s + " | 1 |", "| b" + s + " | 2 |");
        }
        out.push("", "Last line of the answer.");
        return out.join("\n");
    }

    TestCase {
        name: "LongAnswer"
        when: windowShown

        function endShown(list) {
            return list.originY + list.contentHeight + list.bottomMargin - list.contentY <= list.height + 12;
        }

        function test_a_long_answer_is_made_lazily_and_reached_whole() {
            const session = TestSupport.newSession("claude");
            TestSupport.answer(session, answerText(1500));  // about 30,000 lines
            const pane = createTemporaryObject(paneComponent, top, { vm: session });
            const list = pane.list;
            verify(list.count > 500);
            tryVerify(() => endShown(list), 5000);
            waitForRendering(pane);
            let made = 0;
            const children = list.contentItem.children;
            for (let i = 0; i < children.length; ++i)
                if (String(children[i].objectName).startsWith("row:"))
                    ++made;
            verify(made < 40, "delegates made: " + made);
            const last = list.itemAtIndex(list.count - 1);
            verify(last !== null);
            verify(last.text.indexOf("Last line of the answer.") >= 0);
            verify(last.continued);
            grabImage(pane).save(TestSupport.galleryDir() + "/chat-long-answer.png");

            // Up to the start, as a user scrolling there (once the pane's own jumps to the end,
            // the last 0.8 s after it opened, are over).
            tryVerify(() => {
                list.atBottom = false;
                list.positionViewAtBeginning();
                return list.itemAtIndex(0) !== null && list.contentY <= list.originY;
            }, 3000);
            const first = list.itemAtIndex(0);
            verify(first.text.startsWith("Answer start"));
            verify(!first.continued);
        }

        // A pasted log of 3,000 lines: a bubble in pieces, joined where they meet (no gap, one
        // width), its last line at the end.
        function test_a_long_user_message_is_one_bubble_in_pieces() {
            const session = TestSupport.newSession("claude");
            const lines = [];
            for (let i = 0; i < 3000; ++i)
                lines.push("log line " + i + " of the paste");
            TestSupport.feed(session, { ev: "history", messages: [{ role: "user", blocks: [{ type: "text", text: lines.join("\n") }] }] });
            const pane = createTemporaryObject(paneComponent, top, { vm: session });
            const list = pane.list;
            verify(list.count > 20);
            tryVerify(() => endShown(list) && !pane.settling, 5000);
            const last = list.itemAtIndex(list.count - 1);
            const before = list.itemAtIndex(list.count - 2);
            verify(last && before);
            verify(last.text.endsWith("log line 2999 of the paste"));
            const a = findChild(before, "bubble"), b = findChild(last, "bubble");
            compare(a.width, b.width);
            const aEnd = a.mapToItem(list.contentItem, 0, a.height).y;
            const bTop = b.mapToItem(list.contentItem, 0, 0).y;
            compare(bTop - aEnd, list.spacing);
            grabImage(pane).save(TestSupport.galleryDir() + "/chat-long-user-message.png");
        }

        // A code block copies whole from its card: one of 200 lines is one card in one row; one
        // of 2,500 lines goes on over rows as one card, and the card of any of them copies all.
        function test_a_code_block_copies_whole_from_any_of_its_rows() {
            const shortCode = [], longCode = [];
            for (let i = 0; i < 200; ++i)
                shortCode.push("let a" + i + " = compute(" + i + ");");
            for (let i = 0; i < 2500; ++i)
                longCode.push("let b" + i + " = compute(" + i + ");");
            const session = TestSupport.newSession("claude");
            TestSupport.answer(session, "Short.\n\n```rust\n" + shortCode.join("\n") + "\n```\n\nThen:\n\n```rust\n"
                               + longCode.join("\n") + "\n```\n\nThe end.");
            const pane = createTemporaryObject(paneComponent, top, { vm: session });
            const list = pane.list;
            tryVerify(() => endShown(list) && !pane.settling, 5000);
            const cases = [{ line: "let a0 ", code: shortCode, joins: false }, { line: "let b1200 ", code: longCode, joins: true }];
            for (const c of cases) {
                let row = null;
                for (let i = 0; i < list.count && row === null; ++i) {
                    list.atBottom = false;
                    list.positionViewAtIndex(i, ListView.Beginning);
                    const item = list.itemAtIndex(i);
                    if (item && item.text.indexOf(c.line) >= 0)
                        row = item;
                }
                verify(row !== null, c.line);
                const loader = findChild(row, "copyLoader");
                const card = loader.parent;
                mouseMove(card, card.width / 2, 12);
                tryVerify(() => loader.item !== null);
                mouseClick(loader.item);
                compare(TestSupport.clipboardText(), c.code.join("\n"));
                compare(card.joinsAbove && card.joinsBelow, c.joins);
                mouseMove(top, 5, 5);
            }
        }

        // A code block over two rows is one card whose lines keep their pitch across the join:
        // the last line of the first row and the first of the next are one line apart; an empty
        // line at the join is one line, not two; a line of 100,000 characters is one line.
        function test_a_code_block_over_rows_keeps_its_line_pitch() {
            let join = -1;  // the first line of the second row, learned from the plain block
            for (const emptyAtJoin of [false, true]) {
                const code = [];
                for (let i = 0; i < 420; ++i)
                    code.push(emptyAtJoin && i === join - 1 ? "" : "L" + String(i).padStart(4, "0"));
                const session = TestSupport.newSession("claude");
                TestSupport.answer(session, "Intro.\n\n```\n" + code.join("\n") + "\n```\n\nThe end.");
                const pane = createTemporaryObject(paneComponent, top, { vm: session });
                const list = pane.list;
                tryVerify(() => endShown(list) && !pane.settling, 5000);
                let first = -1;
                for (let i = 0; i < list.count && first < 0; ++i) {
                    list.atBottom = false;
                    list.positionViewAtIndex(i, ListView.Beginning);
                    if (list.itemAtIndex(i) && list.itemAtIndex(i).text.indexOf("L0000") >= 0)
                        first = i;
                }
                verify(first >= 0);
                // The join in the middle of the view, both rows made.
                const rowA = list.itemAtIndex(first);
                list.contentY = rowA.y + rowA.height - list.height / 2;
                tryVerify(() => list.itemAtIndex(first) !== null && list.itemAtIndex(first + 1) !== null);
                const a = findChild(list.itemAtIndex(first), "codeText");
                const b = findChild(list.itemAtIndex(first + 1), "codeText");
                verify(a !== null && b !== null, "the block goes on in the next row");
                const aLines = a.text.split("\n"), bLines = b.text.split("\n");
                if (!emptyAtJoin)
                    join = Number(bLines[0].slice(1));
                compare(bLines[0], code[join]);
                compare(aLines[aLines.length - 1], code[join - 1]);
                // Tops of lines in the list's coordinates: of the one before the last in the first
                // row, and of the first in the next; two pitches apart, as within one card.
                const lineTop = (text, line) => {
                    let at = 0;
                    for (let k = 0; k < line; ++k)
                        at += text.text.split("\n")[k].length + 1;
                    return text.mapToItem(list.contentItem, 0, text.positionToRectangle(at).y).y;
                };
                const pitch = lineTop(a, 1) - lineTop(a, 0);
                verify(pitch > 5);
                compare(lineTop(b, 0) - lineTop(a, aLines.length - 2), 2 * pitch, emptyAtJoin ? "an empty line at the join" : "plain");
                waitForRendering(pane);
                grabImage(pane).save(TestSupport.galleryDir() + "/chat-code-join" + (emptyAtJoin ? "-empty" : "") + ".png");
            }

            const longLine = "x".repeat(100000);
            const session = TestSupport.newSession("claude");
            TestSupport.answer(session, "Intro.\n\n```\n" + longLine + "\n```\n\nThe end.");
            const pane = createTemporaryObject(paneComponent, top, { vm: session });
            const list = pane.list;
            tryVerify(() => endShown(list) && !pane.settling, 5000);
            let cards = 0;
            for (let i = 0; i < list.count; ++i) {
                list.atBottom = false;
                list.positionViewAtIndex(i, ListView.Beginning);
                const text = findChild(list.itemAtIndex(i), "codeText");
                if (text === null)
                    continue;
                ++cards;
                compare(text.lineCount, 1);
                compare(text.text, longLine);
            }
            compare(cards, 1);
        }

        // A long answer arriving in an open pane that follows its end: the pane jumps to the new
        // end, making the rows there, not those of every screen between the old end and the new.
        function test_a_long_answer_arriving_jumps_to_its_end() {
            const session = TestSupport.newSession("claude");
            TestSupport.answer(session, "A short first answer.");
            const pane = createTemporaryObject(paneComponent, top, { vm: session });
            const list = pane.list;
            tryVerify(() => endShown(list) && !pane.settling, 5000);
            const made = new Set();
            const count = () => {
                const children = list.contentItem.children;
                for (let i = 0; i < children.length; ++i)
                    if (String(children[i].objectName).startsWith("row:"))
                        made.add(children[i]);
            };
            list.contentItem.childrenChanged.connect(count);
            let slid = false;
            const watch = () => slid = slid || pane.settling;
            pane.settlingChanged.connect(watch);
            TestSupport.answer(session, answerText(300));
            tryVerify(() => list.count > 100 && endShown(list) && !pane.settling, 5000);
            waitForRendering(pane);
            list.contentItem.childrenChanged.disconnect(count);
            pane.settlingChanged.disconnect(watch);
            verify(!slid);
            verify(made.size < 16, "delegates made: " + made.size);
            verify(list.itemAtIndex(list.count - 1).text.indexOf("Last line of the answer.") >= 0);
            verify(pane.atBottom);
        }
    }
}
