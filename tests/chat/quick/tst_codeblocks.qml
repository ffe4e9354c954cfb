import QtQuick
import QtTest
import Brinmoor.App
import Brinmoor.Chat

// Copy buttons, code blocks with Expand, and the code preview overlay.
Item {
    id: top
    width: 1000
    height: 760

    Component { id: copyComponent; CopyButton {} }
    Component { id: blockComponent; CodeBlock { width: 500; collapsedLines: 2 } }
    Component { id: modalComponent; CodePreviewModal { anchors.fill: parent } }
    Component { id: cardComponent; CodeCard { width: 300; code: "let x = 1" } }
    Component { id: inlineComponent; InlineText { width: 300 } }
    Component { id: permissionComponent; PermissionCard { width: 600 } }
    Component { id: toolComponent; ToolCard { width: 600 } }
    Component { id: tableComponent; MarkdownText { width: 500; text: "| a | b |\n|---|---|\n| x | [site](https://example.com) |" } }

    TestCase {
        name: "CopyButton"
        when: windowShown

        function test_icon_returns_after_the_first_click_not_the_last() {
            const button = createTemporaryObject(copyComponent, top, { text: "  line one\nline two \n" });
            button.feedback.manualClock = true;
            const symbol = findChild(button, "symbol");
            compare(symbol.name, "doc.on.doc");
            compare(button.tooltip, "Copy to clipboard");

            mouseClick(button);
            verify(button.copied);
            compare(symbol.name, "checkmark");
            compare(button.tooltip, "Copied");
            // Both ends trimmed, the inner line break kept.
            compare(TestSupport.clipboardText(), "line one\nline two");

            button.feedback.advance(1000);
            TestSupport.setClipboardText("other");
            mouseClick(button);
            compare(TestSupport.clipboardText(), "line one\nline two");
            button.feedback.advance(399);
            verify(button.copied, "still copied at 1.399 s");
            button.feedback.advance(1);
            verify(!button.copied, "back at 1.4 s after the first click");
            compare(symbol.name, "doc.on.doc");
            // The second click's own reset comes due later and finds it already back.
            button.feedback.advance(1000);
            verify(!button.copied);
        }
    }

    TestCase {
        name: "CodeCard"
        when: windowShown

        function test_copy_button_shows_only_while_the_pointer_is_over_the_card() {
            const card = createTemporaryObject(cardComponent, top, { x: 10, y: 10 });
            const loader = findChild(card, "copyLoader");
            verify(!loader.active);
            mouseMove(card, 50, 10);
            tryVerify(() => loader.item !== null && loader.opacity === 1);
            loader.item.feedback.manualClock = true;
            mouseClick(loader.item);
            verify(loader.item.copied);
            mouseMove(top, 900, 700);
            tryVerify(() => !loader.active);
            // Made anew on the next visit: the copy icon, not the check mark.
            mouseMove(card, 50, 10);
            tryVerify(() => loader.item !== null);
            verify(!loader.item.copied);
        }
    }

    TestCase {
        name: "Links"
        when: windowShown

        function test_only_web_and_mail_links_open() {
            const text = createTemporaryObject(inlineComponent, top);
            for (const link of ["https://x", "file:///etc/passwd", "mailto:a@b", "javascript:alert(1)"])
                text.linkActivated(link);
            compare(TestSupport.openedLinks(), ["https://x", "mailto:a@b"]);
        }

        // A streamed answer changes its blocks in place: a code block that grows, then a table
        // where the code was.
        function test_a_streamed_block_grows_and_changes_kind() {
            const md = createTemporaryObject(tableComponent, top, { text: "```\nlet a = 1\n```" });
            const code = () => findChild(md, "codeScroller");
            tryVerify(() => code() !== null);
            compare(code().contentItem.children[0].text, "let a = 1");
            md.text = "```\nlet a = 1\nlet b = 2\n```";
            tryCompare(code().contentItem.children[0], "text", "let a = 1\nlet b = 2");
            md.text = "| k | v |\n|---|---|\n| a | 1 |";
            tryVerify(() => findChild(md, "tableGrid") !== null && code() === null);
        }

        // Over a link in a table cell the pointer is a hand, elsewhere in the table an arrow; a
        // click opens it.
        function test_zz_a_link_in_a_table_cell() {
            const md = createTemporaryObject(tableComponent, top);
            const grid = findChild(md, "tableGrid");
            verify(grid);
            let link = null, plain = null;
            for (let i = 0; i < grid.children.length; ++i) {
                const c = grid.children[i];
                if (String(c.text).indexOf("href") >= 0)
                    link = c;
                else if (String(c.text).indexOf(">x<") >= 0)
                    plain = c;
            }
            verify(link && plain);
            let hover = null;
            for (let i = 0; i < grid.resources.length; ++i)
                if (grid.resources[i].objectName === "tableHover")
                    hover = grid.resources[i];
            verify(hover);
            mouseMove(link, 4, link.height / 2);
            tryCompare(hover, "cursorShape", Qt.PointingHandCursor);
            mouseMove(plain, 2, plain.height / 2);
            tryCompare(hover, "cursorShape", Qt.ArrowCursor);
            mouseClick(link, 4, link.height / 2);
            compare(TestSupport.openedLinks()[TestSupport.openedLinks().length - 1], "https://example.com");
        }
    }

    TestCase {
        name: "CodeBlock"
        when: windowShown

        function cleanup() { AppModel.codePreview = null; }

        function test_expand_appears_past_110_characters_or_the_line_count() {
            const cases = [
                { text: "x".repeat(110), expand: false },
                { text: "x".repeat(111), expand: true },
                // 110 user-perceived characters written with combining accents.
                { text: "e\u0301".repeat(110), expand: false },
                { text: "a\nb", expand: false },
                { text: "a\nb\n", expand: true },
                { text: "a\nb\nc", expand: true },
            ];
            for (const c of cases) {
                const block = createTemporaryObject(blockComponent, top, { text: c.text });
                const expand = findChild(block, "expandButton");
                compare(expand.visible, c.expand, JSON.stringify(c.text));
                compare(block.trailingRoom, c.expand ? 66 : 36);
            }
        }

        function test_expand_opens_the_whole_text_in_the_preview() {
            const text = "# Notes\n" + "a long line ".repeat(12);
            const block = createTemporaryObject(blockComponent, top, { text: text, title: "plan.md", markdown: true });
            // The block shows the markdown source as plain code, its first two lines.
            compare(findChild(block, "plain").text, text);
            mouseClick(findChild(block, "expandButton"));
            verify(AppModel.codePreview);
            compare(AppModel.codePreview.title, "plan.md");
            compare(AppModel.codePreview.content, text);
            verify(AppModel.codePreview.isMarkdown);
            verify(!AppModel.codePreview.isDiff);
        }

        function test_a_collapsed_diff_shows_its_first_lines() {
            const block = createTemporaryObject(blockComponent, top, { text: "+ a\n- b\n  c\n+ d\n- e", isDiff: true });
            const diff = findChild(block, "diff");
            compare(diff.count, 2);
            verify(findChild(block, "expandButton").visible);
        }

        // A cut diff or cut code shows two lines and a row saying how many more there are.
        function test_a_cut_text_says_how_many_lines_are_not_shown() {
            const cases = [
                { text: "- line5\n+ five-a\n+ rm -rf / # hidden?\n+ five-c\n+ five-d", diff: true, more: "… 3 more lines" },
                { text: "echo a\necho b\nrm -rf ~", diff: false, more: "… 1 more line" },
                { text: "a\nb\n", diff: false, more: "" },
                { text: "a\nb\nc\n", diff: false, more: "… 1 more line" },
                { text: "- a\n+ b", diff: true, more: "" },
                { text: "a\nb", diff: false, more: "" },
            ];
            for (const c of cases) {
                const block = createTemporaryObject(blockComponent, top, { text: c.text, isDiff: c.diff });
                const more = findChild(block, "moreLines");
                compare(more.visible, c.more !== "", c.text);
                if (c.more !== "") {
                    compare(more.text, c.more);
                    verify(more.y + more.height <= block.height, "the row is inside the block");
                }
                if (c.diff)
                    compare(findChild(block, "diff").count, 2);
                else
                    compare(findChild(block, "plain").text, c.text.split("\n").slice(0, 2).join("\n"));
            }
        }

        // A written file's start standing for the whole file: what is not shown is counted from
        // the whole, and the preview and the copy button say they hold a part.
        function test_a_part_of_a_longer_text_counts_from_the_whole() {
            let start = "";
            for (let i = 0; i < 25; ++i)
                start += "line " + i + " of a long generated file, padded to a fair length for a source\n";
            const cases = [
                { detail: start, wholeLines: 130000, wholeChars: 10000000, more: "… 129998 more lines",
                  note: "Showing the first 25 of 130000 lines" },
                { detail: "x".repeat(2000), wholeLines: 1, wholeChars: 2500, more: "",
                  note: "Showing the first 2000 of 2500 characters" },
                { detail: "a\nb\nc", wholeLines: 0, wholeChars: 0, more: "… 1 more line", note: "" },
                // Counts past six digits are written out whole, never as "1e+06" or "1.23457e+06".
                { detail: start, wholeLines: 1000000, wholeChars: 80000000, more: "… 999998 more lines",
                  note: "Showing the first 25 of 1000000 lines" },
                { detail: start, wholeLines: 1234567, wholeChars: 98765432, more: "… 1234565 more lines",
                  note: "Showing the first 25 of 1234567 lines" },
                { detail: "x".repeat(2000), wholeLines: 1, wholeChars: 1234567, more: "",
                  note: "Showing the first 2000 of 1234567 characters" },
            ];
            for (const c of cases) {
                const tool = { name: "Write", summary: "big.txt", detail: c.detail, wholeLines: c.wholeLines, wholeChars: c.wholeChars };
                const card = createTemporaryObject(toolComponent, top, { tool: tool, outcome: "done" });
                const block = findChild(card, "detail");
                const more = findChild(block, "moreLines");
                compare(more.visible, c.more !== "", c.note);
                if (c.more !== "")
                    compare(more.text, c.more);
                compare(findChild(block, "copyButton").tooltip, c.note !== "" ? "Copy the part shown to clipboard" : "Copy to clipboard");
                mouseClick(findChild(block, "expandButton"));
                compare(AppModel.codePreview.content, c.detail);
                compare(AppModel.codePreview.note, c.note);
                const modal = createTemporaryObject(modalComponent, top, { content: c.detail, note: AppModel.codePreview.note });
                compare(findChild(modal, "partNote").visible, c.note !== "");
                modal.visible = false;
                AppModel.codePreview = null;
            }
        }
    }

    TestCase {
        name: "CodePreviewModal"
        when: windowShown

        function cleanup() { AppModel.codePreview = null; }

        function test_markdown_wins_over_diff() {
            const both = createTemporaryObject(modalComponent, top, { content: "# A\n+ b", isMarkdown: true, isDiff: true });
            verify(findChild(both, "markdown"));
            compare(findChild(both, "diff"), null);
            const diff = createTemporaryObject(modalComponent, top, { content: "+ b", isDiff: true });
            verify(findChild(diff, "diff"));
            const plain = createTemporaryObject(modalComponent, top, { content: "plain" });
            verify(findChild(plain, "plain"));
        }

        function test_backdrop_closes_and_the_card_does_not() {
            AppModel.showCodePreview("t", "  content \n", false, false);
            const modal = createTemporaryObject(modalComponent, top, { title: "t", content: "  content \n" });
            const card = findChild(modal, "card");
            mouseClick(card, 200, 300);
            verify(AppModel.codePreview, "a click on the card keeps it open");
            // Copy takes the content exactly, untrimmed, and leaves the overlay open.
            mouseClick(findChild(modal, "copyButton"));
            compare(TestSupport.clipboardText(), "  content \n");
            verify(AppModel.codePreview);
            mouseClick(modal, 20, 20);
            verify(!AppModel.codePreview, "a click on the backdrop closes it");

            AppModel.showCodePreview("t", "x", false, false);
            mouseClick(findChild(modal, "closeButton"));
            verify(!AppModel.codePreview);
        }
    }

    // Names of what will run, and code, show each hidden character as a mark; copies keep it.
    TestCase {
        name: "HiddenCharacters"
        when: windowShown

        // One of each class, and a joiner between Latin letters.
        readonly property var hidden: ["\u202E", "\u2067", "\u200F", "\u061C", "\u200B", "\u2060", "\uFEFF", "\u{E0041}", "\u200D"]

        function cleanup() { AppModel.codePreview = null; }

        function label(c) {
            return "U+" + c.codePointAt(0).toString(16).toUpperCase().padStart(4, "0");
        }
        function marks(item, c, what) {
            verify(item !== null, what);
            const shown = String(item.text);
            verify(shown.indexOf(label(c)) >= 0 && shown.indexOf(c) < 0, what + " shows " + label(c) + ": " + shown);
        }
        function diffLine(block, n) {
            const items = findChild(block, "diff").contentItem.children, rows = [];
            for (let i = 0; i < items.length; ++i)
                if (items[i].modelData !== undefined)
                    rows.push(items[i]);
            rows.sort((a, b) => a.y - b.y);
            return findChild(rows[n], "diffLine");
        }

        function test_every_class_shows_as_a_mark_and_copies_as_written() {
            for (const c of hidden) {
                const name = "invoice" + c + "fdp.sh";
                const code = "x = \"" + c + "reversed in code\"\nline 2\nline 3\nline 4";
                const card = createTemporaryObject(permissionComponent, top, {
                    request: { id: "p", tool: "Write", summary: "Write  " + name, detail: code } });
                marks(findChild(card, "summary"), c, "the approval's file name");
                const block = findChild(card, "detail");
                marks(findChild(block, "plain"), c, "the code it writes");
                compare(findChild(block, "moreLines").text, "… 2 more lines");
                mouseClick(findChild(block, "copyButton"));
                compare(TestSupport.clipboardText(), code, "the copy holds the original");

                const tool = createTemporaryObject(toolComponent, top, { outcome: "done",
                    tool: { name: "Edit", summary: name, detail: "- old\n+ y = \"" + c + "z\"" } });
                marks(findChild(tool, "summary"), c, "the tool card's file name");
                marks(diffLine(findChild(tool, "detail"), 1), c, "the diff's added line");
                compare(String(diffLine(findChild(tool, "detail"), 0).text), "- old");

                const fenced = createTemporaryObject(cardComponent, top, { code: code });
                marks(findChild(fenced, "codeText"), c, "the code block");

                AppModel.showCodePreview("Write  " + name, code, false, false);
                const modal = createTemporaryObject(modalComponent, top, { title: AppModel.codePreview.title, content: code });
                marks(findChild(modal, "title"), c, "the preview's title");
                marks(findChild(modal, "plain"), c, "the preview");
                mouseClick(findChild(modal, "copyButton"));
                compare(TestSupport.clipboardText(), code);
                modal.visible = false;
            }
        }

        // Right-to-left names read as they are: no mark where there is no hidden character.
        function test_right_to_left_text_is_no_mark() {
            const name = "\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627.txt";
            const tool = createTemporaryObject(toolComponent, top, { tool: { name: "Write", summary: name, detail: name + "\nb" } });
            compare(findChild(tool, "summary").text, name);
            compare(findChild(tool, "summary").textFormat, Text.PlainText);
            compare(findChild(findChild(tool, "detail"), "plain").textFormat, TextEdit.PlainText);
        }
    }
}
